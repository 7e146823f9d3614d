#!/usr/bin/python3
"""Commands to the running copy: how soon `tapewren --toggle` starts a take and how soon the
process that carries it is gone; and how long a `--stop-after 10s` take lasts.

Run under scripts/with-test-env.sh inside a session bus:
    scripts/with-test-env.sh dbus-run-session -- bench/remote.py build/program/tapewren [rounds]
One copy is started and left running. Each round, in turn:
  - `tapewren --toggle` (a take starts) and `--toggle` again (it stops): the time from launch
    to the capture stream appearing on the sound server, and to the process having ended;
  - the same call sent by dbus-send, the bus's own one-shot client (the peer for both);
  - parecord started: the time from launch to its capture stream appearing (the peer for a
    take that starts);
Then one `tapewren --record --stop-after 10s` take, measured by what the spool gained, beside
parecord stopped by `timeout 10`. Prints "name value unit" lines, medians over the rounds.
"""

import os
import queue
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time

NAME = "io.github.tapewren.Tapewren"
PATH = "/io/github/tapewren/Tapewren"
RATE = 44100
FRAME = 4  # bytes: 16-bit stereo


class ServerEvents:
    """The sound server's capture streams coming and going, with the time each was seen."""

    def __init__(self):
        self.events = queue.Queue()
        self.process = subprocess.Popen(["pactl", "subscribe"], stdout=subprocess.PIPE, text=True)
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        pattern = re.compile(r"Event '(new|remove)' on source-output #(\d+)")
        for line in self.process.stdout:
            match = pattern.search(line)
            if match:
                self.events.put((time.monotonic(), match.group(1)))

    def next(self, kind, timeout=10):
        deadline = time.monotonic() + timeout
        while True:
            when, what = self.events.get(timeout=max(0.01, deadline - time.monotonic()))
            if what == kind:
                return when

    def drain(self):
        time.sleep(0.3)
        while not self.events.empty():
            self.events.get()

    def stop(self):
        self.process.terminate()


def state(program_env):
    reply = subprocess.run(["gdbus", "call", "--session", "--dest", NAME, "--object-path", PATH,
                            "--method", "org.freedesktop.DBus.Properties.Get", NAME, "State"],
                           capture_output=True, text=True, env=program_env)
    return reply.stdout.strip()


def timed_launch(command, events, env):
    """Launches command; returns (ms to a new capture stream, ms to the process's end)."""
    start = time.monotonic()
    process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    process.wait(timeout=10)
    ended = time.monotonic()
    appeared = events.next("new")
    return (appeared - start) * 1000, (ended - start) * 1000


def stop_take(program, events, env):
    subprocess.run([program, "--toggle"], env=env, check=True)
    events.next("remove")
    events.drain()


def spool_frames(folder):
    """Frames of sound in the running copy's spool, from its header's data size."""
    spools = [n for n in os.listdir(folder) if n.endswith(".wav")]
    if not spools:
        return 0
    result = subprocess.run(["soxi", "-s", os.path.join(folder, spools[0])],
                            capture_output=True, text=True, check=True)
    return int(result.stdout.strip())


def main():
    program = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/program/tapewren")
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 10
    work = tempfile.mkdtemp(prefix="tapewren-remote-")
    env = dict(os.environ, XDG_STATE_HOME=work, HOME=work)
    env.pop("QT_QPA_PLATFORM", None)
    events = ServerEvents()
    copy = subprocess.Popen([program], env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, start_new_session=True)
    results = {key: [] for key in ("toggle_capture_ms", "toggle_exit_ms", "dbus_send_capture_ms",
                                   "dbus_send_exit_ms", "parecord_capture_ms")}
    try:
        deadline = time.monotonic() + 15
        while "ready" not in state(env):
            if time.monotonic() > deadline:
                raise SystemExit("the program did not come up on the session bus")
            time.sleep(0.1)
        time.sleep(1)  # past start-up's own first second
        events.drain()
        send = ["dbus-send", "--session", "--print-reply", f"--dest={NAME}", PATH,
                f"{NAME}.Toggle"]
        for _ in range(rounds):
            capture, exited = timed_launch([program, "--toggle"], events, env)
            results["toggle_capture_ms"].append(capture)
            results["toggle_exit_ms"].append(exited)
            stop_take(program, events, env)

            capture, exited = timed_launch(send, events, env)
            results["dbus_send_capture_ms"].append(capture)
            results["dbus_send_exit_ms"].append(exited)
            stop_take(program, events, env)

            start = time.monotonic()
            peer = subprocess.Popen(["parecord", "--raw", "/dev/null"], env=env)
            results["parecord_capture_ms"].append((events.next("new") - start) * 1000)
            peer.terminate()
            peer.wait()
            events.next("remove")
            events.drain()

        for name, values in results.items():
            print(f"{name} {statistics.median(values):.1f} ms")
            print(f"{name}_max {max(values):.1f} ms")

        spools = os.path.join(work, "tapewren")
        before = spool_frames(spools)
        subprocess.run([program, "--record", "--stop-after", "10s"], env=env, check=True)
        events.next("remove", timeout=15)
        time.sleep(0.5)  # the spool's header is rewritten at the stop
        print(f"stop_after_10s_take {(spool_frames(spools) - before) / RATE:.3f} s")

        raw = os.path.join(work, "peer.raw")
        subprocess.run(["timeout", "-s", "INT", "10", "parecord", "--raw", raw], env=env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        print(f"peer_timeout_10s_parecord {os.path.getsize(raw) / FRAME / RATE:.3f} s")
    finally:
        os.killpg(copy.pid, signal.SIGKILL)
        copy.wait()
        events.stop()
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
