# A recording through orvenna-cli whose display goes away in the middle.
orvenna_test(reliability_display_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/reliability_display_test.cpp)
target_compile_definitions(reliability_display_test PRIVATE ORVENNA_CLI="$<TARGET_FILE:orvenna-cli>")
add_dependencies(reliability_display_test orvenna-cli)
