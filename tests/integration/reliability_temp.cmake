# The temporary folder and its files through the real command-line program on the virtual
# display: a folder that cannot be used, two recordings at once, a recording killed outright.
orvenna_test(reliability_temp_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/reliability_temp_test.cpp
  LABELS display)
target_compile_definitions(reliability_temp_test PRIVATE ORVENNA_CLI="$<TARGET_FILE:orvenna-cli>")
add_dependencies(reliability_temp_test orvenna-cli)
