#!/usr/bin/python3
"""Starts the program and reads its windows through the accessibility bus, as a screen reader
would: the main window must be a frame named "Pixolet" and its controls must be found by their
captions.

Run it inside a display and a session bus, for example:
    xvfb-run -a dbus-run-session -- /usr/bin/python3 tests/a11y/check_accessible.py build/app/pixolet
Exit status 0 when every check holds; the tree is printed either way.
"""
import os
import subprocess
import sys
import tempfile
import time

import pyatspi

BUTTONS = ["Select 1 Image", "Select Entire Folder", "Continue", "Support / Help", "Downloads",
           "Help", "About", "Exit"]
OPTIONS = ["Create Thumbnail Image(s)", "Make Image Larger or Smaller",
           "Convert To Different Image Type", "Open Multiple Image Viewer",
           "Rename Files (Bulk Rename)", "Make a Webpage Picture Index",
           "Make a Webpage of Thumbnails and Pictures"]


def find_application(pid, timeout=60.0):
    # A loaded machine (parallel tests, a cold start of the bus) can take many seconds.
    end = time.time() + timeout
    while time.time() < end:
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            try:
                if app is not None and app.get_process_id() == pid:
                    return app
            except Exception:
                pass
        time.sleep(0.3)
    return None


def walk(node, depth=0, lines=None, found=None):
    role = node.getRoleName()
    name = node.name or ""
    lines.append("%s%s %r" % ("  " * depth, role, name))
    found.append((role, name, depth))
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            walk(child, depth + 1, lines, found)


def main():
    program = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/app/pixolet")
    env = dict(os.environ)
    env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
    env.pop("QT_QPA_PLATFORM", None)  # the real display, not offscreen
    data = tempfile.TemporaryDirectory()
    env["XDG_DATA_HOME"] = data.name  # the program's settings stay out of the user's folder
    process = subprocess.Popen([program], env=env)
    failures = []
    try:
        app = find_application(process.pid)
        if app is None:
            print("the program never appeared on the accessibility bus")
            return 1
        time.sleep(1.0)  # let the window finish showing
        lines, found = [], []
        walk(app, 0, lines, found)
        print("\n".join(lines))

        windows = [(r, n) for r, n, d in found if d == 1]
        if ("frame", "Pixolet") not in windows:
            failures.append("no frame named 'Pixolet' among the windows %r" % windows)
        names = {(r, n) for r, n, d in found}
        for caption in BUTTONS:
            if ("push button", caption) not in names:
                failures.append("no push button named %r" % caption)
        for caption in OPTIONS:
            if ("radio button", caption) not in names:
                failures.append("no radio button named %r" % caption)
        images = [1 for r, n, d in found if r == "image"]
        if len(images) != 2:
            failures.append("the sample and the icon should be 2 images, found %d" % len(images))
        if ("check box", "Always auto-open viewer instantly") not in names:
            failures.append("no check box named 'Always auto-open viewer instantly'")
    finally:
        process.terminate()
        process.wait(timeout=10)
    for f in failures:
        print("FAIL:", f)
    print("OK" if not failures else "%d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
