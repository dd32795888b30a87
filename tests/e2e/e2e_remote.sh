#!/usr/bin/env bash
# Remote control: "ombra.exe /record" (/stop, /pause, /show, /exit) from a second
# start drives the running recorder as its buttons and tray icon would; the
# second start's exit code says whether the command was taken.
source "$(dirname "$0")/lib.sh"
e2e_init remote

# remote ARGS...: a second start with these arguments; its exit code is returned.
remote() {
  bash "$E2E_ROOT/scripts/wine.sh" "$E2E_BIN/ombra.exe" "$@" </dev/null >>"$E2E_WORK/remote.out" 2>&1
}

remote /show
check "no recorder running: /show exits 1" test $? = 1
ui count
check "and starts none" test "$UI" = 0

reg_byte notifyhistory 0
start_ombra || exit 1
remote /stop
check "/stop with nothing recording exits 1" test $? = 1
remote /record
check "/record without a call (record button disabled) exits 1" test $? = 1

start_sim --announce --scenario "$E2E_TESTS/remote.txt" --quit-after 60
ui wait-state 1001 enabled 15
check "the call enables the record button" test $? = 0
remote /record
check "/record exits 0" test $? = 0
t_start=$(date +%s.%N)
ui text 1009
check "/record started the recording" test "$UI" = "Recording in progress ..."
remote /record
check "/record while recording exits 1" test $? = 1
sleep 2
remote /pause
check "/pause exits 0" test $? = 0
t_pause=$(date +%s.%N)
ui text 1009
check "/pause paused" test "$UI" = "Recording pause ..."
sleep 3
remote -PAUSE
check "-PAUSE (any case, either sign) exits 0" test $? = 0
t_resume=$(date +%s.%N)
ui text 1009
check "a second /pause resumed" test "$UI" = "Recording in progress ..."
sleep 2
remote /stop
check "/stop exits 0" test $? = 0
t_stop=$(date +%s.%N)
ui text 1009
check "/stop stopped the recording" test "$UI" = "Ready for recording ..."
remote /stop
check "a second /stop exits 1" test $? = 1

recorded=$(python3 -c "import sys; a,b,c,d=map(float,sys.argv[1:]); print('%.2f'%((b-a)+(d-c)))" \
  "$t_start" "$t_pause" "$t_resume" "$t_stop")
e2e_log "recorded ${recorded} s of audio, paused about 3 s"
xml=$E2E_APPDATA/record.xml
for _ in $(seq 30); do [ -s "$xml" ] && break; sleep 0.2; done
check "one entry for carol, its duration without the pause" py record "$xml" 0 name=carol "duration~=$recorded:1.5"
mp3s=("$E2E_DOCS"/carol_*.mp3)
check "the file holds both sides without the pause" py mp3 "${mp3s[0]}" --left 440 --right 1000 \
  --seconds "$recorded" --tol 1.5

# An unknown switch: a box that says how to use the switches, then exit code 1.
remote /bogus &
bogus=$!
E2E_PIDS+=($bogus)
ui box "Ombra Skype Recorder" 15 ok
check "an unknown switch shows the usage" grep -q "Usage: ombra.exe \[/record | /stop" <<<"$UI"
wait "$bogus"
check "an unknown switch exits 1" test $? = 1
remote /record /stop &
two=$!
E2E_PIDS+=($two)
ui box "Ombra Skype Recorder" 15 ok
wait "$two"
check "two switches at once: usage, exit 1" test $? = 1
ui count
check "the recorder keeps running" test "$UI" = 1

ui click 1000
ui find
check "the close button hid the main window" grep -q "visible=0" <<<"$UI"
remote /show
check "/show exits 0" test $? = 0
ui find
check "/show brought the main window up" grep -q "visible=1" <<<"$UI"

remote /exit
check "/exit exits 0 once the recorder has ended" test $? = 0
check "the recorder ended" wait_pid "$OMBRA_PID" 5
check "still one entry" test "$(py records "$xml" | wc -l)" = 1
remote /pause
check "/pause after the exit exits 1" test $? = 1
e2e_finish
