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

# What our drivers set up at quality 7500 (H.264: crf 18; MPEG-4 and Motion JPEG: fixed
# quantiser 3; ZMBV: its dialog's default choice; one thread where ours holds frames back
# otherwise), as ffmpeg options.
declare -A same=(
  [MSVC]="-c:v msvideo1 -pix_fmt rgb555le"
  [ZMBV]="-c:v zmbv -compression_level 1 -me_range 1 -pix_fmt bgr0"
  [H264]="-c:v libx264 -preset veryfast -tune zerolatency -crf 18 -bf 0 -pix_fmt yuv420p"
  [FMP4]="-c:v mpeg4 -q:v 3 -bf 0 -thread_type slice -pix_fmt yuv420p"
  [MJPG]="-c:v mjpeg -q:v 3 -thread_type slice -pix_fmt yuvj420p"
  [FFV1]="-c:v ffv1 -level 3 -thread_type slice -pix_fmt bgr0"
  [HFYU]="-c:v huffyuv -threads 1 -pix_fmt rgb24"
  [ULRG]="-c:v utvideo -threads 1 -pix_fmt gbrp"
  [cvid]="-c:v cinepak -pix_fmt rgb24"
  [MPNG]="-c:v png -threads 1 -compression_level 3 -pred up -pix_fmt rgb24"
  ["DIB "]="-c:v rawvideo -pix_fmt bgr0"
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
    -s 1920x1080 -i "$frames" -frames:v "$count" ${same[$fourcc]} -f null - 2>&1 |
    sed -n 's/.*rtime=\([0-9.]*\)s.*/\1/p')
  awk -v c="$fourcc" -v ours="$fps" -v n="$count" -v t="$rtime" -v kb="$kb" 'BEGIN {
    theirs = n / t
    printf "%-6s %12.2f %12.2f %8.2f %12.1f\n", c, ours, theirs, ours / theirs, kb
  }'
done
