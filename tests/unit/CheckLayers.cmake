# Fails when a file of the engine or of the audio layer includes a header of the desktop (Qt,
# X11, PulseAudio, PipeWire), of libav*/libsw*, of a platform backend, or of a layer above it.
# Run as: cmake -DROOT=<source folder> -P CheckLayers.cmake
set(forbidden_everywhere
  "<Q[A-Za-z]*>" "<Qt[A-Za-z]*/" "<X11/" "<pulse/" "<pipewire/" "<spa/" "<xcb/" "<libav" "<libsw"
  "\"platform/(x11|qt|codec|desktop|pulse|pipewire|fake)/" "\"(ui|selection|cli)/")
set(violations "")
foreach(layer engine audio)
  file(GLOB_RECURSE sources "${ROOT}/${layer}/*.h" "${ROOT}/${layer}/*.cpp")
  set(forbidden ${forbidden_everywhere})
  if(layer STREQUAL "audio")
    list(APPEND forbidden "\"engine/")  # the engine uses the audio layer, not the other way
  endif()
  foreach(source ${sources})
    file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include")
    foreach(line ${includes})
      foreach(pattern ${forbidden})
        if(line MATCHES "${pattern}")
          file(RELATIVE_PATH name "${ROOT}" "${source}")
          list(APPEND violations "${name}: ${line}")
        endif()
      endforeach()
    endforeach()
  endforeach()
endforeach()
if(violations)
  list(JOIN violations "\n  " text)
  message(FATAL_ERROR "headers from outside the layer:\n  ${text}")
endif()
message(STATUS "engine/ and audio/ include only their own and the platform's interfaces")
