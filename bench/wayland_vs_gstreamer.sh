#!/usr/bin/env bash
# Records a headless Wayland desktop (mutter, PipeWire, the ScreenCast portal) with orvenna-cli
# and with a GStreamer pipeline side by side, in one run, and prints one Markdown table.
#
#   bench/wayland_vs_gstreamer.sh [build folder]      (default: build-bench, a Release build)
#
# For each size the desktop starts with a virtual monitor of that size and weston-simple-shm
# animating on it (a 250x250 window redrawn 60 times a second, so the compositor sends a new
# picture of the whole monitor for every 33 ms slot). Each codec then records SECONDS seconds
# on that same desktop with
#   orvenna-cli --screen portal --interval 33 --fps 30 --quality 75 --compressor FOURCC
# (the monitor choice seeded as a restore token, so no chooser shows) and then with
#   gst-launch-1.0 -e pipewiresrc path=NODE do-timestamp=true ! videorate ! framerate=1000/33 !
#     videoconvert ! I420 ! x264enc (or jpegenc) ! avimux ! filesink
# reading a screen cast of the same monitor that orvenna-screencast-run (bench/tools) opens
# through mutter's own API, the pointer as metadata for both. GStreamer's encoders get our
# drivers' settings as far as they have them: x264 veryfast, zerolatency, slice threads,
# constant quality 18, no B-frames, a key frame every 100 frames; JPEG quality 90 (about the
# fixed quantiser 3 that our Motion JPEG takes at quality 75). videorate repeats the last
# picture for a slot without a new one, as our recorder fills its slots; the pipeline is
# interrupted SECONDS after it starts to play.
#
# Columns: frames written in the first SECONDS (the slots 0 to SECONDS / 33 ms; a pipeline
# that ran a little longer wrote a few more), dropped slots (orvenna-cli's own count; for
# GStreamer the slots of those SECONDS without a frame), CPU seconds (user + system) of the
# recorder per frame in its file, mutter's CPU seconds per frame while it recorded (it copies
# every picture into the stream), peak resident memory, file size, and the Orvenna / GStreamer
# ratios of frames, CPU per frame and peak memory. Every file is also decoded to the end; a
# message says when one decodes to fewer frames than it holds. Raw figures go to RESULTS.
#
# Environment: SECONDS_EACH (10), SIZES ("1280x720 1920x1080"), CODECS ("H264 MJPG"),
# RESULTS (default: a file in the build folder). Needs the packages scripts/deps.sh installs
# (mutter, PipeWire, WirePlumber, the portals, weston, GStreamer's base, good and ugly plugins).
# Run it on an otherwise idle machine: the recorders, the compositor and the client share both
# cores, and a recorder that runs on one thread loses most from other work.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
seconds=${SECONDS_EACH:-10}
sizes=${SIZES:-"1280x720 1920x1080"}
codecs=${CODECS:-"H264 MJPG"}
results=${RESULTS:-$build/wayland-vs-gstreamer.tsv}

for program in weston-simple-shm gst-launch-1.0 mutter ffprobe; do
  command -v "$program" >/dev/null ||
    { echo "wayland_vs_gstreamer: $program is missing; run scripts/deps.sh" >&2; exit 1; }
done
for element in pipewiresrc videorate videoconvert x264enc jpegenc avimux; do
  gst-inspect-1.0 "$element" >/dev/null 2>&1 ||
    { echo "wayland_vs_gstreamer: GStreamer has no $element; run scripts/deps.sh" >&2; exit 1; }
done

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVENNA_BENCH=ON >/dev/null
cmake --build "$build" --target orvenna-cli orvenna-screencast-run >/dev/null
cli=$build/cli/orvenna-cli
cast=$build/bench/tools/orvenna-screencast-run

