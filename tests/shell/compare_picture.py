#!/usr/bin/env python3
"""Compares the picture area (the top 640 x 240 pixels) of a window screenshot with frames of
mivora-decode's --display output (640 x 240 RGB 5-6-5 little-endian frames, one after another),
at 5-6-5 precision. FRAMES is N or N-M: the screenshot must equal one of them exactly. Prints the
frame it equals; exits 1 with the fewest differing pixels found otherwise."""
import subprocess
import sys

shot, display, frames = sys.argv[1], sys.argv[2], sys.argv[3]
first, _, last = frames.partition("-")
first, last = int(first), int(last or first)
rgb = subprocess.run(["ffmpeg", "-v", "error", "-i", shot, "-f", "rawvideo", "-pix_fmt", "rgb24",
                      "-"], check=True, capture_output=True).stdout


def differing(frame):
    with open(display, "rb") as f:
        f.seek(frame * 640 * 240 * 2)
        raw = f.read(640 * 240 * 2)
    if len(raw) != 640 * 240 * 2:
        return 640 * 240
    count = 0
    for i in range(640 * 240):
        p = raw[2 * i] | (raw[2 * i + 1] << 8)
        if (rgb[3 * i] >> 3, rgb[3 * i + 1] >> 2, rgb[3 * i + 2] >> 3) != (p >> 11, (p >> 5) & 63, p & 31):
            count += 1
    return count


fewest = 640 * 240
for frame in range(first, last + 1):
    count = differing(frame)
    if count == 0:
        print(f"equals frame {frame}")
        sys.exit(0)
    fewest = min(fewest, count)
print(f"{fewest} pixels differ at best")
sys.exit(1)
