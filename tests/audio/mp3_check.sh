#!/usr/bin/env bash
# Recordings made by the real engine under Wine, decoded and measured on the
# Linux side: tones over the real ports in each channel mode, one-sided
# recordings, calls played by skypesim (a late side and a stall, a conference of
# two calls), a recording process killed mid-call, a disk that fills up, and every
# sample rate and bit rate the options offer.
set -euo pipefail
HOST="$OMBRA_BIN/audiohost.exe"
CHECK="python3 $OMBRA_ROOT/tests/audio/mp3check.py"
WORK="$OMBRA_BUILD/tests/audio/mp3check"
rm -rf "$WORK"; mkdir -p "$WORK"
win() { echo "Z:${1//\//\\}"; }
# The ports are the machine's: wait while a program run by someone else holds them.
wait_ports() {
  python3 "$OMBRA_ROOT/scripts/wait-ports.py" 120 || { echo "ports 58376/58377 stay taken"; return 1; }
}
run() {
  # Another program may take the ports between the check and the start: wait and try again.
  for _ in 1 2 3; do
    if [ "$1" = record ]; then wait_ports; fi
    if bash "$OMBRA_ROOT/scripts/wine.sh" "$HOST" "$@" >"$WORK/host.txt" 2>&1; then
      sed -i 's/\r$//' "$WORK/host.txt"
      return 0
    fi
    grep -q 'servers did not start' "$WORK/host.txt" || break
  done
  cat "$WORK/host.txt"
  return 1
}
fails=0
check() { if ! $CHECK "$@"; then fails=$((fails + 1)); fi; }
# A call played by skypesim into a recording: NAME, audiohost options, then -- and skypesim's.
call() {
  local name=$1 host=() out="$WORK/$1"; shift
  while [ "$1" != -- ]; do host+=("$1"); shift; done; shift
  for _ in 1 2 3; do
    wait_ports
    rm -f "$out.ready"
    bash "$OMBRA_ROOT/scripts/wine.sh" "$HOST" record --out "$(win "$out")" --mode 1 --rate 32000 --kbps 64 \
      --ready "$(win "$out.ready")" --timeout 120 "${host[@]}" >"$out.host.txt" 2>&1 &
    local pid=$!
    for _ in $(seq 300); do [ -f "$out.ready" ] && break; kill -0 $pid 2>/dev/null || break; sleep 0.1; done
    if [ -f "$out.ready" ]; then
      bash "$OMBRA_ROOT/scripts/wine.sh" "$OMBRA_BIN/skypesim.exe" --stream --mic-port 58377 --remote-port 58376 "$@" \
        >"$out.sim.txt" 2>&1 || true
      wait $pid || true
      sed -i 's/\r$//' "$out.host.txt"
      return 0
    fi
    wait $pid || true
    grep -q 'servers did not start' "$out.host.txt" || break
  done
  cat "$out.host.txt"
  fails=$((fails + 1))
}

# Over the real ports: 440 Hz on my side, 1000 Hz on the remote side, 3 s at 5x.
run record --out "$(win "$WORK/stereo")" --mode 1 --rate 32000 --kbps 64 --self-stream 3 --speed 5
grep -Eq '^blocks_written: 30[0-2]$' "$WORK/host.txt" || { cat "$WORK/host.txt"; fails=$((fails + 1)); }
check "$WORK/stereo.mp3" --rate 32000 --channels 2 --kbps 64 --seconds 3 --mode stereo --tones 440,1000
run record --out "$(win "$WORK/joint")" --mode 2 --rate 44100 --kbps 128 --self-stream 3 --speed 5
check "$WORK/joint.mp3" --rate 44100 --channels 2 --kbps 128 --seconds 3 --mode joint --tones 440,1000
# Mono: both sides summed into one channel.
run record --out "$(win "$WORK/mono")" --mode 0 --rate 16000 --kbps 32 --self-stream 3 --speed 5
check "$WORK/mono.mp3" --rate 16000 --channels 1 --kbps 32 --seconds 3 --mode mono
# One side only, in stereo: each voice in its own channel, silence in the other.
run record --out "$(win "$WORK/mine")" --mode 1 --rate 32000 --kbps 64 --recside 1 --self-stream 3 --speed 5
check "$WORK/mine.mp3" --rate 32000 --channels 2 --kbps 64 --seconds 3 --mode stereo --tones 440 --silent 1
run record --out "$(win "$WORK/theirs")" --mode 1 --rate 32000 --kbps 64 --recside 2 --self-stream 3 --speed 5
check "$WORK/theirs.mp3" --rate 32000 --channels 2 --kbps 64 --seconds 3 --mode stereo --tones ,1000 --silent 0

