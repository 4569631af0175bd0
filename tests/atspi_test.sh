#!/usr/bin/env bash
# Reads the real program's window through the desktop's accessibility bus, as
# a screen reader does, and writes and saves a chapter by keyboard alone: on a
# private X server and a private session bus, in a scratch program folder.
# Anything missing is a failure with its reason, never a silent skip.
set -euo pipefail
program="$1"
here="$(cd "$(dirname "$0")" && pwd)"
python=/usr/bin/python3  # the system's, which has the bus's Python client

fail() { echo "accessibility test: $*" >&2; exit 1; }
# The first display number tried (the screen reader test starts further on).
source "$here/private_desktop.sh" 90
timeout 150 dbus-run-session -- "$python" "$here/atspi_test.py" "$program" "$scratch"
