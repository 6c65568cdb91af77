#!/usr/bin/env bash
# No sound lost under load: orvenna-cli records the full 1920x1080 screen, on which
# orvenna-moving-content plays testsrc2 at 30 frames/s, with H.264 and the private sound
# server's 880 Hz tone at 48 kHz 16-bit stereo, for SECONDS (60) seconds. The tone must have no
# gap or repeated block, and the sound must last as long as the video (within one slot).
#
#   bench/sound_under_load.sh [build folder]        (default: build-bench, Release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
seconds=${SECONDS_EACH:-60}

source bench/lib/sound-desktop.sh
start_sound_desktop "$build" sound-load orvenna-cli orvenna-moving-content
ffmpeg -v error -f lavfi -i testsrc2=size=1920x1080:rate=30 -frames:v 30 -pix_fmt bgra \
  -f rawvideo "$out/frames.bgra"
"$build/tests/tools/orvenna-moving-content" --geometry 1920x1080+0+0 --raw "$out/frames.bgra" &
player=$!
sleep 1
"$build/cli/orvenna-cli" --seconds "$seconds" --compressor H264 --audio-format 20 \
  "$out/load.avi" 2>"$out/cli.log" || { cat "$out/cli.log"; exit 1; }
tail -n 1 "$out/cli.log" >&2
python3 bench/lib/tone_continuity.py "$out/load.avi" 880
