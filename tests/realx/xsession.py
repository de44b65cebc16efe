"""A private virtual X display and what a person does on it: find windows, click, type, close; and what the tests
of the real program share: their tally of checks, the packages made with cpack, the ordinary user who runs the
program and the first steps of the apply journey.

Used by the tests that run the real executable on a real X server (the xcb platform, or Wine's own), and by the
start-up benchmark. Needs Xvfb and python3-xlib.
"""
import contextlib
import glob
import os
import pwd
import subprocess
import sys
import time

from Xlib import X, XK, Xatom, display, protocol
from Xlib.ext import xtest

MAIN_TITLE = "Zorvik商户平台证书工具 v1.0.0"
REQUEST_TITLE = "生成证书请求串"
NOTICE_TITLE = "提示"

results = []


def check(name, condition, detail=""):
    results.append(bool(condition))
    print("%s: %s%s" % ("PASS" if condition else "FAIL", name, "" if condition else " (%s)" % detail), flush=True)
    return condition


def tally():
    """Prints one "N passed, N failed" line; the exit code of the test."""
    passed = results.count(True)
    failed = results.count(False)
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed or not passed else 0


def cpack(build_dir, out, *options):
    """The packages of build_dir made into out; their paths."""
    subprocess.run(["cpack", "--config", os.path.join(build_dir, "CPackConfig.cmake"), "-B", out] + list(options),
                   check=True, stdout=subprocess.DEVNULL)
    return sorted(glob.glob(os.path.join(out, "*.*")))


def as_merchant(work, home):
    """The command prefix and user that run a program as an ordinary user, with home as the user's own: root may
    write anywhere, which would hide where an installed program keeps its files."""
    if os.geteuid() != 0:
        return [], None
    user = pwd.getpwnam("nobody")
    os.chmod(work, 0o755)
    for folder, _, _ in os.walk(home):
        os.chown(folder, user.pw_uid, user.pw_gid)
    return ["setpriv", "--reuid=%d" % user.pw_uid, "--regid=%d" % user.pw_gid, "--clear-groups", "--"], user


def make_request(session, main, number="100200300", name="Demo Shop"):
    """From the main window: the apply page, the merchant typed in, the request generated and its notice
    answered. The request page."""
    session.click(main, 127, 135)  # the apply tile
    page = session.wait_for_window(REQUEST_TITLE)
    session.wait_until_unmapped(main)
    session.click(page, 250, 91)  # merchant number
    session.type(number)
    session.click(page, 250, 155)  # merchant name
    session.type(name)
    session.click(page, 250, 256)  # generate
    notice = session.wait_for_window(NOTICE_TITLE, timeout=60)
    session.click(notice, 125, 85)  # the notice's one wide button
    session.wait_until_unmapped(notice)
    return page


def leave(session, window, program, timeout=30):
    """Closes window through its title bar and answers the exit question with 退出; the program's exit code."""
    session.close_window(window)
    question = session.wait_for_window(NOTICE_TITLE)
    session.click(question, 185, 85)  # 退出
    return program.wait(timeout=timeout)


def _connect():
    # The private server runs without access control, so there is no cookie; keep the library quiet about it.
    with open(os.devnull, "w") as quiet, contextlib.redirect_stdout(quiet):
        return display.Display()


