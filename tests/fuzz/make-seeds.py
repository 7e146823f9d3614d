#!/usr/bin/python3
"""Writes the seed corpus for fuzz_openwave into the folder given: every WAV-family format
libsndfile writes, then broken copies of some of them (truncated, absurd headers, sizes past the
end) and a few files that are not WAV at all; then small FLAC, MP3, Ogg Vorbis and Opus files,
written by libsndfile's own encoders, with cut and scrambled copies. Files are a few hundred
frames long."""

import ctypes
import math
import os
import random
import struct
import sys

SF_WRITE = 0x20
SFC_SET_ADD_PEAK_CHUNK = 0x1050

CONTAINERS = {
    "wav": 0x010000,
    "wavex": 0x130000,
    "rf64": 0x220000,
    "w64": 0x0B0000,
}
# Every encoding libsndfile has; those it cannot write into a container are skipped.
ENCODINGS = {
    "s8": 0x0001, "pcm16": 0x0002, "pcm24": 0x0003, "pcm32": 0x0004, "u8": 0x0005,
    "float": 0x0006, "double": 0x0007, "ulaw": 0x0010, "alaw": 0x0011, "ima": 0x0012,
    "msadpcm": 0x0013, "gsm610": 0x0020, "vox": 0x0021, "nms16": 0x0022, "nms24": 0x0023,
    "nms32": 0x0024, "g721": 0x0030, "g723_24": 0x0031, "g723_40": 0x0032, "dwvw12": 0x0040,
    "dwvw16": 0x0041, "dwvw24": 0x0042, "mp1": 0x0080, "mp2": 0x0081, "mp3": 0x0082,
}
BIG_ENDIAN = 0x20000000
OTHER_CONTAINERS = {"aiff": 0x020000 | 0x0002, "au": 0x030000 | 0x0002,
                    "caf": 0x180000 | 0x0002}
# The compressed formats Tapewren opens, with the rates their encoders take.
COMPRESSED = {
    "flac16": (0x170000 | 0x0002, (8000, 44100)),
    "flac24": (0x170000 | 0x0003, (96000,)),
    "mp3": (0x230000 | 0x0082, (8000, 44100)),
    "vorbis": (0x200000 | 0x0060, (8000, 44100)),
    "opus": (0x200000 | 0x0064, (8000, 48000)),
}

FRAMES = 300


class SfInfo(ctypes.Structure):
    _fields_ = [("frames", ctypes.c_int64), ("samplerate", ctypes.c_int),
                ("channels", ctypes.c_int), ("format", ctypes.c_int),
                ("sections", ctypes.c_int), ("seekable", ctypes.c_int)]


sndfile = ctypes.CDLL("libsndfile.so.1")
sndfile.sf_open.restype = ctypes.c_void_p
sndfile.sf_open.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.POINTER(SfInfo)]
sndfile.sf_format_check.argtypes = [ctypes.POINTER(SfInfo)]
sndfile.sf_writef_double.restype = ctypes.c_int64
sndfile.sf_writef_double.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_double),
                                     ctypes.c_int64]
sndfile.sf_command.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_void_p, ctypes.c_int]
sndfile.sf_close.argtypes = [ctypes.c_void_p]


def write_sound(path, file_format, rate, channels, frames=FRAMES, peak=False):
    """Writes a tone with a little noise; False when libsndfile cannot write this format."""
    info = SfInfo(0, rate, channels, file_format, 0, 0)
    if not sndfile.sf_format_check(ctypes.byref(info)):
        return False
    handle = sndfile.sf_open(path.encode(), SF_WRITE, ctypes.byref(info))
    if not handle:
        return False
    if peak:
        sndfile.sf_command(handle, SFC_SET_ADD_PEAK_CHUNK, None, 1)
    noise = random.Random(file_format * 7 + channels)
    samples = (ctypes.c_double * (frames * channels))()
    for i in range(frames):
        for c in range(channels):
            tone = math.sin(2 * math.pi * 440 * (c + 1) * i / rate)
            samples[i * channels + c] = 0.8 * tone + 0.05 * (noise.random() - 0.5)
    written = sndfile.sf_writef_double(handle, samples, frames)
    sndfile.sf_close(handle)
    if written != frames:
        os.unlink(path)
        return False
    return True


def riff_chunks(data):
    """(id, offset of the chunk header, size) of each chunk of a RIFF/RIFX/RF64 file."""
    little = data[:4] != b"RIFX"
    chunks, at = [], 12
    while at + 8 <= len(data):
        size = struct.unpack("<I" if little else ">I", data[at + 4:at + 8])[0]
        chunks.append((data[at:at + 4], at, size))
        at += 8 + size + (size & 1)
    return chunks


def w64_chunks(data):
    chunks, at = [], 40
    while at + 24 <= len(data):
        size = struct.unpack("<Q", data[at + 16:at + 24])[0]
        chunks.append((data[at:at + 4], at, size))
        if size < 24:
            break
        at += (size + 7) & ~7
    return chunks


def chunk(chunks, name):
    for found in chunks:
        if found[0] == name:
            return found
    raise KeyError(name)


