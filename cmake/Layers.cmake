# Layers the build enforces, in two ways.
#
# Include views: a view is a folder of the build tree that holds links to the source folders a
# target may include from (for the platform's interfaces, links to the headers at the top of
# platform/ alone). The core layers (the platform's interfaces and portable services, the AVI
# library, audio, engine) see the source tree only through views, so an #include of a platform
# backend or of a layer above names no file there and fails to compile; a call into a layer
# they do not link fails to link.
#
# Include checks: building a layer's target first runs cmake/CheckLayers.cmake over that
# layer's files, so a forbidden #include fails `cmake --build` for every layer, also for those
# (selection, ui, cli, the platform backends) that see the whole tree.
set(ORVENNA_VIEWS ${PROJECT_BINARY_DIR}/views)
include(${CMAKE_CURRENT_LIST_DIR}/LayerRules.cmake)

# orvenna_view(<target> <scope> <view> <folder>...): `target` sees (with `scope`: PUBLIC,
# PRIVATE or INTERFACE) the view named `view`, holding links to the given source folders.
function(orvenna_view target scope view)
  foreach(folder ${ARGN})
    set(link ${ORVENNA_VIEWS}/${view}/${folder})
    get_filename_component(parent ${link} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${link} SYMBOLIC)
  endforeach()
  target_include_directories(${target} ${scope} ${ORVENNA_VIEWS}/${view})
endfunction()

# orvenna_platform_view(<target>): `target` and what links it see the headers at the top of
# platform/, and none of the backends' folders. A header added there is linked at the next
# configure, which the glob asks for.
function(orvenna_platform_view target)
  set(view ${ORVENNA_VIEWS}/platform)
  file(MAKE_DIRECTORY ${view}/platform)
  file(GLOB headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/platform/*.h)
  foreach(header ${headers})
    get_filename_component(name ${header} NAME)
    file(CREATE_LINK ${header} ${view}/platform/${name} SYMBOLIC)
  endforeach()
  target_include_directories(${target} INTERFACE ${view})
endfunction()

# orvenna_check_layer(<target> <layer>): building `target` first checks the includes of
# `layer`, one of ORVENNA_LAYERS.
function(orvenna_check_layer target layer)
  set(script ${PROJECT_SOURCE_DIR}/cmake/CheckLayers.cmake)
  set(globs "")
  foreach(glob ${${layer}_files})
    list(APPEND globs ${PROJECT_SOURCE_DIR}/${glob})
  endforeach()
  file(GLOB sources CONFIGURE_DEPENDS ${globs})
  set(stamp ${PROJECT_BINARY_DIR}/layer-checks/${target}.checked)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DROOT=${PROJECT_SOURCE_DIR} -DLAYER=${layer} -P ${script}
    COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
    DEPENDS ${sources} ${script} ${PROJECT_SOURCE_DIR}/cmake/LayerRules.cmake
    COMMENT "Checking the includes of the layer ${layer}"
    VERBATIM)
  add_custom_target(${target}_includes DEPENDS ${stamp})
  add_dependencies(${target} ${target}_includes)
endfunction()