work=$(mktemp -d)
client_pid=
runner_pid=  # the GStreamer run under way: orvenna-screencast-run and below it gst-launch-1.0
# shellcheck source=../scripts/lib/wayland.sh
source scripts/lib/wayland.sh
cleanup() {
  if [[ -n $runner_pid ]]; then
    local pipeline
    pipeline=$(descendant "$runner_pid" gst-launch-1.0 || true)
    [[ -n $pipeline ]] && kill -KILL "$pipeline" 2>/dev/null
    wait "$runner_pid" 2>/dev/null || true
  fi
  if [[ -n $client_pid ]]; then kill "$client_pid" 2>/dev/null || true; wait "$client_pid" 2>/dev/null || true; fi
  stop_wayland_desktop
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Runs a command on the desktop: its environment file, and private folders for what the
# programs keep (our recorder's monitor choice goes into $work/config/orvenna).
on_desktop() {
  # shellcheck disable=SC2046  # one NAME=VALUE a word
  env -u DISPLAY HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" \
    XDG_CACHE_HOME="$work/cache" XDG_STATE_HOME="$work/state" \
    $(cat "$WAYLAND_DESKTOP_DIR/env") "$@"
}

# Seeds the permission store with the monitor as the answer to a restore token, and keeps that
# token as our recorder's monitor choice, so that the portal shares without asking.
seed_choice() {
  local token now
  token=$(cat /proc/sys/kernel/random/uuid)
  now=$(($(date +%s%N) / 1000))
  on_desktop gdbus call --session --dest org.freedesktop.impl.portal.PermissionStore \
    --object-path /org/freedesktop/impl/portal/PermissionStore \
    --method org.freedesktop.impl.portal.PermissionStore.Set screencast true "$token" \
    "{'': ['yes']}" \
    "<('GNOME', uint32 1, <(int64 $now, int64 $now, [(uint32 0, uint32 1, <'MetaVendor:MetaVirtualMonitor:0x00'>)])>)>" \
    >/dev/null
  mkdir -p "$work/config/orvenna"
  printf '%s\n0 0\n' "$token" >"$work/config/orvenna/screen-choice"
}

# CPU seconds the compositor has used so far.
mutter_cpu() {
  awk -v hz="$(getconf CLK_TCK)" '{ printf "%.3f", ($14 + $15) / hz }' "/proc/$mutter_pid/stat"
}

# Prints the frames a file holds (its non-empty video packets; a slot our recorder had no
# frame for is an empty chunk, which ffprobe lists as a packet of size 0) and how many of them
# fall in the first SLOTS slots. Both files number their packets by slot, from 0: the decoding
# time stamp in frames (H.264 in AVI has no presentation time stamps; neither encoder makes
# B-frames, so both orders are the same).
count_frames() {
  ffprobe -v error -select_streams v:0 -show_entries packet=dts,size -of csv=p=0 "$1" |
    awk -F, -v slots="$2" '$2 > 0 { n++; if ($1 != "N/A" && $1 < slots) w++ } END { print n + 0, w + 0 }'
}

# Prints the frames a file decodes to, reading it to the end.
decoded_frames() {
  ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames \
    -of csv=p=0 "$1" 2>/dev/null | head -n 1
}

# Prints the process id of the first process named NAME below PID (children first, then theirs).
descendant() {
  local child
  for child in $(pgrep -P "$1"); do
    [[ $(cat "/proc/$child/comm" 2>/dev/null) == "$2" ]] && { echo "$child"; return 0; }
    descendant "$child" "$2" && return 0
  done
  return 1
}

# run TOOL SIZE CODEC: records once and appends a line to $results.
run() {
  local tool=$1 size=$2 codec=$3
  local out=$work/$tool.avi timing=$work/time.txt log=$work/$tool-$size-$codec.log
  rm -f "$out" "$timing"
  local before after dropped=- grabs=-
  before=$(mutter_cpu)
  if [[ $tool == orvenna ]]; then
    seed_choice
    # SIGTERM stops and keeps the recording as the automatic stop does, should that be late.
    on_desktop /usr/bin/time -o "$timing" -f "%U %S %M" timeout -s TERM -k 60 $((seconds + 30)) \
      "$cli" --screen portal --seconds "$seconds" --interval 33 --fps 30 --quality 75 \
      --compressor "$codec" "$out" >"$log" 2>&1 || true
    # The statistics line: "... frames N  dropped M".
    local statistics
    statistics=$(tr '\r' '\n' <"$log" | grep '  dropped ' | tail -n 1 || true)
    if [[ -z $statistics ]]; then
      echo "wayland_vs_gstreamer: orvenna-cli printed no statistics at $size with $codec; its output:" >&2
      tail -n 5 "$log" >&2
    fi
    dropped=$(sed -n 's/.*  dropped \([0-9]*\).*/\1/p' <<<"$statistics")
    grabs=$(sed -n 's/.*grabs\/s \([0-9]*\).*/\1/p' <<<"$statistics")
  else
    local encoder
    case $codec in
      H264) encoder="x264enc speed-preset=veryfast tune=zerolatency sliced-threads=true pass=qual quantizer=18 bframes=0 key-int-max=100" ;;
      MJPG) encoder="jpegenc quality=90" ;;
      *) echo "wayland_vs_gstreamer: no GStreamer encoder for $codec" >&2; return 1 ;;
    esac
    # The pipeline runs SECONDS from the moment it plays (as our recorder counts from its first
    # picture, after the portal's session and the stream's start), then gets an interrupt, which
    # gst-launch -e turns into an end of stream so that avimux finishes the file.
    # shellcheck disable=SC2086
    on_desktop "$cast" /usr/bin/time -o "$timing" -f "%U %S %M" gst-launch-1.0 -e \
      pipewiresrc path=@NODE@ do-timestamp=true ! videorate ! video/x-raw,framerate=1000/33 ! \
      videoconvert ! video/x-raw,format=I420 ! $encoder ! avimux ! filesink location="$out" \
      >"$log" 2>&1 &
    runner_pid=$!
    local runner=$runner_pid waited=0
    until grep -q "Setting pipeline to PLAYING" "$log" 2>/dev/null || ((waited++ > 300)); do
      kill -0 "$runner" 2>/dev/null || break
      sleep 0.05
    done
    sleep "$seconds"
    local pipeline
    pipeline=$(descendant "$runner" gst-launch-1.0 || true)
    [[ -n $pipeline ]] && kill -INT "$pipeline" 2>/dev/null
    for ((waited = 0; waited < 600; waited++)); do
      kill -0 "$runner" 2>/dev/null || break
      sleep 0.05
    done
    if kill -0 "$runner" 2>/dev/null; then
      echo "wayland_vs_gstreamer: GStreamer did not finish its file; ended" >&2
      [[ -n $pipeline ]] && kill -KILL "$pipeline" 2>/dev/null
    fi
    wait "$runner" || true
    runner_pid=
  fi
  after=$(mutter_cpu)
  local written=0 in_time=0 decoded=0 bytes=0
  if [[ -s $out ]]; then
    read -r written in_time < <(count_frames "$out" "$slots")
    decoded=$(decoded_frames "$out" || true)
    bytes=$(stat -c %s "$out")
  fi
  if ((decoded != written)); then
    echo "wayland_vs_gstreamer: $tool's file at $size with $codec holds $written frames but decodes to ${decoded:-0}" >&2
  fi
  local user=0 sys=0 rss=0
  if [[ -s $timing ]]; then
    read -r user sys rss < <(tail -n 1 "$timing")  # after a line on an exit status, if any
  fi
  # Columns: size, codec, recorder, frames written, of them in the first SECONDS, dropped slots
  # (ours: its own count), user and system CPU seconds, the compositor's CPU seconds, peak RSS
  # (kB), file size, frames decoded, our recorder's last grabs per second.
  printf '%s\t%s\t%s\t%d\t%d\t%s\t%s\t%s\t%s\t%s\t%d\t%s\t%s\n' "$size" "$codec" "$tool" \
    "$written" "$in_time" "${dropped:--}" "$user" "$sys" \
    "$(awk -v a="$before" -v b="$after" 'BEGIN { print b - a }')" "$rss" "$bytes" "${decoded:-0}" \
    "${grabs:--}" >>"$results"
  if ((written == 0)); then
    echo "wayland_vs_gstreamer: $tool wrote no frame at $size with $codec; its output:" >&2
    tail -n 5 "$log" >&2
  fi
  rm -f "$out"
}

