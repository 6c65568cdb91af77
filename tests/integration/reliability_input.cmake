# Regions no screen can give, through the real command-line program on the virtual display.
orvenna_test(reliability_input_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/reliability_input_test.cpp
  LABELS display)
target_compile_definitions(reliability_input_test PRIVATE ORVENNA_CLI="$<TARGET_FILE:orvenna-cli>")
add_dependencies(reliability_input_test orvenna-cli)
