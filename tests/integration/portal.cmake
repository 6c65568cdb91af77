# The desktop's ScreenCast portal on the private headless GNOME desktop (scripts/lib/wayland.sh,
# ORVENNA_TEST_WAYLAND); skipped without it.
orvenna_test(portal_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/portal_test.cpp
  LIBS orvenna_portal
  LABELS wayland)

# The global keys through a GlobalShortcuts portal of the test's own on a private session bus.
orvenna_test(portal_hotkeys_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/portal_hotkeys_test.cpp
  LIBS orvenna_portal orvenna_fake)
