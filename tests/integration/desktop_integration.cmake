# The installed programs' conventions: --version without a display, and the note a Wayland
# session gets on the command line.
orvenna_test(desktop_integration_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/desktop_integration_test.cpp
  LABELS display)
target_compile_definitions(desktop_integration_test PRIVATE
  ORVENNA_CLI="$<TARGET_FILE:orvenna-cli>"
  ORVENNA_PROGRAM="$<TARGET_FILE:orvenna>"
  ORVENNA_PROJECT_VERSION="${PROJECT_VERSION}")
add_dependencies(desktop_integration_test orvenna-cli orvenna)
