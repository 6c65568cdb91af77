#!/usr/bin/env bash
# Records the screen with orvenna-cli and with ffmpeg's x11grab side by side, on a private
# Xvfb of 1920x1080 with MIT-SHM, and prints one table.
#
#   bench/compare.sh [--quick] [build folder]       (default folder: build-bench, Release)
#
# Scenes: "moving", ffmpeg's testsrc2 played full screen by orvenna-moving-content (30
# pre-rendered frames copied from server-side pixmaps at 30 frames/s), and "terminal", an
# xterm filling the screen that prints a line of text four times a second. Every compressor
# records SECONDS seconds with orvenna-cli (--interval 33 --fps 30 --quality 75) and with
# ffmpeg -f x11grab -framerate 1000/33 using the same encoder and settings, one after the other,
# at each size (the moving scene at 1920x1080 and 800x600, the terminal at 1920x1080); then
# the moving scene at 3840x2160 and at 1920x1080 with 60 frames a second (interval 17 ms) for
# the compressors of LARGE_COMPRESSORS. A size WxH@N records N frames a second; the screen is
# as large as the largest size.
#
# Columns: frames written (non-empty packets in the file), dropped slots (the recording's
# 33 ms slots without a frame), frames/s written (per second of the stream's length, at least
# SECONDS), CPU seconds of the recorder per written frame, the X server's CPU seconds per
# written frame (grabs cost the server too), peak resident memory, file size, and the
# Orvenna / ffmpeg ratios of frames/s, CPU per frame, peak memory and size.
#
# A compressor may be given as FOURCC:NAME, to record with ours as FOURCC and with ffmpeg as
# the settings named NAME; "ZMBV:ZMBV-default" sets our ZMBV beside ffmpeg's at its default
# compression level.
#
# --quick: H.264 and Motion JPEG, 5 seconds, the moving scene at 1920x1080 and 3840x2160, in
# under 5 minutes: the check to run before and after every change of speed. The environment
# variables COMPRESSORS, LARGE_COMPRESSORS, SECONDS_EACH, SCENES ("moving terminal"), SIZES
# ("1920x1080 800x600") and LARGE_SIZES ("3840x2160 1920x1080@60") override the choice. Raw results go to $RESULTS (default: a file in the build folder).
set -euo pipefail
cd "$(dirname "$0")/.."

quick=0
if [[ ${1:-} == --quick ]]; then
  quick=1
  shift
fi
build=${1:-build-bench}
if ((quick)); then
  compressors=${COMPRESSORS:-"H264 MJPG"}
  seconds=${SECONDS_EACH:-5}
  sizes=${SIZES:-1920x1080}
  large_sizes=${LARGE_SIZES:-3840x2160}
  large_compressors=${LARGE_COMPRESSORS:-$compressors}
  scenes=${SCENES:-moving}
else
  compressors=${COMPRESSORS:-"H264 MJPG FMP4 HFYU ULRG FFV1 ZMBV ZMBV:ZMBV-default MSVC cvid MPNG"}
  seconds=${SECONDS_EACH:-15}
  sizes=${SIZES:-"1920x1080 800x600"}
  large_sizes=${LARGE_SIZES:-"3840x2160 1920x1080@60"}
  large_compressors=${LARGE_COMPRESSORS:-"H264 MJPG FMP4 HFYU ULRG"}
  scenes=${SCENES:-"moving terminal"}
fi
# The screen: the largest width and height of all sizes.
screen=$(for size in $sizes $large_sizes; do echo "${size%@*}"; done |
  awk -Fx '{ if ($1 > w) w = $1; if ($2 > h) h = $2 } END { print w "x" h }')
results=${RESULTS:-$build/compare-results.tsv}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVENNA_TESTS=ON >/dev/null
cmake --build "$build" --target orvenna-cli orvenna-moving-content >/dev/null
cli=$build/cli/orvenna-cli
player=$build/tests/tools/orvenna-moving-content

source bench/lib/encoder-settings.sh
# Key frames every 100 frames, as our drivers are told; the encoders that count the frames
# between key frames take one less.
declare -A ffmpeg_key_frames=(
  [H264]="-g 100" [FMP4]="-g 100" [FFV1]="-g 100" [ZMBV]="-g 100" [ZMBV-default]="-g 100"
  [MSVC]="-g 100 -keyint_min 99" [cvid]="-g 100 -keyint_min 100"
)

