#!/usr/bin/python3
"""Starts the program and reads its windows through the accessibility bus, as a screen reader
would: the main window must be a frame named "Pixolet" and its controls must be found by their
captions.

    /usr/bin/python3 tests/a11y/check_accessible.py build/app/pixolet [GIVE_UP_AFTER_SECONDS]

It starts its own X server, session bus and accessibility bus (tests/support/display_session.py)
and needs no display of the caller's. Exit status 0 when every check holds, 1 when one fails or
a server does not start, 77 (a skip) when a server or pyatspi is not installed, except under CI,
where that fails too. The tree is printed either way.
"""
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import display_session  # noqa: E402

BUTTONS = ["Select 1 Image", "Select Entire Folder", "Continue", "Support / Help", "Downloads",
           "Help", "About", "Exit"]
OPTIONS = ["Create Thumbnail Image(s)", "Make Image Larger or Smaller",
           "Convert To Different Image Type", "Open Multiple Image Viewer",
           "Rename Files (Bulk Rename)", "Make a Webpage Picture Index",
           "Make a Webpage of Thumbnails and Pictures"]


def find_application(pyatspi, pid):
    for app in pyatspi.Registry.getDesktop(0):
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except Exception:
            pass  # an application that left while it was listed
    return None


def walk(node, depth, lines, found):
    role = node.getRoleName()
    name = node.name or ""
    lines.append("%s%s %r" % ("  " * depth, role, name))
    found.append((role, name, depth))
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            walk(child, depth + 1, lines, found)


def read_window(app):
    """The tree as text, and what it lacks."""
    lines, found = [], []
    walk(app, 0, lines, found)
    failures = []
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
    return "\n".join(lines), failures


def cpu_seconds(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    except (OSError, IndexError, ValueError):
        return float("nan")


def check(program, session, deadline):
    # libatspi finds the buses through the environment when it is first used.
    os.environ.update(session.environ(os.environ))
    import pyatspi

    env = session.environ(os.environ)
    env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
    env.pop("QT_QPA_PLATFORM", None)  # the real display, not offscreen
    data = tempfile.TemporaryDirectory()
    env["XDG_DATA_HOME"] = data.name  # the program's settings stay out of the user's folder
    started = time.monotonic()
    process = subprocess.Popen([program], env=env)
    try:
        # The window is complete when every control is there: read it again until it is, while
        # the program and the servers run.
        app, tree, failures = None, "", []
        while True:
            rc = process.poll()
            if rc is not None:
                print("FAIL: the program ended (exit status %d) before %s; its output is above"
                      % (rc, "its window was complete" if app else
                         "it appeared on the accessibility bus"))
                return 1
            session.check()
            app = app or find_application(pyatspi, process.pid)
            if app is not None:
                tree, failures = read_window(app)
                if not failures:
                    break
            if deadline.passed():
                break
            time.sleep(0.2)
        if tree:
            print(tree)
        if app is None:
            print("FAIL: after %.0f s the program (%.1f s of CPU) %s the accessibility bus" % (
                time.monotonic() - started, cpu_seconds(process.pid),
                "is connected to but not registered on" if process.pid in
                session.a11y_bus_pids() else "has not connected to"))
            return 1
    finally:
        process.terminate()
        try:
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
        data.cleanup()
    for f in failures:
        print("FAIL:", f)
    print("OK" if not failures else "%d failure(s)" % len(failures))
    return 1 if failures else 0


def main():
    program = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/app/pixolet")
    give_up_after = float(sys.argv[2]) if len(sys.argv) > 2 else 100.0
    display_session.require_tools(accessibility=True)
    deadline = display_session.Deadline(give_up_after)
    try:
        with display_session.DisplaySession(deadline, accessibility=True) as session:
            return check(program, session, deadline)
    except display_session.StartFailed as error:
        print("FAIL:", error)
        return 1


if __name__ == "__main__":
    sys.exit(main())
