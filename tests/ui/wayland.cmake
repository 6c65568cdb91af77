# The desktop application on the headless Wayland desktop (scripts/lib/wayland.sh,
# ORVENNA_TEST_WAYLAND), recording a window of known colours; skipped without it.
orvenna_test(ui_main_window_wayland
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/mainwindow_wayland_test.cpp
  LIBS orvenna_ui orvenna_portal Qt6::Test
  LABELS wayland)
# QT_NO_KEYWORDS: Qt's "signals" would break GIO's headers, which the desktop's helpers use.
target_compile_definitions(ui_main_window_wayland PRIVATE QT_NO_KEYWORDS
  ORVENNA_COLOUR_BLOCKS="$<TARGET_FILE:orvenna-wayland-colour-blocks>")
add_dependencies(ui_main_window_wayland orvenna-wayland-colour-blocks)
