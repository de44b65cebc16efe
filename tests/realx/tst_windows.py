#!/usr/bin/python3
"""The Windows program as a merchant gets it, run under Wine on a private virtual X display.

Usage: tst_windows.py BUILD_DIR

BUILD_DIR is a cross build for Windows (scripts/windows-build.sh); programs run through scripts/wine-run.sh, root's
in the prefix BUILD_DIR/wineprefix. Packs the portable zip and the NSIS installer with cpack, and once more an
installer that ships a demo root certificate (CERTUTIL_ROOT_CERTIFICATE), then:
- the zip holds the executable and everything it loads, and no root certificate;
- unpacked into a Chinese folder, with a legacy module, a Qt platform plugin and an OpenSSL configuration planted
  where libcrypto and Qt would find them by their built-in paths, the program shows its main window at 500 x 560,
  opens the apply page and back, loads no DLL from a planted place, loads the legacy provider from its own
  ossl-modules, and ends through the exit question with code 0;
- the installer installs silently (/S) into Program Files with a Start-menu entry that starts the program in the
  installation folder and carries its icon, the installed program starts and ends the same way, and the silent
  uninstaller removes the folder and the entries;
- as an ordinary user with a Wine profile of its own and the installation folder owned by root, the installed
  program started as its Start-menu entry starts it goes the whole apply journey: request, certificate issued by
  the demo root with openssl and pasted, password, the folder dialog's default accepted. cert.p12, cert.pem and
  cert_key.pem land in %LOCALAPPDATA%\\ZorvikCertUtil and are checked with openssl, and so is the log; once with
  the root certificate the merchant put in its cert\\ (DER, as Windows exports it), once with the installer's, while
  an OpenSSL configuration that would allow no algorithm lies at libcrypto's built-in path.
Prints the package sizes and one "N passed, N failed" line.
"""
import glob
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import traceback
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xsession import (MAIN_TITLE, REQUEST_TITLE, Session, as_merchant, check, cpack, leave,  # noqa: E402
                      make_request, results, tally)

WINE_RUN = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "wine-run.sh")
IMPORT_TITLE = "生成证书文件"
# Wine's folder dialog shows its own title rather than the program's.
FOLDER_TITLES = ("证书保存目录", "Select Folder")
FINISH_TITLE = "证书保存成功"
ENTRY_NAME = "Zorvik商户平台证书工具.lnk"
PASSWORD = "Secret123"
PORTABLE_FILES = ("ZorvikCertUtil.exe", "qt.conf", "Qt6Core.dll", "Qt6Gui.dll", "Qt6Widgets.dll", "Qt6Concurrent.dll",
                  "platforms/qwindows.dll", "styles/qwindowsvistastyle.dll", "imageformats/qico.dll",
                  "translations/qt_zh_CN.qm", "translations/qtbase_zh_CN.qm", "libcrypto-3-x64.dll",
                  "ossl-modules/legacy.dll", "libstdc++-6.dll", "libgcc_s_seh-1.dll", "libwinpthread-1.dll")
# Where libcrypto of the toolchain bundle looks by itself, on drive C:: its module and configuration folders.
BUILT_IN_MODULES = "Program Files/OpenSSL-ZorvikCertUtil/lib/ossl-modules"
BUILT_IN_SSL = "Program Files/Common Files/SSL"
# If read, no algorithm could be fetched, and no request or certificate file could be made.
NO_ALGORITHMS = b"openssl_conf = init\n[init]\nalg_section = algorithms\n[algorithms]\ndefault_properties = fips=yes\n"


def wine(prefix, *command, prefix_command=(), **options):
    """Runs command (wine's arguments) in the Wine prefix, as the user of prefix_command."""
    env = {k: v for k, v in os.environ.items() if not k.startswith("QT_")}
    env.update(WINEPREFIX=prefix, LC_ALL=options.pop("locale", "C.UTF-8"))
    if prefix_command:
        env.update(HOME=os.path.dirname(prefix), USER="nobody", LOGNAME="nobody")
    env.update(options.pop("env", {}))
    return subprocess.Popen(list(prefix_command) + [WINE_RUN, "--exec", "wine"] + list(command), env=env,
                            stdout=subprocess.DEVNULL, stderr=options.pop("stderr", subprocess.DEVNULL), **options)


def run(prefix, *command, **options):
    program = wine(prefix, *command, **options)
    return program.wait(timeout=180)


def make_ca(work):
    """A demo platform root: its certificate and key."""
    root, key = os.path.join(work, "root.pem"), os.path.join(work, "root.key")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", root,
                    "-subj", "/CN=Zorvik Demo Root", "-days", "30"], check=True, capture_output=True)
    return root, key


