#!/usr/bin/env bash
# Encoding throughput at 1920x1080, 32 bits per pixel, default quality (7500): every installed
# compressor through bench_encode, next to ffmpeg encoding the same raw frames with the same
# encoder and settings into "-f null", in one run. Prints one table.
#
#   bench/encode_vs_ffmpeg.sh [build folder]      (default: build-bench, a Release build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVENNA_BENCH=ON >/dev/null
cmake --build "$build" --target bench_encode >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
frames=$work/frames.raw
ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=1920x1080:rate=30 -frames:v 10 \
  -pix_fmt bgr0 -f rawvideo "$frames"

source bench/lib/encoder-settings.sh
# Threads as ours use them: slice threads, or one thread where ours holds frames back.
declare -A ffmpeg_threads=(
  [FMP4]="-thread_type slice" [MJPG]="-thread_type slice" [FFV1]="-thread_type slice"
  [HFYU]="-threads 1" [ULRG]="-threads 1" [MPNG]="-threads 1"
)

echo "bench_encode: encoding with our compressors ..." >&2
"$build/bench/bench_encode" --frames="$frames" --benchmark_min_time=3 --benchmark_format=csv \
  >"$work/ours.csv" \
  2>/dev/null

printf '%-6s %12s %12s %8s %12s\n' fourcc "ours fps" "ffmpeg fps" ratio "kB/frame"
# CSV columns: name, iterations, real_time, cpu_time, time_unit, bytes_per_second,
# items_per_second, label, error_occurred, error_message, kB_per_frame.
tail -n +2 "$work/ours.csv" | while IFS=, read -r name _ _ _ _ _ fps _ error _ kb; do
  fourcc=${name#\"Encode/}
  fourcc=${fourcc%/real_time\"}
  if [[ -n $error || -z $fps ]]; then
    printf '%-6s %12s\n' "$fourcc" failed
    continue
  fi
  # About four seconds of ffmpeg's work, at least two frames.
  count=$(awk -v f="$fps" 'BEGIN { n = int(f * 4); print (n < 2 ? 2 : (n > 300 ? 300 : n)) }')
  echo "ffmpeg: $fourcc, $count frames ..." >&2
  # shellcheck disable=SC2086
  rtime=$(ffmpeg -nostdin -hide_banner -benchmark -stream_loop -1 -f rawvideo -pix_fmt bgr0 \
    -s 1920x1080 -i "$frames" -frames:v "$count" ${ffmpeg_encoder[$fourcc]} ${ffmpeg_threads[$fourcc]:-} -f null - 2>&1 |
    sed -n 's/.*rtime=\([0-9.]*\)s.*/\1/p')
  awk -v c="$fourcc" -v ours="$fps" -v n="$count" -v t="$rtime" -v kb="$kb" 'BEGIN {
    theirs = n / t
    printf "%-6s %12.2f %12.2f %8.2f %12.1f\n", c, ours, theirs, ours / theirs, kb
  }'
done
