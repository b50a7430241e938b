"""A display of a check's own: an X server, a D-Bus session bus and, when asked, the
accessibility bus with its registry, each started so that it cannot race with another check's
or a person's, and each waited for by its own answer rather than by time:

- Xvfb picks a free display itself (-displayfd) and names it once it takes connections; a short
  X connection then confirms it answers. -noreset keeps it from resetting when its last client
  leaves: the accessibility bus launcher connects to set its address on the root window and
  leaves again just as the program starts, and a client that connects during the reset that
  follows is refused ("could not connect to display").
- The session bus writes its address once it listens (--print-address).
- The accessibility bus and its registry are started through the buses and waited for by the
  replies of GetAddress and StartServiceByName.
- The program starts only once the accessibility bus answers on the session bus. Qt 6.4 enables
  its bridge from the reply to its GetAddress call; had the launcher only set its address on the
  root window by then, Qt would take that, announce "enabled" before its bridge listens, and
  never register.
- XDG_RUNTIME_DIR is a folder of the session's own, so the accessibility bus's socket, which is
  named after the display number, cannot be another run's.

Every server's stderr goes to a file; when a server does not start or ends early, the error
names it and shows that stderr. The deadline is only a backstop that reports what is still
missing before ctest would stop the check without a word."""

import ctypes
import os
import select
import shutil
import signal
import socket
import struct
import subprocess
import tempfile
import time

import outside_tools

A11Y_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
PR_SET_CHILD_SUBREAPER = 36


def require_tools(accessibility):
    """Skips the check (fails it under CI) unless the servers and client libraries are there."""
    needs = [("Xvfb", "xvfb", outside_tools.program("Xvfb")),
             ("dbus-daemon", "dbus-daemon", outside_tools.program("dbus-daemon"))]
    if accessibility:
        needs += [("at-spi-bus-launcher", "at-spi2-core", outside_tools.program(A11Y_LAUNCHER)),
                  ("the Python GObject bindings", "python3-gi", outside_tools.module("gi")),
                  ("pyatspi", "python3-pyatspi", outside_tools.module("pyatspi"))]
    outside_tools.require(*needs)


class StartFailed(Exception):
    pass


class Deadline:
    def __init__(self, seconds):
        self.seconds = seconds
        self.end = time.monotonic() + seconds

    def remaining(self):
        return max(0.0, self.end - time.monotonic())

    def passed(self):
        return self.remaining() == 0.0


class Server:
    """One server in a process group of its own, so that what it starts ends with it."""

    def __init__(self, name, argv, env, folder, pass_fds=()):
        self.name = name
        self.log = os.path.join(folder, name.split()[0].lower() + ".stderr")
        with open(self.log, "wb") as log:
            try:
                self.process = subprocess.Popen(
                    argv, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                    stderr=log, pass_fds=pass_fds, start_new_session=True)
            except OSError as error:
                raise StartFailed("%s could not be started (%s): %s" % (name, argv[0], error))

    def stderr(self, limit=4000):
        try:
            with open(self.log, "rb") as f:
                text = f.read().decode("utf-8", "replace")
        except OSError:
            return ""
        return text[-limit:]

    def failure(self, what):
        return StartFailed("%s %s\n--- %s stderr:\n%s---" %
                           (self.name, what, self.name, self.stderr() or "(nothing)\n"))

    def check(self):
        rc = self.process.poll()
        if rc is not None:
            raise self.failure("ended (exit status %d)" % rc)

    def stop(self):
        for sig, wait in ((signal.SIGTERM, 5), (signal.SIGKILL, 5)):
            try:
                os.killpg(self.process.pid, sig)
            except (ProcessLookupError, PermissionError):
                pass
            try:
                self.process.wait(timeout=wait)
                return
            except subprocess.TimeoutExpired:
                continue


