#!/usr/bin/env bash
# The program's main job end to end: ombra.exe records a Skype call. skypesim
# plays Skype (alice, with friends bob and carol); bob calls alice, they talk for
# about 20 seconds in two synthesized voices, and the user pauses the recording
# for a few seconds in the middle by clicking the pause button (appdriver, from
# another process). Prints where the MP3 and record.xml are and what a decoder
# says about the recording; screenshots and copies go to build/demo/.
# Leaves nothing running.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${OMBRA_BUILD_DIR:-$ROOT/build}
export OMBRA_BUILD_DIR=$BUILD_DIR
export OMBRA_WINE_DIR=$BUILD_DIR/demo-wine
OUT=$BUILD_DIR/demo
BIN=$BUILD_DIR/bin
WINE_SH=$ROOT/scripts/wine.sh
cd "$ROOT"

bash scripts/setup.sh
bash scripts/build.sh ombra skypesim appdriver

WORK=$(mktemp -d)
PIDS=()
XVFB_PID=
cleanup() {
  local pid
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  bash "$WINE_SH" --server-stop >/dev/null 2>&1 || true
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

ud() { # appdriver, its output through a file (Wine's services keep pipes open)
  local rc=0
  bash "$WINE_SH" "$BIN/appdriver.exe" "$@" >"$WORK/ud.out" 2>&1 || rc=$?
  tr -d '\r' <"$WORK/ud.out"
  return $rc
}

# A display of our own for the screenshots.
DISPLAY_NO=90
while [ -e "/tmp/.X11-unix/X$DISPLAY_NO" ] || [ -e "/tmp/.X$DISPLAY_NO-lock" ]; do DISPLAY_NO=$((DISPLAY_NO + 1)); done
Xvfb ":$DISPLAY_NO" -screen 0 1024x768x24 >/dev/null 2>&1 &
XVFB_PID=$!
export OMBRA_DISPLAY=":$DISPLAY_NO"
shot() { # NAME LEFT TOP RIGHT BOTTOM: the screen area of a window
  DISPLAY=$OMBRA_DISPLAY import -window root -crop "$(($4 - $2))x$(($5 - $3))+$2+$3" +repage "$OUT/$1.png"
}

echo "== a fresh Wine prefix in $OMBRA_WINE_DIR"
rm -rf "$OMBRA_WINE_DIR" "$OUT"
mkdir -p "$OUT"
# The first server session of a new prefix runs on the null graphics driver;
# the second one uses the display.
bash "$WINE_SH" --server-start >/dev/null 2>&1
bash "$WINE_SH" --server-stop >/dev/null 2>&1
bash "$WINE_SH" --server-start >/dev/null 2>&1
WIN_USER=$(whoami)
DRIVE_C=$OMBRA_WINE_DIR/prefix/drive_c
DATA_DIR=$DRIVE_C/users/$WIN_USER/AppData/Roaming/Ombra
# Automatic recording, as the user would set it in the options dialog.
bash "$WINE_SH" reg add 'HKCU\software\Ombra\config' /v rectype /t REG_BINARY /d 01 /f >/dev/null 2>&1

echo "== two voices (espeak-ng), 16 kHz mono"
say() { # FILE VOICE TEXT
  espeak-ng -v "$2" -s 150 -w "$WORK/raw.wav" "$3"
  sox "$WORK/raw.wav" -r 16000 -c 1 -b 16 "$1" 2>/dev/null
}
bob_lines=("Hi Alice, it is Bob. Do you have a minute?"
           "Great. The new recorder keeps every call as an MP3 file."
           "And each call shows up in the history, grouped by day."
           "Perfect. Talk to you tomorrow, bye.")
alice_lines=("Sure Bob, what is up?"
             "Nice, and the history?"
             "That is handy. Thanks, Bob."
             "Bye Bob.")
# Each side speaks while the other is silent: the tracks are built turn by turn.
sox -n -r 16000 -c 1 -b 16 "$WORK/bob.wav" trim 0 0.5
sox -n -r 16000 -c 1 -b 16 "$WORK/alice.wav" trim 0 0.5
for i in 0 1 2 3; do
  say "$WORK/b.wav" en-us+m3 "${bob_lines[$i]}"
  say "$WORK/a.wav" en-gb+f4 "${alice_lines[$i]}"
  bl=$(soxi -D "$WORK/b.wav"); al=$(soxi -D "$WORK/a.wav")
  sox "$WORK/bob.wav" "$WORK/b.wav" "$WORK/bob2.wav" pad 0 "$al" && mv "$WORK/bob2.wav" "$WORK/bob.wav"
  sox "$WORK/alice.wav" "$WORK/a.wav" "$WORK/alice2.wav" pad "$bl" 0 && mv "$WORK/alice2.wav" "$WORK/alice.wav"
done
printf '   bob (remote side) %.1f s, alice (my side) %.1f s\n' "$(soxi -D "$WORK/bob.wav")" "$(soxi -D "$WORK/alice.wav")"

# The audio ports are the machine's; wait while another recorder holds them.
for _ in $(seq 600); do
  python3 -c '
import socket, sys
for p in (58376, 58377):
    s = socket.socket()
    try: s.bind(("127.0.0.1", p))
    except OSError: sys.exit(1)
    finally: s.close()' && break
  sleep 0.5
done
echo "== ombra.exe starts"
bash "$WINE_SH" "$BIN/ombra.exe" >"$WORK/ombra.out" 2>&1 &
OMBRA_PID=$!
PIDS+=("$OMBRA_PID")
ud wait-main 90 >/dev/null || { echo "demo: the main window did not appear"; exit 1; }
echo "   status line: $(ud text 1009)"

cat >"$WORK/scenario.txt" <<SCEN
wait-attach
after 1 call 17 incoming bob
call 17 remote wav:$WORK/bob.wav
call 17 mic wav:$WORK/alice.wav
after 0.5 call 17 status INPROGRESS
after 21 call 17 status FINISHED
after 3 exit
SCEN
echo "== skypesim: alice online, friends bob and carol; bob calls alice"
bash "$WINE_SH" "$BIN/skypesim.exe" --announce --scenario "$WORK/scenario.txt" --log "$WORK/sim.log" \
  --quit-after 60 >"$WORK/sim.out" 2>&1 &
SIM_PID=$!
PIDS+=("$SIM_PID")
ud wait-text 1009 20 "Ready for recording ..." >/dev/null || true
echo "   user label: $(ud text 1008); status line: $(ud text 1009)"
ud wait-text 1009 15 "Recording in progress ..." >/dev/null || true
echo "   call in progress; status line: $(ud text 1009)"
sleep 5
read -r l t r b <<<"$(ud rect)"
shot main-recording "$l" "$t" "$r" "$b"
echo "   screenshot: $OUT/main-recording.png"
ud click 1002 >/dev/null
echo "   pause clicked; status line: $(ud text 1009)"
sleep 1
shot main-paused "$l" "$t" "$r" "$b"
sleep 3
ud click 1002 >/dev/null
echo "   resume clicked after 4 s; status line: $(ud text 1009)"
ud wait-text 1009 30 "Ready for recording ..." >/dev/null || true
echo "   bob hung up; status line: $(ud text 1009)"
for _ in $(seq 50); do [ -s "$DATA_DIR/record.xml" ] && grep -q '<rec' "$DATA_DIR/record.xml" && break; sleep 0.2; done
sleep 1

if read -r vis hl ht hr hb <<<"$(ud history)" && [ "$vis" = 1 ]; then
  DISPLAY=$OMBRA_DISPLAY import -window root "$OUT/screen-after-call.png"
  shot history "$hl" "$ht" "$hr" "$hb"
  echo "   history window shown; screenshot: $OUT/history.png"
fi

echo
echo "== results"
XML=$DATA_DIR/record.xml
entry=$(python3 - "$XML" <<'PY'
import sys, xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
for rec in root.find("list"):
    print("|".join((rec.findtext(k) or "") for k in ("name", "time", "file", "type", "duration", "new")))
PY
)
IFS='|' read -r name time file type duration new <<<"$(tail -1 <<<"$entry")"
MP3=$DRIVE_C${file#[Cc]:}
MP3=${MP3//\\//}
echo "MP3 file:    $MP3"
echo "             (in Windows: $file)"
echo "record.xml:  $XML"
echo "history entry: name=$name time=$time ($(date -d "@$time" '+%Y-%m-%d %H:%M:%S')) type=$type (1 incoming) duration=${duration}s new=$new"
mpg123 -q -w "$WORK/decoded.wav" "$MP3" >/dev/null 2>&1
echo "decoder (mpg123): $(mpg123 -t -v "$MP3" 2>&1 | grep -E '^MPEG ' | head -1)"
echo "decoded (soxi):   $(soxi -c "$WORK/decoded.wav") channels, $(soxi -r "$WORK/decoded.wav") Hz, $(printf '%.2f' "$(soxi -D "$WORK/decoded.wav")") s"
echo "   the call lasted about 21 s and was paused for about 4 s of it"
grep -Ei 'RECV .*alter call' "$WORK/sim.log" | sed 's/^/skypesim: /' | head -4
cp "$MP3" "$XML" "$OUT/"
cp "$WORK/sim.log" "$OUT/skypesim.log"

ud command 32772 >/dev/null || true
for _ in $(seq 100); do kill -0 "$OMBRA_PID" 2>/dev/null || break; sleep 0.1; done
echo
echo "Copies and screenshots in $OUT:"
ls -1 "$OUT" | sed 's/^/  /'