# The slots of SECONDS at one per 33 ms, as our recorder numbers them (0 to the rounded end).
slots=$(((seconds * 1000 + 16) / 33 + 1))
mkdir -p "$(dirname "$results")"
: >"$results"
echo "wayland_vs_gstreamer: $seconds s per recording; load average $(cut -d' ' -f1-3 /proc/loadavg)" >&2
for size in $sizes; do
  # On a loaded machine the desktop can miss its start's deadline: try again, from scratch.
  for attempt in 1 2 3; do
    start_wayland_desktop "$size" && break
    ((attempt < 3)) || { echo "wayland_vs_gstreamer: no desktop at $size" >&2; exit 1; }
    echo "wayland_vs_gstreamer: the desktop did not start; once more" >&2
  done
  mutter_pid=${WAYLAND_DESKTOP_PIDS[-1]}  # the compositor, started last
  on_desktop weston-simple-shm >"$work/client.log" 2>&1 &
  client_pid=$!
  sleep 2  # the window is up and animating
  for codec in $codecs; do
    echo "wayland_vs_gstreamer: $size $codec" >&2
    run orvenna "$size" "$codec"
    run gstreamer "$size" "$codec"
  done
  kill "$client_pid" 2>/dev/null || true
  wait "$client_pid" 2>/dev/null || true
  client_pid=
  stop_wayland_desktop