def reap_orphans(seconds=5.0):
    """Waits for the servers' orphaned children, which their process groups' SIGTERM ends."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        try:
            pid, _ = os.waitpid(-1, os.WNOHANG)
        except ChildProcessError:
            return
        if pid == 0:
            time.sleep(0.05)


def read_line(fd, server, deadline, what):
    """The first line the server writes to fd, waiting while it runs."""
    data = b""
    while not data.endswith(b"\n"):
        server.check()
        if deadline.passed():
            raise server.failure("did not %s within %.0f s" % (what, deadline.seconds))
        ready, _, _ = select.select([fd], [], [], min(deadline.remaining(), 0.5))
        if ready:
            chunk = os.read(fd, 512)
            if not chunk:
                try:
                    server.process.wait(timeout=2)
                except subprocess.TimeoutExpired:
                    pass
                raise server.failure("closed its pipe without having %s" %
                                     what.replace("write", "written"))
            data += chunk
    return data.decode().strip()


def x_connection_setup(display, deadline):
    """Opens one X connection to the display and returns None when the server accepts it, or
    its reason for refusing."""
    with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as s:
        s.settimeout(max(1.0, deadline.remaining()))
        s.connect("/tmp/.X11-unix/X%d" % display)
        # Little-endian, protocol 11.0, no authorisation.
        s.sendall(b"l\0" + struct.pack("<HHHH", 11, 0, 0, 0) + b"\0\0")
        head = b""
        while len(head) < 8:
            chunk = s.recv(8 - len(head))
            if not chunk:
                return "the server closed the connection"
            head += chunk
        if head[0] == 1:
            return None
        reason = s.recv(head[1]) if head[0] == 0 else b"it asks for authorisation"
        return reason.decode("latin-1")


class DisplaySession:
    def __init__(self, deadline, accessibility=False, screen="1280x1024x24"):
        self.deadline = deadline
        self.accessibility = accessibility
        self.screen = screen
        self.servers = []
        self.connections = []
        self.folder = None
        self.display = None
        self.bus_address = None
        self.a11y_address = None
        self.a11y_bus = None

    def __enter__(self):
        # The launcher and the registry leave their parents; as their subreaper this process
        # gets and reaps them, where an init that reaps nothing would keep them as zombies.
        ctypes.CDLL(None, use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)
        self.folder = tempfile.mkdtemp(prefix="pixolet-display-")
        try:
            self._start_x()
            self._start_session_bus()
            if self.accessibility:
                self._start_accessibility_bus()
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def __exit__(self, *exc):
        for connection in self.connections:
            try:
                connection.close_sync(None)
            except Exception:
                pass
        for server in reversed(self.servers):
            server.stop()
        reap_orphans()
        if self.folder:
            shutil.rmtree(self.folder, ignore_errors=True)
        return False

    def environ(self, base):
        """base with this session's display and buses in place of any the caller had."""
        env = dict(base)
        for name in ("XAUTHORITY", "WAYLAND_DISPLAY", "AT_SPI_BUS_ADDRESS"):
            env.pop(name, None)
        env["DISPLAY"] = ":%d" % self.display
        env["XDG_RUNTIME_DIR"] = self.folder
        if self.bus_address:
            env["DBUS_SESSION_BUS_ADDRESS"] = self.bus_address
        # AT_SPI_BUS_ADDRESS stays unset: Qt 6.4 takes it in its accessibility bridge's
        # constructor, announces "enabled" before the bridge listens, and so never registers.
        # Without it Qt asks the session bus, whose reply comes once the bridge listens.
        return env

    def check(self):
        """Raises StartFailed naming the first server that has ended."""
        for server in self.servers:
            server.check()

    def a11y_bus_pids(self):
        """The process ids of the accessibility bus's connections, to tell a program that never
        reached the bus from one the registry never took."""
        from gi.repository import Gio, GLib
        pids = set()
        try:
            names = self.a11y_bus.call_sync(
                "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                "ListNames", None, GLib.VariantType("(as)"), Gio.DBusCallFlags.NONE, 5000,
                None).unpack()[0]
            for name in names:
                if name.startswith(":"):
                    pids.add(self.a11y_bus.call_sync(
                        "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                        "GetConnectionUnixProcessID", GLib.Variant("(s)", (name,)),
                        GLib.VariantType("(u)"), Gio.DBusCallFlags.NONE, 5000,
                        None).unpack()[0])
        except Exception:
            pass
        return pids

    def _start(self, name, argv, env, pass_fds=()):
        server = Server(name, argv, env, self.folder, pass_fds)
        self.servers.append(server)
        return server

    def _start_x(self):
        r, w = os.pipe()
        try:
            xvfb = self._start("Xvfb", ["Xvfb", "-displayfd", str(w), "-noreset", "-nolisten",
                                        "tcp", "-screen", "0", self.screen],
                               dict(os.environ), pass_fds=(w,))
            os.close(w)
            w = None
            number = read_line(r, xvfb, self.deadline, "write its display number")
        finally:
            os.close(r)
            if w is not None:
                os.close(w)
        if not number.isdigit():
            raise xvfb.failure("wrote %r where its display number belongs" % number)
        self.display = int(number)
        try:
            refused = x_connection_setup(self.display, self.deadline)
        except OSError as error:
            refused = str(error)
        if refused:
            raise xvfb.failure("on :%d did not take a connection: %s" % (self.display, refused))

    def _start_session_bus(self):
        r, w = os.pipe()
        try:
            bus = self._start("D-Bus session bus",
                              ["dbus-daemon", "--session", "--nofork", "--nopidfile",
                               "--address=unix:dir=" + self.folder, "--print-address=%d" % w],
                              self.environ(os.environ), pass_fds=(w,))
            os.close(w)
            w = None
            self.bus_address = read_line(r, bus, self.deadline, "write its address")
        finally:
            os.close(r)
            if w is not None:
                os.close(w)

    def _connect(self, address, server, what):
        from gi.repository import Gio, GLib
        try:
            connection = Gio.DBusConnection.new_for_address_sync(
                address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT |
                Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
        except GLib.Error as error:
            raise server.failure("did not take a connection to %s: %s" % (what, error.message))
        self.connections.append(connection)
        return connection

    def _call(self, connection, server, what, name, path, interface, method, args, reply):
        from gi.repository import Gio, GLib
        try:
            return connection.call_sync(
                name, path, interface, method, args, reply and GLib.VariantType(reply),
                Gio.DBusCallFlags.NONE, max(1000, int(self.deadline.remaining() * 1000)), None)
        except GLib.Error as error:
            self.check()
            raise server.failure("could not %s: %s" % (what, error.message))

    def _start_accessibility_bus(self):
        # The session bus starts the launcher (its stderr is the session bus's), the launcher
        # the accessibility bus, and that bus the registry; each call returns once its service
        # is there.
        import gi
        gi.require_version("Gio", "2.0")
        from gi.repository import GLib
        bus = self.servers[-1]
        session = self._connect(self.bus_address, bus, "the session bus")
        self.a11y_address = self._call(
            session, bus, "start the accessibility bus (org.a11y.Bus GetAddress)",
            "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress", None,
            "(s)").unpack()[0]
        # What a desktop with a screen reader on says; the program is started with
        # QT_LINUX_ACCESSIBILITY_ALWAYS_ON as well.
        self._call(session, bus, "switch accessibility on (org.a11y.Status IsEnabled)",
                   "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set",
                   GLib.Variant("(ssv)", ("org.a11y.Status", "IsEnabled",
                                          GLib.Variant("b", True))), None)
        self.a11y_bus = self._connect(self.a11y_address, bus, "the accessibility bus")
        self._call(self.a11y_bus, bus, "start the accessibility registry "
                   "(org.a11y.atspi.Registry)", "org.freedesktop.DBus", "/org/freedesktop/DBus",
                   "org.freedesktop.DBus", "StartServiceByName",
                   GLib.Variant("(su)", ("org.a11y.atspi.Registry", 0)), "(u)")
