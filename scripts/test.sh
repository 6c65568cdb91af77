#!/usr/bin/env bash
# Installs what is missing, builds Orvenna twice (normal, and with AddressSanitizer and
# UndefinedBehaviorSanitizer), starts a private virtual display with a window manager, a
# private sound server and a private headless Wayland desktop with the ScreenCast portal, runs
# every test of both builds with CTest, runs the threading tests of the engine and of the sound
# device once more under ThreadSanitizer, packages the normal build for Debian and checks the
# installed package (scripts/check-package.sh), and stops what it started. Exits non-zero on
# any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

if [[ $(id -u) -eq 0 ]]; then scripts/deps.sh; else scripts/deps.sh || true; fi

echo "== source layout (clang-format) =="
if ! clang-format --dry-run --Werror $(git ls-files '*.cpp' '*.h'); then
  echo "clang-format: the files above are not formatted; run clang-format -i on them" >&2
  exit 1
fi

jobs=$(nproc)
build() {  # build DIR "TARGET..." [cmake options...]
  local dir=$1 targets=$2; shift 2
  cmake -S "$root" -B "$dir" -G Ninja -DORVENNA_BENCH=OFF "$@" >/dev/null
  # shellcheck disable=SC2086 # one word per target
  cmake --build "$dir" -j "$jobs" --target $targets
}
build build all
build build-asan all -DORVENNA_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
tsan_tests="engine_unit_tests audio_device_tests"
build build-tsan "$tsan_tests" -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS=-fsanitize=thread -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread

source scripts/lib/display.sh
source scripts/lib/sound.sh
source scripts/lib/wayland.sh
trap 'stop_wayland_desktop; stop_pulse; stop_display' EXIT
start_xvfb 1920x1080x24
start_openbox
start_pulse
start_wayland_desktop 1280x720

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
# Leaks of system libraries that Qt and the codecs load; the list of them is not printed, so that
# the output of the programs under test stays what they print.
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
echo "== threading tests under ThreadSanitizer =="
for test in $tsan_tests; do
  TSAN_OPTIONS=halt_on_error=1 "build-tsan/tests/unit/$test" --gtest_brief=1 || status=1
done
for dir in build-asan build; do
  echo "== tests of $dir =="
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" || status=1
done
echo "== Debian package of build, installed and checked =="
scripts/check-package.sh build || status=1
exit $status
