# The main window against hostile input: pasted numbers out of range with the preview on, a
# click on the region type already selected, and the about box while the window is minimised.
orvenna_test(ui_main_window_input
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/mainwindow_input_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/QtTestApp.cpp
  LIBS orvenna_ui orvenna_fake Qt6::Test
  LABELS display)
