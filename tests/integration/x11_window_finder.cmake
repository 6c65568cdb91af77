# The window under a point, on the virtual display with its window manager.
orvenna_test(x11_window_finder_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/x11_window_finder_test.cpp
  LIBS orvenna_x11 PkgConfig::X11LIBS
  LABELS display)
