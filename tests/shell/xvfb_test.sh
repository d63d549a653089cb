#!/usr/bin/env bash
# The real X11 window once, under Xvfb: start on the sample, play, pause, take a screenshot of
# the window's client area, quit.
set -euo pipefail
mivora=$1 decode=$2 sample=$3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset SDL_VIDEODRIVER
export XDG_CONFIG_HOME=$work/config SDL_AUDIODRIVER=dummy
out=$(timeout 120 xvfb-run -a -s "-screen 0 1024x768x24" "$mivora" --audio null --script \
  "wait frames 10; key Space; wait paused; sleep 1; print; screenshot $work/window.png; key Ctrl+Q" \
  "$sample" 2>"$work/stderr") || { cat "$work/stderr"; echo "FAIL: mivora under Xvfb"; exit 1; }
grep -q 'paused=1' <<<"$out" || { echo "FAIL: not paused: $out"; exit 1; }
if grep -q 'no display' "$work/stderr"; then echo "FAIL: no X11 window"; exit 1; fi
[ -s "$work/window.png" ] || { echo "FAIL: no screenshot"; exit 1; }
frame=$(sed -nE 's/.*frame=([0-9]+).*/\1/p' <<<"$out")
"$decode" --display "$work/display.raw" "$sample" >/dev/null
python3 "$here/compare_picture.py" "$work/window.png" "$work/display.raw" "$frame-$((frame + 1))" ||
  { echo "FAIL: the window's picture is not the paused frame"; exit 1; }

# A display sized to a picture taller than the screen: the window is scaled down and moved so that
# all of it lies on the screen, not grown downwards from where it was centred before.
ffmpeg -nostdin -v error -f lavfi -i testsrc=size=320x900:rate=25 -t 1 -c:v mpeg4 -vtag DIVX \
  "$work/tall.avi"
tall=$(timeout 120 xvfb-run -a -s "-screen 0 1024x768x24" "$mivora" --audio null --display-size fit \
  --script "wait frames 5; sleep 0.5; print; key Ctrl+Q" "$work/tall.avi" 2>"$work/stderr") ||
  { cat "$work/stderr"; echo "FAIL: mivora at fit under Xvfb"; exit 1; }
read -r w h x y < <(sed -nE 's/.* window=([0-9]+)x([0-9]+)\+(-?[0-9]+)\+(-?[0-9]+) .*/\1 \2 \3 \4/p' <<<"$tall")
[ -n "${h:-}" ] && [ "$h" -lt 768 ] && [ "$y" -ge 0 ] && [ $((y + h)) -le 768 ] && [ $((x + w)) -le 1024 ] ||
  { echo "FAIL: the window does not lie on the screen: $tall"; exit 1; }
echo "Xvfb window test passed: $out"
