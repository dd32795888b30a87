#!/usr/bin/env bash
# Several calls: a second call joins a running recording and the entry names both
# partners; a call ending while another is still active does not stop it; a call
# on hold that began earlier names the recording it starts. The file's tag is
# brought up to the partners who joined.
source "$(dirname "$0")/lib.sh"
e2e_init calls

reg_byte rectype 1
reg_byte notifyhistory 0
start_ombra || exit 1
start_sim --announce --scenario "$E2E_TESTS/calls.txt" --quit-after 60
check "attached" ui wait-text 1009 "Ready for recording ..." 15
check "first call recorded" ui wait-text 1009 "Recording in progress ..." 10
check "call 31 finished in skypesim" wait_log_re 'STEP .*call 31 status FINISHED' 15
sleep 1
ui text 1009
check "the recording goes on after call 31 ends while call 32 is active" \
  test "$UI" = "Recording in progress ..."
check "call 32 finished in skypesim" wait_log_re 'STEP .*call 32 status FINISHED' 10
check "stopped after the last call" ui wait-text 1009 "Ready for recording ..." 5
check "call 32 routed to the output port" grep -Eiq \
  'RECV .*alter call 32 set_output soundcard="default" port="58376"' "$E2E_WORK/sim.log"
check "call 32 mic routed" grep -Eiq \
  'RECV .*alter call 32 set_capture_mic port="58377"' "$E2E_WORK/sim.log"

check "call 34 in progress in skypesim" wait_log_re 'STEP .*call 34 status INPROGRESS' 15
check "second recording started" ui wait-text 1009 "Recording in progress ..." 5
check "call 34 finished in skypesim" wait_log_re 'STEP .*call 34 status FINISHED' 10
sleep 1
ui text 1009
check "the recording goes on while call 33 is on hold" test "$UI" = "Recording in progress ..."
wait_pid "$SIM_PID" 15
check "second recording stopped" ui wait-text 1009 "Ready for recording ..." 5
check "held call 33 routed to the output port" grep -Eiq \
  'RECV .*alter call 33 set_output soundcard="default" port="58376"' "$E2E_WORK/sim.log"

xml=$E2E_APPDATA/record.xml
for _ in $(seq 50); do [ "$(py records "$xml" 2>/dev/null | wc -l)" = 2 ] && break; sleep 0.1; done
check "two history entries" test "$(py records "$xml" | wc -l)" = 2
check "a joining call: the first entry names bob,carol" \
  py record "$xml" 0 name=bob,carol
file_of() { py records "$xml" | sed -n "$1p" | python3 -c "import sys,json;print(json.load(sys.stdin)['file'])"; }
first=$(file_of 1); second=$(file_of 2)
check "first file named after bob: $first" test "$(basename "$(unixpath "$first")" | cut -c1-4)" = bob_
t1=$(py records "$xml" | sed -n 1p | python3 -c "import sys,json;print(json.load(sys.stdin)['time'])")
check "first file's tag names Bob Builder and carol's Chinese full name, as the history does" \
  py tags "$(unixpath "$first")" "$t1" "TIT2=Call with Bob Builder | 王小明" "TPE1=Bob Builder | 王小明" \
  "TALB=Ombra Skype Recorder" "COMM==eng=Skype: bob,carol (incoming call)"
check "carol's joining leaves the first file decodable, about 6 s" \
  py mp3 "$(unixpath "$first")" --seconds 6 --tol 1.5
check "second entry names bob,carol" py record "$xml" 1 name=bob,carol
check "a held call that began earlier names the recording: $second" \
  test "$(basename "$(unixpath "$second")" | cut -c1-4)" = bob_
type2=$(py records "$xml" | sed -n 2p | python3 -c "import sys,json;print(json.load(sys.stdin)['type'])")
check "second entry type incoming or outgoing ($type2)" test "$type2" = 1 -o "$type2" = 2
check "recorder exits on Exit" quit_ombra
e2e_finish