def build_packages(build_dir, work, root):
    packages = cpack(build_dir, os.path.join(work, "packages"))
    zips = [p for p in packages if p.endswith(".zip")]
    installers = [p for p in packages if p.endswith(".exe")]
    if len(zips) != 1 or len(installers) != 1:
        raise AssertionError("cpack made %r" % packages)
    for package in packages:
        print("package %s: %d bytes (%.1f MB)" % (os.path.basename(package), os.path.getsize(package),
                                                  os.path.getsize(package) / 1e6))
    # The same installer with the platform's root certificate, as the platform builds it for its merchants.
    try:
        subprocess.run(["cmake", "-DCERTUTIL_ROOT_CERTIFICATE=" + root, build_dir], check=True,
                       stdout=subprocess.DEVNULL)
        shipping = [p for p in cpack(build_dir, os.path.join(work, "shipping"), "-G", "NSIS") if p.endswith(".exe")]
    finally:
        subprocess.run(["cmake", "-DCERTUTIL_ROOT_CERTIFICATE=", build_dir], check=True, stdout=subprocess.DEVNULL)
    return zips[0], installers[0], shipping[0]


def start_and_close(session, prefix, executable, cwd, **options):
    """Starts the program, checks its main window, opens the apply page and back, then closes it through the
    exit question. Returns the program's exit code and what Wine wrote to standard error."""
    errors = tempfile.TemporaryFile()
    program = wine(prefix, executable, cwd=cwd, stderr=errors, **options)
    try:
        main = session.wait_for_window(MAIN_TITLE, timeout=90)
        area = session.geometry(main)
        check("main window is 500 x 560", area[2:] == (500, 560), area)
        session.click(main, 127, 135)  # the apply tile
        page = session.wait_for_window(REQUEST_TITLE)
        session.wait_until_unmapped(main)
        check("apply page replaces the main window", True)
        session.click(page, 350, 523)  # back
        code = leave(session, session.wait_for_window(MAIN_TITLE), program)
        errors.seek(0)
        return code, errors.read().decode("utf-8", "replace")
    finally:
        if program.poll() is None:
            program.kill()
            program.wait()


def plant(drive_c, near_program):
    """A legacy module and an OpenSSL configuration at libcrypto's built-in paths on drive C:, and a Qt platform
    plugin where Qt would look without qt.conf (its prefix is the folder above its DLLs). Returns what it planted."""
    planted = []
    for source, target in ((os.path.join(near_program, "ossl-modules", "legacy.dll"),
                            os.path.join(drive_c, BUILT_IN_MODULES, "legacy.dll")),
                           (os.path.join(near_program, "platforms", "qwindows.dll"),
                            os.path.join(near_program, "..", "plugins", "platforms", "qwindows.dll"))):
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copy(source, target)
        planted.append(target)
    os.makedirs(os.path.join(drive_c, BUILT_IN_SSL), exist_ok=True)
    planted.append(os.path.join(drive_c, BUILT_IN_SSL, "openssl.cnf"))
    with open(planted[-1], "wb") as config:
        config.write(NO_ALGORITHMS)
    return planted


def unplant(planted):
    """The prefix is the test programs' too: what was planted goes again."""
    for path in planted:
        if os.path.exists(path):
            os.remove(path)


def unpack(prefix, archive):
    """The portable zip unpacked into a merchant's desktop folder with a Chinese name, in the Wine prefix; the
    program's folder and the zip's names."""
    folder = os.path.join(prefix, "drive_c", "users", "张三", "桌面", "证书 工具")
    shutil.rmtree(folder, ignore_errors=True)
    with zipfile.ZipFile(archive) as package:
        names = package.namelist()
        package.extractall(folder)
    return os.path.join(folder, names[0].split("/")[0]), names


def portable(session, prefix, archive):
    top, names = unpack(prefix, archive)
    missing = [name for name in PORTABLE_FILES if not os.path.isfile(os.path.join(top, name))]
    check("zip holds the executable and everything it loads", not missing, missing)
    check("zip ships no root certificate when none is given", not any("RootCA_ZX" in name for name in names))
    planted = plant(os.path.join(prefix, "drive_c"), top)
    try:
        # The program shows its texts as a Chinese Windows does.
        code, errors = start_and_close(session, prefix, os.path.join(top, "ZorvikCertUtil.exe"), top,
                                       locale="zh_CN.UTF-8", env={"WINEDEBUG": "+loaddll"})
    finally:
        unplant(planted)
    check("exit question ends the portable program with code 0", code == 0, code)
    loaded = re.findall(r'Loaded L"([^"]*)"', errors)
    planted = [path for path in loaded if "wintool" in path or "\\plugins\\" in path]
    check("no DLL loaded from the built-in paths of libcrypto and Qt", loaded and not planted, planted or errors[-500:])
    log = os.path.join(top, "log", "certutil_zv.txt")
    text = open(log, encoding="utf-8", errors="replace").read() if os.path.isfile(log) else ""
    check("log in the working folder", os.path.isdir(os.path.join(top, "log")), os.listdir(top))
    check("legacy provider loaded from ossl-modules in the Chinese folder", "legacy provider" not in text, text)


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


