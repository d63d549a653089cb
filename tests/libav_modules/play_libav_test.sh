#!/usr/bin/env bash
# mivora-play over MPEG-1 and MPEG-2 program streams and a DIV3 + MP3 AVI, each to its end:
# every frame shown, the playing time within 0.1 s of ffprobe's duration, and the sound that of
# ffmpeg's decode of the same audio.
set -u
play=$1
here=$(cd "$(dirname "$0")" && pwd)
export LSAN_OPTIONS="suppressions=$here/../support/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
make() { ffmpeg -nostdin -v error -y "$@" || fail "ffmpeg $*"; }

src="-f lavfi -i testsrc=rate=25"
make $src:size=320x240 -f lavfi -i sine=frequency=440:sample_rate=44100 -t 4 \
  -c:v mpeg1video -bf 2 -g 12 -q:v 4 -c:a mp2 -b:a 128k -f mpeg "$tmp/clip.mpg"
make $src:size=352x288 -f lavfi -i sine=frequency=440:sample_rate=48000 -t 4 \
  -c:v mpeg2video -bf 2 -g 12 -q:v 4 -c:a mp2 -b:a 192k -f vob "$tmp/clip.MPEG"
make $src:size=176x144 -f lavfi -i sine=frequency=440:sample_rate=44100 -t 4 \
  -c:v msmpeg4 -vtag DIV3 -g 12 -q:v 4 -c:a libmp3lame -b:a 128k -f avi "$tmp/div3.avi"

for clip in clip.mpg clip.MPEG div3.avi; do
  file=$tmp/$clip
  out=$("$play" --quiet --audio "wav:$tmp/$clip.wav" "$file") || fail "$clip: exited $?"
  [ "$(sed -n 's/^messages=//p' <<<"$out")" = 0 ] || fail "$clip: $out"
  shown=$(sed -n 's/^framesShown=//p' <<<"$out")
  dropped=$(sed -n 's/^framesDropped=//p' <<<"$out")
  # The AVI header's count includes the empty chunks that hold a frame; a program stream has
  # no count, so its packets are counted.
  frames=$(ffprobe -v error -select_streams v:0 -show_entries stream=nb_frames -of csv=p=0 "$file")
  [[ "$frames" =~ ^[0-9]+$ ]] || frames=$(ffprobe -v error -select_streams v:0 -count_packets \
    -show_entries stream=nb_read_packets -of csv=p=0 "$file" | head -1 | tr -d ,)
  # Every frame passes: shown, or on a busy machine decoded unshown or skipped to keep time.
  skipped=$(sed -n 's/^framesSkipped=//p' <<<"$out")
  [ $((shown + dropped + skipped)) -eq "$frames" ] ||
    fail "$clip: $shown of $frames frames shown ($dropped dropped, $skipped skipped)"
  duration=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$file")
  awk -v f="$frames" -v d="$duration" 'BEGIN { x = f / 25 - d; exit !(x < 0.1 && x > -0.1) }' ||
    fail "$clip: $frames frames at 25 fps against $duration s"
  ffmpeg -nostdin -v error -i "$file" -vn -f s16le "$tmp/$clip.raw" || fail "ffmpeg decode"
  read -r ours theirs snr < <(python3 "$here/compare_sound.py" "$tmp/$clip.wav" "$tmp/$clip.raw")
  # The wave device plays whole blocks: at most one block more or less than ffmpeg's decode.
  awk -v a="$ours" -v b="$theirs" -v s="$snr" 'BEGIN { x = a - b; exit !(x < 4800 && x > -4800 && s > 40) }' ||
    fail "$clip: $ours samples against $theirs, ${snr} dB"
  echo "$clip: $shown frames, $ours samples (ffmpeg $theirs), sound ${snr} dB"
done
echo "mivora-play over MPEG and DIV3: ok"
