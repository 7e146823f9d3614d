#!/usr/bin/python3
"""CPU and wake-ups of the real program while it records, beside parecord recording the same
input.

Run under scripts/with-test-env.sh (Xvfb and the PulseAudio test server), or under
scripts/with-pipewire-env.sh for the same on PipeWire's PulseAudio service:
    scripts/with-test-env.sh bench/recording_cpu.py build/program/tapewren [seconds] [rounds]
Each round measures, one after the other and for the same time: the program recording with its
window on screen (the level meter drawn ten times a second), the program recording with its
window unmapped (nothing drawn), and parecord at its defaults writing the same input to a WAV
file. A wake-up is a voluntary switch away from the CPU of any of the process's threads: each is
a sleep ended by the sound server, a timer or the X server. Prints one "name value unit" line
per measurement and the medians.
"""

import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

CAPTION = "Tapewren 音频录音机 V2.1"
RECORD = (114, 95)  # the Record button's middle, in window pixels


def cpu_seconds(pid):
    """Time on a CPU of all the process's threads, to the nanosecond (the scheduler's own
    count: tick-based utime and stime misjudge a process that wakes briefly and often)."""
    total = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/schedstat") as stat:
                total += int(stat.read().split()[0])
        except OSError:
            pass
    return total / 1e9


def wakeups(pid):
    total = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/status") as status:
                for line in status:
                    if line.startswith("voluntary_ctxt_switches:"):
                        total += int(line.split()[1])
        except OSError:
            pass
    return total


def measure(pid, seconds):
    """CPU in percent of a core and wake-ups per second over the given time."""
    cpu, woken, start = cpu_seconds(pid), wakeups(pid), time.monotonic()
    time.sleep(seconds)
    elapsed = time.monotonic() - start
    return (cpu_seconds(pid) - cpu) / elapsed * 100, (wakeups(pid) - woken) / elapsed


def xdotool(*args):
    return subprocess.run(["xdotool", *args], capture_output=True, text=True).stdout.strip()


def click(window, where):
    xdotool("mousemove", "--window", window, str(where[0]), str(where[1]), "click", "1")


def start_take(program, state, prefix=(), patience=1):
    """Starts the program with its state folder at state and clicks Record until a spool
    appears; returns the process (in a session of its own) and its window. The program runs
    under prefix (a tool such as valgrind), and patience times as long is waited for it."""
    environment = dict(os.environ, XDG_STATE_HOME=state)
    environment.pop("QT_QPA_PLATFORM", None)
    process = subprocess.Popen([*prefix, program], env=environment, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, start_new_session=True)
    window = ""
    for _ in range(200 * patience):
        window = xdotool("search", "--onlyvisible", "--name", CAPTION)
        if window:
            break
        time.sleep(0.05)
    window = window.split()[0]
    spools = os.path.join(state, "tapewren")
    for _ in range(20 * patience):
        click(window, RECORD)
        time.sleep(0.5)
        if os.path.isdir(spools) and any(n.endswith(".wav") for n in os.listdir(spools)):
            break
    return process, window


def tapewren(program, seconds, state):
    process, window = start_take(program, state)
    try:
        time.sleep(1)  # past the start
        shown = measure(process.pid, seconds)
        xdotool("windowunmap", "--sync", window)
        time.sleep(0.5)
        hidden = measure(process.pid, seconds)
        return shown, hidden
    finally:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()


def peer(command, settle, probe):
    """Starts a peer program, lets it settle for that many seconds, and returns what probe
    (given its pid) finds."""
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        time.sleep(settle)
        return probe(process.pid)
    finally:
        process.terminate()
        process.wait()


def parecord(seconds, folder):
    return peer(["parecord", "--file-format=wav", os.path.join(folder, "peer.wav")], 1,
                lambda pid: measure(pid, seconds))


def main():
    program = sys.argv[1]
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 10
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 3
    results = {"record_cpu_window_shown_percent": [], "record_wakeups_window_shown_per_s": [],
               "record_cpu_window_hidden_percent": [], "record_wakeups_window_hidden_per_s": [],
               "parecord_cpu_percent": [], "parecord_wakeups_per_s": []}
    units = ("%", "/s") * 3
    for _ in range(rounds):
        folder = tempfile.mkdtemp(prefix="tapewren-cpu-")
        try:
            shown, hidden = tapewren(program, seconds, folder)
            peer = parecord(seconds, folder)
        finally:
            shutil.rmtree(folder, ignore_errors=True)
        for name, value, unit in zip(results, (*shown, *hidden, *peer), units):
            results[name].append(value)
            print(f"{name} {value:.3f} {unit}", flush=True)
    for (name, values), unit in zip(results.items(), units):
        print(f"{name}_median {statistics.median(values):.3f} {unit}")


if __name__ == "__main__":
    main()
