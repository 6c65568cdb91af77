# Whole recordings through the command-line program on the virtual display.
orvenna_test(cli_record_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/cli_record_test.cpp
  LABELS display)
target_compile_definitions(cli_record_test PRIVATE
  ORVENNA_CLI="$<TARGET_FILE:orvenna-cli>"
  ORVENNA_MOVING_CONTENT="$<TARGET_FILE:orvenna-moving-content>")
add_dependencies(cli_record_test orvenna-cli orvenna-moving-content)

# Recordings with sound from the private sound server, and the choice of the input on servers
# of the test's own.
orvenna_test(cli_sound_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/cli_sound_test.cpp
  LABELS display sound)
target_compile_definitions(cli_sound_test PRIVATE
  ORVENNA_CLI="$<TARGET_FILE:orvenna-cli>"
  ORVENNA_SOUND_SCRIPT="${PROJECT_SOURCE_DIR}/scripts/lib/sound.sh"
  ORVENNA_PLAY_IN_BROWSER="${PROJECT_SOURCE_DIR}/tests/tools/play_in_browser.sh")
add_dependencies(cli_sound_test orvenna-cli)

# Sound through PipeWire's PulseAudio service of the headless Wayland desktop (scripts/lib/
# wayland.sh), recorded from the virtual X display.
orvenna_test(pipewire_sound_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/pipewire_sound_test.cpp
  LABELS display wayland)
target_compile_definitions(pipewire_sound_test PRIVATE ORVENNA_CLI="$<TARGET_FILE:orvenna-cli>")
add_dependencies(pipewire_sound_test orvenna-cli)

# Recordings of the private headless Wayland desktop (scripts/lib/wayland.sh) through its
# ScreenCast portal, with no X display.
pkg_check_modules(CLI_WAYLAND_TEST REQUIRED IMPORTED_TARGET gio-2.0)
orvenna_test(cli_wayland_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/cli_wayland_test.cpp
  LIBS orvenna_portal PkgConfig::CLI_WAYLAND_TEST
  LABELS wayland)
target_compile_definitions(cli_wayland_test PRIVATE
  ORVENNA_CLI="$<TARGET_FILE:orvenna-cli>"
  ORVENNA_COLOUR_BLOCKS="$<TARGET_FILE:orvenna-wayland-colour-blocks>"
  ORVENNA_ANSWER_CHOOSER="$<TARGET_FILE:orvenna-answer-chooser>"
  ORVENNA_WAYLAND_SCRIPT="${PROJECT_SOURCE_DIR}/scripts/lib/wayland.sh")
add_dependencies(cli_wayland_test orvenna-cli orvenna-wayland-colour-blocks orvenna-answer-chooser)
