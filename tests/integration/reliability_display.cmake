# Recordings through orvenna-cli and the desktop application whose display goes away.
orvenna_test(reliability_display_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/reliability_display_test.cpp)
target_compile_definitions(reliability_display_test PRIVATE
  ORVENNA_CLI="$<TARGET_FILE:orvenna-cli>" ORVENNA_PROGRAM="$<TARGET_FILE:orvenna>")
add_dependencies(reliability_display_test orvenna-cli orvenna)
