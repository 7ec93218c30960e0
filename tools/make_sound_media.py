#!/usr/bin/env python3
"""Writes the media of examples/sound.vka into a folder: beep.wav, a short decaying tone
(44100 Hz, 16-bit mono), and tune.mid, a little melody on a piano (a standard MIDI file)."""
import math
import os
import struct
import sys


def keep(path, data):
    """Writes the file unless it already holds these bytes: media made once (by another user,
    root during set-up) are left as they are."""
    try:
        with open(path, "rb") as f:
            if f.read() == data:
                return
    except OSError:
        pass
    try:
        with open(path, "wb") as f:
            f.write(data)
    except OSError as e:
        sys.exit(f"{path}: cannot be written: {e.strerror}")


def beep(path):
    rate, frames = 44100, 13230
    data = b"".join(
        struct.pack("<h", int(12000 * math.exp(-6.0 * k / frames) * math.sin(2 * math.pi * 660 * k / rate)))
        for k in range(frames))
    header = b"RIFF" + struct.pack("<I", 36 + len(data)) + b"WAVEfmt " + struct.pack(
        "<IHHIIHH", 16, 1, 1, rate, rate * 2, 2, 16) + b"data" + struct.pack("<I", len(data))
    keep(path, header + data)


def var(v):
    out = [v & 0x7F]
    v >>= 7
    while v:
        out.insert(0, 0x80 | (v & 0x7F))
        v >>= 7
    return bytes(out)


def tune(path):
    melody = [60, 62, 64, 65, 67, 67, 69, 67, 65, 64, 62, 60]
    track = var(0) + b"\xFF\x51\x03" + (400000).to_bytes(3, "big") + var(0) + b"\xC0\x00"
    for note in melody:
        track += var(0) + bytes([0x90, note, 96]) + var(96) + bytes([0x80, note, 0])
    track += var(0) + b"\xFF\x2F\x00"
    data = b"MThd" + struct.pack(">IHHH", 6, 0, 1, 96) + b"MTrk" + struct.pack(">I", len(track)) + track
    keep(path, data)


if __name__ == "__main__":
    folder = sys.argv[1] if len(sys.argv) > 1 else "."
    os.makedirs(folder, exist_ok=True)
    beep(os.path.join(folder, "beep.wav"))
    tune(os.path.join(folder, "tune.mid"))
