orvenna_test(cli_unit_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/cli/CliOptionsTest.cpp ${CMAKE_CURRENT_LIST_DIR}/cli/SettingsTableTest.cpp
  LIBS orvenna_cli_parts)
