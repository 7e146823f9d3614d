#!/usr/bin/python3
"""A real take while both cores are kept busy, looked at for gaps.

Run under scripts/with-test-env.sh (or scripts/with-pipewire-env.sh):
    scripts/with-test-env.sh bench/busy_take.py build/program/tapewren [seconds]
The program records the test input's 440 Hz tone while two processes spin on the CPUs; it is then
ended with SIGTERM, which keeps its spool, and the spool is read back. Prints "name value unit"
lines: the take's length against the time it ran, the stretches of 10 ms without the tone, and
the jumps in the tone (a sample far off the sine's path), none of which a whole take has.
"""

import glob
import os
import signal
import struct
import subprocess
import sys
import tempfile
import time
import wave

from recording_cpu import start_take


def analyse(spool):
    with wave.open(spool) as f:
        rate = f.getframerate()
        frames = f.getnframes()
        data = f.readframes(frames)
    left = struct.unpack("<%dh" % (frames * 2), data)[0::2]
    # the first moment of a stream may be the server's own silence
    start = next((i for i, s in enumerate(left) if abs(s) > 4096), len(left))
    window = rate // 100
    silent = 0
    for w in range(start, len(left) - window, window):
        if max(abs(s) for s in left[w:w + window]) < 4096:
            silent += 1
    jumps = sum(1 for i in range(start + 2, len(left))
                if abs(left[i] - 2 * left[i - 1] + left[i - 2]) > 0.02 * 32768)
    return frames / rate, silent, jumps


def main():
    program = sys.argv[1]
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 30
    state = tempfile.mkdtemp(prefix="tapewren-busy-")
    spinners = [subprocess.Popen([sys.executable, "-c", "while True: pass"]) for _ in range(2)]
    try:
        process, _ = start_take(program, state)
        started = time.monotonic()
        time.sleep(seconds)
        process.send_signal(signal.SIGTERM)
        process.wait()
        ran = time.monotonic() - started
    finally:
        for spinner in spinners:
            spinner.kill()
    spool = glob.glob(os.path.join(state, "tapewren", "take-*.wav"))[0]
    length, silent, jumps = analyse(spool)
    print(f"busy_take_ran_s {ran:.2f} s")
    print(f"busy_take_length_s {length:.2f} s")
    print(f"busy_take_silent_10ms_stretches {silent} n")
    print(f"busy_take_jumps {jumps} n")


if __name__ == "__main__":
    main()
