"""Hears the real program through Orca while a chapter is written by keys alone.

Run by tests/orca_test.sh inside a private session bus and X server:
    orca_test.py PROGRAM SCRATCH
Starts the accessibility bus, a window manager, a speech server whose voice is
a file, Orca with a line-buffered debug log, then the program; drives it with
xdotool and checks, step by step, what Orca said (its "SPEECH OUTPUT" lines).
Every step prints what was heard, so a failure shows the whole conversation.
"""
import atexit
import os
import re
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

program, scratch = sys.argv[1], sys.argv[2]
folder = os.path.join(scratch, "program")
os.makedirs(folder)
logs = os.path.join(scratch, "logs")
os.makedirs(logs)
failures = []
started = []


def end_all():
    if not started:
        return
    for name, process in reversed(started):
        process.terminate()
        try:
            process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
    if os.environ.get("ORCA_TEST_KEEP"):
        subprocess.run(["cp", "-r", logs, os.environ["ORCA_TEST_KEEP"]])
    started.clear()


atexit.register(end_all)
deadline = time.monotonic() + 150  # the whole test, Orca's start included


def fail(message):
    print("FAIL:", message, flush=True)
    failures.append(message)


def stop(message):
    print("screen reader test:", message, file=sys.stderr, flush=True)
    sys.exit(1)


def start(name, command, env=None):
    log = open(os.path.join(logs, name + ".log"), "wb")
    process = subprocess.Popen(command, env=env, stdout=log, stderr=subprocess.STDOUT)
    started.append((name, process))
    return process


def pump():
    while GLib.MainContext.default().iteration(False):
        pass


