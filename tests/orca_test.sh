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
for tool in openbox speech-dispatcher; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps installs it)"
done
source "$here/private_desktop.sh" 140
# Orca speaks Chinese as a writer here hears it; its messages need no generated locale.
export LANGUAGE=zh_CN LANG=C.UTF-8
export XDG_CONFIG_HOME="$scratch/home/.config" XDG_DATA_HOME="$scratch/home/.local/share"
# Speech without a sound card: the speech server's ALSA device is a null one.
printf 'pcm.!default { type null }\nctl.!default { type hw card 0 }\n' >"$scratch/home/.asoundrc"
timeout 170 dbus-run-session -- "$python" "$here/orca_test.py" "$program" "$scratch"