done
echo "wayland_vs_gstreamer: done; load average $(cut -d' ' -f1-3 /proc/loadavg)" >&2

# One row per size and codec: Orvenna's figures, GStreamer's, and the ratios.
awk -F'\t' -v slots="$slots" '
  function per(x, w) { return w > 0 ? x / w : 0 }
  function ratio(a, b) { return b > 0 ? sprintf("%.2f", a / b) : "-" }
  {
    key = $1 " " $2
    if (!(key in seen)) { seen[key] = 1; order[++n] = key }
    w[key, $3] = $5
    # GStreamer counts no dropped slots: those of the first SECONDS without a frame.
    d[key, $3] = $6 != "-" ? $6 : slots - $5
    c[key, $3] = per($7 + $8, $4); x[key, $3] = per($9, $4)
    m[key, $3] = $10 / 1024; s[key, $3] = $11 / 1048576
  }
  END {
    printf "| size | codec | frames O/G | dropped O/G | CPU s/frame O/G | mutter CPU s/frame O/G | peak RSS MB O/G | file MB O/G | frames ratio | CPU/frame ratio | RSS ratio |\n"
    printf "|---|---|---|---|---|---|---|---|---|---|---|\n"
    for (i = 1; i <= n; i++) {
      q = order[i]; split(q, p, " ")
      printf "| %s | %s | %d / %d | %d / %d | %.4f / %.4f | %.4f / %.4f | %.0f / %.0f | %.1f / %.1f | %s | %s | %s |\n",
        p[1], p[2], w[q, "orvenna"], w[q, "gstreamer"], d[q, "orvenna"], d[q, "gstreamer"],
        c[q, "orvenna"], c[q, "gstreamer"], x[q, "orvenna"], x[q, "gstreamer"],
        m[q, "orvenna"], m[q, "gstreamer"], s[q, "orvenna"], s[q, "gstreamer"],
        ratio(w[q, "orvenna"], w[q, "gstreamer"]), ratio(c[q, "orvenna"], c[q, "gstreamer"]),
        ratio(m[q, "orvenna"], m[q, "gstreamer"])
    }
  }' "$results"
