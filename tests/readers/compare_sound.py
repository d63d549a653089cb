#!/usr/bin/env python3
"""compare_sound.py PLAYED.wav REFERENCE.s16le MIN_SNR_DB

Passes (exit 0) when the player's sound has the reference's length (within one MP3 frame) and
matches it sample for sample to at least MIN_SNR_DB of signal to difference; prints both."""
import array
import math
import sys
import wave

played = wave.open(sys.argv[1], 'rb')
a = array.array('h', played.readframes(played.getnframes()))
b = array.array('h', open(sys.argv[2], 'rb').read())
n = min(len(a), len(b))
signal = sum(x * x for x in b[:n])
noise = sum((x - y) ** 2 for x, y in zip(a[:n], b[:n]))
snr = 10 * math.log10(signal / noise) if noise else float('inf')
print('samples %d/%d snr %.1f dB' % (len(a), len(b), snr))
sys.exit(0 if abs(len(a) - len(b)) <= 1152 * played.getnchannels() and
         snr >= float(sys.argv[3]) else 1)
