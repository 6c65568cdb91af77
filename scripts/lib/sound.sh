# Starting and stopping a private PulseAudio server for the tests. Source this file.
# start_pulse exports PULSE_SERVER and sets PULSE_PID and PULSE_DIR; stop_pulse stops only what
# start_pulse started and removes its folder. write_pulse_config prints the server's
# configuration (the integration tests start servers of their own with it).
#
# The server has a null sink "nullsink" playing an 880 Hz tone, a sine source "sine" (440 Hz),
# and a loopback from nullsink.monitor into a second null sink, which keeps the monitor
# delivering small fragments (about every 7 ms). The default source is nullsink.monitor: the
# sine source delivers in 2 s bursts, far too coarse for tests that record a fraction of a
# second and check when each buffer comes back.

write_pulse_config() {
  cat <<'EOF'
load-module module-native-protocol-unix auth-anonymous=1
load-module module-null-sink sink_name=nullsink
load-module module-sine-source source_name=sine rate=44100 frequency=440
load-module module-sine sink=nullsink frequency=880
load-module module-null-sink sink_name=discard
load-module module-loopback source=nullsink.monitor sink=discard latency_msec=20 source_dont_move=true sink_dont_move=true
suspend-sink nullsink 1
suspend-sink nullsink 0
set-default-sink nullsink
set-default-source nullsink.monitor
EOF
}

pulse_ready() {
  pactl info >/dev/null 2>&1 || return 1
  local sources
  sources=$(pactl list short sources 2>/dev/null) || return 1
  grep -q 'nullsink\.monitor' <<<"$sources" && grep -q 'sine' <<<"$sources"
}

start_pulse() {
  PULSE_DIR=$(mktemp -d "${TMPDIR:-/tmp}/orvenna-pulse.XXXXXX") || return 1
  mkdir -m 0700 "$PULSE_DIR/runtime" "$PULSE_DIR/state"
  write_pulse_config >"$PULSE_DIR/test.pa"
  # The server (through HOME) and its clients keep their cookies in the folder, not in the
  # user's home folder; LC_ALL=C keeps the names of its devices the same in every locale.
  export PULSE_COOKIE=$PULSE_DIR/cookie
  LC_ALL=C HOME=$PULSE_DIR XDG_RUNTIME_DIR=$PULSE_DIR/runtime PULSE_STATE_PATH=$PULSE_DIR/state \
    setsid pulseaudio -n -F "$PULSE_DIR/test.pa" --daemonize=no --exit-idle-time=-1 \
    --disallow-exit --use-pid-file=no --log-target=stderr \
    </dev/null >"$PULSE_DIR/server.log" 2>&1 &
  PULSE_PID=$!
  export PULSE_SERVER=unix:$PULSE_DIR/runtime/pulse/native
  local i
  for i in $(seq 1 100); do
    if pulse_ready; then return 0; fi
    kill -0 "$PULSE_PID" 2>/dev/null || break
    sleep 0.05
  done
  echo "sound: the PulseAudio server at $PULSE_SERVER did not start; its log:" >&2
  tail -n 20 "$PULSE_DIR/server.log" >&2
  stop_pulse
  return 1
}

stop_pulse() {
  if [[ -n ${PULSE_PID:-} ]]; then
    kill "$PULSE_PID" 2>/dev/null || true
    local i
    for i in $(seq 1 40); do
      kill -0 "$PULSE_PID" 2>/dev/null || break
      sleep 0.05
    done
    kill -9 "$PULSE_PID" 2>/dev/null || true
    wait "$PULSE_PID" 2>/dev/null || true
    PULSE_PID=
  fi
  if [[ -n ${PULSE_DIR:-} ]]; then rm -rf "$PULSE_DIR"; PULSE_DIR=; fi
  unset PULSE_SERVER PULSE_COOKIE
  return 0
}
