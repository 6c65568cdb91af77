# The layers hold: engine/ and audio/ include nothing of the desktop or the layers above.
add_test(NAME layers
  COMMAND ${CMAKE_COMMAND} -DROOT=${PROJECT_SOURCE_DIR} -P ${CMAKE_CURRENT_LIST_DIR}/CheckLayers.cmake)
