#!/usr/bin/env bash
# Manual mode: the user starts the recording with the record button, pauses
# and resumes it with the pause button, and stops it with the record button.
# The paused span is left out of the file and of the entry's duration.
source "$(dirname "$0")/lib.sh"
e2e_init manual

reg_byte notifyhistory 0
start_ombra || exit 1
ui_bg watch.txt watch 40 1009 1001 1002
start_sim --announce --scenario "$E2E_TESTS/manual.txt" --quit-after 40
ui wait-state 1001 enabled 15
check "the call enables the record button" test $? = 0
ui click 1002
check "the pause button cannot be clicked before recording" test $? = 3
ui click 1001
ui wait-text 1009 "Recording in progress ..." 5
check "record button starts" test $? = 0
t_start=$(date +%s.%N)
sleep 2
ui click 1002
ui wait-text 1009 "Recording pause ..." 3
check "pause button pauses" test $? = 0
t_pause=$(date +%s.%N)
sleep 3
ui click 1002
ui wait-text 1009 "Recording in progress ..." 3
check "pause button resumes" test $? = 0
t_resume=$(date +%s.%N)
sleep 2
ui click 1001
ui wait-text 1009 "Ready for recording ..." 5
check "record button stops" test $? = 0
t_stop=$(date +%s.%N)
ui state 1002
check "pause button disabled after the stop" test "$UI" = "visible=1 enabled=0"
ui state 1001
check "record button stays enabled while the call goes on" test "$UI" = "visible=1 enabled=1"
recorded=$(python3 -c "import sys; a,b,c,d=map(float,sys.argv[1:]); print('%.2f'%((b-a)+(d-c)))" \
  "$t_start" "$t_pause" "$t_resume" "$t_stop")
e2e_log "recorded ${recorded} s of audio, paused about 3 s"
xml=$E2E_APPDATA/record.xml
for _ in $(seq 30); do [ -s "$xml" ] && break; sleep 0.2; done
check "entry duration leaves the pause out" py record "$xml" 0 name=carol "duration~=$recorded:1.2"
mp3s=("$E2E_DOCS"/carol_*.mp3)
check "file length leaves the pause out" py mp3 "${mp3s[0]}" --left 440 --right 1000 \
  --seconds "$recorded" --tol 1.2
check "call ended" wait_pid "$SIM_PID" 25
sleep 1
check "the end of the call after a manual stop adds no entry" test "$(py records "$xml" | wc -l)" = 1
ui state 1001
check "record button disabled after the call" test "$UI" = "visible=1 enabled=0"
check "recorder exits on Exit" quit_ombra
check "status line texts in order" py order "$E2E_WORK/watch.txt" 1009 \
  "Ready for recording ..." "Recording in progress ..." "Recording pause ..." \
  "Recording in progress ..." "Ready for recording ..."
e2e_finish
