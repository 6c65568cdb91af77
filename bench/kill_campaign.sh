#!/usr/bin/env bash
# Kills orvenna-cli with SIGKILL at random moments of a recording and of its assembly, starts
# it again, and checks that every recording survives: either the finished file or the copy the
# next start repairs and keeps beside it must decode to the end with at least one frame.
#
#   bench/kill_campaign.sh [BUILD_DIR] [KILLS]     (DISPLAY must name an X display)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
kills=${2:-50}
cli=$build/cli/orvenna-cli
[[ -n ${DISPLAY:-} ]] || { echo "kill_campaign: set DISPLAY" >&2; exit 2; }
work=$(mktemp -d "${TMPDIR:-/tmp}/orvenna-kills.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -m 0700 "$work/tmp"
export TMPDIR=$work/tmp

frames() {  # decoded frames of a file, or -1 when it does not decode to the end
  local out
  out=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames \
    -of csv=p=0 "$1" 2>/dev/null) || { echo -1; return; }
  echo "${out:--1}"
}

kept=0 finished=0 lost=0
for ((i = 1; i <= kills; i++)); do
  target=$work/out-$i.avi
  # Odd kills hit the recording at a random moment; even ones the assembly, as soon as the
  # progress of saving shows (a large region makes the assembly last).
  if ((i % 2)); then
    region=0,0,320,240 wait_for=""
  else
    region=0,0,1280,720 wait_for="Saving Video"
  fi
  "$cli" --seconds 3 --region "$region" --compressor ZMBV "$target" 2>"$work/log" &
  pid=$!
  if [[ -z $wait_for ]]; then
    sleep "$(awk -v s=$RANDOM 'BEGIN { printf "%.2f", 0.2 + s / 32767 * 3.2 }')"
  else
    for _ in $(seq 1 400); do grep -q "$wait_for" "$work/log" && break; sleep 0.01; done
  fi
  kill -9 "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  "$cli" --list-compressors >/dev/null 2>"$work/next.log" || true
  recovered=$(find "$work" -maxdepth 1 -name "out-$i.recovered*.avi" | head -1)
  if [[ -s $target && $(frames "$target") -gt 0 ]]; then
    finished=$((finished + 1)); what="finished file, $(frames "$target") frames"
  elif [[ -n $recovered && $(frames "$recovered") -gt 0 ]]; then
    kept=$((kept + 1)); what="kept $(basename "$recovered"), $(frames "$recovered") frames"
  else
    lost=$((lost + 1)); what="LOST: $(tr '\n' ' ' <"$work/next.log")"
  fi
  printf '%2d %-8s %s\n' "$i" "$([[ -z $wait_for ]] && echo record || echo assembly)" "$what"
done
echo "kills: $kills  finished files: $finished  kept after the kill: $kept  lost: $lost"
[[ $lost -eq 0 ]]
