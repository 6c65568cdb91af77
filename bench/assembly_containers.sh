#!/usr/bin/env bash
# The assembly of one recording of about 1 GB (a recorder's temporary files: an MPEG-4 video
# AVI file at 1920x1080 and a 16-bit PCM WAVE file of the same length) into AVI, Matroska and
# MP4 by orvenna-assemble (bench/tools/assemble.cpp: our AVI library reads both files and
# writes the AVI file, the container writer the others), beside ffmpeg remuxing the same files:
#
#   ffmpeg -i video.avi -i sound.wav -map 0:v -map 1:a -c copy out.avi|out.mkv
#   ffmpeg -i video.avi -i sound.wav -map 0:v -map 1:a -c:v copy -c:a aac -movflags +faststart out.mp4
#
# Prints one table: wall-clock seconds (median of RUNS), ours / ffmpeg, peak resident memory
# (/usr/bin/time's "Maximum resident set size") of each. Our save flushes the file to the disk
# before it returns and ffmpeg does not, so the table also shows ffmpeg's time plus a `sync` of
# its file. Then every file of ours is decoded once by ffprobe (streams, frames).
#
#   bench/assembly_containers.sh [build folder]     (default: build-bench, a Release build)
#
# The inputs are made once (about 80 s of ffmpeg's work) and kept in $DATA (default:
# ${TMPDIR:-/tmp}/orvenna-assembly-bench) for the next run; `CLEAN=1` removes them at the end.
# RUNS (3), LENGTH (seconds of recording, 295: about 1 GB) and CONTAINERS ("avi mkv mp4")
# change what is measured. Needs about 3 GB free where $DATA is.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
runs=${RUNS:-3}
length=${LENGTH:-295}
containers=${CONTAINERS:-"avi mkv mp4"}
data=${DATA:-${TMPDIR:-/tmp}/orvenna-assembly-bench}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVENNA_BENCH=ON >/dev/null
cmake --build "$build" --target orvenna-assemble >/dev/null
assemble=$build/bench/tools/orvenna-assemble

mkdir -p "$data"
work=$(mktemp -d "$data/run.XXXXXX")
cleanup() {
  rm -rf "$work"
  if [[ ${CLEAN:-0} == 1 ]]; then rm -rf "$data"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

free_mb=$(df -Pm "$data" | awk 'NR == 2 { print $4 }')
if [[ ! -f $data/video.avi ]] && ((free_mb < 3200)); then
  echo "assembly: $data has $free_mb MB free; the inputs and one output need about 3 GB" >&2
  exit 1
fi

video=$data/video.avi
sound=$data/sound.wav
# A recording as the recorder leaves it: MPEG-4 pictures (key frame every 100, no B-frames) in
# an AVI file, 44.1 kHz 16-bit stereo sound in a WAVE file. Each is written under another name
# first, so that an interrupted run leaves nothing that looks finished.
if [[ ! -f $video ]]; then
  echo "assembly: making $length s of 1920x1080 MPEG-4 video in $video ..." >&2
  ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=1920x1080:rate=30" -t "$length" \
    -c:v mpeg4 -q:v 1 -vtag FMP4 -g 100 -bf 0 -pix_fmt yuv420p -f avi "$video.part"
  mv "$video.part" "$video"
fi
if [[ ! -f $sound ]]; then
  ffmpeg -nostdin -v error -y -f lavfi -i "sine=frequency=440:sample_rate=44100" -t "$length" \
    -ac 2 -c:a pcm_s16le -f wav "$sound.part"
  mv "$sound.part" "$sound"
fi
positions=$(ffprobe -v error -select_streams v:0 -show_entries stream=nb_frames -of csv=p=0 "$video")
echo "assembly: inputs $(du -m "$video" | cut -f1) MB + $(du -m "$sound" | cut -f1) MB," \
  "$positions pictures; load average $(cut -d' ' -f1-3 /proc/loadavg)" >&2

# Our AVI library reads both inputs (the stream lines come from orvenna-assemble).
if ! "$assemble" "$video" "$sound" "$work/check.avi" >"$work/check.txt" 2>&1; then
  cat "$work/check.txt" >&2
  echo "assembly: our AVI library could not read or save the inputs" >&2
  exit 1
fi
sed -n 's/^assemble: /assembly: read by our library: /p' "$work/check.txt" >&2
rm -f "$work/check.avi"
cat "$video" "$sound" >/dev/null  # every run reads from the page cache

# ffmpeg's remux of the inputs into the container ($1), but for the file's name.
ffmpeg_remux() {
  ffmpeg_args=(ffmpeg -nostdin -v error -y -i "$video" -i "$sound" -map 0:v -map 1:a)
  case $1 in
    mp4) ffmpeg_args+=(-c:v copy -c:a aac -movflags +faststart) ;;
    *) ffmpeg_args+=(-c copy) ;;
  esac
}

