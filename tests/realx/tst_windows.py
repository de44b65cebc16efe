#!/usr/bin/python3
"""The Windows program as a merchant gets it, run under Wine on a private virtual X display.

Usage: tst_windows.py BUILD_DIR [--readme-shot FILE.png]

BUILD_DIR is a cross build for Windows (scripts/windows-build.sh); Wine's prefix is BUILD_DIR/wineprefix. Packs the
portable zip and the NSIS installer with cpack, then:
- the zip holds the executable and everything it loads;
- the unpacked program starts on Wine's own window system: the main window appears with its title at 500 x 560
  (a screenshot of it goes to BUILD_DIR/screenshots/), the apply page opens and back, and no line of the log says
  that the legacy provider beside the executable failed to load; closing the window asks whether to exit, and
  the answer 退出 ends the program with code 0;
- the installer installs silently (/S) into Program Files, with a Start-menu entry that carries the program's icon
  and an uninstaller; the installed program starts and ends the same way; the silent uninstaller removes the
  folder and the entry.
Prints the package sizes and one "N passed, N failed" line. With --readme-shot the main window is also shot with
Wine's title bar in a Wine desktop, for the README.
"""
import fcntl
import glob
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import traceback
import zipfile
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xsession import Session  # noqa: E402
from Xlib import X  # noqa: E402

MAIN_TITLE = "Zorvik商户平台证书工具 v1.0.0"
REQUEST_TITLE = "生成证书请求串"
NOTICE_TITLE = "提示"
ENTRY_NAME = "Zorvik商户平台证书工具.lnk"
PORTABLE_FILES = ("ZorvikCertUtil.exe", "qt.conf", "Qt6Core.dll", "Qt6Gui.dll", "Qt6Widgets.dll", "Qt6Concurrent.dll",
                  "platforms/qwindows.dll", "styles/qwindowsvistastyle.dll", "imageformats/qico.dll",
                  "translations/qt_zh_CN.qm", "translations/qtbase_zh_CN.qm", "libcrypto-3-x64.dll",
                  "ossl-modules/legacy.dll", "libstdc++-6.dll", "libgcc_s_seh-1.dll", "libwinpthread-1.dll")

results = []


def check(name, condition, detail=""):
    results.append(bool(condition))
    print("%s: %s%s" % ("PASS" if condition else "FAIL", name, "" if condition else " (%s)" % detail), flush=True)
    return condition


def wine_environment(prefix):
    env = {k: v for k, v in os.environ.items() if not k.startswith("QT_")}
    # No desktop menu entries on this machine for the Start-menu entries, no Mono or Gecko prompts.
    env.update(WINEPREFIX=prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="winemenubuilder.exe,mscoree,mshtml=d")
    return env


