#!/usr/bin/env bash
# Several calls: a second call joins a running recording and the entry names both
# partners; a call ending while another is still active does not stop it; a call
# on hold that began earlier names the recording it starts.
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh" calls

set_byte rectype 01
set_byte notifyhistory 00
start_ombra
start_sim "wait-attach
after 1 call 31 incoming bob
after 0.3 call 31 status INPROGRESS
after 2 call 32 incoming carol
after 0.3 call 32 status INPROGRESS
after 2 call 31 status FINISHED
after 2 call 32 status FINISHED
after 2 call 33 outgoing bob
after 0.3 call 33 status ONHOLD
after 1.2 call 34 incoming carol
after 0.3 call 34 status INPROGRESS
after 2 call 34 status FINISHED
after 2 call 33 status FINISHED
after 2 exit"
ud wait-text 1009 15 "Ready for recording ..." >/dev/null || fail "not attached: $(ud text 1009)"
ud wait-text 1009 10 "Recording in progress ..." >/dev/null || fail "first call not recorded"
wait_log 'STEP .*call 31 status FINISHED' 15 || fail "scenario stalled"
sleep 1
[ "$(ud text 1009)" = "Recording in progress ..." ] || fail "stopped while call 32 was active"
pass "the recording goes on after call 31 ends while call 32 is active"
wait_log 'STEP .*call 32 status FINISHED' 10 || fail "scenario stalled"
ud wait-text 1009 5 "Ready for recording ..." >/dev/null || fail "not stopped after the last call"
grep -Eiq 'RECV .*alter call 32 set_output soundcard="default" port="58376"' "$WORK/sim.log" || fail "call 32 not routed"
grep -Eiq 'RECV .*alter call 32 set_capture_mic port="58377"' "$WORK/sim.log" || fail "call 32 mic not routed"

wait_log 'STEP .*call 34 status INPROGRESS' 15 || fail "scenario stalled"
ud wait-text 1009 5 "Recording in progress ..." >/dev/null || fail "second recording not started"
wait_log 'STEP .*call 34 status FINISHED' 10 || fail "scenario stalled"
sleep 1
[ "$(ud text 1009)" = "Recording in progress ..." ] || fail "stopped while call 33 was on hold"
wait_exit "$SIM_PID" 15 || true
ud wait-text 1009 5 "Ready for recording ..." >/dev/null || fail "second recording not stopped"
grep -Eiq 'RECV .*alter call 33 set_output soundcard="default" port="58376"' "$WORK/sim.log" || fail "held call 33 not routed"

for _ in $(seq 50); do [ "$(history_entries | wc -l)" = 2 ] && break; sleep 0.1; done
mapfile -t entries < <(history_entries)
[ "${#entries[@]}" = 2 ] || fail "history: ${entries[*]}"
IFS='|' read -r name1 _ file1 type1 _ _ <<<"${entries[0]}"
IFS='|' read -r name2 _ file2 type2 _ _ <<<"${entries[1]}"
[ "$name1" = "bob,carol" ] || fail "first entry name $name1"
[[ $(basename "${file1//\\//}") == bob_* ]] || fail "first file $file1"
pass "a joining call: entry bob,carol, file named after bob"
[ "$name2" = "bob,carol" ] || fail "second entry name $name2"
[[ $(basename "${file2//\\//}") == bob_* ]] || fail "second file $file2 (the held call began first)"
[ "$type2" = 2 ] || [ "$type2" = 1 ] || fail "second entry type $type2"
pass "a held call that began earlier names the recording: $(basename "${file2//\\//}")"
quit_ombra
E2E_OK=1
echo "e2e calls: all checks passed"
