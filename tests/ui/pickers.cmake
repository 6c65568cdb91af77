# The region pickers on the real display with the window manager, driven by xdotool: from the
# main window, and through orvenna-cli.
find_package(Qt6 REQUIRED COMPONENTS Widgets Test)

orvenna_test(ui_region_pickers
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/RegionPickersTest.cpp ${CMAKE_CURRENT_LIST_DIR}/QtTestApp.cpp
  LIBS orvenna_ui Qt6::Test
  LABELS display)

orvenna_test(ui_pickers_cli
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/PickersCliTest.cpp ${CMAKE_CURRENT_LIST_DIR}/QtTestApp.cpp
  LIBS Qt6::Widgets Qt6::Test
  LABELS display)
target_compile_definitions(ui_pickers_cli PRIVATE ORVENNA_CLI="$<TARGET_FILE:orvenna-cli>")
add_dependencies(ui_pickers_cli orvenna-cli)
