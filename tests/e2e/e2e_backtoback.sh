#!/usr/bin/env bash
# Automatic mode: bob's call ends and carol's waiting call is answered 20 ms
# later, while bob's recording is still being finished. Each call gets a
# recording of its own: two entries, two files, each holding its own call.
source "$(dirname "$0")/lib.sh"
e2e_init backtoback

reg_byte rectype 1
reg_byte notifyhistory 0
start_ombra || exit 1
start_sim --announce --scenario "$E2E_TESTS/backtoback.txt" --quit-after 40
check "attached" ui wait-text 1009 "Ready for recording ..." 15
check "bob's call recorded" ui wait-text 1009 "Recording in progress ..." 10
check "carol's call answered in skypesim" wait_log_re 'STEP .*call 42 status INPROGRESS' 15
# The two steps' times in skypesim; each notification is logged once the recorder has taken it.
gap=$(awk '/STEP .*call 41 status FINISHED/ { a = $1 } /STEP .*call 42 status INPROGRESS/ { b = $1 }
  END { printf "%d", (b - a) * 1000 }' "$E2E_WORK/sim.log")
check "carol's call went in progress $gap ms after bob's ended" test "$gap" -ge 0 -a "$gap" -le 35
sleep 0.5
check "carol's call in progress: recording" ui wait-text 1009 "Recording in progress ..." 5
check "carol's call finished in skypesim" wait_log_re 'STEP .*call 42 status FINISHED' 15
check "stopped after carol's call" ui wait-text 1009 "Ready for recording ..." 5
check "carol's audio routed to both ports" py simrecv "$E2E_WORK/sim.log" \
  'alter call 42 set_output soundcard="default" port="58376"' 'alter call 42 set_capture_mic port="58377"'
wait_pid "$SIM_PID" 10

xml=$E2E_APPDATA/record.xml
end=$((SECONDS + 5))
while [ "$(py records "$xml" 2>/dev/null | wc -l)" != 2 ] && [ $SECONDS -lt $end ]; do sleep 0.2; done
check "two history entries" test "$(py records "$xml" | wc -l)" = 2
check "first entry: bob alone, about 5 s" py record "$xml" 0 name=bob duration~=5:1
check "second entry: carol alone, about 6 s" py record "$xml" 1 name=carol duration~=6:1
bob=("$E2E_DOCS"/bob_*.mp3) carol=("$E2E_DOCS"/carol_*.mp3)
check "one file named after bob" test "${#bob[@]}" = 1 -a -f "${bob[0]}"
check "one file named after carol" test "${#carol[@]}" = 1 -a -f "${carol[0]}"
check "bob's file: bob's 1000 Hz on the remote side, about 5 s" \
  py mp3 "${bob[0]}" --left 440 --right 1000 --seconds 5 --tol 1
check "carol's file: carol's 700 Hz on the remote side, about 6 s" \
  py mp3 "${carol[0]}" --left 440 --right 700 --seconds 6 --tol 1
check "recorder exits on Exit" quit_ombra
e2e_finish
