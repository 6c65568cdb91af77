# The desktop application: its parts that need no display; the main window and the about box
# on a synthetic desktop; and the application on the real display with the real compressors,
# including the orvenna program itself.
find_package(Qt6 REQUIRED COMPONENTS Test)

orvenna_test(ui_main_window_parts
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/mainwindow_parts_test.cpp
  LIBS orvenna_ui)

orvenna_test(ui_main_window
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/mainwindow_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/mainwindow_recording_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/mainwindow_sharing_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/about_box_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/QtTestApp.cpp
  LIBS orvenna_ui orvenna_fake Qt6::Test
  LABELS display)

orvenna_test(ui_main_window_e2e
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/mainwindow_e2e_test.cpp ${CMAKE_CURRENT_LIST_DIR}/QtTestApp.cpp
  LIBS orvenna_ui Qt6::Test
  LABELS display)
target_compile_definitions(ui_main_window_e2e PRIVATE ORVENNA_PROGRAM="$<TARGET_FILE:orvenna>")
add_dependencies(ui_main_window_e2e orvenna)
