"""The outside programs and modules a check needs, as outside_tool.h has them for the C++ tests:
where one is missing the check skips (exit 77, which ctest's SKIP_RETURN_CODE turns into a
skip), except under CI (CI=true or 1), where a skip would hide that the check never ran: there
it fails. Either way the message names what is missing and the Debian package that brings it
(scripts/setup installs them all)."""

import os
import shutil
import subprocess
import sys

SKIP = 77


def under_ci():
    return os.environ.get("CI", "").strip().lower() in ("true", "1")


def program(name):
    """The program's path, or None: an absolute name must be executable, a bare one on PATH."""
    if os.path.isabs(name):
        return name if os.access(name, os.X_OK) else None
    return shutil.which(name)


def module(name):
    """Whether this Python imports the module; tried in a process of its own, since importing
    pyatspi here would tie it to the caller's buses before the check has set up its own."""
    return subprocess.run([sys.executable, "-c", "import " + name], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode == 0


def require(*needs):
    """needs: (what, package, present) triples. Returns when all are present; otherwise says what
    is missing and ends the check as skipped, or as failed under CI."""
    missing = ["%s is missing: install the Debian package %s" % (what, package)
               for what, package, present in needs if not present]
    if not missing:
        return
    text = "; ".join(missing) + " (scripts/setup installs every package the tests use)"
    if under_ci():
        print("FAIL: " + text, file=sys.stderr)
        sys.exit(1)
    print("SKIPPED: " + text, file=sys.stderr)
    sys.exit(SKIP)
