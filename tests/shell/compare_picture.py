#!/usr/bin/env python3
"""Compares the picture area (the top 640 x 240 pixels) of a window screenshot with frames of
mivora-decode's --display output (640 x 240 RGB 5-6-5 little-endian frames, one after another),
at 5-6-5 precision. FRAMES is N or N-M: the screenshot must equal one of them exactly.

With --doubled SOURCE_LEFT DEST_LEFT WIDTH the expected picture is the one-to-one display frame's
columns SOURCE_LEFT.. (WIDTH of them) with every pixel repeated twice across and down, drawn from
column DEST_LEFT and row 0: the paused picture at double size is a stretched copy of the
one-to-one picture. Prints the frame it equals; exits 1 with the fewest differing pixels."""
import subprocess
import sys

args = sys.argv[1:]
doubled = None
if args and args[0] == "--doubled":
    doubled = tuple(int(v) for v in args[1:4])
    args = args[4:]
shot, display, frames = args
first, _, last = frames.partition("-")
first, last = int(first), int(last or first)
rgb = subprocess.run(["ffmpeg", "-v", "error", "-i", shot, "-f", "rawvideo", "-pix_fmt", "rgb24",
                      "-"], check=True, capture_output=True).stdout
shown = [(rgb[3 * i] >> 3, rgb[3 * i + 1] >> 2, rgb[3 * i + 2] >> 3) for i in range(640 * 240)]


def expected(frame):
    with open(display, "rb") as f:
        f.seek(frame * 640 * 240 * 2)
        raw = f.read(640 * 240 * 2)
    if len(raw) != 640 * 240 * 2:
        return None
    pixels = [raw[2 * i] | (raw[2 * i + 1] << 8) for i in range(640 * 240)]
    if doubled:
        source_left, dest_left, width = doubled
        out = [0] * (640 * 240)
        for y in range(240):
            for x in range(dest_left, min(640, dest_left + 2 * width)):
                out[y * 640 + x] = pixels[(y // 2) * 640 + source_left + (x - dest_left) // 2]
        pixels = out
    return [(p >> 11, (p >> 5) & 63, p & 31) for p in pixels]


fewest = 640 * 240
for frame in range(first, last + 1):
    want = expected(frame)
    if want is None:
        continue
    count = sum(1 for a, b in zip(shown, want) if a != b)
    if count == 0:
        print(f"equals frame {frame}")
        sys.exit(0)
    fewest = min(fewest, count)
print(f"{fewest} pixels differ at best")
sys.exit(1)
