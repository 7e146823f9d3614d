#!/usr/bin/python3
"""Saving a take as each of the five formats, beside the reference encoder converting the same
WAV in the same minutes (sox for FLAC, MP3 and Ogg Vorbis, opusenc for Opus), and the open of
an hour (or the given minutes) of FLAC and MP3.

    bench/save_formats.py build/bench/tapewren-bench [minutes] [rounds] [open minutes]

Makes two takes of the given minutes (10 unless given), 44.1 kHz 16-bit stereo: speech (espeak-ng
reading a lecture, looped) and music-like sound (plucked chords over a noise floor, built with
sox). Each round saves the music with Tapewren and then converts it with the peer, format by
format; the speech is saved once, for its bitrate. Tapewren's peers use its settings: FLAC at
level 5, MP3 VBR quality 2, Vorbis quality 5, Opus 96 kbit/s. Prints "name value unit" lines and
the medians. Needs scripts/install-deps.sh --bench (sox's MP3 writer, opus-tools, espeak-ng).
"""

import os
import statistics
import subprocess
import sys
import tempfile
import time

LECTURE = ("今天我们讲第一章，录音机的基本原理。声音是空气的振动，麦克风把它变成电压，"
           "电压再被采样，每秒四万四千一百次，每次记下一个十六位的数。"
           "下课以前，请大家把今天的录音保存下来，发给没来上课的同学。")

FORMATS = {
    "flac": lambda src, dst: ["sox", src, "-C", "5", dst],
    "mp3": lambda src, dst: ["sox", src, "-C", "-2", dst],
    "ogg": lambda src, dst: ["sox", src, "-C", "5", dst],
    "opus": lambda src, dst: ["opusenc", "--quiet", "--bitrate", "96", src, dst],
}


def run(command):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def timed(command):
    start = time.perf_counter()
    run(command)
    return time.perf_counter() - start


def loop_to(piece, seconds, out):
    """piece repeated to the given length, as 44.1 kHz 16-bit stereo."""
    length = float(subprocess.run(["soxi", "-D", piece], check=True, capture_output=True,
                                  text=True).stdout)
    repeats = max(0, int(seconds / length))
    run(["sox", piece, "-r", "44100", "-c", "2", "-b", "16", out, "repeat", str(repeats),
         "trim", "0", str(seconds)])


def speech(folder, seconds):
    spoken = os.path.join(folder, "spoken.wav")
    run(["espeak-ng", "-v", "cmn", "-s", "150", "-w", spoken, LECTURE])
    out = os.path.join(folder, "speech.wav")
    loop_to(spoken, seconds, out)
    return out


def music(folder, seconds):
    """Eight bars of plucked triads, each voice panned its own way, over pink noise."""
    notes = []
    for bar, root in enumerate([-9, -5, -7, -2, -9, -4, -7, 0]):
        note = os.path.join(folder, f"bar{bar}.wav")
        run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", note, "synth", "1.2",
             "pluck", f"%{root}", "pluck", f"%{root + 4}", "pluck", f"%{root + 7}",
             "pluck", f"%{root + 12}", "remix", "1,3", "2,4", "vol", "0.5"])
        notes.append(note)
    melody = os.path.join(folder, "melody.wav")
    run(["sox", *notes, melody])
    length = float(subprocess.run(["soxi", "-D", melody], check=True, capture_output=True,
                                  text=True).stdout)
    noise = os.path.join(folder, "noise.wav")
    run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", noise, "synth", str(length),
         "pinknoise", "vol", "0.05"])
    piece = os.path.join(folder, "piece.wav")
    run(["sox", "-m", melody, noise, piece, "gain", "-n", "-3"])
    out = os.path.join(folder, "music.wav")
    loop_to(piece, seconds, out)
    return out


def kbits(path, seconds):
    return os.path.getsize(path) * 8 / seconds / 1000


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    bench = os.path.abspath(sys.argv[1])
    minutes = float(sys.argv[2]) if len(sys.argv) > 2 else 10
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 3
    open_minutes = float(sys.argv[4]) if len(sys.argv) > 4 else 60
    seconds = minutes * 60
    with tempfile.TemporaryDirectory(prefix="tapewren-save-bench-") as folder:
        takes = {"speech": speech(folder, seconds), "music": music(folder, seconds)}
        for kind, take in takes.items():
            for ext in ["wav", *FORMATS]:
                out = os.path.join(folder, f"{kind}-tapewren.{ext}")
                run([bench, "save", take, out])
                print(f"{kind}_{ext}_kbit_s {kbits(out, seconds):.1f} kbit/s", flush=True)
                print(f"{kind}_{ext}_mb_per_min {os.path.getsize(out) / 1e6 / minutes:.2f} MB",
                      flush=True)
                if ext in FORMATS:
                    peer = os.path.join(folder, f"{kind}-peer.{ext}")
                    run(FORMATS[ext](take, peer))
                    print(f"{kind}_{ext}_peer_kbit_s {kbits(peer, seconds):.1f} kbit/s",
                          flush=True)
        times = {ext: ([], []) for ext in ["wav", *FORMATS]}
        for _ in range(rounds):
            for ext, (ours, theirs) in times.items():
                out = os.path.join(folder, f"timed.{ext}")
                ours.append(timed([bench, "save", takes["music"], out]))
                if ext in FORMATS:
                    theirs.append(timed(FORMATS[ext](takes["music"], out)))
                print(f"save_{ext}_s {ours[-1]:.2f} s"
                      + (f" peer {theirs[-1]:.2f} s ratio {ours[-1] / theirs[-1]:.2f}"
                         if theirs else ""), flush=True)
        for ext, (ours, theirs) in times.items():
            line = f"median save_{ext}_s {statistics.median(ours):.2f} s"
            if theirs:
                ratio = statistics.median(ours) / statistics.median(theirs)
                line += f" peer {statistics.median(theirs):.2f} s ratio {ratio:.2f}"
            print(line, flush=True)

        # an hour of music, saved as FLAC and MP3, opened and started
        hour = os.path.join(folder, "hour.wav")
        loop_to(takes["music"], open_minutes * 60, hour)
        for ext in ("flac", "mp3"):
            out = os.path.join(folder, f"hour.{ext}")
            run([bench, "save", hour, out])
            result = subprocess.run([bench, "open", out], check=True, capture_output=True,
                                    text=True).stdout
            for line in result.splitlines():
                print(f"hour_{ext}_{line}", flush=True)


if __name__ == "__main__":
    main()