def installation(prefix):
    return os.path.join(prefix, "drive_c", "Program Files", "ZorvikCertUtil")


def installed(session, prefix, installer):
    folder = installation(prefix)
    menu = os.path.join(prefix, "drive_c", "ProgramData", "Microsoft", "Windows", "Start Menu", "Programs",
                        "ZorvikCertUtil")
    code = run(prefix, installer, "/S")
    check("installer ends with code 0 when silent", code == 0, code)
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

    code, _ = start_and_close(session, prefix, os.path.join(folder, "ZorvikCertUtil.exe"), folder)
    check("exit question ends the installed program with code 0", code == 0, code)

    run(prefix, os.path.join(folder, "Uninstall.exe"), "/S")
    # The uninstaller runs on from a copy of itself; wait for it to finish.
    deadline = time.time() + 60
    while time.time() < deadline and os.path.exists(os.path.join(folder, "ZorvikCertUtil.exe")):
        time.sleep(0.5)
    time.sleep(1)
    # Root may write in Program Files, so its run worked there and left its log behind.
    left = [p for p in glob.glob(os.path.join(folder, "**"), recursive=True) if os.path.isfile(p)
            and os.sep + "log" + os.sep not in p]
    check("uninstaller removes the installed files", not left, left)
    check("uninstaller removes the Start-menu entries", not os.path.exists(entry), os.listdir(menu)
          if os.path.isdir(menu) else "")
    shutil.rmtree(folder, ignore_errors=True)


def own(path, user):
    for folder, _, files in os.walk(path):
        for name in [folder] + [os.path.join(folder, f) for f in files]:
            os.chown(name, user.pw_uid if user else 0, user.pw_gid if user else 0)


def merchant_installs(prefix, installer, as_user, user):
    """The merchant's installer run; the installation folder then belongs to root, as Program Files does."""
    folder = installation(prefix)
    if os.path.isdir(folder):
        own(folder, user)  # the previous installation, for the installer to replace
    code = run(prefix, installer, "/S", prefix_command=as_user)
    check("installer ends with code 0 for the merchant", code == 0, code)
    if user:
        own(folder, None)
        os.chmod(folder, 0o755)
    return folder


def merchant_folder(prefix):
    """%LOCALAPPDATA%\\ZorvikCertUtil of the prefix's user."""
    return os.path.join(prefix, "drive_c", "users", "nobody" if os.geteuid() == 0 else os.environ["USER"], "AppData",
                        "Local", "ZorvikCertUtil")


