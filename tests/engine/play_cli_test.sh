#!/usr/bin/env bash
# mivora-play from the command line: a scripted run ends with its report, a missing file exits
# 1, a refused one 2, bad arguments 64.
set -u
# SDL's per-thread allocations are its own (a sanitizer build checks leaks at exit).
export LSAN_OPTIONS="suppressions=$(cd "$(dirname "$0")/../support" && pwd)/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
play=$1
sample=$2
decode=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

out=$("$play" --quiet --clock-speed 2 --audio "wav:$tmp/a.wav" --display "raw:$tmp/d.raw" \
  --script "0.5 pause; 1 pause; 1.5 seek 50; 2 ff; 2.6 ff; 3 rotate; 3.2 double; 3.4 brighter; 3.6 stop; 4 stop" \
  "$sample") || fail "scripted run exited $?"
for name in framesShown framesDropped framesSkipped audioBlocksPlayed audioSamplesPlayed \
  avOffsetMeanMs avOffsetMaxMs cpuSeconds peakMemoryKiB messages; do
  grep -q "^$name=" <<<"$out" || fail "no $name in the report"
done
value() { sed -n "s/^$1=//p" <<<"$out"; }
shown=$(value framesShown)
# After the last stop the item is reopened and then played whole (after the last control a
# paused item is resumed), on top of what the controls showed before. A slowed (sanitizer) build
# may drop frames to keep time, so every frame is counted once, shown or not.
passed=$((shown + $(value framesDropped) + $(value framesSkipped)))
[ "$passed" -gt 100 ] || fail "only $passed frames passed ($shown shown)"
[ "$shown" -ge 50 ] || fail "only $shown frames shown"
[ -s "$tmp/d.raw" ] || fail "no display frames written"

# A real sound path: SDL's audio through its disk driver, which writes what it is given.
out=$(SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$tmp/sdl.raw" SDL_DISKAUDIODELAY=1 \
  "$play" --quiet --audio sdl "$sample") || fail "sdl run exited $?"
grep -q '^audioBackend=sdl$' <<<"$out" || fail "the sdl device did not play"
blocks=$(sed -n 's/^audioBlocksPlayed=//p' <<<"$out")
[ "$blocks" -gt 50 ] || fail "only $blocks blocks through sdl"
[ "$(stat -c %s "$tmp/sdl.raw")" -gt 300000 ] || fail "SDL's disk driver got too little sound"

"$play" --quiet --audio null "$tmp/missing.avi" >/dev/null 2>&1
[ $? -eq 1 ] || fail "a missing file did not exit 1"
ffmpeg -nostdin -v error -f lavfi -i testsrc=size=64x48:rate=25 -t 1 -c:v mpeg4 -vtag XVID \
  "$tmp/x.avi" || fail "ffmpeg"
"$play" --quiet --audio null "$tmp/x.avi" >/dev/null 2>&1
[ $? -eq 2 ] || fail "a refused file did not exit 2"
# Asked for, the built-in decoder takes other writers' tags for the same video.
out=$("$play" --quiet --audio null --mpeg4-fourccs "$tmp/x.avi") || fail "XVID with --mpeg4-fourccs exited $?"
# Every frame passes, shown or (slowed build, busy machine) dropped or skipped to keep time.
passed=$(($(value framesShown) + $(value framesDropped) + $(value framesSkipped)))
[ "$passed" = 25 ] || fail "XVID with --mpeg4-fourccs: $(grep -E '^frames' <<<"$out" | tr '\n' ' ')"

# With sound, ffmpeg's AVI writer ends the video with an empty chunk (a dropped frame): the
# picture before it stays, so the file is not reported damaged (exit 3).
ffmpeg -nostdin -v error -f lavfi -i testsrc=size=64x48:rate=25 -f lavfi -i sine=r=44100 -t 1 \
  -c:v mpeg4 -vtag DIVX -c:a libmp3lame "$tmp/e.avi" || fail "ffmpeg"
"$decode" --framemd5 "$tmp/e.avi" >/dev/null || fail "a clip ending in an empty chunk exited $?"

# A display sized to the picture, doubled: every presented frame is 2w x 2h, and with B pictures
# the last one presented is the stream's last picture, as mivora-decode shows it.
ffmpeg -nostdin -v error -f lavfi -i testsrc=size=72x40:rate=25 -t 0.4 -c:v mpeg4 -bf 1 \
  -vtag DIVX "$tmp/b.avi" || fail "ffmpeg"
"$play" --quiet --audio null --double --display-size fit --display "raw:$tmp/fit.raw" \
  "$tmp/b.avi" >/dev/null || fail "fit run exited $?"
"$decode" --output-type 8 --display-size fit --display "$tmp/fit-decode.raw" "$tmp/b.avi" \
  >/dev/null || fail "mivora-decode at fit exited $?"
frame=$((144 * 80 * 2))
size=$(stat -c %s "$tmp/fit.raw")
[ $((size % (frame + 8))) -eq 0 ] && [ "$size" -gt 0 ] || fail "fit frames of $size bytes in all"
cmp <(tail -c $frame "$tmp/fit.raw") <(tail -c $frame "$tmp/fit-decode.raw") >/dev/null ||
  fail "the last picture at fit differs from mivora-decode's"

"$play" --bogus >/dev/null 2>&1
[ $? -eq 64 ] || fail "bad arguments did not exit 64"
echo "mivora-play command line: ok"