work=$(mktemp -d)
scene_pid=
# shellcheck source=../scripts/lib/display.sh
source scripts/lib/display.sh
cleanup() {
  if [[ -n $scene_pid ]]; then kill "$scene_pid" 2>/dev/null || true; wait "$scene_pid" 2>/dev/null || true; fi
  stop_display
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

start_xvfb "${screen}x24"
xvfb_pid=$XVFB_PID
display=$DISPLAY

start_scene() {
  case $1 in
    moving)
      [[ -f $work/testsrc2.bgra ]] ||
        ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=$screen:rate=30 -frames:v 30 \
          -pix_fmt bgra -f rawvideo "$work/testsrc2.bgra"
      "$player" --geometry "$screen+0+0" --fps 30 --frames 30 --raw "$work/testsrc2.bgra" \
        >/dev/null 2>&1 &
      ;;
    terminal)
      xterm -fn fixed -geometry 320x83+0+0 -e bash -c \
        'i=0; while :; do i=$((i+1)); echo "$i $(date +%T.%N) $(head -c 90 /dev/urandom | base64 -w0)"; sleep 0.25; done' \
        >/dev/null 2>&1 &
      ;;
  esac
  scene_pid=$!
  sleep 2  # the window is up and its first frames are drawn
}

stop_scene() {
  kill "$scene_pid" 2>/dev/null || true
  wait "$scene_pid" 2>/dev/null || true
  scene_pid=
}

# CPU seconds the X server has used so far.
xvfb_cpu() {
  awk -v hz="$(getconf CLK_TCK)" '{ printf "%.3f", ($14 + $15) / hz }' "/proc/$xvfb_pid/stat"
}

# Prints: frames_written positions. The header's frame count holds every position of the
# stream; positions without a frame are empty chunks, which ffprobe does not list as packets.
count_packets() {
  local written positions
  written=$(ffprobe -v error -select_streams v:0 -show_entries packet=size -of csv=p=0 "$1" |
    awk '$1 > 0 { n++ } END { print n + 0 }')
  positions=$(ffprobe -v error -select_streams v:0 -show_entries stream=nb_frames -of csv=p=0 "$1")
  echo "$written ${positions:-0}"
}

