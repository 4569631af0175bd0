# Sourced by the tests that read the real program through the accessibility
# bus: checks the bus's tools, then starts a private X server in a scratch
# folder with its own home and runtime folder, all removed on exit. Sets
# `scratch` and DISPLAY; uses `fail` and `python` of the sourcing script.
for tool in Xvfb dbus-run-session xdotool; do
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
for n in $(seq "$1" "$(($1 + 40))"); do
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
export XDG_RUNTIME_DIR="$scratch/runtime" HOME="$scratch/home" NO_AT_BRIDGE=0
unset DBUS_SESSION_BUS_ADDRESS AT_SPI_BUS_ADDRESS
