#!/usr/bin/env bash
# Screenshots of the program's windows under Xvfb, into $OMBRA_BUILD_DIR/screenshots/
# (default build/screenshots; not committed). Each shot is one line at the bottom:
#   shot NAME PROGRAM ARGS...
# PROGRAM (from the build's bin/) is run with the extra argument RECTFILE inserted
# where the word RECT appears; it writes "x y width height" of its window there
# once painted, and the shot is cropped to it (a program that writes nothing gets
# a full-screen shot after OMBRA_SHOT_WAIT seconds). It should close by itself.
# The shot "main-recording" is the recorder itself (ombra.exe) recording a call
# that skypesim plays; it opens the audio ports 58376/58377 (and waits while
# another program holds them).
#   scripts/screenshots.sh            all shots
#   scripts/screenshots.sh NAME...    only these
#   scripts/screenshots.sh --docs     the README's pictures, into docs/
# OMBRA_SHOT_DPI=144 takes them at that display scaling (LogPixels), into screenshots/dpi144/.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${OMBRA_BUILD_DIR:-$ROOT/build}
OUT="$BUILD/screenshots"
if [ "${1:-}" = --docs ]; then
  OUT=$ROOT/docs
  set -- main-recording history options-general options-recording options-quality options-rules
fi
# A prefix of its own: shots need the X11 driver, the tests the null driver.
export OMBRA_WINE_DIR=${OMBRA_SHOT_WINE_DIR:-$BUILD/wine-shots}
WAIT=${OMBRA_SHOT_WAIT:-6}
DPI=${OMBRA_SHOT_DPI:-96}
[ "$DPI" = 96 ] || OUT=$OUT/dpi$DPI
mkdir -p "$OUT"
only=("$@")

