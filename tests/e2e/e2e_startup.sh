#!/usr/bin/env bash
# First start on an empty prefix: every registry default is written with its
# type and the two folders are created; the position is written at exit. Then,
# in manual mode, a partner handle with a ':' gives a file name that Windows
# accepts ("live_alice_...") while the history keeps the handle as it is.
source "$(dirname "$0")/lib.sh"
e2e_init startup

check "no data folder before the first start" test ! -e "$E2E_APPDATA"
start_ombra || exit 1
ui wait-text 1009 "Waiting to access Skype ..." 10
check "waits for Skype" test $? = 0
check "documents folder Documents\\Ombra created" test -d "$E2E_DOCS"
check "data folder AppData\\Roaming\\Ombra created" test -d "$E2E_APPDATA"
reg_export "$E2E_WORK/first.reg"
user=$(basename "$E2E_USERDIR")
check "all seventeen values with their defaults and types" py regcheck "$E2E_WORK/first.reg" \
  autostart=binary:0 notifycov=binary:1 notifyfinish=binary:1 notifyhistory=binary:1 \
  position=sz: rectype=binary:0 recside=dword:0 "sfolder=sz:C:\\users\\$user\\Documents\\Ombra" \
  amode=dword:1 abitrate=dword:1 asample=dword:1 \
  rulemode=dword:0 rulelist=any: keepmode=dword:0 keepdays=dword:90 keepgb=dword:10 hotkeys=binary:0
check "exactly seventeen values" test "$(py reg "$E2E_WORK/first.reg" | python3 -c \
  'import sys,json; print(len(json.load(sys.stdin)))')" = 17
ui state 1001
check "record button disabled before any call" test "$UI" = "visible=1 enabled=0"
ui state 1002
check "pause button disabled before any call" test "$UI" = "visible=1 enabled=0"
ui state 1010
check "button 1010 disabled and hidden" test "$UI" = "visible=0 enabled=0"
ui text 1008
check "user label searching" test "$UI" = "Searching for Skype"

# Manual mode (the default): the call only enables the record button.
start_sim --announce --scenario "$E2E_TESTS/names.txt" --quit-after 30
ui wait-state 1001 enabled 15
check "a call in progress enables the record button" test $? = 0
sleep 1
ui text 1009
check "manual mode does not start by itself" test "$UI" = "Ready for recording ..."
check "no redirection before the click" bash -c "! grep -qi 'RECV alter call' '$E2E_WORK/sim.log'"
ui click 1001
ui wait-text 1009 "Recording in progress ..." 5
check "record button starts the recording" test $? = 0
ui state 1002
check "pause button enabled while recording" test "$UI" = "visible=1 enabled=1"
check "call ended by skypesim" wait_log "STATUS FINISHED" 15
ui wait-text 1009 "Ready for recording ..." 5
check "the end of the recorded call stops the recording" test $? = 0
check "recorder exits on Exit" quit_ombra
wait_pid "$SIM_PID" 10

mp3s=("$E2E_DOCS"/live_alice_*.mp3)
check "file live_alice_<time>.mp3 in the default folder" test -f "${mp3s[0]}"
check "no other file there" test "$(ls "$E2E_DOCS" | wc -l)" = 1
check "it decodes, both sides" py mp3 "${mp3s[0]}" --left 440 --right 1000 --seconds 3 --tol 1.2
xml=$E2E_APPDATA/record.xml
check "history keeps the handle live:alice" py record "$xml" -1 name=live:alice type=1 \
  "file=C:\\users\\$user\\Documents\\Ombra\\$(basename "${mp3s[0]}")"
reg_export "$E2E_WORK/exit.reg"
check "position written at exit" python3 -c "
import json,re,sys
v=json.loads(sys.argv[1])['position']
print('position', v)
sys.exit(0 if v[0]=='sz' and re.fullmatch(r'-?\d+,-?\d+,-?\d+,-?\d+', v[1]) else 1)" \
  "$(py reg "$E2E_WORK/exit.reg")"
e2e_finish
