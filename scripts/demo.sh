#!/usr/bin/env bash
# The recorder's main job, end to end, on a display of its own: ombra.exe
# records a Skype call. skypesim plays Skype: alice is online with her friends
# bob and carol; bob calls her, they talk for about 20 seconds in two different
# synthesized voices, and halfway through the user pauses the recording for a
# few seconds with the pause button (clicked through uidriver, as a user would).
# Afterwards the history window is opened with the history button. Prints where
# the MP3 and record.xml are, what a decoder says about the recording and what
# each channel carries; screenshots and copies go to build/demo/.
# Leaves nothing running.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${OMBRA_BUILD_DIR:-$ROOT/build}
export OMBRA_BUILD_DIR=$BUILD_DIR
export OMBRA_WINE_DIR=$BUILD_DIR/demo-wine
OUT=$BUILD_DIR/demo
BIN=$BUILD_DIR/bin
WINE_SH=$ROOT/scripts/wine.sh
PAUSE_AT=9        # seconds into the call
PAUSE_SECONDS=4
cd "$ROOT"

bash scripts/setup.sh
bash scripts/build.sh ombra skypesim uidriver

WORK=$(mktemp -d)
PIDS=()
XVFB_PID=
cleanup() {
  local pid
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  bash "$WINE_SH" --server-stop >/dev/null 2>&1 || true
  for pid in "${PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  if [ -n "$XVFB_PID" ]; then kill "$XVFB_PID" 2>/dev/null || true; wait "$XVFB_PID" 2>/dev/null || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT

winpath() { printf 'Z:%s' "$1" | tr '/' '\\'; }
# uidriver: its result through a file (Wine's services keep pipes open).
UI=""
ui() {
  local rc=0
  rm -f "$WORK/ui.txt"
  bash "$WINE_SH" "$BIN/uidriver.exe" --out "$(winpath "$WORK/ui.txt")" "$@" </dev/null >/dev/null 2>&1 || rc=$?
  UI=$(tr -d '\r' <"$WORK/ui.txt" 2>/dev/null || true)
  return $rc
}
# shot NAME "l,t,r,b": that part of the screen.
shot() {
  local l t r b
  IFS=, read -r l t r b <<<"$2"
  DISPLAY=$OMBRA_DISPLAY import -window root -crop "$((r - l))x$((b - t))+$l+$t" +repage "$OUT/$1.png"
  echo "   screenshot: $OUT/$1.png"
}

echo "== a display of our own (Xvfb)"
disp=60
while [ -e "/tmp/.X11-unix/X$disp" ] || [ -e "/tmp/.X$disp-lock" ]; do disp=$((disp + 1)); done
Xvfb ":$disp" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
XVFB_PID=$!
export OMBRA_DISPLAY=":$disp"
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$disp" ] && break; sleep 0.1; done
echo "   DISPLAY=$OMBRA_DISPLAY"

echo "== a fresh Wine prefix: $OMBRA_WINE_DIR"
rm -rf "$OMBRA_WINE_DIR" "$OUT"
mkdir -p "$OUT"
bash "$WINE_SH" --init
# Wine's desktop has to come up on the display: no null driver in this prefix.
sed -i '/^"Graphics"="null"$/d' "$OMBRA_WINE_DIR/prefix/user.reg"
bash "$WINE_SH" --server-start </dev/null >/dev/null 2>&1
USERDIR=$(ls -d "$OMBRA_WINE_DIR"/prefix/drive_c/users/*/ | grep -v /Public/ | head -1)
USERDIR=${USERDIR%/}
DATA_DIR=$USERDIR/AppData/Roaming/Ombra
# Automatic recording; the history window is opened by hand afterwards.
bash "$WINE_SH" reg add 'HKCU\software\Ombra\config' /v rectype /t REG_BINARY /d 01 /f </dev/null >/dev/null 2>&1
bash "$WINE_SH" reg add 'HKCU\software\Ombra\config' /v notifyhistory /t REG_BINARY /d 00 /f </dev/null >/dev/null 2>&1
echo "   rectype = 1 (record calls automatically), notifyhistory = 0"

echo "== two voices (espeak-ng), turn by turn, as 16 kHz mono 16-bit WAV (sox)"
bob_lines=("Hi Alice, it is Bob. Got a minute?"
           "The recorder keeps every call as a file."
           "In the history, day by day."
           "Talk to you tomorrow. Bye.")
alice_lines=("Sure Bob, what is it?"
             "Nice. Where do I find them?"
             "That is handy, thank you."
             "Bye Bob, see you.")
for i in 0 1 2 3; do
  espeak-ng -v en-us+m3 -p 35 -s 150 -w "$WORK/b$i.raw.wav" "${bob_lines[$i]}"
  espeak-ng -v en-us+f2 -p 85 -s 155 -w "$WORK/a$i.raw.wav" "${alice_lines[$i]}"
  sox "$WORK/b$i.raw.wav" -r 16000 -c 1 -b 16 "$WORK/b$i.wav"
  sox "$WORK/a$i.raw.wav" -r 16000 -c 1 -b 16 "$WORK/a$i.wav"
done
# Each side is silent while the other speaks: the two tracks are laid out on
# one time line, then cut to the same length.
python3 - "$WORK" <<'PY'
import struct, sys, wave
work = sys.argv[1]
def read(p):
    with wave.open(p) as w:
        return list(struct.unpack("<%dh" % w.getnframes(), w.readframes(w.getnframes())))
gap = [0] * 4800  # 0.3 s between turns
bob, alice = [0] * 8000, [0] * 8000
for i in range(4):
    b, a = read("%s/b%d.wav" % (work, i)), read("%s/a%d.wav" % (work, i))
    bob += b + gap + [0] * len(a) + gap
    alice += [0] * len(b) + gap + a + gap
for name, x in (("bob", bob), ("alice", alice)):
    with wave.open("%s/%s.wav" % (work, name), "wb") as w:
        w.setnchannels(1); w.setsampwidth(2); w.setframerate(16000)
        w.writeframes(struct.pack("<%dh" % len(x), *x))
PY
printf '   bob (remote side) %.1f s, alice (my side) %.1f s of one conversation\n' \
  "$(soxi -D "$WORK/bob.wav")" "$(soxi -D "$WORK/alice.wav")"
# The call lasts as long as the conversation, from INPROGRESS to FINISHED.
CALL_SECONDS=$(python3 -c "import math,sys; print(math.ceil(float(sys.argv[1])) + 1)" "$(soxi -D "$WORK/bob.wav")")

# The two audio ports are the machine's: wait while another program holds them.
ports_free() { python3 "$ROOT/scripts/wait-ports.py" 0; }
wait_ports() {
  local i
  for i in $(seq 600); do
    ports_free && return 0
    [ "$i" = 1 ] && echo "   waiting: another program holds the ports 58376/58377"
    sleep 0.5
  done
  return 1
}

# ombra.exe opens both ports at start-up; should another program take one in
# the meantime, its message box is answered and the start tried again.
started=
for attempt in 1 2 3; do
  wait_ports || { echo "demo: the audio ports stay taken"; exit 1; }
  echo "== ombra.exe starts"
  bash "$WINE_SH" "$BIN/ombra.exe" </dev/null >"$WORK/ombra.out" 2>&1 &
  OMBRA_PID=$!
  PIDS+=("$OMBRA_PID")
  ui wait-window 60 || { echo "demo: the main window did not appear"; exit 1; }
  if ui wait-state 1001 disabled 30; then started=1; break; fi
  ui box "Ombra Skype Recorder" 2 ok || true
  echo "   start-up stopped by a message: $UI"
  ui wait-window 5 && ui exit || true
  for _ in $(seq 100); do kill -0 "$OMBRA_PID" 2>/dev/null || break; sleep 0.1; done
  kill "$OMBRA_PID" 2>/dev/null || true
done
[ -n "$started" ] || { echo "demo: ombra.exe did not start"; exit 1; }
ui text 1009
echo "   status line: $UI"

cat >"$WORK/scenario.txt" <<SCEN
# alice is online; bob calls her
wait-attach
after 1.5 call 17 incoming bob
call 17 remote wav:$WORK/bob.wav
call 17 mic wav:$WORK/alice.wav
after 0.5 call 17 status INPROGRESS
after $CALL_SECONDS call 17 status FINISHED
after 3 exit
SCEN
echo "== skypesim: alice online with her friends bob and carol; bob calls alice"
bash "$WINE_SH" "$BIN/skypesim.exe" --announce --scenario "$WORK/scenario.txt" \
  --log "$(winpath "$WORK/sim.log")" --quit-after 90 </dev/null >"$WORK/sim.out" 2>&1 &
SIM_PID=$!
PIDS+=("$SIM_PID")
ui wait-text 1009 "Ready for recording ..." 30 || true
ui text 1008; user=$UI; ui text 1009
echo "   attached: user label '$user', status line '$UI'"
ui wait-text 1009 "Recording in progress ..." 30 || { echo "demo: the call was not recorded"; exit 1; }
t_start=$(date +%s.%N)
echo "   the call is in progress and recorded: '$UI'"
sleep 4
ui meter 1005; mic=$UI; ui meter 1006
echo "   level meters: my side $mic, remote side $UI"
ui rect; main_rect=$UI
shot main-recording "$main_rect"
sleep "$(python3 -c "import sys,time; print(max(0.0, $PAUSE_AT - (time.time() - float(sys.argv[1]))))" "$t_start")"
ui click 1002
ui wait-text 1009 "Recording pause ..." 5 || true
echo "   pause button clicked: '$UI'"
sleep 1
shot main-paused "$main_rect"
sleep $((PAUSE_SECONDS - 1))
ui click 1002
ui wait-text 1009 "Recording in progress ..." 5 || true
echo "   resume clicked after $PAUSE_SECONDS s: '$UI'"
ui wait-text 1009 "Ready for recording ..." 40 || true
echo "   bob hung up: '$UI'"
XML=$DATA_DIR/record.xml
for _ in $(seq 50); do [ -s "$XML" ] && grep -q '<rec' "$XML" && break; sleep 0.2; done

echo "== the history window, opened with the history button"
ui click 1011
ui wait-history visible 10 || true
hist=$UI
echo "   history window: $hist (the main window: $main_rect)"
sleep 1.5
hist_rect=$(sed -n 's/.*rect=\([-0-9,]*\).*/\1/p' <<<"$hist")
if [ -n "$hist_rect" ]; then
  shot history "$hist_rect"
  DISPLAY=$OMBRA_DISPLAY import -window root "$OUT/screen.png"
  echo "   whole screen: $OUT/screen.png"
else
  echo "   history window not found: $hist"
fi

echo
echo "== results"
entry=$(python3 "$ROOT/tests/e2e/e2echeck.py" records "$XML" | tail -1)
file=$(python3 -c 'import json,sys; print(json.loads(sys.argv[1])["file"])' "$entry")
MP3=$OMBRA_WINE_DIR/prefix/drive_c/${file#[Cc]:\\}
MP3=${MP3//\\//}
echo "MP3 file:      $MP3"
echo "               (in Windows: $file)"
echo "record.xml:    $XML"
python3 - "$entry" <<'PY'
import json, sys, time
e = json.loads(sys.argv[1])
kind = {"1": "incoming", "2": "outgoing"}.get(e["type"], "?")
print("history entry: name=%s time=%s (%s) type=%s (%s) duration=%s s new=%s" % (
    e["name"], e["time"], time.strftime("%Y-%m-%d %H:%M:%S", time.localtime(int(e["time"]))),
    e["type"], kind, e["duration"], e["new"]))
PY
echo "decoder (mpg123): $(mpg123 -t -v "$MP3" 2>&1 | grep -E '^MPEG ' | head -1)"
mpg123 -q -w "$WORK/decoded.wav" "$MP3"
echo "decoded (soxi):   $(soxi -c "$WORK/decoded.wav") channels, $(soxi -r "$WORK/decoded.wav") Hz," \
  "$(printf '%.2f' "$(soxi -D "$WORK/decoded.wav")") s; bit rate $(soxi -B "$MP3" 2>/dev/null || echo '(see mpg123)')"
echo "   the call lasted $CALL_SECONDS s, of which about $PAUSE_SECONDS s were paused"
# What each channel carries, measured: speech time and the voice's pitch.
python3 - "$WORK/decoded.wav" <<'PY'
import math, struct, sys, wave
with wave.open(sys.argv[1]) as w:
    rate, n, nch = w.getframerate(), w.getnframes(), w.getnchannels()
    data = struct.unpack("<%dh" % (n * nch), w.readframes(n))
names = ["left  (my side, alice)", "right (remote, bob)  "]
frame = rate // 20  # 50 ms
active = []
for c in range(nch):
    x = data[c::nch]
    loud, pitches = [], []
    for i in range(0, len(x) - frame, frame):
        seg = x[i:i + frame]
        rms = math.sqrt(sum(v * v for v in seg) / frame)
        loud.append(rms > 300)
        if rms > 600:
            # pitch: the shortest lag (70..350 Hz) whose normalised
            # autocorrelation comes close to the best one, so that a
            # subharmonic is not taken for the voice's pitch
            e0 = sum(v * v for v in seg) or 1
            r = {}
            for lag in range(rate // 350, rate // 70):
                r[lag] = sum(seg[k] * seg[k + lag] for k in range(0, frame - lag, 2)) * 2 / e0
            top = max(r.values())
            if top > 0.5:
                lag = min(l for l, v in r.items() if v >= 0.9 * top)
                pitches.append(rate / lag)
    pitches.sort()
    med = pitches[len(pitches) // 2] if pitches else 0
    active.append(loud)
    print("%s speech %.1f s, median pitch %3.0f Hz" % (names[c] if nch == 2 else "mono", sum(loud) * 0.05, med))
if nch == 2:
    both = sum(1 for a, b in zip(*active) if a and b) * 0.05
    print("both channels loud at once: %.1f s (the two speak in turns)" % both)
PY
grep -i 'RECV alter call\|AUDIO' "$WORK/sim.log" | sed 's/^/skypesim: /'
cp "$MP3" "$XML" "$OUT/"
cp "$WORK/sim.log" "$OUT/skypesim.log"

ui exit || true
for _ in $(seq 100); do kill -0 "$OMBRA_PID" 2>/dev/null || break; sleep 0.1; done
echo
echo "Copies and screenshots in $OUT:"
ls -1 "$OUT" | sed 's/^/  /'