# A free display number for our own Xvfb.
disp=57
while [ -e "/tmp/.X11-unix/X$disp" ] || [ -e "/tmp/.X$disp-lock" ]; do disp=$((disp + 1)); done
Xvfb ":$disp" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export OMBRA_DISPLAY=":$disp"
cleanup() {
  bash "$ROOT/scripts/wine.sh" --server-stop >/dev/null 2>&1 || true
  kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$disp" ] && break; sleep 0.1; done
bash "$ROOT/scripts/wine.sh" --server-start </dev/null >/dev/null 2>&1
# Wine takes LogPixels at the start of its server.
bash "$ROOT/scripts/wine.sh" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$DPI" /f \
  </dev/null >/dev/null 2>&1
bash "$ROOT/scripts/wine.sh" --server-stop </dev/null >/dev/null 2>&1 || true
bash "$ROOT/scripts/wine.sh" --server-start </dev/null >/dev/null 2>&1

shot() {
  local name=$1 prog=$2; shift 2
  if ((${#only[@]})) && [[ ! " ${only[*]} " == *" $name "* ]]; then return 0; fi
  [ -f "$BUILD/bin/$prog" ] || { echo "screenshot: $name: no $BUILD/bin/$prog (build it first)" >&2; return 1; }
  local rectfile="$OUT/$name.rect" png="$OUT/$name.png" full="$OUT/$name.full.png"
  rm -f "$rectfile" "$png" "$full"
  local args=() a
  for a in "$@"; do [ "$a" = RECT ] && args+=("$(winepath_of "$rectfile")") || args+=("$a"); done
  bash "$ROOT/scripts/wine.sh" "$BUILD/bin/$prog" "${args[@]}" </dev/null >"$OUT/$name.log" 2>&1 &
  local pid=$! i
  for i in $(seq $((WAIT * 10))); do [ -s "$rectfile" ] && break; sleep 0.1; done
  sleep 0.3
  DISPLAY=":$disp" import -window root "$full"
  if [ -s "$rectfile" ]; then
    read -r x y w h <"$rectfile"
    convert "$full" -crop "${w}x${h}+${x}+${y}" +repage "$png"
    rm -f "$full"
  else
    mv "$full" "$png"
  fi
  # Programs close by themselves; one that does not is ended after the wait.
  for i in $(seq $((WAIT * 10))); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  rm -f "$rectfile" "$OUT/$name.log"
  echo "screenshot: $png"
}

# The main window while it records a call: the recorder in automatic mode,
# skypesim as Skype with alice online; bob calls and the call goes on while the
# shot is taken.
shot_recording() {
  local name=main-recording
  if ((${#only[@]})) && [[ ! " ${only[*]} " == *" $name "* ]]; then return 0; fi
  local p
  for p in ombra.exe skypesim.exe uidriver.exe; do
    [ -f "$BUILD/bin/$p" ] || { echo "screenshot: $name: no $BUILD/bin/$p (build it first)" >&2; return 1; }
  done
  local work; work=$(mktemp -d)
  local ui_out=$work/ui.txt
  ui() {
    bash "$ROOT/scripts/wine.sh" "$BUILD/bin/uidriver.exe" --out "$(winepath_of "$ui_out")" "$@" \
      </dev/null >/dev/null 2>&1
  }
  local key='HKCU\software\Ombra\config'
  bash "$ROOT/scripts/wine.sh" reg delete 'HKCU\software\Ombra' /f </dev/null >/dev/null 2>&1 || true
  bash "$ROOT/scripts/wine.sh" reg add "$key" /v rectype /t REG_BINARY /d 01 /f </dev/null >/dev/null 2>&1
  bash "$ROOT/scripts/wine.sh" reg add "$key" /v notifyhistory /t REG_BINARY /d 00 /f </dev/null >/dev/null 2>&1
  printf '%s\n' 'wait-attach' 'after 1.5 call 17 incoming bob' 'after 0.5 call 17 status INPROGRESS' \
    'after 12 call 17 status FINISHED' 'after 2 exit' >"$work/call.txt"
  local i
  for i in $(seq 600); do python3 "$ROOT/scripts/wait-ports.py" 0 && break; sleep 0.5; done
  bash "$ROOT/scripts/wine.sh" "$BUILD/bin/ombra.exe" </dev/null >"$OUT/$name.log" 2>&1 &
  local ombra=$!
  ui wait-window 30 && ui wait-state 1001 disabled 20
  bash "$ROOT/scripts/wine.sh" "$BUILD/bin/skypesim.exe" --announce --scenario "$(winepath_of "$work/call.txt")" \
    --quit-after 40 </dev/null >>"$OUT/$name.log" 2>&1 &
  local sim=$!
  local ok=
  if ui wait-text 1009 "Recording in progress ..." 30 && sleep 3 && ui rect; then
    local l t r b
    IFS=, read -r l t r b < <(tr -d '\r' <"$ui_out")
    DISPLAY=":$disp" import -window root -crop "$((r - l))x$((b - t))+$l+$t" +repage "$OUT/$name.png"
    ok=1
  fi
  wait "$sim" 2>/dev/null || true
  ui exit || true
  for i in $(seq 100); do kill -0 "$ombra" 2>/dev/null || break; sleep 0.1; done
  kill "$ombra" 2>/dev/null || true
  wait "$ombra" 2>/dev/null || true
  # The other shots show the settings as a first start has them.
  bash "$ROOT/scripts/wine.sh" reg delete 'HKCU\software\Ombra' /f </dev/null >/dev/null 2>&1 || true
  rm -rf "$work"
  [ -n "$ok" ] || { echo "screenshot: $name: the call was not recorded (see $OUT/$name.log)" >&2; return 1; }
  rm -f "$OUT/$name.log"
  echo "screenshot: $OUT/$name.png"
}

# Wine sees the Linux root as drive Z:.
winepath_of() { echo "Z:${1//\//\\}"; }

# The Rules page with a rule in force: every call but bob's and carol's, kept for 90 days.
rules_in_force() {
  if ((${#only[@]})) && [[ ! " ${only[*]} " == *" options-rules "* ]]; then return 0; fi
  local key='HKCU\software\Ombra\config' v
  for v in "rulemode /t REG_DWORD /d 2" "rulelist /t REG_MULTI_SZ /d bob\0carol" \
           "keepmode /t REG_DWORD /d 1" "keepdays /t REG_DWORD /d 90"; do
    # shellcheck disable=SC2086
    bash "$ROOT/scripts/wine.sh" reg add "$key" /v $v /f </dev/null >/dev/null 2>&1
  done
}

shot_recording
shot options-general uishots.exe options 0 RECT 3
shot options-recording uishots.exe options 1 RECT 3
shot options-quality uishots.exe options 2 RECT 3
shot options-clicked-tab uishots.exe options-click 1 RECT 4
rules_in_force
shot options-rules uishots.exe options 3 RECT 3
shot history historyshots.exe RECT 4
shot history-playing historyshots.exe RECT 4 playing
shot history-reselected historyshots.exe RECT 4 reselect
shot history-cannot-play historyshots.exe RECT 4 cannotplay
shot history-filter historyshots.exe RECT 4 filter
