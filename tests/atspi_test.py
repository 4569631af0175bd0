"""Reads the real program through the accessibility bus and drives it by keyboard.

Run by tests/atspi_test.sh inside a private session bus and X server:
    atspi_test.py PROGRAM SCRATCH
Checks that every unit a writer uses has a name and the right role (main
window and information panel), opens the menu and turns the panel's pages by
keys, then writes a chapter and saves it with the keyboard alone, following the
focus through the bus and listening for the notes as a screen reader does.
"""
import os
import subprocess
import sys

import pyatspi

from bus_support import pause, role, wait_for, walk

program, scratch = sys.argv[1], sys.argv[2]
folder = os.path.join(scratch, "program")
os.makedirs(folder)
failures = []


def fail(message):
    print("FAIL:", message, flush=True)
    failures.append(message)


def stop(message):
    print("accessibility test:", message, file=sys.stderr, flush=True)
    sys.exit(1)


def key(*keys):
    for k in keys:
        subprocess.Popen(["xdotool", "key", "--clearmodifiers", k]).wait()
        pause(0.3)


def type_text(text):
    typing = subprocess.Popen(["xdotool", "type", "--delay", "40", text])
    while typing.poll() is None:
        pause(0.05)
    pause(0.3)


def find(root, name, roles=None):
    for node in walk(root):
        if node.name == name and (roles is None or role(node) in roles):
            return node
    return None


def labelled_by(node):
    names = []
    for relation in node.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            names += [relation.getTarget(i).name for i in range(relation.getNTargets())]
    return names


def focused(root):
    for node in walk(root):
        if node.getState().contains(pyatspi.STATE_FOCUSED):
            return node
    return None


# The bus itself: without it nothing here can be checked.
try:
    desktop = pyatspi.Registry.getDesktop(0)
except Exception as error:
    stop(f"the accessibility bus did not start ({error})")

# What the program tells a screen reader unasked, as a screen reader registers for it:
# the toolkit sends only the kinds of event some client listens to.
heard = []


def hear(event):
    try:
        heard.append((event.type, event.detail1, role(event.source), event.source.name))
    except Exception:  # its source is already gone
        pass


heard_kinds = ("object:state-changed:showing", "object:state-changed:focused")
pyatspi.Registry.registerEventListener(hear, *heard_kinds)


def heard_that(kind, on, roles, name=None):
    return any(k == kind and o == on and r in roles and name in (None, n) for k, o, r, n in heard)


def focus_went_to(name, roles):
    return heard_that("object:state-changed:focused", 1, roles, name)


env = dict(os.environ, TALERY_HOME=folder, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb",
           QT_ACCESSIBILITY="1", LANG="C.UTF-8")
