# Starting and stopping a private virtual display and window manager. Source this file.
# start_xvfb sets DISPLAY and XVFB_PID; stop_xvfb stops only what start_xvfb started.

free_display_number() {
  local n
  for n in $(seq 90 199); do
    local lock=/tmp/.X$n-lock
    if [[ -e $lock ]]; then
      local pid
      pid=$(tr -d ' ' <"$lock" 2>/dev/null)
      if [[ -n $pid ]] && kill -0 "$pid" 2>/dev/null; then continue; fi
      rm -f "$lock" "/tmp/.X11-unix/X$n"  # stale lock of a server that is gone
    fi
    [[ -e /tmp/.X11-unix/X$n ]] && continue
    echo "$n"
    return 0
  done
  return 1
}

start_xvfb() {
  local size=${1:-1920x1080x24}
  local n
  n=$(free_display_number) || { echo "display: no free display number" >&2; return 1; }
  # No screen saver (-s 0): after ten minutes without input the server would cover the screen
  # with its saver window, and tests that run later would read and find that window.
  Xvfb ":$n" -screen 0 "$size" -nolisten tcp +extension MIT-SHM -noreset -s 0 >/dev/null 2>&1 &
  XVFB_PID=$!
  export DISPLAY=":$n"
  local i
  for i in $(seq 1 100); do
    if xdpyinfo >/dev/null 2>&1; then return 0; fi
    kill -0 "$XVFB_PID" 2>/dev/null || break
    sleep 0.05
  done
  echo "display: Xvfb on :$n did not start" >&2
  return 1
}

start_openbox() {
  openbox --sm-disable >/dev/null 2>&1 &
  OPENBOX_PID=$!
  local i
  for i in $(seq 1 100); do
    local check
    check=$(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | awk '{print $NF}')
    if [[ $check == 0x* ]] && xprop -id "$check" _NET_WM_NAME 2>/dev/null | grep -q Openbox; then
      return 0
    fi
    sleep 0.05
  done
  echo "display: openbox did not start" >&2
  return 1
}

wait_gone() {
  local pid=$1 i
  for i in $(seq 1 40); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.05
  done
  kill -9 "$pid" 2>/dev/null || true
}

stop_display() {
  if [[ -n ${OPENBOX_PID:-} ]]; then kill "$OPENBOX_PID" 2>/dev/null; wait_gone "$OPENBOX_PID"; OPENBOX_PID=; fi
  if [[ -n ${XVFB_PID:-} ]]; then kill "$XVFB_PID" 2>/dev/null; wait_gone "$XVFB_PID"; XVFB_PID=; fi
}
