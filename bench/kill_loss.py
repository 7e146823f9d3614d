#!/usr/bin/python3
"""How much of a take a kill -9 at a random moment costs.

Run under scripts/with-test-env.sh (Xvfb and the PulseAudio test server):
    scripts/with-test-env.sh bench/kill_loss.py build/program/tapewren [tries]
Each try starts the program with a state folder of its own, clicks Record, kills the program
with SIGKILL after a random 1 to 4 seconds, and compares the time from the take's start (as its
journal has it) to the kill with the sound its spool holds, as the next start takes it back
(whole frames of the file, past the header's last once-a-second rewrite too). Prints each loss and
"kill_loss_median_ms VALUE ms", "kill_loss_max_ms VALUE ms".
"""

import datetime
import glob
import json
import os
import random
import shutil
import signal
import struct
import statistics
import subprocess
import sys
import tempfile
import time

CAPTION = "Tapewren 音频录音机 V2.1"
RECORD = (114, 95)  # the Record button's middle, in window pixels
BYTES_PER_SECOND = 44100 * 4


def xdotool(*args):
    return subprocess.run(["xdotool", *args], capture_output=True, text=True).stdout.strip()


def sound_starts(path):
    """Where the sound begins in a WAV file: past every chunk before "data"."""
    with open(path, "rb") as file:
        file.seek(12)
        while True:
            name, size = struct.unpack("<4sI", file.read(8))
            if name == b"data":
                return file.tell()
            file.seek(size + size % 2, os.SEEK_CUR)


def wait_for(predicate, timeout=20.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.01)
    raise SystemExit("timed out")


def one_try(program):
    state = tempfile.mkdtemp(prefix="tapewren-kill-")
    try:
        environment = dict(os.environ, XDG_STATE_HOME=state)
        environment.pop("QT_QPA_PLATFORM", None)
        process = subprocess.Popen([program], env=environment, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL, start_new_session=True)
        window = wait_for(lambda: xdotool("search", "--onlyvisible", "--name", CAPTION))
        window = window.split()[0]
        spools = os.path.join(state, "tapewren", "take-*.wav")

        # a click the moment the window maps can get lost: click until the take starts
        spool = None
        for _ in range(10):
            xdotool("mousemove", "--window", window, str(RECORD[0]), str(RECORD[1]), "click", "1")
            try:
                spool = wait_for(lambda: glob.glob(spools), timeout=1.0)[0]
                break
            except SystemExit:
                continue
        if spool is None:
            raise SystemExit("the recording did not start")
        time.sleep(random.uniform(1.0, 4.0))
        killed = time.time()
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()

        with open(spool + ".journal", encoding="utf-8") as journal:
            started = datetime.datetime.fromisoformat(json.load(journal)["started"]).timestamp()
        data_bytes = (os.path.getsize(spool) - sound_starts(spool)) // 4 * 4
        return (killed - started - data_bytes / BYTES_PER_SECOND) * 1000
    finally:
        shutil.rmtree(state, ignore_errors=True)


def main():
    program = sys.argv[1]
    tries = int(sys.argv[2]) if len(sys.argv) > 2 else 10
    losses = []
    for i in range(tries):
        loss = one_try(program)
        losses.append(loss)
        print(f"try {i + 1}: lost {loss:.0f} ms", flush=True)
    print(f"kill_loss_median_ms {statistics.median(losses):.1f} ms")
    print(f"kill_loss_max_ms {max(losses):.1f} ms")


if __name__ == "__main__":
    main()