def apply_journey(session, prefix, folder, as_user, ca, how):
    """The installed program started as its Start-menu entry starts it, through the apply journey to the three
    files in the merchant's folder."""
    data = merchant_folder(prefix)
    for name in ("cert.p12", "cert.pem", "cert_key.pem"):
        if os.path.exists(os.path.join(data, name)):
            os.remove(os.path.join(data, name))
    program = wine(prefix, os.path.join(folder, "ZorvikCertUtil.exe"), cwd=folder, prefix_command=as_user)
    try:
        main = session.wait_for_window(MAIN_TITLE, timeout=90)
        page = make_request(session, main)
        records = glob.glob(os.path.join(data, "opts", "*.json"))
        check("request recorded in the merchant's folder (%s)" % how, records, os.listdir(data))
        csr = json.load(open(sorted(records, key=os.path.getmtime)[-1], encoding="utf-8"))["csr"]
        cert = subprocess.run(["openssl", "x509", "-req", "-CA", ca[0], "-CAkey", ca[1], "-set_serial",
                               str(int(time.time())), "-days", "30"], input=csr.encode(), check=True,
                              capture_output=True).stdout
        # The certificate as the platform hands it over: on the clipboard, for the 粘贴 button.
        subprocess.run(["xclip", "-selection", "clipboard"], input=cert, check=True)
        session.click(page, 440, 523)  # 下一步
        page = session.wait_for_window(IMPORT_TITLE)
        session.click(page, 428, 290)  # 粘贴
        session.click(page, 250, 403)  # password
        session.type(PASSWORD)
        session.click(page, 440, 523)  # 生成
        dialog = session.wait_for_window(FOLDER_TITLES, timeout=30)
        # The folder it starts in: "." in its file name box, then its Open button at the bottom right (Wine's dialog
        # takes no empty name).
        _, _, width, height = session.geometry(dialog)
        session.click(dialog, width - 343, height - 43)
        session.type(".")
        session.click(dialog, width - 114, height - 17)
        finish = session.wait_for_window(FINISH_TITLE, timeout=60)

        files = [os.path.join(data, name) for name in ("cert.p12", "cert.pem", "cert_key.pem")]
        check("three files in the merchant's folder (%s)" % how, all(map(os.path.isfile, files)), os.listdir(data))
        verify = subprocess.run(["openssl", "verify", "-CAfile", ca[0], files[1]], capture_output=True, text=True)
        check("cert.pem verifies under the platform's root (%s)" % how, verify.returncode == 0, verify.stdout)
        key = subprocess.run(["openssl", "pkcs12", "-in", files[0], "-passin", "pass:" + PASSWORD, "-nocerts",
                              "-nodes"], capture_output=True)
        public = [subprocess.run(["openssl", "pkey", "-pubout"], input=k, capture_output=True).stdout
                  for k in (key.stdout, open(files[2], "rb").read())]
        check("cert.p12 opens and holds the key of cert_key.pem (%s)" % how, key.returncode == 0 and public[0]
              and public[0] == public[1], key.stderr)
        log = open(os.path.join(data, "log", "certutil_zv.txt"), encoding="utf-8", errors="replace").read()
        check("log in the merchant's folder names the files (%s)" % how, "fielPath:C:\\\\users\\\\" in log, log)
        session.click(finish, 440, 523)  # 完成
        code = leave(session, session.wait_for_window(MAIN_TITLE), program)
        check("the program ends with code 0 (%s)" % how, code == 0, code)
    finally:
        if program.poll() is None:
            program.kill()
            program.wait()
    return data


def merchant(session, work, installer, shipping, ca):
    """An ordinary user with a Wine profile of its own; the installation folder belongs to root."""
    home = os.path.join(work, "home")
    prefix = os.path.join(home, "wineprefix")
    os.makedirs(home)
    as_user, user = as_merchant(work, home)
    drive_c = os.path.join(prefix, "drive_c")
    folder = merchant_installs(prefix, installer, as_user, user)
    check("installation folder is not the merchant's to write", user is None or os.stat(folder).st_uid == 0)
    # A configuration that would stop every algorithm, where libcrypto looks by itself.
    os.makedirs(os.path.join(drive_c, BUILT_IN_SSL), exist_ok=True)
    with open(os.path.join(drive_c, BUILT_IN_SSL, "openssl.cnf"), "wb") as config:
        config.write(NO_ALGORITHMS)

    # The root certificate that the merchant placed, DER as Windows exports a .cer.
    data = merchant_folder(prefix)
    os.makedirs(os.path.join(data, "cert"), exist_ok=True)
    subprocess.run(["openssl", "x509", "-in", ca[0], "-outform", "DER", "-out",
                    os.path.join(data, "cert", "RootCA_ZX.cer")], check=True)
    own(os.path.dirname(data), user)
    apply_journey(session, prefix, folder, as_user, ca, "root placed by the merchant")
    check("nothing written in the installation folder", not os.path.exists(os.path.join(folder, "log"))
          and not os.path.exists(os.path.join(folder, "opts")))

    os.remove(os.path.join(data, "cert", "RootCA_ZX.cer"))
    folder = merchant_installs(prefix, shipping, as_user, user)
    check("installer puts the root certificate beside the program",
          os.path.isfile(os.path.join(folder, "cert", "RootCA_ZX.cer")))
    apply_journey(session, prefix, folder, as_user, ca, "root shipped by the installer")


def main():
    build_dir = os.path.abspath(sys.argv[1])
    prefix = os.path.join(build_dir, "wineprefix")
    work = tempfile.mkdtemp(prefix="windows-")
    try:
        ca = make_ca(work)
        archive, installer, shipping = build_packages(build_dir, work, ca[0])
        with Session() as session:
            portable(session, prefix, archive)
            installed(session, prefix, installer)
            merchant(session, work, installer, shipping, ca)
    except Exception:
        traceback.print_exc()
        results.append(False)
    finally:
        shutil.rmtree(os.path.join(prefix, "drive_c", "tmp", "wintool"), ignore_errors=True)
        shutil.rmtree(work, ignore_errors=True)
    return tally()


if __name__ == "__main__":
    sys.exit(main())
