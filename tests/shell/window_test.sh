#!/usr/bin/env bash
# The desktop program under SDL's dummy video driver, driven by injected keys, clicks and menu
# commands: the status line with nothing loaded, the About box, the paused picture in each output
# mode against mivora-decode's display of the same frame, taps, full screen, the display key,
# the options kept between runs, and --autoexit.
set -euo pipefail
mivora=$(realpath "$1") decode=$(realpath "$2") sample=$(realpath "$3")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy XDG_CONFIG_HOME=$work/config
fail() { echo "FAIL: $*"; exit 1; }
# Runs the program; its output is the function's. A run that fails shows why and ends the test.
run_in() {
  local folder=$1 rc=0
  shift
  timeout 120 "$folder/mivora" --audio null "$@" >"$work/run.out" 2>"$work/stderr" || rc=$?
  cat "$work/run.out"
  if [ "$rc" -ne 0 ]; then
    echo "FAIL: mivora $* exited with $rc" >&2
    grep -v '^[0-9]*$' "$work/stderr" | tail -40 >&2
    exit 1
  fi
}
run() { run_in "$(dirname "$mivora")" "$@"; }

# Nothing loaded: "(No File)"; About answers Enter; Ctrl+Q quits with 0.
out=$(run --script "wait status (No File); command 40030; sleep 0.3; key Return; print; key Ctrl+Q")
grep -q 'playing=0 .*status=\[(No File)\]' <<<"$out" || fail "no (No File): $out"

