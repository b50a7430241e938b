#!/usr/bin/env python3
"""Loads a framed page (index.html with a "menu" and a "main" frame) in headless Chromium and
checks it through the browser's own DOM: every image of the menu has loaded, every link target
exists on disk, and a click on the first link shows that picture in the "main" frame.

usage: check_in_browser.py CHROMIUM INDEX_HTML EXPECTED_LINKS [SCREENSHOT.png]
Exit 0 when every check holds, 1 with the reasons on stderr when one fails, 77 when the browser
cannot start (the caller decides whether that skips). Standard library only: the DevTools
protocol runs over the pipe Chromium opens on descriptors 3 and 4."""

import base64
import fcntl
import json
import os
import subprocess
import sys
import tempfile
import time
import urllib.parse

CANNOT_START = 77


def high_fd(fd):
    # Above 4, so that wiring 3 and 4 in the child cannot overwrite one of the pipe's ends.
    moved = fcntl.fcntl(fd, fcntl.F_DUPFD_CLOEXEC, 10)
    os.close(fd)
    return moved


class Browser:
    def __init__(self, chromium, profile):
        to_browser_r, self.to_browser = (high_fd(fd) for fd in os.pipe())
        self.from_browser, from_browser_w = (high_fd(fd) for fd in os.pipe())
        # The browser reads commands on 3 and writes answers on 4.
        def wire():
            os.dup2(to_browser_r, 3)
            os.dup2(from_browser_w, 4)
        self.process = subprocess.Popen(
            [chromium, "--headless=new", "--no-sandbox", "--disable-gpu",
             "--no-first-run", "--no-default-browser-check", "--disable-extensions",
             "--user-data-dir=" + profile, "--remote-debugging-pipe",
             "--window-size=1200,800", "about:blank"],
            preexec_fn=wire, pass_fds=(3, 4),
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(to_browser_r)
        os.close(from_browser_w)
        self.buffer = b""
        self.next_id = 0
        self.events = []

    def send(self, method, params=None, session=None, timeout=30):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self.to_browser, json.dumps(message).encode() + b"\0")
        deadline = time.time() + timeout
        while time.time() < deadline:
            reply = self._read()
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise RuntimeError("%s: %s" % (method, reply["error"]))
                return reply["result"]
            self.events.append(reply)
        raise TimeoutError(method)

    def _read(self):
        while b"\0" not in self.buffer:
            chunk = os.read(self.from_browser, 65536)
            if not chunk:
                raise EOFError("the browser closed its pipe")
            self.buffer += chunk
        message, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(message)

    def close(self):
        try:
            self.send("Browser.close", timeout=5)
        except Exception:
            pass
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


def frames(browser, session):
    tree = browser.send("Page.getFrameTree", session=session)["frameTree"]
    return {child["frame"].get("name"): child["frame"] for child in tree.get("childFrames", [])}


def evaluate(browser, session, frame_id, expression):
    # An isolated world reaches a frame's DOM whatever origin file pages get.
    world = browser.send("Page.createIsolatedWorld",
                         {"frameId": frame_id, "worldName": "check"}, session=session)
    result = browser.send("Runtime.evaluate",
                          {"expression": expression, "contextId": world["executionContextId"],
                           "returnByValue": True, "awaitPromise": True}, session=session)
    if "exceptionDetails" in result:
        raise RuntimeError("script failed: %s" % result["exceptionDetails"])
    return result["result"].get("value")


def wait_for(what, test, timeout=20):
    deadline = time.time() + timeout
    while time.time() < deadline:
        try:
            value = test()
        except RuntimeError:
            value = None  # a frame that navigated away under the question: ask again
        if value:
            return value
        time.sleep(0.1)
    raise TimeoutError(what)


def file_path(url):
    parsed = urllib.parse.urlparse(url)
    return urllib.parse.unquote(parsed.path) if parsed.scheme == "file" else None


def main():
    if len(sys.argv) not in (4, 5):
        print(__doc__, file=sys.stderr)
        return 2
    chromium, index, expected = sys.argv[1], os.path.abspath(sys.argv[2]), int(sys.argv[3])
    screenshot = sys.argv[4] if len(sys.argv) == 5 else None
    failures = []
    with tempfile.TemporaryDirectory() as profile:
        try:
            browser = Browser(chromium, profile)
            browser.send("Browser.getVersion", timeout=60)
        except (OSError, EOFError, TimeoutError) as error:
            print("chromium did not start: %s" % error, file=sys.stderr)
            return CANNOT_START
        try:
            target = browser.send("Target.createTarget",
                                  {"url": "file://" + urllib.parse.quote(index)})["targetId"]
            session = browser.send("Target.attachToTarget",
                                   {"targetId": target, "flatten": True})["sessionId"]
            browser.send("Page.enable", session=session)

            def loaded(name):
                frame = frames(browser, session).get(name)
                return frame and evaluate(browser, session, frame["id"],
                                          "document.readyState == 'complete'")
            wait_for("both frames loaded", lambda: loaded("menu") and loaded("main"))
            menu = frames(browser, session)["menu"]

            images = evaluate(browser, session, menu["id"], """
                Array.from(document.images, i => ({src: i.src, width: i.naturalWidth}))""")
            for image in images:
                if image["width"] == 0:
                    failures.append("thumbnail not loaded: " + image["src"])
            links = evaluate(browser, session, menu["id"], """
                Array.from(document.links, a => ({href: a.href, target: a.target,
                                                  text: a.textContent}))""")
            if len(links) != expected:
                failures.append("%d links in the menu, expected %d" % (len(links), expected))
            for link in links:
                path = file_path(link["href"])
                if link["target"] != "main":
                    failures.append("link not aimed at the main frame: " + link["href"])
                if not path or not os.path.isfile(path):
                    failures.append("link target missing: %s (%r)" % (link["href"], path))
            print(json.dumps({"images": images, "links": links}, indent=1))

            if links:
                first = links[0]["href"]
                evaluate(browser, session, menu["id"], "document.links[0].click(); true")

                def shown():
                    main_frame = frames(browser, session).get("main")
                    if not main_frame or main_frame.get("url") != first:
                        return None
                    return evaluate(browser, session, main_frame["id"], """
                        document.readyState == 'complete' && document.images.length == 1 &&
                        document.images[0].naturalWidth > 0""")
                try:
                    wait_for("the picture in the main frame", shown)
                except TimeoutError:
                    failures.append("clicking %s did not show it in the main frame" % first)
            if screenshot:
                time.sleep(0.3)
                shot = browser.send("Page.captureScreenshot", {"format": "png"}, session=session)
                with open(screenshot, "wb") as out:
                    out.write(base64.b64decode(shot["data"]))
        except (RuntimeError, TimeoutError, EOFError) as error:
            failures.append("browser check failed: %s" % error)
        finally:
            browser.close()
    for failure in failures:
        print(failure, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
