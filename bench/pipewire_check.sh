#!/usr/bin/env bash
# Sound through PipeWire's PulseAudio service instead of PulseAudio: starts a private
# PipeWire, WirePlumber and pipewire-pulse (inside a private D-Bus session, which WirePlumber
# needs), a null sink playing an 880 Hz tone, and a private virtual display; records 5 seconds
# with orvenna-cli --audio-format 16 and checks the tone with bench/lib/tone_continuity.py.
# Needs the Debian packages pipewire, pipewire-pulse, wireplumber and dbus (not in deps.sh:
# the tests run against PulseAudio).
#
#   bench/pipewire_check.sh [build folder]        (default: build-bench, Release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
if [[ -z ${ORVENNA_IN_DBUS:-} ]]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$build" --target orvenna-cli >/dev/null
  exec env ORVENNA_IN_DBUS=1 dbus-run-session -- "$0" "$build"
fi

dir=$(mktemp -d "${TMPDIR:-/tmp}/orvenna-pipewire.XXXXXX")
mkdir -m 0700 "$dir/runtime" "$dir/tmp"
export XDG_RUNTIME_DIR=$dir/runtime HOME=$dir TMPDIR=$dir/tmp
pids=()
source scripts/lib/display.sh
trap 'kill "${pids[@]}" 2>/dev/null; stop_display; rm -rf "$dir"' EXIT
for daemon in pipewire wireplumber pipewire-pulse; do
  "$daemon" >"$dir/$daemon.log" 2>&1 &
  pids+=($!)
  sleep 0.5
done
export PULSE_SERVER=unix:$dir/runtime/pulse/native
for _ in $(seq 1 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl info | grep -E "Server Name"
pactl load-module module-null-sink sink_name=nullsink >/dev/null
pactl set-default-sink nullsink
pactl set-default-source nullsink.monitor
ffmpeg -v error -re -f lavfi -i sine=frequency=880:sample_rate=48000 -af volume=4 -t 60 \
  -f pulse -device nullsink tone &
pids+=($!)
start_xvfb 1920x1080x24
sleep 1
"$build/cli/orvenna-cli" --seconds 5 --region 0,0,320,240 --compressor MJPG --audio-format 16 \
  "$dir/pipewire.avi" 2>&1 | tail -n 1
ffprobe -v error -show_entries stream=codec_name,sample_rate,channels -of compact "$dir/pipewire.avi"
python3 bench/lib/tone_continuity.py "$dir/pipewire.avi" 880