# timed FILE COMMAND...: runs the command under /usr/bin/time and appends "seconds kilobytes"
# to FILE; the disk has written everything before it starts.
timed() {
  local into=$1
  shift
  sync
  /usr/bin/time -o "$work/time.txt" -f "%e %M" "$@" >/dev/null 2>"$work/stderr.txt" || {
    cat "$work/stderr.txt" >&2
    echo "assembly: failed: $*" >&2
    exit 1
  }
  tail -n 1 "$work/time.txt" >>"$into"
}

median() {  # FILE COLUMN
  sort -n -k "$2" "$1" | awk -v c="$2" '{ v[NR] = $c } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# Frames a file decodes to, per stream: "video mpeg4: 8850, audio aac: 12707".
decoded() {
  ffprobe -v error -count_frames -show_entries stream=codec_type,codec_name,nb_read_frames \
    -of csv=p=0 "$1" | awk -F, '{ printf "%s%s %s: %s", (NR > 1 ? ", " : ""), $2, $1, $3 } END { print "" }'
}

table=$work/table.txt
checks=$work/checks.txt
: >"$table"
: >"$checks"
for container in $containers; do
  ours=$work/ours.$container
  theirs=$work/ffmpeg.$container
  : >"$work/ours.times"
  : >"$work/ffmpeg.times"
  : >"$work/sync.times"
  for run in $(seq 1 "$runs"); do
    rm -f "$ours" "$theirs"
    timed "$work/ours.times" "$assemble" "$video" "$sound" "$ours"
    ffmpeg_remux "$container"
    timed "$work/ffmpeg.times" "${ffmpeg_args[@]}" "$theirs"
    /usr/bin/time -o "$work/time.txt" -f "%e" sync "$theirs"
    tail -n 1 "$work/time.txt" >>"$work/sync.times"
    echo "assembly: $container, run $run: ours $(tail -n 1 "$work/ours.times" | cut -d' ' -f1) s," \
      "ffmpeg $(tail -n 1 "$work/ffmpeg.times" | cut -d' ' -f1) s + sync $(tail -n 1 "$work/sync.times") s" >&2
    rm -f "$theirs"
  done
  ours_s=$(median "$work/ours.times" 1)
  ours_kb=$(median "$work/ours.times" 2)
  ffmpeg_s=$(median "$work/ffmpeg.times" 1)
  ffmpeg_kb=$(median "$work/ffmpeg.times" 2)
  sync_s=$(median "$work/sync.times" 1)
  printf '%s %s %s %s %s %s %s\n' "$container" "$ours_s" "$ffmpeg_s" "$sync_s" "$ours_kb" \
    "$ffmpeg_kb" "$(du -m "$ours" | cut -f1)" >>"$table"
  echo "assembly: decoding our $container file with ffprobe ..." >&2
  echo "$container: $(decoded "$ours")" >>"$checks"
  rm -f "$ours"
done

echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg); $runs runs each, medians"
printf '| container | ours s | ffmpeg s | ffmpeg + sync s | ratio | ours MB | ffmpeg MB | file MB |\n'
printf '|---|---|---|---|---|---|---|---|\n'
awk '{
  ratio = $3 > 0 ? $2 / $3 : 0
  printf "| %s | %.2f | %.2f | %.2f | %.2f | %.1f | %.1f | %d |\n", toupper($1), $2, $3, $3 + $4, ratio, $5 / 1024, $6 / 1024, $7
}' "$table"
echo
echo "Our files decoded by ffprobe (codec: frames; the input holds $positions pictures):"
sed 's/^/  /' "$checks"
