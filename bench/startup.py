#!/usr/bin/python3
"""Start-up of the program against a minimal Qt window with the same Chinese text, on one X display.

Usage: startup.py PROGRAM MINIMAL_WINDOW [ROUNDS]. Starts a virtual X server of its own (Xvfb).

For each round, both programs are started in turn (interleaved, so that both see the same machine). The time is
from the process start to the X server's MapNotify of its first top-level window; the memory is the peak resident
set (VmHWM) half a second after that. Prints medians and fastest runs, and the ratios program / minimal window;
on a busy machine the fastest runs are the steadier figure.
"""
import contextlib
import os
import statistics
import subprocess
import sys
import tempfile
import time

from Xlib import X, display


def connect():
    # The private server has no access control, so there is no cookie to find; keep the library quiet about it.
    with open(os.devnull, "w") as quiet, contextlib.redirect_stderr(quiet):
        return display.Display()


def measure(screen, command, workdir):
    while screen.pending_events():  # events of the previous program
        screen.next_event()
    env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_QPA_PLATFORMTHEME="")
    start = time.perf_counter()
    process = subprocess.Popen([command], cwd=workdir, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    shown = None
    deadline = start + 20
    while shown is None and time.perf_counter() < deadline:
        while screen.pending_events():
            event = screen.next_event()
            if event.type == X.MapNotify and shown is None:
                shown = time.perf_counter() - start
        if shown is None:
            time.sleep(0.0005)
    time.sleep(0.5)
    peak_kib = 0
    with open("/proc/%d/status" % process.pid) as status:
        for line in status:
            if line.startswith("VmHWM:"):
                peak_kib = int(line.split()[1])
    process.kill()
    process.wait()
    if shown is None:
        sys.exit("%s showed no window within 20 s" % command)
    return shown, peak_kib


def start_xvfb():
    """A private virtual display without access control; returns the server process."""
    for number in range(90, 140):
        if os.path.exists("/tmp/.X%d-lock" % number):
            continue
        server = subprocess.Popen(["Xvfb", ":%d" % number, "-ac", "-noreset", "-nolisten", "tcp", "-screen", "0",
                                   "1280x1024x24"],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.environ["DISPLAY"] = ":%d" % number
        os.environ["XAUTHORITY"] = "/dev/null"
        for _ in range(100):
            try:
                connect().close()
                return server
            except Exception:
                if server.poll() is not None:
                    break
                time.sleep(0.05)
        server.kill()
    sys.exit("no virtual X server could be started")


def main():
    program, minimal = sys.argv[1], sys.argv[2]
    server = start_xvfb()
    try:
        run(program, minimal, int(sys.argv[3]) if len(sys.argv) > 3 else 15)
    finally:
        server.kill()


def run(program, minimal, rounds):
    screen = connect()
    screen.screen().root.change_attributes(event_mask=X.SubstructureNotifyMask)
    screen.sync()
    results = {program: ([], []), minimal: ([], [])}
    with tempfile.TemporaryDirectory() as workdir:
        for command in (program, minimal):  # warm the file cache once
            measure(screen, command, workdir)
        for _ in range(rounds):
            for command in (program, minimal):
                shown, peak = measure(screen, command, workdir)
                results[command][0].append(shown)
                results[command][1].append(peak)
    p_times, p_mems = results[program]
    m_times, m_mems = results[minimal]
    p_time, m_time = statistics.median(p_times), statistics.median(m_times)
    p_fast, m_fast = min(p_times), min(m_times)
    p_mem, m_mem = statistics.median(p_mems), statistics.median(m_mems)
    print("rounds: %d, interleaved" % rounds)
    print("                 to the window shown (median / fastest)   peak resident (median)")
    print("program:         %7.1f ms / %7.1f ms                    %7d KiB" % (p_time * 1000, p_fast * 1000, p_mem))
    print("minimal window:  %7.1f ms / %7.1f ms                    %7d KiB" % (m_time * 1000, m_fast * 1000, m_mem))
    print("ratio:           %7.2fx   / %7.2fx                      %7.2fx" % (p_time / m_time, p_fast / m_fast,
                                                                               p_mem / m_mem))


if __name__ == "__main__":
    main()
