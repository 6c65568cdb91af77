# The capture frame window on the real display, and the Qt shell and timer adapters.
find_package(Qt6 REQUIRED COMPONENTS Test)

orvenna_test(ui_frame_window
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/FrameWindowTest.cpp ${CMAKE_CURRENT_LIST_DIR}/QtTestApp.cpp
  LIBS orvenna_selection Qt6::Test
  LABELS display)

orvenna_test(ui_qt_shell
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/QtShellTest.cpp ${CMAKE_CURRENT_LIST_DIR}/QtTestApp.cpp
  LIBS orvenna_qt Qt6::Test
  LABELS display)

