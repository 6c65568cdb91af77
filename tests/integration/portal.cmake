# The desktop's ScreenCast portal on the private headless GNOME desktop (scripts/lib/wayland.sh,
# ORVENNA_TEST_WAYLAND); skipped without it. The chooser is answered by orvenna-answer-chooser,
# with the colour blocks open as a window to pick.
orvenna_test(portal_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/portal_test.cpp
  LIBS orvenna_portal
  LABELS wayland)
add_dependencies(portal_test orvenna-answer-chooser orvenna-wayland-colour-blocks)
target_compile_definitions(portal_test PRIVATE
  ORVENNA_ANSWER_CHOOSER="$<TARGET_FILE:orvenna-answer-chooser>"
  ORVENNA_COLOUR_BLOCKS="$<TARGET_FILE:orvenna-wayland-colour-blocks>")

# The global keys through a GlobalShortcuts portal of the test's own on a private session bus.
orvenna_test(portal_hotkeys_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/portal_hotkeys_test.cpp
  LIBS orvenna_portal orvenna_fake)
