#!/usr/bin/env bash
# Runs the desktop's screen reader, Orca, on the real program and checks what
# it says as a chapter is written by keys alone: on a private X server with a
# window manager, a private session bus and the accessibility bus, and a speech
# server whose voice is a file. What Orca says is taken from its debug log.
# Where Orca cannot run (not installed, nor installable) the test says so and
# is skipped; anything else missing is a failure with its reason.
set -euo pipefail
program="$1"
here="$(cd "$(dirname "$0")" && pwd)"
python=/usr/bin/python3  # the system's, which has Orca and the bus's Python client

fail() { echo "screen reader test: $*" >&2; exit 1; }
if ! command -v orca >/dev/null || ! "$python" -c 'import orca' 2>/dev/null; then
  echo "screen reader test: Orca is not installed here (scripts/install-deps installs it on Debian 12); skipped" >&2
  exit 77
fi
for tool in Xvfb dbus-run-session xdotool openbox speech-dispatcher; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps installs it)"
done
[ -x /usr/libexec/at-spi-bus-launcher ] || fail "at-spi2-core is missing (scripts/install-deps installs it)"
"$python" -c 'import pyatspi' 2>/dev/null || fail "python3-pyatspi is missing (scripts/install-deps installs it)"

scratch="$(mktemp -d)"
xvfb_pid=""
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT

# A free display number: Xvfb refuses one in use.
for n in $(seq 140 180); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >"$scratch/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X$n" ] && break
    sleep 0.1
  done
  if kill -0 "$xvfb_pid" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then
    export DISPLAY=":$n"
    break
  fi
  xvfb_pid=""
done
[ -n "$xvfb_pid" ] || fail "no X server could start"

mkdir -p "$scratch/home" "$scratch/runtime"
chmod 700 "$scratch/runtime"
# Orca speaks Chinese as a writer here hears it; its messages need no generated locale.
export XDG_RUNTIME_DIR="$scratch/runtime" HOME="$scratch/home" NO_AT_BRIDGE=0 LANGUAGE=zh_CN LANG=C.UTF-8
export XDG_CONFIG_HOME="$scratch/home/.config" XDG_DATA_HOME="$scratch/home/.local/share"
unset DBUS_SESSION_BUS_ADDRESS AT_SPI_BUS_ADDRESS
# Speech without a sound card: the speech server's ALSA device is a null one.
printf 'pcm.!default { type null }\nctl.!default { type hw card 0 }\n' >"$scratch/home/.asoundrc"
timeout 170 dbus-run-session -- "$python" "$here/orca_test.py" "$program" "$scratch"
