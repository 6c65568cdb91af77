# The layers hold: no layer includes anything of the desktop, the backends or the layers above
# that it may not see. (Building each layer runs the same check for that layer.)
add_test(NAME layers
  COMMAND ${CMAKE_COMMAND} -DROOT=${PROJECT_SOURCE_DIR} -P ${PROJECT_SOURCE_DIR}/cmake/CheckLayers.cmake)
