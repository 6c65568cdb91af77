# The options dialog: over the main window on a synthetic desktop with fake compressors and a
# fake mixer; and on the real display, compressors and test sound server (PULSE_SERVER).
find_package(Qt6 REQUIRED COMPONENTS Test)

orvenna_test(ui_options_dialog
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/options_dialog_test.cpp ${CMAKE_CURRENT_LIST_DIR}/QtTestApp.cpp
  LIBS orvenna_ui orvenna_fake Qt6::Test
  LABELS display)

orvenna_test(ui_options_e2e
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/options_e2e_test.cpp ${CMAKE_CURRENT_LIST_DIR}/QtTestApp.cpp
  LIBS orvenna_ui Qt6::Test
  LABELS display sound)