# An 8 s call with a burst at every second on both sides: the remote side connects
# 1 s late, my side stalls from 3 s to 5.5 s. The bursts stay within 20 ms of each
# other after each, my side is silent in its stall, the file is as long as the call.
call late --total 1250 -- --seconds 8 --remote-start 1 --mic-stall 3:2.5 --mic burst:440:12000 --remote burst:1000:12000
check "$WORK/late.mp3" --rate 32000 --channels 2 --kbps 64 --seconds 8 --tolerance 1 --bursts --split-at 4 --stall 0:3:2.5
# A conference: a second call from 2 s to 6 s brings my microphone again and a second voice.
call conference --total 2400 -- --seconds 8 --second-call 2:4 --mic tone:440 --remote tone:1000 --remote2 tone:1500
check "$WORK/conference.mp3" --rate 32000 --channels 2 --kbps 64 --seconds 8 --tolerance 1 --tones 440,1000 \
  --conference 2:4 --second-tone 1500
# A recording process that dies mid-call keeps all but the last second.
run record --out "$(win "$WORK/killed")" --mode 1 --rate 32000 --kbps 64 --self-stream 10 --speed 1 --die-after 4 || true
died=$(sed -n 's/^died_after_seconds: //p' "$WORK/host.txt" | tr -d '\r')
held=$(mpg123 -q -s "$WORK/killed.mp3" 2>/dev/null | wc -c)
if ! python3 -c "import sys; d, h = float('${died:-0}'), ($held / 4 - 1105) / 32000; print('killed after %.2f s, file holds %.2f s' % (d, h)); sys.exit(0 if d > 3 and h > d - 1.0 else 1)"; then
  fails=$((fails + 1))
fi

# A disk that fills up during the call (a 16 KB drive, about 2 s at 64 kbit/s): one
# box naming the file and the reason, the recording runs on to its end, and the file
# is said to hold what reached it, never the whole call: 0 s when the mixer's first
# hand-overs came in larger pieces than the room left after the tag. Needs a tmpfs,
# which only root can mount.
full="$WORK/full"
mkdir -p "$full"
if mount -t tmpfs -o size=16k tmpfs "$full" 2>/dev/null; then
  run record --out "$(win "$full/call")" --mode 1 --rate 32000 --kbps 64 --self-stream 10 --speed 5 || true
  umount "$full" 2>/dev/null || umount -l "$full"
  boxes=$(grep -cF "box: Ombra Skype Recorder: The recording could not be written to the file '$(win "$full/call").mp3'!" \
    "$WORK/host.txt" || true)
  secs=$(sed -n 's/^failed_file_seconds: //p' "$WORK/host.txt")
  if [ "$boxes" != 1 ] || ! grep -q '^blocks_written: 100[0-2]$' "$WORK/host.txt" || [ "${secs:--1}" -lt 0 ] ||
    [ "$secs" -gt 3 ]; then
    echo "full disk: $boxes boxes, file holds ${secs:-?} s"; cat "$WORK/host.txt"; fails=$((fails + 1))
  fi
else
  echo "full disk case skipped: no tmpfs can be mounted here"
fi

# Every rate and bit rate of the options, mono and stereo. MPEG-2 (16 kHz) tops out at 160 kbit/s.
for rate in 16000 32000 44100 48000; do
  for kbps in 32 64 96 128 192 256; do
    want=$kbps
    if [ "$rate" = 16000 ] && [ "$kbps" -gt 160 ]; then want=160; fi
    for mode in 0 1; do
      f="$WORK/m${mode}_${rate}_${kbps}.mp3"
      run encode --out "$(win "$f")" --mode $mode --rate $rate --kbps $kbps --seconds 1.5
      if [ $mode = 0 ]; then
        check "$f" --rate $rate --channels 1 --kbps $want --seconds 1.5 --mode mono --tones 440
      else
        check "$f" --rate $rate --channels 2 --kbps $want --seconds 1.5 --mode stereo --tones 440,1000
      fi
    done
  done
done
echo "mp3 checks failed: $fails"
[ "$fails" = 0 ]
