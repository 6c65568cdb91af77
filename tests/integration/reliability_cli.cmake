# The command-line program against a hostile or unlucky caller, on the virtual display: closed
# and broken standard streams, a closed terminal, outputs that must not be written, and
# compressors that cannot take the region.
orvenna_test(reliability_cli_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/reliability_cli_test.cpp
  LABELS display)
target_compile_definitions(reliability_cli_test PRIVATE ORVENNA_CLI="$<TARGET_FILE:orvenna-cli>")
add_dependencies(reliability_cli_test orvenna-cli)
