#!/usr/bin/python3
"""The README's picture of the main window under Wine, with the title bar Wine draws.

Usage: windows-screenshot.py BUILD_DIR FILE.png

BUILD_DIR is a cross build for Windows (scripts/windows-build.sh). Packs its portable zip with cpack, unpacks it
as tst_windows does into a Wine prefix of its own, made afresh as a Chinese Windows (code page 936) so that the
picture does not depend on what ran in the tests' prefix before, starts the program in a Wine desktop on a private
virtual X display and saves the main window's pixels as FILE.png. scripts/screenshots.sh --windows runs it.
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "realx"))
from tst_windows import unpack, wine  # noqa: E402
from xsession import MAIN_TITLE, Session, cpack  # noqa: E402
from Xlib import X  # noqa: E402


def save_png(path, width, height, rgb_rows):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    raw = b"".join(b"\0" + row for row in rgb_rows)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
                  + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def screenshot(session, area, path):
    """The screen's pixels in area (x, y, width, height) as a PNG file."""
    x, y, width, height = area
    image = session.root.get_image(x, y, width, height, X.ZPixmap, 0xFFFFFFFF)
    data = image.data if isinstance(image.data, bytes) else image.data.encode("latin-1")
    rows = []
    for row in range(height):
        line = data[row * width * 4:(row + 1) * width * 4]
        rows.append(b"".join(bytes((line[i + 2], line[i + 1], line[i])) for i in range(0, len(line), 4)))
    save_png(path, width, height, rows)


def main_window(session, timeout=60):
    """The program's main window: in a Wine desktop a child of the desktop's own window."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        for outer in session.visible_windows():
            for inner in outer.query_tree().children:
                if session.title(inner) == MAIN_TITLE and inner.get_attributes().map_state == X.IsViewable:
                    return inner
        time.sleep(0.2)
    raise AssertionError("no main window in the Wine desktop")


def shoot(session, prefix, top, path):
    """The main window with Wine's title bar, in a Wine desktop. As on a Chinese Windows, Wine draws the title in a
    font with Chinese characters."""
    desktop = wine(prefix, "explorer", "/desktop=shot,560x640", os.path.join(top, "ZorvikCertUtil.exe"), cwd=top,
                   locale="zh_CN.UTF-8")
    try:
        window = main_window(session)
        time.sleep(1)  # let it finish painting
        screenshot(session, session.geometry(window), path)
    finally:
        # The desktop started the program on its own; everything in this prefix is the shot's.
        subprocess.run(["wineserver", "-k"], env=dict(os.environ, WINEPREFIX=prefix), stderr=subprocess.DEVNULL)
        desktop.kill()
        desktop.wait()


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    build_dir, path = (os.path.abspath(argument) for argument in sys.argv[1:])
    work = tempfile.mkdtemp(prefix="windows-screenshot-")
    prefix = os.path.join(work, "wineprefix")
    try:
        archive = [p for p in cpack(build_dir, os.path.join(work, "packages"), "-G", "ZIP") if p.endswith(".zip")][0]
        top, _ = unpack(prefix, archive)
        with Session() as session:
            shoot(session, prefix, top, path)
        print("README screenshot: %s" % path)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
