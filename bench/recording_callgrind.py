#!/usr/bin/python3
"""Instructions the real program executes while it records with its window on screen, counted
by callgrind, and the share of them spent painting.

Run under scripts/with-test-env.sh (Xvfb and the PulseAudio test server):
    scripts/with-test-env.sh bench/recording_callgrind.py build/program/tapewren [seconds]
        [--keep DIR]
The program starts under valgrind with instrumentation off (so start-up is quick), Record is
clicked, and once the take runs callgrind counts for the given seconds. Prints one
"name value unit" line per figure: the instructions per second in all, those of each part below
(inclusive, so the parts overlap: the window's repaint holds the labels' and the panel's) and
their share of the total. With --keep, the callgrind file stays in DIR for callgrind_annotate.
"""

import argparse
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time

from recording_cpu import cpu_seconds, start_take

# Inclusive cost of each of these, by the function's name as callgrind_annotate prints it.
PARTS = {
    "repaint": "QWidgetRepaintManager::paintAndFlush()",  # all painting, and its flush
    "panel": "PictureBox::paintEvent(QPaintEvent*)",  # the status panel's background and border
    "labels": "QLabel::paintEvent(QPaintEvent*)",  # the labels' own painting, text included
    "text": "QPainter::drawText(QRect const&, int, QString const&, QRect*)",  # laid out, drawn
    "meter": "LevelMeter::paintEvent(QPaintEvent*)",
}


def callgrind_control(*args):
    subprocess.run(["callgrind_control", *args], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def inclusive_costs(dump):
    """Total instructions and the inclusive instructions of each function, by name."""
    listing = subprocess.run(["callgrind_annotate", "--inclusive=yes", "--threshold=100", dump],
                             capture_output=True, text=True, check=True).stdout
    total, costs = 0, {}
    for line in listing.splitlines():
        match = re.match(r"\s*([\d,]+) \(\s*[\d.]+%\)\s+(\S.*?)\s*$", line)
        if not match:
            match = re.match(r"\s*([\d,]+)\s+(\S.*?)\s*$", line)
        if not match:
            continue
        count, name = int(match.group(1).replace(",", "")), match.group(2)
        if name.startswith("PROGRAM TOTALS"):
            total = count
            continue
        name = re.sub(r"^(\?\?\?|/[^:]*):", "", name.split(" [")[0])  # source and object file
        costs[name] = costs.get(name, 0) + count
    return total, costs


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("seconds", nargs="?", type=float, default=10)
    parser.add_argument("--keep", help="folder to keep the callgrind file in")
    args = parser.parse_args()

    folder = tempfile.mkdtemp(prefix="tapewren-callgrind-")
    out = os.path.join(folder, "callgrind.out")
    valgrind = ["valgrind", "--tool=callgrind", "--instr-atstart=no",
                f"--callgrind-out-file={out}"]
    try:
        process, _ = start_take(args.program, folder, prefix=valgrind, patience=10)
        try:
            callgrind_control("--instr=on", str(process.pid))
            time.sleep(2)  # past the start of the take and the first instrumented rounds
            callgrind_control("--zero", str(process.pid))
            cpu, start = cpu_seconds(process.pid), time.monotonic()
            time.sleep(args.seconds)
            callgrind_control("--dump", str(process.pid))
            elapsed = time.monotonic() - start
            busy = (cpu_seconds(process.pid) - cpu) / elapsed * 100
        finally:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
        dumps = sorted(n for n in os.listdir(folder) if n.startswith("callgrind.out."))
        dump = os.path.join(folder, dumps[-1])
        total, costs = inclusive_costs(dump)
        # A program slowed down past one core would no longer keep real time.
        print(f"valgrind_cpu {busy:.0f} %")
        print(f"instructions_per_second {total / elapsed:.0f} Ir/s")
        for part, function in PARTS.items():
            cost = costs.get(function, 0)
            print(f"{part}_per_second {cost / elapsed:.0f} Ir/s")
            print(f"{part}_share {cost / total * 100 if total else 0:.1f} %")
        if args.keep:
            os.makedirs(args.keep, exist_ok=True)
            shutil.copy(dump, os.path.join(args.keep, "callgrind.out"))
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
