#!/usr/bin/env bash
# mivora-play through the reader modules on clips ffmpeg makes here: an AVI without its index
# (opened through avistream instead of the built-in reader), an OpenDML AVI in two RIFF parts,
# the same over http:// from servers with and without Range, and MP3 files (CBR with ID3 tags at
# 48 kHz, VBR with a Xing header, 22,050 Hz mono). Each plays to its end: every frame shown, the
# duration ffprobe's, the sound ffmpeg's decode of the same audio.
set -u
export LSAN_OPTIONS="suppressions=$(cd "$(dirname "$0")/../support" && pwd)/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
play=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
here=$(cd "$(dirname "$0")" && pwd)
server_script=$here/../support/http_server.py
tmp=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }
ff=(ffmpeg -hide_banner -loglevel error -nostdin -y -threads 1)
value() { sed -n "s/^$1=//p" <<<"$2"; }

"${ff[@]}" -f lavfi -i testsrc2=s=160x120:r=25 -f lavfi -i sine=f=440:r=44100 -t 4 -c:v mpeg4 \
  -vtag DIVX -bf 0 -g 12 -c:a libmp3lame -b:a 128k "$tmp/clip.avi" || fail "ffmpeg"
python3 "$here/make_avi_variants.py" noindex "$tmp/clip.avi" "$tmp/noindex.avi" || fail "noindex"
python3 "$here/make_avi_variants.py" emptyindex "$tmp/clip.avi" "$tmp/emptyindex.avi" ||
  fail "emptyindex"
python3 "$here/make_avi_variants.py" opendml "$tmp/clip.avi" "$tmp/opendml.avi" || fail "opendml"
"${ff[@]}" -i "$tmp/clip.avi" -map 0:a -f s16le "$tmp/clip.s16" || fail "ffmpeg decode"
frames=$(ffprobe -v error -select_streams v:0 -show_entries stream=nb_frames -of csv=p=0 \
  "$tmp/clip.avi")
# Frames with data: direct reading shows nothing for the empty ones.
coded=$(ffprobe -v error -select_streams v:0 -show_entries packet=size -of csv=p=0 \
  "$tmp/clip.avi" | wc -l)

# name expected-frames expected-messages play-arguments...
avi_run() {
  local name=$1 expect=$2
  shift 2
  local out
  out=$("$play" --quiet --clock-speed 4 --audio "wav:$tmp/$name.wav" "$@") ||
    fail "$name: mivora-play exited $?"
  # Every frame passes: shown, or (in a slowed build, or on a busy machine) decoded unshown or
  # passed over to a key frame to keep time.
  local shown dropped skipped
  shown=$(value framesShown "$out")
  dropped=$(value framesDropped "$out")
  skipped=$(value framesSkipped "$out")
  [ $((shown + dropped + skipped)) = "$expect" ] ||
    fail "$name: $shown frames shown, $dropped dropped, $skipped skipped, not $expect in all"
  [ "$(value messages "$out")" = 0 ] || fail "$name: $(grep '^message' <<<"$out")"
  python3 "$here/compare_sound.py" "$tmp/$name.wav" "$tmp/clip.s16" 60 >/dev/null ||
    fail "$name: the sound is not ffmpeg's: $(python3 "$here/compare_sound.py" \
      "$tmp/$name.wav" "$tmp/clip.s16" 60)"
}
avi_run indexed "$frames" "$tmp/clip.avi"
avi_run noindex "$frames" "$tmp/noindex.avi"
avi_run emptyindex "$frames" "$tmp/emptyindex.avi"
avi_run opendml "$frames" "$tmp/opendml.avi"
avi_run direct "$coded" --direct-read "$tmp/noindex.avi"
cmp -s "$tmp/indexed.wav" "$tmp/noindex.wav" || fail "the index-less file sounds different"

for mode in no-range normal; do
  python3 "$server_script" --root "$tmp" --mode "$mode" --max-seconds 300 \
    --port-file "$tmp/port.$mode" >/dev/null &
  pids+=($!)
  for _ in $(seq 100); do [ -s "$tmp/port.$mode" ] && break; sleep 0.1; done
  port=$(cat "$tmp/port.$mode")
  avi_run "http-$mode" "$coded" "http://127.0.0.1:$port/opendml.avi"
done

# https:// with a certificate made here, from a server without Range: the streaming reader.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 \
  -addext subjectAltName=IP:127.0.0.1 -keyout "$tmp/key.pem" -out "$tmp/cert.pem" 2>/dev/null ||
  fail "openssl could not make a certificate"
