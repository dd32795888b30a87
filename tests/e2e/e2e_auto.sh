#!/usr/bin/env bash
# Automatic mode: one incoming call recorded from INPROGRESS to FINISHED, with
# the audio redirected to the two ports, both sides in their own channel, the
# file named after the partner and the start time, its tag, and the history entry.
source "$(dirname "$0")/lib.sh"
e2e_init auto

reg_byte rectype 1
reg_byte notifyhistory 0
reg_sz sfolder 'C:\rec e2e'
mkdir -p "$WINEPREFIX/drive_c/rec e2e"

# The recorder starts before Skype: it waits, then Skype comes up and announces itself.
start_ombra || exit 1
ui_bg watch.txt watch 40 1009 1008
sleep 1
start_sim --announce --scenario "$E2E_TESTS/auto.txt" --quit-after 40
check "call finished in skypesim" wait_log "STATUS FINISHED" 20
sleep 2
ui text 1009
check "status line back to ready" test "$UI" = "Ready for recording ..."
ui state 1001
check "record button disabled after the call" test "$UI" = "visible=1 enabled=0"
ui state 1002
check "pause button disabled after the call" test "$UI" = "visible=1 enabled=0"
check "recorder exits on Exit" quit_ombra
wait_pid "$SIM_PID" 10

check "status line texts in order" py order "$E2E_WORK/watch.txt" 1009 \
  "Waiting to access Skype ..." "Ready for recording ..." "Recording in progress ..." \
  "Ready for recording ..."
check "user label shows the Skype user" py order "$E2E_WORK/watch.txt" 1008 \
  "Searching for Skype" "alice"
check "both redirections for call 17, remote side first" py simrecv "$E2E_WORK/sim.log" \
  'alter call 17 set_output soundcard="default" port="58376"' \
  'alter call 17 set_capture_mic port="58377"'
check "skypesim streamed both sides" grep -q "call 17 mic connect 58377 ok" "$E2E_WORK/sim.log"
check "no redirection is ever ended" bash -c "! grep -Ei 'RECV alter call 17 set_(output|capture_mic)( soundcard=\"default\")?\$' '$E2E_WORK/sim.log'"

mp3s=("$WINEPREFIX/drive_c/rec e2e"/bob_*.mp3)
check "one MP3 named after bob in the sfolder folder" test "${#mp3s[@]}" = 1 -a -f "${mp3s[0]}"
mp3=${mp3s[0]}
check "MP3: 440 Hz on my side (left), 1000 Hz remote (right), about 4 s" \
  py mp3 "$mp3" --left 440 --right 1000 --seconds 4 --tol 1
xml=$E2E_APPDATA/record.xml
check "record.xml written" test -f "$xml"
check "record.xml is well-formed" xmllint --noout "$xml"
base=$(basename "$mp3")
check "history entry: bob, incoming, file, new, about 4 s" py record "$xml" -1 name=bob type=1 \
  "file=C:\\rec e2e\\$base" new=true duration~=4:1
t=$(python3 -c "import sys,json;print(json.loads(sys.stdin.readline())['time'])" \
  < <(py records "$xml"))
check "file name stamp is the entry's start time in local time" py stamp "$mp3" "$t"
check "MP3 tag: bob's Cyrillic full name, the album, the start time, handle and direction" \
  py tags "$mp3" "$t" "TIT2=Call with Борис Петров" "TPE1=Борис Петров" \
  "TALB=Ombra Skype Recorder" "COMM==eng=Skype: bob (incoming call)"
check "exactly one entry" test "$(py records "$xml" | wc -l)" = 1
e2e_finish
