#!/usr/bin/env python3
"""Compares the picture area (the top W x H pixels, 640 x 240 unless --size W H comes first) of a
window screenshot with frames of mivora-decode's --display output (W x H RGB 5-6-5 little-endian
frames, one after another), at 5-6-5 precision. FRAMES is N or N-M: the screenshot must equal
one of them exactly. The screenshot may be wider than the display (a narrow display is centred).

With --doubled SOURCE_LEFT DEST_LEFT WIDTH the expected picture is the one-to-one display frame's
columns SOURCE_LEFT.. (WIDTH of them) with every pixel repeated twice across and down, drawn from
column DEST_LEFT and row 0: the paused picture at double size is a stretched copy of the
one-to-one picture. Prints the frame it equals; exits 1 with the fewest differing pixels."""
import subprocess
import sys

args = sys.argv[1:]
W, H = 640, 240
if args and args[0] == "--size":
    W, H = int(args[1]), int(args[2])
    args = args[3:]
doubled = None
if args and args[0] == "--doubled":
    doubled = tuple(int(v) for v in args[1:4])
    args = args[4:]
shot, display, frames = args
first, _, last = frames.partition("-")
first, last = int(first), int(last or first)
probe = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "stream=width", "-of",
                        "csv=p=0", shot], check=True, capture_output=True, text=True).stdout
shot_width = int(probe.strip())
left = (shot_width - W) // 2 if shot_width > W else 0
rgb = subprocess.run(["ffmpeg", "-v", "error", "-i", shot, "-f", "rawvideo", "-pix_fmt", "rgb24",
                      "-"], check=True, capture_output=True).stdout
shown = []
for y in range(H):
    for x in range(W):
        i = 3 * (y * shot_width + left + x)
        shown.append((rgb[i] >> 3, rgb[i + 1] >> 2, rgb[i + 2] >> 3))


def expected(frame):
    with open(display, "rb") as f:
        f.seek(frame * W * H * 2)
        raw = f.read(W * H * 2)
    if len(raw) != W * H * 2:
        return None
    pixels = [raw[2 * i] | (raw[2 * i + 1] << 8) for i in range(W * H)]
    if doubled:
        source_left, dest_left, width = doubled
        out = [0] * (W * H)
        for y in range(H):
            for x in range(dest_left, min(W, dest_left + 2 * width)):
                out[y * W + x] = pixels[(y // 2) * W + source_left + (x - dest_left) // 2]
        pixels = out
    return [(p >> 11, (p >> 5) & 63, p & 31) for p in pixels]


fewest = W * H
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
