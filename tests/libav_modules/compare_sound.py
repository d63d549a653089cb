#!/usr/bin/env python3
"""Compares the sound mivora-play wrote (a WAV file) with ffmpeg's decode (raw s16le): prints
the sample counts and the signal-to-noise ratio in dB over the samples both have."""
import math
import struct
import sys


def wav_samples(path):
    data = open(path, "rb").read()
    at = 12
    while at + 8 <= len(data):
        chunk, size = data[at:at + 4], struct.unpack("<I", data[at + 4:at + 8])[0]
        if chunk == b"data":
            body = data[at + 8:at + 8 + size]
            return struct.unpack("<%dh" % (len(body) // 2), body[:len(body) // 2 * 2])
        at += 8 + size + (size & 1)
    return ()


def main():
    ours = wav_samples(sys.argv[1])
    raw = open(sys.argv[2], "rb").read()
    theirs = struct.unpack("<%dh" % (len(raw) // 2), raw[:len(raw) // 2 * 2])
    n = min(len(ours), len(theirs))
    signal = sum(float(s) * s for s in theirs[:n])
    noise = sum((float(a) - b) ** 2 for a, b in zip(ours[:n], theirs[:n]))
    snr = 99.0 if noise == 0 else 10 * math.log10(max(signal, 1.0) / noise)
    print("%d %d %.1f" % (len(ours), len(theirs), snr))


main()
