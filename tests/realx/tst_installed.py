#!/usr/bin/python3
"""The Debian package, installed into a temporary root and used on a real X server as a merchant would.

Usage: tst_installed.py BUILD_DIR QT_MAJOR

Builds the package with cpack from BUILD_DIR, checks that it depends on the libraries of the Qt it was built with
(QT_MAJOR) and recommends that Qt's translations, unpacks it, checks its files (and its desktop entry and metadata with
the validators, where installed), then starts the installed launcher as an ordinary user on a private Xvfb display
with the xcb platform: the main window's flags, size and icon as the X server sees them, a click on the apply
tile, a request typed and generated, the notice answered, back to the main window, and the window closed through
the exit confirmation. The log, the root certificate folder and the request history must be in the user's data
folder, and the program must end with code 0. Prints one "N passed, N failed" line.
"""
import glob
import json
import os
import shutil
import stat
import subprocess
import sys
import tempfile
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xsession import MAIN_TITLE, Session, as_merchant, check, cpack, leave, make_request, results, tally  # noqa: E402


def build_package(build_dir, work, qt_major):
    debs = [p for p in cpack(build_dir, os.path.join(work, "pkg"), "-G", "DEB") if p.endswith(".deb")]
    if len(debs) != 1:
        raise AssertionError("cpack made %r" % debs)
    fields = subprocess.run(["dpkg-deb", "-f", debs[0], "Depends", "Recommends"], check=True, capture_output=True,
                            text=True).stdout
    check("package depends on Qt %s's widgets" % qt_major, "libqt{0}widgets{0}".format(qt_major) in fields, fields)
    translations = "qt6-translations-l10n" if qt_major == "6" else "qttranslations5-l10n"
    check("package recommends " + translations, translations in fields, fields)
    root = os.path.join(work, "root")
    subprocess.run(["dpkg-deb", "-x", debs[0], root], check=True)
    return root


def check_files(root):
    for path in ("usr/bin/zorvikcertutil", "usr/libexec/zorvikcertutil/ZorvikCertUtil",
                 "usr/share/applications/com.zorvik.ZorvikCertUtil.desktop",
                 "usr/share/metainfo/com.zorvik.ZorvikCertUtil.metainfo.xml",
                 "usr/share/icons/hicolor/256x256/apps/com.zorvik.ZorvikCertUtil.png",
                 "usr/share/icons/hicolor/16x16/apps/com.zorvik.ZorvikCertUtil.png"):
        check("package holds " + path, os.path.isfile(os.path.join(root, path)))
    validators = (["desktop-file-validate", "usr/share/applications/com.zorvik.ZorvikCertUtil.desktop"],
                  ["appstreamcli", "validate", "--no-net", "usr/share/metainfo/com.zorvik.ZorvikCertUtil.metainfo.xml"])
    for command in validators:
        if shutil.which(command[0]):
            run = subprocess.run(command[:-1] + [os.path.join(root, command[-1])], capture_output=True, text=True)
            check(command[0] + " accepts " + os.path.basename(command[-1]), run.returncode == 0,
                  run.stdout + run.stderr)
        else:
            print("SKIP: %s is not installed" % command[0])


def window_checks(session, window):
    x, y, width, height = session.geometry(window)
    check("main window is 500 x 560", (width, height) == (500, 560), (width, height))
    hints = window.get_wm_normal_hints()
    check("main window cannot be resized", (hints.min_width, hints.min_height, hints.max_width, hints.max_height)
          == (500, 560, 500, 560), hints)
    state = [session.display.get_atom_name(a) for a in (session.property(window, "_NET_WM_STATE", 4) or [])]
    check("main window stays on top", "_NET_WM_STATE_ABOVE" in state, state)
    motif = session.property(window, "_MOTIF_WM_HINTS", session.atom("_MOTIF_WM_HINTS")) or [0, 0]
    functions = motif[1] if motif[0] & 1 else 1
    check("title bar offers close, no minimise or maximise", functions & 32 and not functions & (1 | 8 | 16), motif)
    icon = session.property(window, "_NET_WM_ICON") or []
    sizes, at = [], 0
    while at + 1 < len(icon):
        sizes.append((icon[at], icon[at + 1]))
        at += 2 + icon[at] * icon[at + 1]
    check("window icon has 16 to 256 pixel images", (16, 16) in sizes and (256, 256) in sizes, sizes)


def journey(session, launcher, prefix, home, data):
    env = {k: v for k, v in os.environ.items() if not k.startswith("XDG_") and not k.startswith("QT_")}
    env.update(HOME=home, QT_QPA_PLATFORM="xcb", QT_QPA_PLATFORMTHEME="", LC_ALL="C.UTF-8")
    program = subprocess.Popen(prefix + [launcher], env=env, cwd="/", stdout=subprocess.DEVNULL,
                               stderr=subprocess.PIPE)
    try:
        main = session.wait_for_window(MAIN_TITLE)
        window_checks(session, main)
        check("runs in the user's data folder", os.readlink("/proc/%d/cwd" % program.pid) == data,
              os.readlink("/proc/%d/cwd" % program.pid))
        check("data folder is owner-only", stat.S_IMODE(os.stat(data).st_mode) == 0o700)
        check("log folder is in the data folder", os.path.isdir(os.path.join(data, "log")))
        check("root certificate folder is in the data folder", os.path.isdir(os.path.join(data, "cert")))

        main_at = session.geometry(main)[:2]
        page = make_request(session, main)
        check("request page replaces the main window in its place", session.geometry(page)[:2] == main_at)

        records = glob.glob(os.path.join(data, "opts", "*.json"))
        check("one history record in the data folder", len(records) == 1, records)
        if records:
            check("history record is owner-only", stat.S_IMODE(os.stat(records[0]).st_mode) == 0o600)
            with open(records[0], encoding="utf-8") as handle:
                record = json.load(handle)
            check("record holds the typed merchant", (record.get("spNo"), record.get("spName"))
                  == ("100200300", "Demo Shop"), record)
            verify = subprocess.run(["openssl", "req", "-verify", "-noout"], input=record.get("csr", ""),
                                    capture_output=True, text=True)
            check("recorded request verifies with openssl", verify.returncode == 0, verify.stderr)

        session.click(page, 350, 523)  # back
        main = session.wait_for_window(MAIN_TITLE)
        session.wait_until_unmapped(page)
        check("back shows the main window again", True)

        check("exit confirmation ends the program with code 0", leave(session, main, program, 15) == 0)
    finally:
        if program.poll() is None:
            program.kill()
            program.wait()
            print(program.stderr.read().decode("utf-8", "replace"))


def main():
    build_dir = os.path.abspath(sys.argv[1])
    work = tempfile.mkdtemp(prefix="installed-")
    try:
        root = build_package(build_dir, work, sys.argv[2])
        check_files(root)
        home = os.path.join(work, "home")
        os.makedirs(home)
        prefix, user = as_merchant(work, home)
        data = os.path.join(home, ".local", "share", "ZorvikCertUtil")
        with Session() as session:
            journey(session, os.path.join(root, "usr", "bin", "zorvikcertutil"), prefix, home, data)
        written = [p for p in glob.glob(os.path.join(root, "**"), recursive=True) if "opts" in p or "log" in p]
        check("nothing written beside the installed executable", not written, written)
    except Exception:
        traceback.print_exc()
        results.append(False)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return tally()


if __name__ == "__main__":
    sys.exit(main())
