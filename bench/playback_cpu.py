#!/usr/bin/python3
"""CPU and wake-ups of the real program while it plays a recording, beside paplay playing the
same file.

Run under scripts/with-test-env.sh (Xvfb and the PulseAudio test server), or under
scripts/with-pipewire-env.sh for the same on PipeWire's PulseAudio service:
    scripts/with-test-env.sh bench/playback_cpu.py build/program/tapewren [seconds] [rounds]
Each round records seconds + 3 s of the test input with the program, stops, presses Play and
measures the program for the given seconds with its window on screen; then paplay plays the
program's own spool of that take (a WAV file) and is measured the same way. A wake-up is a
voluntary switch away from the CPU of any of the process's threads: each is a sleep ended by
the sound server, a timer or the X server. Prints one "name value unit" line per measurement
and the medians.
"""

import os
import shutil
import signal
import statistics
import sys
import tempfile
import time

from recording_cpu import click, measure, peer, start_take

PLAY = (186, 95)  # the Play button's middle, in window pixels
STOP = (258, 95)


def tapewren(program, seconds, state, copy_to):
    """Measures the program playing its take; leaves a copy of the take's spool at copy_to."""
    process, window = start_take(program, state)
    try:
        spools = os.path.join(state, "tapewren")
        time.sleep(seconds + 3)
        click(window, STOP)
        time.sleep(0.5)
        spool = next(n for n in os.listdir(spools) if n.endswith(".wav"))
        shutil.copyfile(os.path.join(spools, spool), copy_to)
        click(window, PLAY)
        time.sleep(0.5)  # past the start
        return measure(process.pid, seconds)
    finally:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()


def paplay(seconds, path):
    return peer(["paplay", path], 0.5, lambda pid: measure(pid, seconds))


def main():
    program = sys.argv[1]
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 10
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 3
    results = {"play_cpu_percent": [], "play_wakeups_per_s": [],
               "paplay_cpu_percent": [], "paplay_wakeups_per_s": []}
    units = ("%", "/s", "%", "/s")
    for _ in range(rounds):
        folder = tempfile.mkdtemp(prefix="tapewren-play-")
        try:
            take = os.path.join(folder, "take.wav")
            ours = tapewren(program, seconds, folder, take)
            peer = paplay(seconds, take)
        finally:
            shutil.rmtree(folder, ignore_errors=True)
        for name, value, unit in zip(results, (*ours, *peer), units):
            results[name].append(value)
            print(f"{name} {value:.3f} {unit}", flush=True)
    for (name, values), unit in zip(results.items(), units):
        print(f"{name}_median {statistics.median(values):.3f} {unit}")


if __name__ == "__main__":
    main()
