#!/usr/bin/python3
"""Start-up time of the real program: from launch to its main window mapped on the X server;
and its idle memory, the resident set a while after the window is up.

Run under scripts/with-test-env.sh (Xvfb and the PulseAudio test server):
    scripts/with-test-env.sh bench/startup.py build/program/tapewren [runs]
        [--peer build/bench/bare/bare-qt-window [--peer-caption bare-qt-window]]
Prints "startup_median_ms VALUE ms", the spread and "idle_rss_mb VALUE MB" (MiB). With a peer,
the runs alternate between the program and the peer, and it also prints the peer's figures and
"startup_ratio", the program's median over the peer's.
"""

import argparse
import os
import shutil
import signal
import statistics
import subprocess
import sys
import time

from Xlib import X, display

CAPTION = "Tapewren 音频录音机 V2.1"
PEER_CAPTION = "bare-qt-window"


def window_name(d, window):
    try:
        name = window.get_full_property(d.intern_atom("_NET_WM_NAME"), d.intern_atom("UTF8_STRING"))
        if name is not None:
            value = name.value
            return value.decode("utf-8") if isinstance(value, bytes) else value
        return window.get_wm_name() or ""
    except Exception:
        return ""


def idle_rss_mb(process, program):
    """VmRSS of the started process, in MiB; None when it is gone."""
    # A wrapper script would leave the interpreter's memory here, not the program's.
    # A rebuild during the run unlinks the old file: still the program, shown as "(deleted)".
    exe = os.path.realpath(f"/proc/{process.pid}/exe").removesuffix(" (deleted)")
    if exe != os.path.realpath(shutil.which(program) or program):
        raise SystemExit(f"pid {process.pid} runs {exe}, not {program}")
    try:
        with open(f"/proc/{process.pid}/status") as status:
            for line in status:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1]) / 1024
    except OSError:
        pass
    return None


def one_start(program, caption, idle_seconds):
    """Milliseconds until the window is mapped, and the idle RSS (None for what failed)."""
    d = display.Display()
    root = d.screen().root
    root.change_attributes(event_mask=X.SubstructureNotifyMask)
    d.sync()
    start = time.monotonic()
    process = subprocess.Popen([program], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                               start_new_session=True)
    elapsed = None
    rss = None
    try:
        deadline = start + 10
        while time.monotonic() < deadline:
            while d.pending_events():
                event = d.next_event()
                if event.type == X.MapNotify and window_name(d, event.window) == caption:
                    elapsed = (time.monotonic() - start) * 1000
                    break
            if elapsed is not None:
                break
            time.sleep(0.0005)
        if elapsed is not None and process.poll() is None:
            time.sleep(idle_seconds)
            rss = idle_rss_mb(process, program)
    finally:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()
        d.close()
    return elapsed, rss


def report(prefix, results):
    """Prints the figures of one program; returns its median start-up, None without any."""
    times = [t for t, _ in results if t is not None]
    rss = [r for _, r in results if r is not None]
    if not times:
        print(f"{prefix}startup_median_ms n/a ms")
        return None
    median = statistics.median(times)
    print(f"{prefix}startup_median_ms {median:.1f} ms")
    print(f"{prefix}startup_min_ms {min(times):.1f} ms")
    print(f"{prefix}startup_max_ms {max(times):.1f} ms")
    print(f"{prefix}idle_rss_mb {statistics.median(rss):.1f} MB" if rss else
          f"{prefix}idle_rss_mb n/a MB")
    return median


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("program", nargs="?", default="build/program/tapewren")
    parser.add_argument("runs", nargs="?", type=int, default=10)
    parser.add_argument("--caption", default=CAPTION, help="the program's window caption")
    parser.add_argument("--peer", help="a program to compare with, started alternately")
    parser.add_argument("--peer-caption", default=PEER_CAPTION, help="the peer's window caption")
    parser.add_argument("--idle-seconds", type=float, default=2.0,
                        help="wait after the window is mapped before reading VmRSS")
    args = parser.parse_args()

    contestants = [(args.program, args.caption)]
    if args.peer:
        contestants.append((args.peer, args.peer_caption))
    for program, caption in contestants:
        one_start(program, caption, 0)  # warm the page cache
    # Alternating spreads any drift of the machine over both alike.
    results = [[] for _ in contestants]
    for _ in range(args.runs):
        for index, (program, caption) in enumerate(contestants):
            results[index].append(one_start(program, caption, args.idle_seconds))

    median = report("", results[0])
    if not args.peer:
        return 0 if median is not None else 1
    peer_median = report("peer_", results[1])
    if median is None or not peer_median:
        print("startup_ratio n/a")
        return 1
    print(f"startup_ratio {median / peer_median:.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
