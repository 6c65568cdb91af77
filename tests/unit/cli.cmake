orvenna_test(cli_unit_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/cli/CliOptionsTest.cpp
  LIBS orvenna_cli_parts)