class Session:
    """Starts Xvfb on a free display number and connects to it; DISPLAY is set for the programs started later."""

    def __init__(self, width=1280, height=1024, dpi=96):
        # The server picks a free display number itself and reports it (-displayfd), so stale lock files of
        # earlier servers cannot get in the way. 96 DPI is 100 %: Xvfb's own default of 100 DPI would scale every
        # window by 1.04.
        report, writer = os.pipe()
        self.server = subprocess.Popen(["Xvfb", "-displayfd", str(writer), "-ac", "-noreset", "-nolisten", "tcp",
                                        "-dpi", str(dpi), "-screen", "0", "%dx%dx24" % (width, height)],
                                       pass_fds=(writer,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(writer)
        number = b""
        with os.fdopen(report, "rb") as reader:
            while not number.endswith(b"\n"):
                chunk = reader.read(1)
                if not chunk:
                    break
                number += chunk
        if not number.strip():
            self.server.kill()
            sys.exit("no virtual X server could be started")
        os.environ["DISPLAY"] = ":" + number.decode().strip()
        os.environ["XAUTHORITY"] = os.devnull
        self.display = _connect()
        self.root = self.display.screen().root
        self.root.change_attributes(event_mask=X.SubstructureNotifyMask)
        self.display.sync()

    def close(self):
        self.display.close()
        self.server.terminate()  # a killed server would leave its lock file behind
        try:
            self.server.wait(timeout=5)
        except subprocess.TimeoutExpired:
            self.server.kill()
            self.server.wait()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    # Windows.
    def atom(self, name):
        return self.display.intern_atom(name)

    def title(self, window):
        try:
            prop = window.get_full_property(self.atom("_NET_WM_NAME"), self.atom("UTF8_STRING"))
            if prop:
                value = prop.value
                return value.decode("utf-8") if isinstance(value, bytes) else str(value)
            name = window.get_wm_name()
            return name or ""
        except Exception:
            return ""

    def visible_windows(self):
        """Top-level windows that are mapped, with their titles."""
        found = []
        for window in self.root.query_tree().children:
            try:
                if window.get_attributes().map_state == X.IsViewable:
                    found.append(window)
            except Exception:
                pass
        return found

    def wait_for_window(self, title, timeout=15):
        """The mapped top-level window whose title is title (or one of a tuple of titles)."""
        titles = title if isinstance(title, tuple) else (title,)
        deadline = time.time() + timeout
        while time.time() < deadline:
            for window in self.visible_windows():
                if self.title(window) in titles:
                    time.sleep(0.2)  # let the program finish painting and take input
                    return window
            time.sleep(0.05)
        raise AssertionError("no window titled %r appeared; visible: %r"
                             % (title, [self.title(w) for w in self.visible_windows()]))

    def wait_until_unmapped(self, window, timeout=15):
        deadline = time.time() + timeout
        while time.time() < deadline:
            try:
                if window.get_attributes().map_state != X.IsViewable:
                    return
            except Exception:
                return  # destroyed
            time.sleep(0.05)
        raise AssertionError("window %r stayed visible" % self.title(window))

    def geometry(self, window):
        """Position on the screen and size: (x, y, width, height)."""
        g = window.get_geometry()
        pos = window.translate_coords(self.root, 0, 0)
        return (-pos.x, -pos.y, g.width, g.height)

    def property(self, window, name, kind=Xatom.CARDINAL):
        prop = window.get_full_property(self.atom(name), kind)
        return list(prop.value) if prop else None

    # Input, as from a mouse and a keyboard.
    def click(self, window, x, y):
        left, top, _, _ = self.geometry(window)
        xtest.fake_input(self.display, X.MotionNotify, x=left + x, y=top + y)
        self.display.sync()
        time.sleep(0.05)
        xtest.fake_input(self.display, X.ButtonPress, 1)
        xtest.fake_input(self.display, X.ButtonRelease, 1)
        self.display.sync()
        time.sleep(0.2)

    def key(self, name, shift=False):
        code = self.display.keysym_to_keycode(XK.string_to_keysym(name))
        shift_code = self.display.keysym_to_keycode(XK.XK_Shift_L)
        if shift:
            xtest.fake_input(self.display, X.KeyPress, shift_code)
        xtest.fake_input(self.display, X.KeyPress, code)
        xtest.fake_input(self.display, X.KeyRelease, code)
        if shift:
            xtest.fake_input(self.display, X.KeyRelease, shift_code)
        self.display.sync()
        time.sleep(0.02)

    def type(self, text):
        names = {" ": "space", "-": "minus", ".": "period", "_": "underscore"}
        for char in text:
            if char.isalpha() and char.isupper():
                self.key(char.lower(), shift=True)
            elif char == "_":
                self.key("minus", shift=True)
            else:
                self.key(names.get(char, char))

    def close_window(self, window):
        """What a title bar's close button asks: WM_DELETE_WINDOW."""
        event = protocol.event.ClientMessage(window=window, client_type=self.atom("WM_PROTOCOLS"),
                                             data=(32, [self.atom("WM_DELETE_WINDOW"), X.CurrentTime, 0, 0, 0]))
        window.send_event(event)
        self.display.sync()
        time.sleep(0.2)