# The paused picture in the four output modes: played, paused, then turned (R) and doubled (D)
# by their keys while paused. Each change captures the picture anew (from the next frame), so a
# screenshot must equal one of the frames from the pause on. As decoded and turned, it is
# mivora-decode's display of that frame; doubled, it is the one-to-one picture stretched.
out=$(run --script "wait frames 10; key Space; wait paused; sleep 1; print; screenshot $work/5.png;
  key R; sleep 1; screenshot $work/7.png; key R; key D; sleep 1.5; screenshot $work/8.png;
  key R; sleep 1; screenshot $work/9.png; print; key Ctrl+Q" "$sample")
frame=$(sed -nE 's/.*paused=1 .*frame=([0-9]+).*/\1/p' <<<"$out" | head -1)
[ -n "$frame" ] || fail "not paused: $out"
grep -q 'paused=1.*bars=1.*status=\[sample.avi\]' <<<"$out" || fail "status line: $out"
"$decode" --output-type 5 --display "$work/display-5.raw" "$sample" >/dev/null
"$decode" --output-type 7 --display "$work/display-7.raw" "$sample" >/dev/null
frames="$frame-$((frame + 6))"
compare() { python3 "$here/compare_picture.py" "$@" || fail "paused picture: $*"; }
compare "$work/5.png" "$work/display-5.raw" "$frames"
compare "$work/7.png" "$work/display-7.raw" "$frames"
compare --doubled 160 0 320 "$work/8.png" "$work/display-5.raw" "$frames"
compare --doubled 200 80 240 "$work/9.png" "$work/display-7.raw" "$frames"

# A display sized to the picture (1104 x 288): the window's client area is the whole picture with
# the status band below it, as decoded and turned (288 wide: centred in the band's 320 columns).
# Either way the display is larger than the dummy driver's 1024 x 768 desktop, so the window is
# scaled down, and the screenshots (one to one) are still of the whole client area.
ffmpeg -nostdin -v error -f lavfi -i testsrc=size=1104x288:rate=25 -t 2 -c:v mpeg4 -vtag DIVX \
  "$work/cif.avi"
# From the stored defaults (the run above left the picture turned and doubled); kept afterwards.
conf=$work/config/mivora/options.conf
[ -f "$conf" ] && mv "$conf" "$conf.kept"
out=$(run --display-size fit --script "wait frames 10; key Space; wait paused; sleep 1; print;
  screenshot $work/fit-5.png; key R; sleep 1; screenshot $work/fit-7.png; key Ctrl+Q" "$work/cif.avi")
frame=$(sed -nE 's/.*paused=1 .*frame=([0-9]+).*/\1/p' <<<"$out" | head -1)
[ -n "$frame" ] || fail "not paused at fit: $out"
"$decode" --display-size fit --output-type 5 --display "$work/fit-5.raw" "$work/cif.avi" >/dev/null
"$decode" --display-size fit --output-type 7 --display "$work/fit-7.raw" "$work/cif.avi" >/dev/null
[ "$(ffprobe -v error -show_entries stream=width,height -of csv=p=0 "$work/fit-5.png")" = 1104,312 ] ||
  fail "client area at fit: $(ffprobe -v error -show_entries stream=width,height -of csv=p=0 "$work/fit-5.png")"
compare --size 1104 288 "$work/fit-5.png" "$work/fit-5.raw" "$frame-$((frame + 6))"
compare --size 288 1104 "$work/fit-7.png" "$work/fit-7.raw" "$frame-$((frame + 6))"
grep -q '^DisplaySize = handheld' "$conf" || fail "--display-size was stored: $(grep DisplaySize "$conf")"
[ -f "$conf.kept" ] && mv "$conf.kept" "$conf"

# A tap pauses and resumes; the display key (B) blanks the picture while the run goes on;
# Escape leaves full screen.
out=$(run --script "wait frames 5; click 100 100; wait paused; sleep 1; print; click 100 100; sleep 0.5;
  key B; sleep 0.2; print; key B; sleep 0.2; print; key Escape; sleep 0.2; print; key Ctrl+Q" "$sample")
grep -q 'paused=1' <<<"$out" || fail "tap did not pause: $out"
grep -q 'playing=1 .*display=0' <<<"$out" || fail "display key: $out"
[ "$(grep -c 'display=1' <<<"$out")" -ge 2 ] || fail "display back on: $out"
tail -1 <<<"$out" | grep -q 'fullscreen=0.*bars=1' || fail "Escape kept full screen: $out"

# Volume keys step by 15 % of what the device reports (which truncates: 100, 84, 68, then 82 up);
# a key assigned twice (display and volume up) does both.
mkdir -p "$work/config/mivora"
printf 'DisplayKey = B\nVolumeUpKey = B\n' >"$work/config/mivora/options.conf"
out=$(run --script "wait frames 5; key Down; key Down; sleep 0.3; print; key B; sleep 0.3; print;
  key Ctrl+Q" "$sample")
grep -q 'display=1 .*volume=68 ' <<<"$out" || fail "volume down twice: $out"
tail -1 <<<"$out" | grep -q 'display=0 .*volume=82 ' || fail "a key assigned twice: $out"
rm -f "$work/config/mivora/options.conf"

# Configure and Equalizer pause a playing item, which stays paused after them; Escape and Enter
# close them.
out=$(run --script "wait frames 10; command 40029; sleep 1.5; key Escape; sleep 0.3; print;
  command 40031; sleep 1; key Return; sleep 0.3; print; key Ctrl+Q" "$sample")
[ "$(grep -c 'paused=1 playing=1' <<<"$out")" = 2 ] || fail "dialogs did not leave it paused: $out"

# Options kept: Shuffle and Clean Video toggled in one run are checked in the next.
run --script "command 40028; command 40012; sleep 0.2; key Ctrl+Q" >/dev/null
grep -qE '^Shuffle *= *(1|yes|on|true)' "$work/config/mivora/options.conf" ||
  fail "Shuffle not saved: $(cat "$work/config/mivora/options.conf")"
grep -qE '^CleanVideo *= *(1|yes|on|true)' "$work/config/mivora/options.conf" || fail "CleanVideo not saved"

# The Open dialog (the stand-in module answers it), a multiple selection and a drop. The program
# is copied beside links to the modules, with the stand-in as "GetFileName.DLL".
bin=$work/bin
mkdir -p "$bin"
cp "$mivora" "$bin/"
for module in "$(dirname "$mivora")"/*.so; do ln -s "$module" "$bin/"; done
rm -f "$bin/GetFileName.so"
ln -s "$(dirname "$mivora")/test-dialog/GetFileName.so" "$bin/GetFileName.so"
export MIVORA_TEST_DIALOG_LOG=$work/dialog.log
out=$(MIVORA_TEST_DIALOG_ANSWER= run_in "$bin" --script "command 40010; sleep 0.3; print; key Ctrl+Q")
grep -q 'playing=0.*\[(No File)\]' <<<"$out" || fail "a cancelled dialog opened something: $out"
out=$(MIVORA_TEST_DIALOG_ANSWER=$sample run_in "$bin" --script "command 40010; wait frames 5; print; key Ctrl+Q")
grep -q 'playing=1' <<<"$out" || fail "Open did not play: $out"
grep -q '\*.divx,\*.avi,\*.mp3,\*.mpg,\*.mpeg,\*.pdl' "$work/dialog.log" || fail "filter: $(cat "$work/dialog.log")"
# Two names: a playlist of two, played to the end of both by --autoexit.
MIVORA_TEST_DIALOG_ANSWER="$sample|$sample" run_in "$bin" --autoexit --clock-speed 4 \
  --script "command 40010" >/dev/null || fail "two chosen files did not both play"
out=$(run --script "drop $sample; wait frames 5; print; key Ctrl+Q")
grep -q 'playing=1' <<<"$out" || fail "a dropped file did not play: $out"

# An MP3 file in the window: no video, so the status line names it with its playing time and the
# idle picture stands in the middle of the display.
ffmpeg -v error -nostdin -f lavfi -i sine=f=440:r=44100 -t 3 -c:a libmp3lame -b:a 128k \
  "$work/song.mp3" || fail "ffmpeg could not make an MP3"
out=$(run --autoexit --script "sleep 0.5; print; screenshot $work/song.png" "$work/song.mp3")
grep -q 'playing=1.*status=\[song.mp3\]\[3s\]' <<<"$out" || fail "MP3 in the window: $out"
centre=$(ffmpeg -v error -i "$work/song.png" -vf "crop=1:1:320:110" -f rawvideo -pix_fmt rgb24 - |
  od -An -tu1 | tr -s ' ')
[ "$centre" != " 0 0 0" ] || fail "no idle picture while an MP3 plays"

# --autoexit: the sample plays to its end and the program quits by itself.
run --autoexit --clock-speed 4 "$sample" >/dev/null || fail "--autoexit run failed"
echo "window tests passed"