talery = subprocess.Popen([program], env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
try:
    app = wait_for(lambda: next((a for a in desktop if a is not None and a.name.lower() == "talery"), None), 30)
    if app is None:
        stop("the program never appeared on the accessibility bus")
    frame = wait_for(lambda: next((w for w in app if role(w) == "frame"), None))
    if frame is None:
        stop(f"the program shows no window on the bus ({[(role(w), w.name) for w in app]})")

    # Names and roles of the main window.
    wanted = [("标题/题目", {"text", "entry"}), ("开始书写", {"push button"}), ("正文", {"text"}),
              ("菜单", {"push button"}), ("录音", {"push button"}), ("最小化", {"push button"}),
              ("关闭", {"push button"}), ("写作状态", {"status bar"})]
    for name, roles in wanted:
        if not wait_for(lambda: find(frame, name, roles), 5):
            fail(f"main window: no {'/'.join(sorted(roles))} named {name}")
    body = find(frame, "正文")
    if body is not None and not body.getState().contains(pyatspi.STATE_MULTI_LINE):
        fail("the body is not a multi-line text")

    # What a writer operates must say what it is.
    operable = {"push button", "text", "entry", "check box", "combo box", "page tab", "link", "page tab list",
                "list", "status bar", "menu item"}

    def nameless(root):
        return [role(n) for n in walk(root) if role(n) in operable and not n.name.strip()]

    if nameless(frame):
        fail(f"main window: nameless {nameless(frame)}")

    # Keyboard alone from here: the window takes the keys.
    window_id = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "Talery"], check=True,
                               capture_output=True, text=True).stdout.split()[0]
    subprocess.run(["xdotool", "windowfocus", "--sync", window_id], check=True)
    pause(0.5)

    # The menu 开始 by Alt+F from the title field, then by the Menu key from the glyph that Esc
    # leaves the focus on (in a text field the Menu key opens the field's own menu, as on
    # the whole desktop); its entries by the arrows.
    for opener, where in [("alt+f", "标题/题目"), ("Menu", "菜单")]:
        if not wait_for(lambda: focused(frame) and focused(frame).name == where, 5):
            fail(f"before {opener} the focus is not on {where}")
        heard.clear()
        key(opener)
        if not wait_for(lambda: focus_went_to("打开文件", {"menu item"}), 5):
            fail(f"{opener} did not open the menu 开始 on its first entry ({heard})")
            continue
        key("Down")
        if not wait_for(lambda: focus_went_to("新建临时文本", {"menu item"}), 5):
            fail(f"Down in the menu opened by {opener} did not reach 新建临时文本 ({heard})")
        key("Escape")
        if not wait_for(lambda: heard_that("object:state-changed:showing", 0, {"popup menu"}), 5):
            fail(f"Esc did not close the menu opened by {opener}")

    # The panel, with nobody listening to events: keys then reach the program straight from the
    # window system, not resent through the bus as while a screen reader listens.
    pyatspi.Registry.deregisterEventListener(hear, *heard_kinds)
    pause(0.5)
    # It opens by a click on the status bar.
    bar = find(frame, "写作状态", {"status bar"}).queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    subprocess.run(["xdotool", "mousemove", str(bar.x + 40), str(bar.y + bar.height // 2), "click", "1"], check=True)
    panel = wait_for(lambda: find(frame, "信息面板", {"panel", "filler", "grouping"}), 5)
    if panel is None:
        fail("a click on the status bar did not open the panel")
    else:
        # It opens on the statistics page, its tabs holding the focus.
        if not wait_for(lambda: find(panel, "字数统计", {"text"}), 5):
            fail("the panel did not open on the statistics page")
        now = focused(frame)
        if now is None or role(now) not in {"page tab list", "page tab"}:
            fail(f"the open panel does not hold the focus ({now and role(now)} {now and now.name})")
        # Ctrl+Shift+Tab and Ctrl+Tab turn the pages: back to the settings, on to the statistics, back again.
        for keys, page, shows, roles in [("ctrl+shift+Tab", "功能设置", "背景颜色", {"push button"}),
                                          ("ctrl+Tab", "字数统计", "字数统计", {"text"}),
                                          ("ctrl+shift+Tab", "功能设置", "背景颜色", {"push button"})]:
            key(keys)
            if not wait_for(lambda: find(panel, shows, roles), 5):
                fail(f"{keys} in the panel did not turn to the page {page}")
        for name, roles in [("功能设置", {"page tab"}), ("背景颜色", {"push button"}), ("自动备份保存", {"check box"}),
                            ("确定", {"push button"}), ("取消", {"push button"})]:
            if not find(panel, name, roles):
                fail(f"panel: no {'/'.join(sorted(roles))} named {name}")
        # A combo box reads as its current item, labelled by the caption beside it.
        combos = {label: n.name for n in walk(panel) if role(n) == "combo box" for label in labelled_by(n)}
        for caption, item in [("顶图：", "经典纯色"), ("文本颜色：", "白色")]:
            if combos.get(caption) != item:
                fail(f"panel: no combo box {item} labelled {caption} ({combos})")
        if nameless(panel):
            fail(f"panel: nameless {nameless(panel)}")
        key("Escape")
        if not wait_for(lambda: find(frame, "信息面板") is None, 5):
            fail("Esc did not close the panel")

    pyatspi.Registry.registerEventListener(hear, *heard_kinds)
    pause(0.5)

    # A chapter by keyboard alone: title, Enter, text, back to the save button, the save dialog.
    title = find(frame, "标题/题目")
    title.queryComponent().grabFocus()
    if not wait_for(lambda: focused(frame) and focused(frame).name == "标题/题目", 5):
        fail("the title field cannot take the focus")
    type_text("Chapter One")
    key("Return")
    if not wait_for(lambda: focused(frame) and focused(frame).name == "正文", 5):
        fail("Enter in the title did not lead to the body")
    type_text("It was a quiet night.")
    # Ctrl+S asks where to save, keeps the session going, and the note saying so is spoken.
    saved = os.path.join(folder, "Chapter One.txt")
    heard.clear()
    key("ctrl+s")
    dialog = wait_for(lambda: next((w for w in app if role(w) in {"dialog", "file chooser"}), None), 10)
    if dialog is None:
        fail("Ctrl+S opened no dialog")
    else:
        print("save dialog:", dialog.name, flush=True)
        key("Return")
        if not wait_for(lambda: os.path.exists(saved), 10):
            fail(f"nothing saved; files: {os.listdir(folder)}")
        elif not all(part in open(saved, "rb").read() for part in (b"Chapter One", b"It was a quiet night.")):
            fail(f"the saved file holds {open(saved, 'rb').read()!r}")
        note = "已保存：" + saved
        if not wait_for(lambda: heard_that("object:state-changed:showing", 1, {"notification"}, note), 5):
            fail(f"no notification {note} appeared ({[e for e in heard if e[1] and 'showing' in e[0]][-5:]})")
        # Without a window manager nobody gives the window back the keyboard after the dialog.
        subprocess.run(["xdotool", "windowfocus", "--sync", window_id], check=True)
        if not wait_for(lambda: focused(frame) and focused(frame).name == "正文", 5):
            fail("after Ctrl+S the body does not keep the focus")
    # More text, then 立刻保存 by keyboard: the session ends in the same document.
    type_text(" Then it rained.")
    key("ctrl+shift+Tab")
    save = wait_for(lambda: focused(frame), 5)
    if save is None or save.name != "立刻保存" or role(save) != "push button":
        fail(f"Ctrl+Shift+Tab from the body does not reach the save button ({save and save.name})")
    key("space")
    # Saving over the document asks first (是, the default, overwrites it); then the session ends.
    for _ in range(3):
        question = wait_for(lambda: next((w for w in app if role(w) in {"dialog", "alert"}), None), 3)
        if question is None:
            break
        print("asked:", question.name, [n.name for n in walk(question) if role(n) == "label"], flush=True)
        key("Return")
        wait_for(lambda: question not in list(app), 5)
    if not os.path.exists(saved) or b"Then it rained." not in open(saved, "rb").read():
        fail("立刻保存 did not save the rest into the same document")
    if not wait_for(lambda: find(frame, "开始书写", {"push button"}), 5):
        fail("after the save the start button does not read 开始书写 again")

    # 新建日记 chosen by keys: the diary's note is spoken as well.
    subprocess.run(["xdotool", "windowfocus", "--sync", window_id], check=True)
    heard.clear()
    key("alt+f", "Down", "Down")
    if not wait_for(lambda: focus_went_to("新建日记", {"menu item"}), 5):
        fail(f"the arrows did not reach 新建日记 ({heard})")
    else:
        key("Return")
        if not wait_for(lambda: heard_that("object:state-changed:showing", 1, {"notification"}, "日记模式"), 5):
            fail(f"no notification 日记模式 appeared ({[e for e in heard if e[1] and 'showing' in e[0]][-5:]})")

finally:
    talery.terminate()
    try:
        out, _ = talery.communicate(timeout=10)
    except subprocess.TimeoutExpired:
        talery.kill()
        out, _ = talery.communicate()
    if failures:
        print(out.decode(errors="replace")[-3000:], flush=True)

if failures:
    stop(f"{len(failures)} failure(s)")
print("accessibility test: all checks passed", flush=True)