# run TOOL SCENE SIZE[@RATE] COMPRESSOR: records once and appends a line to $results.
run() {
  local tool=$1 scene=$2 size=${3%@*} compressor=$4
  local rate=30
  [[ $3 == *@* ]] && rate=${3#*@}
  local interval=$(((1000 + rate / 2) / rate))
  # ffmpeg grabs one frame per interval too (1000/33 = 30.3, 1000/17 = 58.8 frames a second),
  # so both fill the same slots: at -framerate 60 it would have 2 % more slots than we can.
  local slots=1000/$interval
  local fourcc=${compressor%%:*} settings=${compressor#*:}
  local width=${size%x*} height=${size#*x}
  local encoder=${ffmpeg_encoder[$settings]}
  [[ $settings == H264 ]] && encoder=${encoder/-preset veryfast/-preset $(x264_preset "$width" "$height")}
  local out=$work/$tool.avi timing=$work/time.txt
  rm -f "$out"
  local before after
  before=$(xvfb_cpu)
  if [[ $tool == orvenna ]]; then
    # The automatic stop needs a pass of the frame loop within its second, which a very slow
    # encoder can miss; SIGTERM then stops and keeps the recording the same way.
    /usr/bin/time -o "$timing" -f "%U %S %M" timeout -s TERM -k 300 $((seconds + 10)) \
      "$cli" --seconds "$seconds" \
      --region "0,0,$width,$height" --compressor "$fourcc" --interval "$interval" --fps "$rate" --quality 75 \
      "$out" >/dev/null 2>"$work/stderr.txt" || true
  else
    # shellcheck disable=SC2086
    /usr/bin/time -o "$timing" -f "%U %S %M" ffmpeg -nostdin -y -v error -f x11grab \
      -framerate "$slots" -video_size "$size" -i "$display+0,0" $encoder ${ffmpeg_key_frames[$settings]:-} -r "$slots" \
      -t "$seconds" "$out" >/dev/null 2>"$work/stderr.txt" || true
  fi
  after=$(xvfb_cpu)
  local written=0 total=0 bytes=0
  if [[ -s $out ]]; then
    read -r written total < <(count_packets "$out")
    bytes=$(stat -c %s "$out")
  fi
  local user sys rss
  read -r user sys rss < <(tail -n 1 "$timing")  # after a line on an exit status, if any
  printf '%s\t%s\t%s\t%s\t%d\t%d\t%s\t%s\t%s\t%d\t%d\n' "$scene" "$3" "$settings" "$tool" \
    "$written" "$total" "$user" "$sys" "$(awk -v a="$before" -v b="$after" 'BEGIN { print b - a }')" \
    "$rss" "$bytes" >>"$results"
  rm -f "$out"
}

: >"$results"
echo "compare: $seconds s per recording; load average $(cut -d' ' -f1-3 /proc/loadavg)" >&2
for scene in $scenes; do
  start_scene "$scene"
  for size in $sizes; do
    [[ $scene == terminal && $size != 1920x1080 ]] && continue
    for compressor in $compressors; do
      echo "compare: $scene $size $compressor" >&2
      run orvenna "$scene" "$size" "$compressor"
      run ffmpeg "$scene" "$size" "$compressor"
    done
  done
  if [[ $scene == moving ]]; then
    for size in $large_sizes; do
      for compressor in $large_compressors; do
        echo "compare: $scene $size $compressor" >&2
        run orvenna "$scene" "$size" "$compressor"
        run ffmpeg "$scene" "$size" "$compressor"
      done
    done
  fi
  stop_scene
done
echo "compare: done; load average $(cut -d' ' -f1-3 /proc/loadavg)" >&2

# One row per scene, size and compressor: Orvenna's figures, ffmpeg's, and the ratios.
awk -F'\t' -v seconds="$seconds" '
  # Per second of the recording: its stream length, or the time asked for when the stream
  # is shorter (a recorder that fell behind wrote fewer positions).
  function fps(w, t, r) { return w / (t / r > seconds ? t / r : seconds) }
  function per(x, w) { return w > 0 ? x / w : 0 }
  function ratio(a, b) { return b > 0 ? sprintf("%.2f", a / b) : "-" }
  {
    key = $1 " " $2 " " $3
    if (!(key in seen)) { seen[key] = 1; order[++n] = key }
    r = $2 ~ /@/ ? substr($2, index($2, "@") + 1) : 30
    # Our slots last a whole number of milliseconds (17 ms at 60 frames a second).
    if ($4 == "orvenna") r = 1000 / int((1000 + r / 2) / r)
    w[key, $4] = $5; d[key, $4] = (seconds * r > $6 ? seconds * r : $6) - $5
    f[key, $4] = fps($5, $6, r)
    c[key, $4] = per($7 + $8, $5); x[key, $4] = per($9, $5)
    m[key, $4] = $10 / 1024; s[key, $4] = $11 / 1048576
  }
  END {
    printf "| scene | size | codec | frames O/F | dropped O/F | fps O/F | CPU s/frame O/F | Xvfb CPU s/frame O/F | peak RSS MB O/F | file MB O/F | fps ratio | CPU/frame ratio | RSS ratio | size ratio |\n"
    printf "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n"
    for (i = 1; i <= n; i++) {
      k = order[i]; split(k, p, " ")
      printf "| %s | %s | %s | %d / %d | %d / %d | %.1f / %.1f | %.4f / %.4f | %.4f / %.4f | %.0f / %.0f | %.1f / %.1f | %s | %s | %s | %s |\n",
        p[1], p[2], p[3], w[k, "orvenna"], w[k, "ffmpeg"], d[k, "orvenna"], d[k, "ffmpeg"],
        f[k, "orvenna"], f[k, "ffmpeg"], c[k, "orvenna"], c[k, "ffmpeg"],
        x[k, "orvenna"], x[k, "ffmpeg"], m[k, "orvenna"], m[k, "ffmpeg"],
        s[k, "orvenna"], s[k, "ffmpeg"], ratio(f[k, "orvenna"], f[k, "ffmpeg"]),
        ratio(c[k, "orvenna"], c[k, "ffmpeg"]), ratio(m[k, "orvenna"], m[k, "ffmpeg"]),
        ratio(s[k, "orvenna"], s[k, "ffmpeg"])
    }
  }' "$results"
