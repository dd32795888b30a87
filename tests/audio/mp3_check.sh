#!/usr/bin/env bash
# Recordings made by the real engine under Wine, decoded and measured on the
# Linux side: tones over the real ports in each channel mode, a one-sided
# recording, and every sample rate and bit rate the options offer.
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

# Over the real ports: 440 Hz on my side, 1000 Hz on the remote side, 3 s at 5x.
run record --out "$(win "$WORK/stereo")" --mode 1 --rate 32000 --kbps 64 --self-stream 3 --speed 5
grep -q '^blocks_written: 300$' "$WORK/host.txt" || { cat "$WORK/host.txt"; fails=$((fails + 1)); }
check "$WORK/stereo.mp3" --rate 32000 --channels 2 --kbps 64 --seconds 3 --mode stereo --tones 440,1000
run record --out "$(win "$WORK/joint")" --mode 2 --rate 44100 --kbps 128 --self-stream 3 --speed 5
check "$WORK/joint.mp3" --rate 44100 --channels 2 --kbps 128 --seconds 3 --mode joint --tones 440,1000
# Mono: both sides summed into one channel.
run record --out "$(win "$WORK/mono")" --mode 0 --rate 16000 --kbps 32 --self-stream 3 --speed 5
check "$WORK/mono.mp3" --rate 16000 --channels 1 --kbps 32 --seconds 3 --mode mono
# Only my side, in stereo: silence first, my voice second, written as it comes.
run record --out "$(win "$WORK/mine")" --mode 1 --rate 32000 --kbps 64 --recside 1 --self-stream 3 --speed 5
check "$WORK/mine.mp3" --rate 32000 --channels 2 --kbps 64 --seconds 3 --mode stereo --silent-first

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
