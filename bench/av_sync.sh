#!/usr/bin/env bash
# Sound and picture together: orvenna-cli and ffmpeg (x11grab + pulse) record, one after the
# other, a window that flashes white while a click plays into the sound server
# (orvenna-flash-click, once a second), on a private virtual display and sound server.
# bench/lib/av_sync.py finds the flashes and the clicks in each file and prints how late the
# sound is: every pair, the mean, the spread and the drift per 10 minutes.
#
#   bench/av_sync.sh [build folder]        (default: build-bench, Release)
#
# FLASHES (20; 600 gives a 10-minute recording for the drift), COMPRESSOR (H264) and
# AUDIO_FORMAT (20: 48 kHz 16-bit stereo) override the choices. RECORDERS ("orvenna ffmpeg")
# picks who records.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/lib/encoder-settings.sh

build=${1:-build-bench}
flashes=${FLASHES:-20}
compressor=${COMPRESSOR:-H264}
format=${AUDIO_FORMAT:-20}
recorders=${RECORDERS:-"orvenna ffmpeg"}
seconds=$((flashes + 4))
region=320x240

source bench/lib/sound-desktop.sh
start_sound_desktop "$build" av-sync orvenna-cli orvenna-flash-click

record() {  # record NAME: records $seconds seconds into $out/NAME.avi
  case $1 in
    orvenna)
      "$build/cli/orvenna-cli" --seconds "$seconds" --region "0,0,320,240" \
        --compressor "$compressor" --audio-format "$format" "$out/orvenna.avi" 2>"$out/orvenna.log" ;;
    ffmpeg)
      # shellcheck disable=SC2086 # the encoder's options are words
      ffmpeg -nostdin -y -v error -f x11grab -framerate 30 -video_size "$region" -i "$DISPLAY+0,0" \
        -f pulse -i default ${ffmpeg_encoder[$compressor]} -r 30 -c:a pcm_s16le -ar 48000 -ac 2 \
        -t "$seconds" "$out/ffmpeg.avi" 2>"$out/ffmpeg.log" ;;
  esac
}

for recorder in $recorders; do
  record "$recorder" &
  recording=$!
  sleep 1
  "$build/bench/tools/orvenna-flash-click" --geometry "$region+0+0" --count "$flashes" >/dev/null
  wait "$recording"
  echo "== $recorder ($compressor, audio format $format, $flashes flashes)"
  python3 bench/lib/av_sync.py "$out/$recorder.avi"
done
