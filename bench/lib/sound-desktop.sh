# Sourced by the sound benchmarks. start_sound_desktop BUILD NAME TARGET...: builds the targets
# in BUILD (Release, with the test tools), makes the scratch folder $out, and starts a private
# virtual display and sound server; stop_sound_desktop stops them and removes $out, together
# with the process $player when the benchmark started one.
source scripts/lib/display.sh
source scripts/lib/sound.sh

start_sound_desktop() {
  local build=$1 name=$2
  shift 2
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVENNA_TESTS=ON >/dev/null
  cmake --build "$build" --target "$@" >/dev/null
  out=$(mktemp -d "${TMPDIR:-/tmp}/orvenna-$name.XXXXXX")
  trap stop_sound_desktop EXIT
  start_xvfb 1920x1080x24
  start_pulse
}

stop_sound_desktop() {
  if [[ -n ${player:-} ]]; then kill "$player" 2>/dev/null; fi
  stop_pulse
  stop_display
  rm -rf "$out"
}
