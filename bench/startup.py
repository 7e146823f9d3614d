#!/usr/bin/python3
"""Start-up time of the real program: from launch to its main window mapped on the X server.

Run under scripts/with-test-env.sh (Xvfb and the PulseAudio test server):
    scripts/with-test-env.sh bench/startup.py build/program/tapewren [runs]
Prints "startup_median_ms VALUE ms" and the spread.
"""

import os
import signal
import statistics
import subprocess
import sys
import time

from Xlib import X, display

CAPTION = "Tapewren 音频录音机 V2.1"


def window_name(d, window):
    try:
        name = window.get_full_property(d.intern_atom("_NET_WM_NAME"), d.intern_atom("UTF8_STRING"))
        if name is not None:
            value = name.value
            return value.decode("utf-8") if isinstance(value, bytes) else value
        return window.get_wm_name() or ""
    except Exception:
        return ""


def one_start(program):
    d = display.Display()
    root = d.screen().root
    root.change_attributes(event_mask=X.SubstructureNotifyMask)
    d.sync()
    start = time.monotonic()
    process = subprocess.Popen([program], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                               start_new_session=True)
    elapsed = None
    try:
        deadline = start + 10
        while time.monotonic() < deadline:
            while d.pending_events():
                event = d.next_event()
                if event.type == X.MapNotify and window_name(d, event.window) == CAPTION:
                    elapsed = (time.monotonic() - start) * 1000
                    break
            if elapsed is not None:
                break
            time.sleep(0.0005)
    finally:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()
        d.close()
    return elapsed


def main():
    program = sys.argv[1] if len(sys.argv) > 1 else "build/program/tapewren"
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 10
    one_start(program)  # warm the page cache
    times = [t for t in (one_start(program) for _ in range(runs)) if t is not None]
    if not times:
        print("startup_median_ms n/a ms")
        return 1
    print(f"startup_median_ms {statistics.median(times):.1f} ms")
    print(f"startup_min_ms {min(times):.1f} ms")
    print(f"startup_max_ms {max(times):.1f} ms")
    return 0


if __name__ == "__main__":
    sys.exit(main())
