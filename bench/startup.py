#!/usr/bin/python3
"""Start-up of the program against a minimal Qt window with the same Chinese text, on one X display.

Usage: startup.py PROGRAM MINIMAL_WINDOW [ROUNDS]. Starts a virtual X server of its own (Xvfb, at 100 %).

For each round, both programs are started in turn (interleaved, so that both see the same machine). The time is
from the process start to the X server's MapNotify of its first top-level window; the memory is the peak resident
set (VmHWM) half a second after that. Prints medians and fastest runs, and the ratios program / minimal window;
on a busy machine the fastest runs are the steadier figure.
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

from Xlib import X

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "realx"))
from xsession import Session  # noqa: E402


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


def main():
    program, minimal = sys.argv[1], sys.argv[2]
    with Session() as session:
        run(session.display, program, minimal, int(sys.argv[3]) if len(sys.argv) > 3 else 15)


def run(screen, program, minimal, rounds):
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
