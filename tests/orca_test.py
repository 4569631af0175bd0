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

import bus_support
import pyatspi
from bus_support import pause, role, walk

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


def wait_for(what, timeout=10.0):
    return bus_support.wait_for(what, max(0.0, min(timeout, deadline - time.monotonic())))


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


def settle(mark, quiet=0.6, longest=8.0):
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


def step(name, action, quiet=0.6, awaited=()):
    """Does `action`, then returns what Orca said meanwhile, printed for the log:
    all of it once Orca has said `awaited` (or given up on it) and is quiet."""
    mark = len(speech())
    action()
    if awaited:
        wait_for(lambda: said(speech()[mark:], *awaited), 10)
    heard = settle(mark, quiet)
    print(f"[{name}] " + " | ".join(heard), flush=True)
    return heard


def said(heard, *parts):
    """Whether every one of `parts` was said."""
    return all(any(p in u for u in heard) for p in parts)


def menu_to(name, limit=12):
    """Down through the open menu until Orca reads its entry `name`."""
    for _ in range(limit):
        heard = step("Down", lambda: key("Down"))
        if said(heard, name):
            return True
        if not heard:  # the menu is not open
            return False
    return False


def check(what, action, *parts, absent=(), quiet=0.6):
    """A step whose speech must hold `parts` and none of `absent`."""
    heard = step(what, action, quiet, parts)
    expect(heard, what, *parts, absent=absent)
    return heard


def expect(heard, what, *parts, absent=()):
    if not said(heard, *parts):
        fail(f"{what}: Orca did not say {' '.join(parts)} ({' | '.join(heard)})")
    for part in absent:
        if said(heard, part):
            fail(f"{what}: Orca said {part} ({' | '.join(heard)})")


caption = "你的原创写作助手"  # in the window's long caption only
slowest = 0.0


def answers():
    """How long the program takes to answer the bus: it blocks nobody for long."""
    global slowest
    began = time.monotonic()
    application().getState()
    slowest = max(slowest, time.monotonic() - began)


try:
    app = wait_for(application, 30)
    if app is None:
        stop("the program never appeared on the accessibility bus")
    if not wait_for(lambda: focus_is("标题/题目"), 15):
        stop(f"the title field never took the focus ({focused() and focused().name})")
    wait_for(lambda: said(speech(), "标题/题目"), 15)
    heard = settle(0, quiet=1.0)
    print("[start] " + " | ".join(heard), flush=True)
    expect(heard, "start", "Talery", "框架", absent=[caption])
    expect(heard, "start", "标题/题目")

    # The Menu key in the title opens the field's own menu on its first entry.
    check("Menu in the title", lambda: key("Menu"), "撤消", absent=["框架"])
    check("Esc from the edit menu", lambda: key("Escape"), "Esc", absent=["框架"])

    # Alt+F: the first entry and the menu's name, never the window again.
    check("Alt+F", lambda: key("alt+f"), "打开文件", "开始菜单", absent=["框架"])
    check("Esc from the menu", lambda: key("Escape"), "Esc", absent=["框架"])
    for _ in range(6):  # Esc leaves the focus on the menu glyph: back to the title
        if focus_is("标题/题目"):
            break
        step("Shift+Tab", lambda: key("shift+Tab"))
    answers()

    # A session by Enter: the body's focus is spoken.
    type_text("Chapter One")
    check("Enter in the title", lambda: key("Return"), "正文")
    type_text("Night.")
    check("Ctrl+Shift+I", lambda: key("ctrl+shift+i"), "当前字数", "你已经连续书写")
    answers()

    # Ctrl+S: the save dialog, its type list labelled and read with its value.
    saved = os.path.join(folder, "Chapter One.txt")
    check("Ctrl+S", lambda: key("ctrl+s"), "另存为", "文件名称")
    check("Tab in the save dialog", lambda: key("Tab"), "文件类型", "组合框", "文本文档")
    step("Shift+Tab", lambda: key("shift+Tab"), awaited=["文件名称"])
    check("Enter in the save dialog", lambda: key("Return"), "已保存", "正文", absent=[caption])
    if not wait_for(lambda: os.path.exists(saved), 5):
        fail(f"nothing saved; files: {os.listdir(folder)}")
    answers()

    # The menu in a session: entries that cannot be chosen now are read as such.
    check("Alt+F in a session", lambda: key("alt+f"), "新建临时文本", absent=["框架"])
    check("Down", lambda: key("Down"), "新建日记", "变灰")
    check("Esc from the menu", lambda: key("Escape"), "Esc", absent=["框架"])

    # The locked room's goal: the number and the unit each with a name and a value.
    key("alt+f")
    if not menu_to("小黑屋"):
        fail("the arrows did not reach 小黑屋")
    check("小黑屋", lambda: key("Return"), "目标", "2000")
    check("Tab in the goal dialog", lambda: key("Tab"), "目标单位", "字")
    step("Esc", lambda: key("Escape"))
    answers()

    # The panel: combo boxes with their captions and choices; Tab stays inside.
    key("alt+f")
    if not menu_to("设置"):
        fail("the arrows did not reach 设置")
    check("设置", lambda: key("Return"), "信息面板", "功能设置")
    panel = []
    for _ in range(30):
        heard = step("Tab", lambda: key("Tab"), quiet=0.4)
        panel += heard
        if said(heard, "取消"):
            break
    for caption_, choice in [("顶图", "经典纯色"), ("文本颜色", "白色"), ("小提示内容", "中国地理历史")]:
        if not said(panel, caption_, choice):
            fail(f"the panel's combo box {caption_} was not read with {choice} ({' | '.join(panel)})")
    check("Tab from 取消", lambda: key("Tab"), "功能设置", absent=["标题", "正文", "录音"])
    check("Esc from the panel", lambda: key("Escape"), "正文")
    answers()

    # 立刻保存 ends the session (nothing changed since Ctrl+S: nothing asked); a diary then
    # starts from the menu with an empty title: its note, its message, then the body.
    check("Ctrl+Shift+Tab", lambda: key("ctrl+shift+Tab"), "立刻保存")
    check("Space on 立刻保存", lambda: key("space"), "文件已经保存")
    step("Enter", lambda: key("Return"))
    for _ in range(6):
        if focus_is("标题/题目"):
            break
        step("Shift+Tab", lambda: key("shift+Tab"))
    key("ctrl+a", "BackSpace")
    key("alt+f")
    if not menu_to("新建日记"):
        fail("the arrows did not reach 新建日记")
    check("新建日记", lambda: key("Return"), "日记模式")
    check("Enter on the diary's message", lambda: key("Return"), "正文")

finally:
    end_all()
    if failures:
        with open(os.path.join(logs, "talery.log"), errors="replace") as log:
            print(log.read()[-3000:], flush=True)

print(f"screen reader test: the program answered the bus within {slowest * 1000:.0f} ms", flush=True)
if failures:
    stop(f"{len(failures)} failure(s)")
print("screen reader test: all checks passed", flush=True)
