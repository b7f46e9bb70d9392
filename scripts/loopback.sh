#!/usr/bin/env bash
# A real sound card for machines without one: a private sound daemon whose null sink is the
# default output and whose monitor (what the sink plays) is the default input, so that what a
# program plays comes back on its input.
#
#   scripts/loopback.sh run COMMAND [ARGS...]
#
# starts the daemon, keeps a low-latency recorder on the monitor (an idle null sink stalls the
# streams otherwise), runs COMMAND with the daemon's environment, then ends the processes it
# started, and only those (resuming the daemon first, should a test have left it stopped), and
# removes its folder. The exit status is COMMAND's, or 2 when the
# daemon could not be started.
set -euo pipefail

usage() {
  echo "usage: $0 run COMMAND [ARGS...]" >&2
  exit 64
}

[ $# -ge 2 ] && [ "$1" = run ] || usage
shift

RUNTIME=$(mktemp -d "${TMPDIR:-/tmp}/loopback.XXXXXX")
DAEMON_PID=""
RECORDER_PID=""
READER_PID=""

stop_pid() {
  local pid=$1
  [ -n "$pid" ] || return 0
  kill "$pid" 2>/dev/null || return 0
  for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || { wait "$pid" 2>/dev/null || true; return 0; }
    sleep 0.1
  done
  kill -9 "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

cleanup() {
  # A test that stops the daemon (LOOPBACK_MAY_STOP) resumes it, but never leave it stopped.
  [ -z "$DAEMON_PID" ] || kill -CONT "$DAEMON_PID" 2>/dev/null || true
  stop_pid "$RECORDER_PID"
  stop_pid "$READER_PID"
  stop_pid "$DAEMON_PID"
  rm -rf "$RUNTIME"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

export XDG_RUNTIME_DIR="$RUNTIME"
export PULSE_RUNTIME_PATH="$RUNTIME/pulse"
export PULSE_SERVER="unix:$RUNTIME/pulse/native"
export PULSE_STATE_PATH="$RUNTIME/state"
export HOME="$RUNTIME" # the daemon keeps its cookie and state there, not in the user's home
export LOOPBACK_SINK=loopback # tells the tests of the real back ends that they may run
mkdir -p "$PULSE_RUNTIME_PATH" "$PULSE_STATE_PATH"

cat >"$RUNTIME/daemon.pa" <<EOF
load-module module-native-protocol-unix socket=$RUNTIME/pulse/native auth-anonymous=1
load-module module-null-sink sink_name=loopback rate=48000 channels=2
set-default-sink loopback
set-default-source loopback.monitor
EOF

# The server runs at real-time priority where the system allows it: on a loaded machine a
# starved server plays gaps of silence into the loop.
PRIORITY=()
if chrt -f 10 true 2>/dev/null; then PRIORITY=(chrt -f 10); fi
"${PRIORITY[@]}" pulseaudio -n -F "$RUNTIME/daemon.pa" --daemonize=no --exit-idle-time=-1 --disable-shm=yes \
  --use-pid-file=no --system=no --log-target=file:"$RUNTIME/daemon.log" &
DAEMON_PID=$!
export LOOPBACK_DAEMON_PID=$DAEMON_PID # for tests that stop the server (LOOPBACK_MAY_STOP=1)

ready=""
for _ in $(seq 50); do
  if pactl info >/dev/null 2>&1; then ready=1; break; fi
  kill -0 "$DAEMON_PID" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$ready" ]; then
  echo "loopback: the sound daemon did not start" >&2
  cat "$RUNTIME/daemon.log" >&2 2>/dev/null || true
  exit 2
fi

# The recording itself is thrown away: only its stream keeps the sink running. Its first bytes
# show that the sink runs.
mkfifo "$RUNTIME/monitor"
pacat --record --latency-msec=10 --device=loopback.monitor >"$RUNTIME/monitor" &
RECORDER_PID=$!
(head -c 4 >"$RUNTIME/first" && exec cat >/dev/null) <"$RUNTIME/monitor" &
READER_PID=$!
for _ in $(seq 20); do
  [ -s "$RUNTIME/first" ] && break
  sleep 0.1
done

status=0
"$@" || status=$?
exit "$status"
