#!/usr/bin/env bash
# Installs what is missing, builds Orvenna (Release, without tests and benchmarks, in
# build-run/) and starts the desktop recorder on the current desktop: a Wayland session (it
# records through the desktop's screen sharing) or an X display. Without either it says so and
# shows how to record headlessly with orvenna-cli on a virtual display.
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ $(id -u) -eq 0 ]]; then scripts/deps.sh; else scripts/deps.sh || true; fi

cmake -S . -B build-run -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVENNA_TESTS=OFF \
  -DORVENNA_BENCH=OFF >/dev/null
cmake --build build-run -j "$(nproc)" --target orvenna orvenna-cli

display_problem=
if [[ -n ${WAYLAND_DISPLAY:-} || ${XDG_SESSION_TYPE:-} == wayland ]] &&
  [[ ${ORVENNA_SCREEN:-} != x11 ]]; then
  display_problem=  # a Wayland desktop: no X display is needed
elif [[ -z ${DISPLAY:-} ]]; then
  display_problem="DISPLAY is not set"
elif ! xdpyinfo >/dev/null 2>&1; then
  display_problem="the X display '$DISPLAY' cannot be reached"
fi

if [[ -n $display_problem ]]; then
  cat >&2 <<EOF
run: Orvenna is built, but there is no desktop to show it on ($display_problem).
run: Start it from a desktop session (Wayland or X11), or record without a desktop:
  Xvfb :99 -screen 0 1920x1080x24 +extension MIT-SHM -s 0 &
  DISPLAY=:99 build-run/cli/orvenna-cli --seconds 5 out.avi
run: (build-run/cli/orvenna-cli --help lists the recording options)
EOF
  exit 1
fi

exec build-run/ui/orvenna
