#!/usr/bin/env bash
# Records a 1280x720 screen playing moving content for a long time (an hour by default) with
# orvenna-cli's defaults and samples, once a minute, the recorder's resident memory and the size
# of its temporary files; after the stop it times the assembly and checks that the file decodes
# to the end with as many frames as it holds. Memory must stay flat while the files grow.
#
#   bench/long_recording.sh [BUILD_DIR] [SECONDS]   (default: build-bench, 3600)
#
# Prints one row per sample (minutes, RSS MB, temporary files MB), then the totals.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
seconds=${2:-3600}
every=${SAMPLE_SECONDS:-60}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVENNA_TESTS=ON >/dev/null
cmake --build "$build" --target orvenna-cli orvenna-moving-content >/dev/null
cli=$build/cli/orvenna-cli
player=$build/tests/tools/orvenna-moving-content

work=$(mktemp -d)
mkdir -m 0700 "$work/tmp"
scene_pid= cli_pid=
# shellcheck source=../scripts/lib/display.sh
source scripts/lib/display.sh
cleanup() {
  for pid in $cli_pid $scene_pid; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  stop_display
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

start_xvfb 1280x720x24
ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=1280x720:rate=30 -frames:v 30 \
  -pix_fmt bgra -f rawvideo "$work/testsrc2.bgra"
"$player" --geometry 1280x720+0+0 --fps 30 --frames 30 --raw "$work/testsrc2.bgra" >/dev/null 2>&1 &
scene_pid=$!
sleep 2

: >"$work/err.txt"
TMPDIR=$work/tmp "$cli" --seconds "$seconds" "$work/long.avi" >"$work/out.txt" 2>"$work/err.txt" &
cli_pid=$!
start=$(date +%s) saving_since= peak=-
printf '%8s %-7s %8s %10s\n' minutes phase "RSS MB" "temp MB"
while kill -0 "$cli_pid" 2>/dev/null; do
  phase=record
  if grep -q "Saving Video" "$work/err.txt"; then
    phase=save
    saving_since=${saving_since:-$(date +%s)}
  fi
  rss=$(awk '/^VmRSS/ { printf "%.1f", $2 / 1024 }' "/proc/$cli_pid/status" 2>/dev/null || echo -)
  peak=$(awk '/^VmHWM/ { printf "%.1f", $2 / 1024 }' "/proc/$cli_pid/status" 2>/dev/null || echo "$peak")
  temp=$(du -sb "$work/tmp" | awk '{ printf "%.1f", $1 / 1048576 }')
  printf '%8.1f %-7s %8s %10s\n' "$(echo "($(date +%s) - $start) / 60" | bc -l)" "$phase" "$rss" "$temp"
  # Every minute while recording; every 5 seconds while saving.
  for _ in $(seq 1 "$([[ $phase == save ]] && echo 5 || echo "$every")"); do
    kill -0 "$cli_pid" 2>/dev/null || break
    [[ $phase == record ]] && grep -q "Saving Video" "$work/err.txt" && break
    sleep 1
  done
done
status=0
wait "$cli_pid" || status=$?
cli_pid=
echo "exit status $status; peak RSS $peak MB; assembly $(($(date +%s) - ${saving_since:-$(date +%s)})) s"
tail -n 3 "$work/err.txt"
ls -l "$work/long.avi"
positions=$(ffprobe -v error -select_streams v:0 -show_entries stream=nb_frames -of csv=p=0 "$work/long.avi")
decoded=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames \
  -of csv=p=0 "$work/long.avi")
echo "frame positions $positions, decoded frames $decoded"
[[ $status -eq 0 && $decoded -gt 0 ]]
