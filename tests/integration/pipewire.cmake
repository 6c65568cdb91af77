# The PipeWire screen stream against the private headless GNOME desktop (ORVENNA_TEST_WAYLAND,
# scripts/lib/wayland.sh), reading the compositor and a source of the test's own on the
# desktop's PipeWire daemon; skipped without it.
pkg_check_modules(PIPEWIRE_TEST REQUIRED IMPORTED_TARGET gio-2.0 libpipewire-0.3)
orvenna_test(pipewire_stream_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/pipewire_stream_test.cpp
  LIBS orvenna_pipewire orvenna_portal PkgConfig::PIPEWIRE_TEST
  LABELS wayland)
add_dependencies(pipewire_stream_test orvenna-wayland-colour-blocks)
target_compile_definitions(pipewire_stream_test PRIVATE
  ORVENNA_COLOUR_BLOCKS="$<TARGET_FILE:orvenna-wayland-colour-blocks>")