def pause(seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        pump()
        time.sleep(0.02)


def wait_for(what, timeout=10.0):
    end = min(time.monotonic() + timeout, deadline)
    while time.monotonic() < end:
        pump()
        try:
            found = what()
        except Exception:  # the tree changes while it is read
            found = None
        if found:
            return found
        time.sleep(0.1)
    return None


# --- The desktop: accessibility bus, window manager, speech, Orca. ---

start("bus", ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
try:
    desktop = wait_for(lambda: pyatspi.Registry.getDesktop(0), 10)
except Exception as error:
    stop(f"the accessibility bus did not start ({error})")
if desktop is None:
    stop("the accessibility bus did not start")
start("openbox", ["openbox", "--sm-disable"])

# Each utterance the speech server is given is appended to a file, so that it
# needs no synthesiser nor sound card.
speech_conf = os.path.join(scratch, "speechd")
os.makedirs(os.path.join(speech_conf, "modules"))
spoken_file = os.path.join(logs, "spoken.txt")
with open(os.path.join(speech_conf, "speechd.conf"), "w") as conf:
    conf.write('AddModule "file" "sd_generic" "file.conf"\nDefaultModule file\nLanguageDefaultModule "zh" "file"\n'
               'AudioOutputMethod "alsa"\n')
with open(os.path.join(speech_conf, "modules", "file.conf"), "w") as conf:
    conf.write(f'GenericExecuteSynth "printf \'%s\\\\n\' \\\'$DATA\\\' >> {spoken_file}"\n'
               'AddVoice "zh" "MALE1" "zh"\nAddVoice "en" "MALE1" "en"\nDefaultVoice "zh"\n')
start("speechd", ["speech-dispatcher", "-s", "-t", "0", "-C", speech_conf])

# Orca's debug log, one line as it is written: what it says is read as it says it.
debug_log = os.path.join(logs, "orca-debug.log")
orca_runner = """
import builtins, runpy, sys
log = sys.argv[1]
real_open = builtins.open
def line_buffered(file, mode="r", *args, **kwargs):
    if file == log and "w" in mode:
        return real_open(file, mode, buffering=1, encoding="utf-8", errors="replace")
    return real_open(file, mode, *args, **kwargs)
builtins.open = line_buffered
sys.argv = ["orca", "--debug-file", log, "-u", sys.argv[2]]
runpy.run_path("/usr/bin/orca", run_name="__main__")
"""
orca = start("orca", [sys.executable, "-c", orca_runner, debug_log, os.path.join(scratch, "orca-prefs")])

spoken_pattern = re.compile(r"SPEECH OUTPUT: '(.*?)'(?=[ {]|$)", re.M)


def speech():
    """Everything Orca has said so far, one utterance an entry."""
    try:
        with open(debug_log, encoding="utf-8", errors="replace") as log:
            return [m.group(1).strip() for m in spoken_pattern.finditer(log.read()) if m.group(1).strip()]
    except FileNotFoundError:
        return []


if not wait_for(lambda: speech(), 30):
    stop("Orca said nothing at its start (see its log)")

# --- The program. ---

env = dict(os.environ, TALERY_HOME=folder, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb",
           QT_ACCESSIBILITY="1")
talery = start("talery", [program], env=env)


def role(node):
    return node.getRoleName()


def walk(node, depth=0):
    if node is None or depth > 40:
        return
    yield node
    for i in range(node.childCount):
        try:
            child = node.getChildAtIndex(i)
        except Exception:
            continue
        if child is not None and child.getState().contains(pyatspi.STATE_SHOWING):
            yield from walk(child, depth + 1)


def application():
    return next((a for a in desktop if a is not None and a.name.lower() == "talery"), None)


def focused():
    app = application()
    for window in app or []:
        for node in walk(window):
            if node.getState().contains(pyatspi.STATE_FOCUSED):
                return node
    return None


def focus_is(name, roles=None):
    node = focused()
    return node is not None and node.name == name and (roles is None or role(node) in roles)


def key(*keys):
    for k in keys:
        subprocess.run(["xdotool", "key", "--clearmodifiers", k], check=True)
        pause(0.25)


def type_text(text):
    typing = subprocess.Popen(["xdotool", "type", "--delay", "60", text])
    while typing.poll() is None:
        pause(0.05)


def settle(mark, quiet=1.2, longest=8.0):
    """What Orca said since `mark`, once it has been quiet for `quiet` seconds."""
    end = min(time.monotonic() + longest, deadline)
    count, since = len(speech()), time.monotonic()
    while time.monotonic() < end:
        pause(0.1)
        now = len(speech())
        if now != count:
            count, since = now, time.monotonic()
        elif time.monotonic() - since >= quiet:
            break
    return speech()[mark:]


def step(name, action):
    """Does `action`, then returns what Orca said meanwhile, printed for the log."""
    mark = len(speech())
    action()
    heard = settle(mark)
    print(f"[{name}] " + " | ".join(heard), flush=True)
    return heard


def said(heard, *parts):
    """Whether one utterance holds every one of `parts`."""
    return any(all(p in u for p in parts) for u in heard)


def menu_to(name, limit=12):
    """Down through the open menu until its entry `name` is selected."""
    for _ in range(limit):
        if focus_is(name, {"menu item"}):
            return True
        key("Down")
        pause(0.2)
    return focus_is(name, {"menu item"})


try:
    app = wait_for(application, 30)
    if app is None:
        stop("the program never appeared on the accessibility bus")
    if not wait_for(lambda: focus_is("标题/题目"), 15):
        stop(f"the title field never took the focus ({focused() and focused().name})")
    opening = settle(0, quiet=1.5)
    print("[start] " + " | ".join(opening), flush=True)

    # The Menu key in the title field opens its edit menu, and Orca says so.
    heard = step("Menu key in the title", lambda: key("Menu"))
    step("Esc", lambda: key("Escape"))

    # The menu 开始 by Alt+F: its name, then its first entry; closing it says nothing of the whole caption.
    heard = step("Alt+F", lambda: key("alt+f"))
    heard = step("Esc", lambda: key("Escape"))
    # Esc leaves the focus on the menu glyph: back to the title.
    for _ in range(6):
        if focus_is("标题/题目"):
            break
        step("Shift+Tab", lambda: key("shift+Tab"))

    # A session by Enter.
    type_text("Chapter One")
    heard = step("Enter in the title", lambda: key("Return"))
    type_text("Night.")
    heard = step("Ctrl+Shift+I", lambda: key("ctrl+shift+i"))
    saved = os.path.join(folder, "Chapter One.txt")
    heard = step("Ctrl+S", lambda: key("ctrl+s"))
    heard = step("Tab in the save dialog", lambda: key("Tab"))
    heard = step("Tab in the save dialog", lambda: key("Tab"))
    heard = step("Shift+Tab in the save dialog", lambda: key("shift+Tab"))
    heard = step("Shift+Tab in the save dialog", lambda: key("shift+Tab"))
    heard = step("Enter in the save dialog", lambda: key("Return"))
    if not wait_for(lambda: os.path.exists(saved), 5):
        fail(f"nothing saved; files: {os.listdir(folder)}")

    # The menu during a session.
    heard = step("Alt+F in a session", lambda: key("alt+f"))
    heard = step("Down", lambda: key("Down"))
    heard = step("Down", lambda: key("Down"))
    heard = step("Esc", lambda: key("Escape"))

    # The locked room's goal dialog.
    key("alt+f")
    menu_to("小黑屋")
    heard = step("小黑屋", lambda: key("Return"))
    heard = step("Tab", lambda: key("Tab"))
    heard = step("Esc", lambda: key("Escape"))

    # The panel by the menu's 设置.
    key("alt+f")
    menu_to("设置")
    heard = step("设置", lambda: key("Return"))
    for _ in range(16):
        heard = step("Tab", lambda: key("Tab"))
    heard = step("Esc", lambda: key("Escape"))

finally:
    end_all()
    if failures:
        with open(os.path.join(logs, "talery.log"), errors="replace") as log:
            print(log.read()[-3000:], flush=True)

if failures:
    stop(f"{len(failures)} failure(s)")
print("screen reader test: all checks passed", flush=True)