python3 "$server_script" --root "$tmp" --mode no-range --max-seconds 300 \
  --tls-cert "$tmp/cert.pem" --tls-key "$tmp/key.pem" --port-file "$tmp/port.tls" >/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$tmp/port.tls" ] && break; sleep 0.1; done
MIVORA_CA_BUNDLE=$tmp/cert.pem avi_run https "$coded" "https://127.0.0.1:$(cat "$tmp/port.tls")/opendml.avi"

# name ffmpeg-arguments... (an empty list plays name.mp3 made before, from the server without
# Range)
mp3_run() {
  local name=$1 source
  shift
  source=$tmp/$name.mp3
  if [ $# -gt 0 ]; then
    "${ff[@]}" "$@" "$tmp/$name.mp3" || fail "ffmpeg $name"
    "${ff[@]}" -i "$tmp/$name.mp3" -f s16le "$tmp/$name.s16" || fail "ffmpeg decode $name"
  else
    source=http://127.0.0.1:$(cat "$tmp/port.no-range")/$name.mp3
  fi
  local out rate seconds duration
  out=$("$play" --quiet --audio "wav:$tmp/$name.wav" "$source") ||
    fail "$name: mivora-play exited $?"
  [ "$(value messages "$out")" = 0 ] || fail "$name: $(grep '^message' <<<"$out")"
  rate=$(python3 -c "import wave,sys; print(wave.open(sys.argv[1]).getframerate())" "$tmp/$name.wav")
  seconds=$(python3 -c "print($(value audioSamplesPlayed "$out") / $rate)")
  duration=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$tmp/$name.mp3")
  python3 -c "import sys; sys.exit(abs($seconds - $duration) > 0.1)" ||
    fail "$name: played $seconds s, ffprobe says $duration s"
  python3 "$here/compare_sound.py" "$tmp/$name.wav" "$tmp/$name.s16" 60 >/dev/null ||
    fail "$name: the sound is not ffmpeg's"
}
mp3_run cbr48 -f lavfi -i sine=f=500:r=48000 -t 3 -ac 2 -c:a libmp3lame -b:a 192k \
  -metadata title=Forty-eight -id3v2_version 3 -write_id3v1 1
mp3_run vbr -f lavfi -i sine=f=300:r=44100 -t 5 -c:a libmp3lame -q:a 4 -metadata artist=Someone
mp3_run mono22 -f lavfi -i sine=f=200:r=22050 -t 2.5 -ac 1 -c:a libmp3lame -b:a 32k
mp3_run vbr

# An MP3 with audio switched off: the warning once, and the option stays on for the next item.
printf '%s\r\n' "$tmp/cbr48.mp3" "$tmp/mono22.mp3" | iconv -f UTF-8 -t UTF-16LE >"$tmp/songs.pdl"
out=$("$play" --quiet --no-audio --audio null "$tmp/songs.pdl" 2>/dev/null) ||
  fail "playlist exited $?"
[ "$(value messages "$out")" = 1 ] || fail "audio warning not shown exactly once: $out"
grep -q '^message1=Audio Warning: You have selected an audio only file' <<<"$out" ||
  fail "no audio warning"

# Seeking and fast forward through both readers, and damaged files: no crash, no hang.
"$play" --quiet --audio null --script "0.3 seek 50; 0.6 ff; 0.9 ff; 1.2 seek 10; 1.5 seek 90" \
  "$tmp/noindex.avi" >/dev/null || fail "seeking the index-less file"
"$play" --quiet --audio null --script "0.3 seek 50; 0.6 seek 10; 1 quit" "$tmp/vbr.mp3" \
  >/dev/null || fail "seeking the MP3 file"
head -c 150000 "$tmp/noindex.avi" >"$tmp/cut.avi"
"$play" --quiet --clock-speed 8 --audio null "$tmp/cut.avi" >/dev/null || fail "cut AVI"
head -c 20000 "$tmp/vbr.mp3" >"$tmp/cut.mp3"
"$play" --quiet --audio null "$tmp/cut.mp3" >/dev/null || fail "cut MP3"
head -c 30000 /dev/urandom | tr -d '\377' >"$tmp/noise.mp3"
"$play" --quiet --audio null "$tmp/noise.mp3" >/dev/null 2>&1
[ $? -eq 1 ] || fail "an MP3 without frames did not fail to load"
echo "reader modules through mivora-play: ok"
