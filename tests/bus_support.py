"""What the tests that read the real program through the accessibility bus share."""
import time

import pyatspi
from gi.repository import GLib


def pump():
    """Answers the bus meanwhile: the program waits on the bus for each key it passes on."""
    while GLib.MainContext.default().iteration(False):
        pass


def pause(seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        pump()
        time.sleep(0.02)


def wait_for(what, timeout=20.0):
    """What `what` returns once it is true, or None after `timeout` seconds."""
    end = time.monotonic() + timeout
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


def role(node):
    return node.getRoleName()


def walk(node, depth=0):
    """Every showing object below node."""
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