def ensure_prefix(env):
    """The first start of a prefix takes a while; tests started side by side wait here for one another."""
    prefix = env["WINEPREFIX"]
    with open(prefix + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not os.path.isfile(os.path.join(prefix, "system.reg")):
            subprocess.run(["wineboot", "-i"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           check=True)
            subprocess.run(["wineserver", "-w"], env=env, check=True)


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
    distinct = len(set(data[i:i + 3] for i in range(0, len(data), 4 * 97)))
    return distinct


def build_packages(build_dir, work):
    out = os.path.join(work, "packages")
    subprocess.run(["cpack", "--config", os.path.join(build_dir, "CPackConfig.cmake"), "-B", out], check=True,
                   stdout=subprocess.DEVNULL)
    zips = glob.glob(os.path.join(out, "*.zip"))
    installers = glob.glob(os.path.join(out, "*.exe"))
    if len(zips) != 1 or len(installers) != 1:
        raise AssertionError("cpack made %r" % os.listdir(out))
    for package in zips + installers:
        print("package %s: %d bytes (%.1f MB)" % (os.path.basename(package), os.path.getsize(package),
                                                  os.path.getsize(package) / 1e6))
    return zips[0], installers[0]


def start_and_close(session, env, executable, cwd, shot=None):
    """Starts the program, checks its main window, opens the apply page and back, then closes it through the
    exit question. Returns the program's exit code."""
    program = subprocess.Popen(["wine", executable], env=env, cwd=cwd, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        main = session.wait_for_window(MAIN_TITLE, timeout=60)
        area = session.geometry(main)
        check("main window is 500 x 560", area[2:] == (500, 560), area)
        if shot:
            os.makedirs(os.path.dirname(shot), exist_ok=True)
            deadline = time.time() + 15
            colours = screenshot(session, area, shot)
            while colours <= 8 and time.time() < deadline:  # not painted yet
                time.sleep(0.5)
                colours = screenshot(session, area, shot)
            check("screenshot of the main window shows more than a blank window", colours > 8, colours)
        session.click(main, 127, 135)  # the apply tile
        page = session.wait_for_window(REQUEST_TITLE)
        session.wait_until_unmapped(main)
        check("apply page replaces the main window", True)
        session.click(page, 350, 523)  # back
        main = session.wait_for_window(MAIN_TITLE)
        session.close_window(main)
        question = session.wait_for_window(NOTICE_TITLE)
        session.click(question, 185, 85)  # 退出
        return program.wait(timeout=30)
    finally:
        if program.poll() is None:
            program.kill()
            program.wait()


def check_log(folder):
    # The start-up probe makes the log folder; its file comes with the first line, and a quiet run writes none.
    check("log folder made in the working folder", os.path.isdir(os.path.join(folder, "log")), os.listdir(folder))
    log = os.path.join(folder, "log", "certutil_zv.txt")
    text = open(log, encoding="utf-8", errors="replace").read() if os.path.isfile(log) else ""
    check("legacy provider loaded from ossl-modules beside the executable", "legacy provider" not in text, text)


def portable(session, env, archive, work, shot):
    folder = os.path.join(work, "portable")
    with zipfile.ZipFile(archive) as package:
        names = package.namelist()
        package.extractall(folder)
    top = os.path.join(folder, names[0].split("/")[0])
    missing = [name for name in PORTABLE_FILES if not os.path.isfile(os.path.join(top, name))]
    check("zip holds the executable and everything it loads", not missing, missing)
    code = start_and_close(session, env, os.path.join(top, "ZorvikCertUtil.exe"), top, shot)
    check("exit question ends the portable program with code 0", code == 0, code)
    check_log(top)


def shortcut_strings(path):
    """The string data of a Windows shortcut (.lnk): its working directory, icon location and the like."""
    data = open(path, "rb").read()
    flags = struct.unpack_from("<I", data, 0x14)[0]
    at = 0x4C
    if flags & 0x01:  # an item ID list
        at += 2 + struct.unpack_from("<H", data, at)[0]
    if flags & 0x02:  # link information, with the local base path
        at += struct.unpack_from("<I", data, at)[0]
    strings = {}
    for bit, name in ((0x04, "name"), (0x08, "relative"), (0x10, "directory"), (0x20, "arguments"),
                      (0x40, "icon")):
        if flags & bit:
            count = struct.unpack_from("<H", data, at)[0]
            strings[name] = data[at + 2:at + 2 + 2 * count].decode("utf-16-le").rstrip("\0")
            at += 2 + 2 * count
    return strings


def installed(session, env, installer):
    prefix = env["WINEPREFIX"]
    folder = os.path.join(prefix, "drive_c", "Program Files", "ZorvikCertUtil")
    menu = os.path.join(prefix, "drive_c", "ProgramData", "Microsoft", "Windows", "Start Menu", "Programs",
                        "ZorvikCertUtil")
    run = subprocess.run(["wine", installer, "/S"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                         timeout=120)
    check("installer ends with code 0 when silent", run.returncode == 0, run.returncode)
    missing = [name for name in PORTABLE_FILES + ("Uninstall.exe",) if not os.path.isfile(os.path.join(folder, name))]
    check("installed into Program Files with everything it loads", not missing, missing)
    entry = os.path.join(menu, ENTRY_NAME)
    if check("Start-menu entry " + ENTRY_NAME, os.path.isfile(entry), os.listdir(menu) if os.path.isdir(menu) else ""):
        strings = shortcut_strings(entry)
        executable = "C:\\Program Files\\ZorvikCertUtil\\ZorvikCertUtil.exe"
        check("Start-menu entry carries the program's icon", strings.get("icon", "").lower() == executable.lower(),
              strings)
        check("Start-menu entry starts in the installation folder",
              strings.get("directory", "").lower() == "c:\\program files\\zorvikcertutil", strings)
    check("Start-menu entry for the uninstaller", os.path.isfile(os.path.join(menu, "Uninstall.lnk")))

    code = start_and_close(session, env, os.path.join(folder, "ZorvikCertUtil.exe"), folder)
    check("exit question ends the installed program with code 0", code == 0, code)

    subprocess.run(["wine", os.path.join(folder, "Uninstall.exe"), "/S"], env=env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=120)
    # The uninstaller runs on from a copy of itself; wait for it to finish.
    deadline = time.time() + 60
    while time.time() < deadline and os.path.exists(os.path.join(folder, "ZorvikCertUtil.exe")):
        time.sleep(0.5)
    time.sleep(1)
    left = [p for p in glob.glob(os.path.join(folder, "**"), recursive=True) if os.path.isfile(p)
            and os.sep + "log" + os.sep not in p]
    check("uninstaller removes the installed files", not left, left)
    check("uninstaller removes the Start-menu entries", not os.path.exists(entry), os.listdir(menu)
          if os.path.isdir(menu) else "")
    shutil.rmtree(folder, ignore_errors=True)  # the log that the program wrote there


def readme_shot(session, env, archive, work, path):
    """The main window with Wine's title bar, in a Wine desktop; Wine's title font gets a CJK fallback."""
    key = "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink"
    for font in ("Tahoma", "Tahoma Bold"):
        subprocess.run(["wine", "reg", "add", key, "/v", font, "/t", "REG_MULTI_SZ", "/d",
                        "NotoSansCJK-Regular.ttc,Noto Sans CJK SC", "/f"], env=env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    top = glob.glob(os.path.join(work, "portable", "*"))[0]
    desktop = subprocess.Popen(["wine", "explorer", "/desktop=shot,560x640", os.path.join(top, "ZorvikCertUtil.exe")],
                               env=env, cwd=top, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        deadline = time.time() + 60
        window = None
        while window is None and time.time() < deadline:
            for outer in session.visible_windows():
                for inner in outer.query_tree().children:
                    if session.title(inner) == MAIN_TITLE and inner.get_attributes().map_state == X.IsViewable:
                        window = inner
            time.sleep(0.2)
        if window is None:
            raise AssertionError("no main window in the Wine desktop")
        time.sleep(1)
        screenshot(session, session.geometry(window), path)
        print("README screenshot: %s" % path)
    finally:
        # The program started by the desktop, found by its folder, which is this run's own.
        for entry in glob.glob("/proc/[0-9]*/cmdline"):
            try:
                command = open(entry, "rb").read().decode("utf-8", "replace")
            except OSError:
                continue
            if os.path.basename(work) in command and "ZorvikCertUtil.exe" in command:
                os.kill(int(entry.split("/")[2]), 9)
        desktop.kill()
        desktop.wait()


def main():
    build_dir = os.path.abspath(sys.argv[1])
    readme = os.path.abspath(sys.argv[3]) if len(sys.argv) > 3 and sys.argv[2] == "--readme-shot" else None
    env = wine_environment(os.path.join(build_dir, "wineprefix"))
    work = tempfile.mkdtemp(prefix="windows-")
    try:
        ensure_prefix(env)
        archive, installer = build_packages(build_dir, work)
        with Session() as session:
            env.update(DISPLAY=os.environ["DISPLAY"], XAUTHORITY=os.environ["XAUTHORITY"])
            portable(session, env, archive, work, os.path.join(build_dir, "screenshots", "main-window.png"))
            installed(session, env, installer)
            if readme:
                readme_shot(session, env, archive, work, readme)
    except Exception:
        traceback.print_exc()
        results.append(False)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    passed = results.count(True)
    failed = results.count(False)
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed or not passed else 0


if __name__ == "__main__":
    sys.exit(main())
