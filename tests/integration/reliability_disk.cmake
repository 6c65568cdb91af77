# Recordings through orvenna-cli when the disk refuses: full disks, names too long, rescued
# recordings under free names, a temporary file taken away.
orvenna_test(reliability_disk_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/reliability_disk_test.cpp
  LABELS display)
target_compile_definitions(reliability_disk_test PRIVATE ORVENNA_CLI="$<TARGET_FILE:orvenna-cli>")
add_dependencies(reliability_disk_test orvenna-cli)