def patched(data, at, fmt, value):
    data = bytearray(data)
    if data[:4] == b"RIFX":
        fmt = ">" + fmt[1:]
    struct.pack_into(fmt, data, at, value)
    return bytes(data)


def riff_breakages(data):
    """Named broken copies of a RIFF-family file."""
    chunks = riff_chunks(data)
    _, fmt_at, fmt_size = chunk(chunks, b"fmt ")
    _, data_at, data_size = chunk(chunks, b"data")
    if data[:4] == b"RF64":
        _, ds64_at, _ = chunk(chunks, b"ds64")
        data_size = struct.unpack("<Q", data[ds64_at + 16:ds64_at + 24])[0]
    body = fmt_at + 8
    out = {
        "truncated-header": data[:body + 6],
        "truncated-data": data[:data_at + 8 + data_size // 2 + 1],
        "no-data": data[:data_at],
        "riff-size-huge": patched(data, 4, "<I", 0xFFFFFFFF),
        "riff-size-zero": patched(data, 4, "<I", 0),
        "data-past-end": patched(data, data_at + 4, "<I", data_size + 1),
        "data-size-huge": patched(data, data_at + 4, "<I", 0x7FFFFFFF),
        "data-size-odd": patched(data, data_at + 4, "<I", data_size - 1),
        "data-size-zero": patched(data, data_at + 4, "<I", 0),
        "fmt-size-zero": patched(data, fmt_at + 4, "<I", 0),
        "fmt-size-short": patched(data, fmt_at + 4, "<I", 14),
        "fmt-size-huge": patched(data, fmt_at + 4, "<I", 0xFFFFFFF0),
        "channels-zero": patched(data, body + 2, "<H", 0),
        "channels-65": patched(data, body + 2, "<H", 65),
        "channels-max": patched(data, body + 2, "<H", 0xFFFF),
        "rate-zero": patched(data, body + 4, "<I", 0),
        "rate-low": patched(data, body + 4, "<I", 999),
        "rate-high": patched(data, body + 4, "<I", 768001),
        "rate-max": patched(data, body + 4, "<I", 0xFFFFFFFF),
        "byterate-zero": patched(data, body + 8, "<I", 0),
        "align-zero": patched(data, body + 12, "<H", 0),
        "align-max": patched(data, body + 12, "<H", 0xFFFF),
        "bits-zero": patched(data, body + 14, "<H", 0),
        "bits-odd": patched(data, body + 14, "<H", 7),
        "bits-33": patched(data, body + 14, "<H", 33),
        "bits-max": patched(data, body + 14, "<H", 0xFFFF),
        "tag-unknown": patched(data, body, "<H", 0x1234),
        "tag-zero": patched(data, body, "<H", 0),
        "data-before-fmt": data[:12] + data[data_at:] + data[fmt_at:data_at],
        "fmt-twice": data[:data_at] + data[fmt_at:fmt_at + 8 + fmt_size] + data[data_at:],
        "list-huge": data[:data_at] + b"LIST" + struct.pack("<I", 0xFFFFFF00) + b"INFO"
        + data[data_at:],
        "odd-chunk": data[:data_at] + b"junk" + struct.pack("<I", 3) + b"abc\0" + data[data_at:],
    }
    if fmt_size > 16:
        # extensible and ADPCM formats carry more after the 16 bytes
        out["extra-size-huge"] = patched(data, body + 16, "<H", 0xFFFF)
        out["extra-zeroed"] = data[:body + 16] + bytes(fmt_size - 16) + data[body + fmt_size:]
        if fmt_size >= 20:
            out["samples-per-block-zero"] = patched(data, body + 18, "<H", 0)
            out["samples-per-block-max"] = patched(data, body + 18, "<H", 0xFFFF)
        if fmt_size >= 40:
            out["subformat-unknown"] = patched(data, body + 24, "<I", 0x5678)
            out["valid-bits-max"] = patched(data, body + 18, "<H", 0xFFFF)
    if data[:4] == b"RF64":
        out["ds64-data-huge"] = patched(data, ds64_at + 16, "<Q", 1 << 62)
        out["ds64-data-past-end"] = patched(data, ds64_at + 16, "<Q", data_size + 2)
        out["ds64-riff-huge"] = patched(data, ds64_at + 8, "<Q", 1 << 63)
        out["ds64-frames-huge"] = patched(data, ds64_at + 24, "<Q", (1 << 64) - 1)
        out["ds64-short"] = patched(data, ds64_at + 4, "<I", 8)
        out["rf64-data-size-marker"] = patched(data, data_at + 4, "<I", 0xFFFFFFFF)
    return out


def w64_breakages(data):
    chunks = w64_chunks(data)
    _, fmt_at, _ = chunk(chunks, b"fmt ")
    _, data_at, data_size = chunk(chunks, b"data")
    body = fmt_at + 24
    return {
        "truncated-header": data[:body + 6],
        "truncated-data": data[:data_at + 24 + (data_size - 24) // 2 + 1],
        "riff-size-huge": patched(data, 16, "<Q", (1 << 64) - 1),
        "data-past-end": patched(data, data_at + 16, "<Q", data_size + 8),
        "data-size-huge": patched(data, data_at + 16, "<Q", 1 << 63),
        "data-size-small": patched(data, data_at + 16, "<Q", 23),
        "fmt-size-small": patched(data, fmt_at + 16, "<Q", 24),
        "channels-zero": patched(data, body + 2, "<H", 0),
        "rate-zero": patched(data, body + 4, "<I", 0),
        "align-zero": patched(data, body + 12, "<H", 0),
        "bits-max": patched(data, body + 14, "<H", 0xFFFF),
    }


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make-seeds.py FOLDER")
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    tmp = os.path.join(folder, ".writing")

    valid = {}
    for cname, container in CONTAINERS.items():
        for ename, encoding in ENCODINGS.items():
            for channels in (1, 2):
                for rate in (8000, 44100):
                    name = f"{cname}-{ename}-{channels}ch-{rate}.wav"
                    path = os.path.join(folder, name)
                    if write_sound(path, container | encoding, rate, channels):
                        with open(path, "rb") as f:
                            valid[name] = f.read()
    for ename in ("pcm16", "pcm24", "pcm32", "float"):
        name = f"rifx-{ename}-2ch-44100.wav"
        path = os.path.join(folder, name)
        if write_sound(path, CONTAINERS["wav"] | ENCODINGS[ename] | BIG_ENDIAN, 44100, 2):
            with open(path, "rb") as f:
                valid[name] = f.read()
    extra = {
        "wav-float-peak-2ch-44100.wav": (CONTAINERS["wav"] | ENCODINGS["float"], 44100, 2, True),
        "wav-pcm16-6ch-48000.wav": (CONTAINERS["wav"] | ENCODINGS["pcm16"], 48000, 6, False),
        "wavex-pcm24-8ch-96000.wav": (CONTAINERS["wavex"] | ENCODINGS["pcm24"], 96000, 8, False),
        "wav-pcm16-1ch-1000-empty.wav": (CONTAINERS["wav"] | ENCODINGS["pcm16"], 1000, 1, False),
    }
    for name, (file_format, rate, channels, peak) in extra.items():
        path = os.path.join(folder, name)
        frames = 0 if name.endswith("-empty.wav") else FRAMES
        if write_sound(path, file_format, rate, channels, frames, peak):
            with open(path, "rb") as f:
                valid[name] = f.read()

    broken = {}
    for base in ("wav-pcm16-2ch-44100.wav", "wav-u8-1ch-8000.wav", "wav-ima-2ch-44100.wav",
                 "wav-msadpcm-1ch-8000.wav", "wav-gsm610-1ch-8000.wav",
                 "wavex-float-2ch-44100.wav", "rf64-pcm24-2ch-44100.wav",
                 "rifx-pcm16-2ch-44100.wav"):
        if base in valid:
            for what, data in riff_breakages(valid[base]).items():
                broken[f"broken-{base[:-4]}-{what}.wav"] = data
    for base in ("w64-pcm16-2ch-44100.wav", "w64-ima-1ch-8000.wav"):
        if base in valid:
            for what, data in w64_breakages(valid[base]).items():
                broken[f"broken-{base[:-4]}-{what}.wav"] = data

    for name, file_format in OTHER_CONTAINERS.items():
        if write_sound(tmp, file_format, 44100, 2):
            with open(tmp, "rb") as f:
                broken[f"other-{name}.wav"] = f.read()
            os.unlink(tmp)
    noise = random.Random(1)
    broken["other-empty.wav"] = b""
    broken["other-text.wav"] = b"This is not a sound file.\n" * 8
    broken["other-noise.wav"] = bytes(noise.randrange(256) for _ in range(2048))
    broken["other-riff-avi.wav"] = b"RIFF" + struct.pack("<I", 4) + b"AVI "
    broken["other-riff-only.wav"] = b"RIFF" + struct.pack("<I", 4) + b"WAVE"

    for cname, (file_format, rates) in COMPRESSED.items():
        for rate in rates:
            for channels in (1, 2):
                # long enough for a few packets, short enough to fuzz quickly
                frames = max(FRAMES, rate // 20)
                if write_sound(tmp, file_format, rate, channels, frames):
                    with open(tmp, "rb") as f:
                        data = f.read()
                    os.unlink(tmp)
                    base = f"{cname}-{channels}ch-{rate}"
                    valid[base] = data
                    broken[f"{base}.seed"] = data
                    broken[f"broken-{base}-half"] = data[:len(data) // 2]
                    broken[f"broken-{base}-head"] = data[:min(len(data), 120)]
                    scrambled = bytearray(data)
                    for i in range(4, min(len(data), 64)):
                        scrambled[i] = (i * 37) & 0xFF
                    broken[f"broken-{base}-scrambled"] = bytes(scrambled)

    for name, data in broken.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    print(f"{len(valid)} valid and {len(broken)} broken seeds in {folder}")


if __name__ == "__main__":
    main()
