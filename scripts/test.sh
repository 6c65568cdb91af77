#!/usr/bin/env bash
# Installs what is missing, builds Orvenna twice (normal, and with AddressSanitizer and
# UndefinedBehaviorSanitizer), starts a private virtual display with a window manager, runs
# every test of both builds with CTest and stops what it started. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

if [[ $(id -u) -eq 0 ]]; then scripts/deps.sh; else scripts/deps.sh || true; fi

jobs=$(nproc)
build() {  # build DIR [cmake options...]
  local dir=$1; shift
  cmake -S "$root" -B "$dir" -G Ninja -DORVENNA_BENCH=OFF "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}
build build
build build-asan -DORVENNA_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug

source scripts/lib/display.sh
trap stop_display EXIT
start_xvfb 1920x1080x24
start_openbox

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for dir in build build-asan; do
  echo "== tests of $dir =="
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" || status=1
done
exit $status
