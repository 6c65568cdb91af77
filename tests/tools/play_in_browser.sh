#!/usr/bin/env bash
# Plays a video file in headless Chromium (Debian's package, /usr/bin/chromium; CHROMIUM names
# another) and tells whether it played to its end without an error:
#
#   tests/tools/play_in_browser.sh [--rate R] [--timeout S] [--keep-log] FILE
#
# Prints one line (result=ended|error|timeout|crashed, duration=, position=, size=, frames=,
# dropped=, video_bytes=, audio_bytes=, error=..., seconds=) and exits 0 only when the file
# played to its end without an error; 1 when it did not, 2 on bad arguments, 77 when there is
# no browser. Needs no display and no network: the page and the file come from a private
# server on 127.0.0.1 (play_in_browser.py beside this script).
set -euo pipefail
exec python3 "$(dirname "$(readlink -f "$0")")/play_in_browser.py" "$@"
