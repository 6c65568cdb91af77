# Starting and stopping a private headless GNOME desktop (mutter on a virtual monitor, with
# PipeWire, WirePlumber, PipeWire's PulseAudio service and the desktop portal on a session bus
# of its own) for the tests that record Wayland. Source this file.
#
# start_wayland_desktop [WIDTHxHEIGHT] sets WAYLAND_DESKTOP_DIR and writes
# $WAYLAND_DESKTOP_DIR/env: the variables a client of that desktop needs (WAYLAND_DISPLAY,
# XDG_RUNTIME_DIR, DBUS_SESSION_BUS_ADDRESS, XDG_SESSION_TYPE, XDG_CURRENT_DESKTOP, and
# PULSE_SERVER for PipeWire's PulseAudio service), one NAME=VALUE a line; it exports
# ORVENNA_TEST_WAYLAND with that file's path, which the tests read.
# It changes nothing else of the caller's environment, so the X11 tests keep theirs.
# stop_wayland_desktop stops only what start_wayland_desktop started and removes its folder.

WAYLAND_DESKTOP_PIDS=()
WAYLAND_DESKTOP_NAMES=()

wayland_desktop_env() {  # prints the client environment of the running desktop
  cat <<EOV
WAYLAND_DISPLAY=$WAYLAND_DESKTOP_NAME
XDG_RUNTIME_DIR=$WAYLAND_DESKTOP_DIR/runtime
DBUS_SESSION_BUS_ADDRESS=unix:path=$WAYLAND_DESKTOP_DIR/runtime/bus
XDG_SESSION_TYPE=wayland
XDG_CURRENT_DESKTOP=GNOME
PULSE_SERVER=unix:$WAYLAND_DESKTOP_DIR/runtime/pulse/native
EOV
}

# The two helpers below run inside start_wayland_desktop and use its `environment` and `d`.
# wayland_desktop_run NAME COMMAND...: runs a program of the desktop in that environment, with
# its log in $d/NAME.log.
wayland_desktop_run() {
  local name=$1
  shift
  "${environment[@]}" "$@" >"$d/$name.log" 2>&1 &
  WAYLAND_DESKTOP_PIDS+=($!)
  WAYLAND_DESKTOP_NAMES+=("$name")
}

# Whether every program started so far still runs; else names the first that ended.
wayland_desktop_alive() {
  local k
  for k in "${!WAYLAND_DESKTOP_PIDS[@]}"; do
    if ! kill -0 "${WAYLAND_DESKTOP_PIDS[k]}" 2>/dev/null; then
      echo "wayland: ${WAYLAND_DESKTOP_NAMES[k]} ended during the start" >&2
      return 1
    fi
  done
}

start_wayland_desktop() {
  local size=${1:-1280x720}
  WAYLAND_DESKTOP_DIR=$(mktemp -d "${TMPDIR:-/tmp}/orvenna-wayland.XXXXXX") || return 1
  WAYLAND_DESKTOP_NAME=orvenna-wayland-$$
  local d=$WAYLAND_DESKTOP_DIR
  WAYLAND_DESKTOP_PIDS=()
  WAYLAND_DESKTOP_NAMES=()
  mkdir -m 0700 "$d/runtime" "$d/data" "$d/config" "$d/state" "$d/cache"
  wayland_desktop_env >"$d/env"
  # Every program of the desktop, and the portals the bus starts, see the same private folders,
  # so that nothing is written into the user's home folder.
  local -a environment=(
    env -u DISPLAY HOME="$d" XDG_DATA_HOME="$d/data" XDG_CONFIG_HOME="$d/config"
    XDG_STATE_HOME="$d/state" XDG_CACHE_HOME="$d/cache" $(cat "$d/env")
  )
  wayland_desktop_run bus dbus-daemon --session --address="unix:path=$d/runtime/bus" --nofork \
    --nopidfile
  local i
  for i in $(seq 1 100); do [[ -S $d/runtime/bus ]] && break; sleep 0.05; done
  wayland_desktop_run pipewire pipewire
  # WirePlumber and the PulseAudio service connect to PipeWire once, at their start, and end
  # when it does not answer yet: without WirePlumber there are no default devices and streams
  # are never linked. So they start only once PipeWire answers a client.
  for i in $(seq 1 100); do
    "${environment[@]}" pw-cli info 0 >/dev/null 2>&1 && break
    sleep 0.05
  done
  wayland_desktop_run wireplumber wireplumber
  # PipeWire's PulseAudio service: the sound server of such a desktop.
  wayland_desktop_run pipewire-pulse pipewire-pulse
  wayland_desktop_run mutter mutter --headless --wayland --no-x11 \
    --wayland-display "$WAYLAND_DESKTOP_NAME" --virtual-monitor "$size"
  # Ready once the compositor's and the sound service's sockets exist, WirePlumber has chosen
  # the default sink and source (with no sound card, the null sink it makes up for the lack of
  # one, and that sink's monitor), and the portal answers on the bus (it is started by the bus
  # on that first call).
  for i in $(seq 1 200); do
    wayland_desktop_alive || break
    if [[ -S $d/runtime/$WAYLAND_DESKTOP_NAME && -S $d/runtime/pulse/native ]] &&
      [[ $("${environment[@]}" pactl get-default-sink 2>/dev/null) != @* ]] &&
      [[ $("${environment[@]}" pactl get-default-source 2>/dev/null) != @* ]] &&
      "${environment[@]}" gdbus call --session --dest org.freedesktop.portal.Desktop \
        --object-path /org/freedesktop/portal/desktop --method org.freedesktop.DBus.Properties.Get \
        org.freedesktop.portal.ScreenCast version >/dev/null 2>&1; then
      export ORVENNA_TEST_WAYLAND=$d/env
      return 0
    fi
    sleep 0.1
  done
  echo "wayland: the headless desktop did not start; the logs are:" >&2
  tail -n 5 "$d"/*.log >&2
  stop_wayland_desktop
  return 1
}

stop_wayland_desktop() {
  # Also called from an EXIT trap under `set -e`: nothing here may fail the caller.
  local pid i
  for pid in "${WAYLAND_DESKTOP_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${WAYLAND_DESKTOP_PIDS[@]}"; do
    for i in $(seq 1 40); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
    kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  WAYLAND_DESKTOP_PIDS=()
  WAYLAND_DESKTOP_NAMES=()
  if [[ -n ${WAYLAND_DESKTOP_DIR:-} ]]; then
    # Processes the bus started for the desktop (portals, their helpers) go with its folder.
    pkill -f -- "$WAYLAND_DESKTOP_DIR" 2>/dev/null || true
    rm -rf "$WAYLAND_DESKTOP_DIR"
    WAYLAND_DESKTOP_DIR=
  fi
  unset ORVENNA_TEST_WAYLAND
  return 0
}
