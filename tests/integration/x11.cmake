# The X11 backend against a real (virtual) X server.
orvenna_test(x11_grabber_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/x11_grabber_test.cpp
  LIBS orvenna_x11 PkgConfig::X11LIBS
  LABELS display)
orvenna_test(x11_cursor_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/x11_cursor_test.cpp
  LIBS orvenna_x11 PkgConfig::X11LIBS
  LABELS display)
orvenna_test(x11_hotkeys_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/x11_hotkeys_test.cpp
  LIBS orvenna_x11 orvenna_fake PkgConfig::X11LIBS
  LABELS display)
orvenna_test(engine_x11_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/engine_x11_test.cpp
  LIBS orvenna_engine orvenna_fake orvenna_resample orvenna_mux orvenna_x11 PkgConfig::X11LIBS
  LABELS display)
