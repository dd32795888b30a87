#!/usr/bin/env bash
# Skype going away and coming back. First alice logs out and in again: the
# recorder attaches anew (its start-up queries run again) and records the next
# call. Then Skype ends and a new Skype process starts: the keep-alive finds
# the old window gone, re-discovers, and the new Skype's call is recorded.
source "$(dirname "$0")/lib.sh"
e2e_init skype

reg_byte rectype 1
reg_byte notifyhistory 0
start_ombra || exit 1
start_sim --announce --scenario "$E2E_TESTS/relogin.txt" --quit-after 40
check "first Skype ends its scenario" wait_pid "$SIM_PID" 30
sim1=$E2E_WORK/sim1.log
mv "$E2E_WORK/sim.log" "$sim1"
check "logged out and in again" grep -q "STEP line 4: login" "$sim1"
check "discovered again after the login" \
  test "$(grep -c 'ATTACH discover from .* -> 0' "$sim1")" -ge 2
check "start-up queries sent again after the login" \
  test "$(grep -ci 'RECV get currentuserhandle' "$sim1")" -ge 2
check "call 50 after the login redirected" grep -qi 'RECV alter call 50 set_capture_mic port="58377"' "$sim1"
xml=$E2E_APPDATA/record.xml
check "entry for carol" py record "$xml" 0 name=carol type=1 duration~=3:1

# The first Skype is gone; a new one starts. The recorder is still attached to
# the old window until its keep-alive misses the answer and broadcasts again.
t0=$(date +%s)
start_sim --announce --scenario "$E2E_TESTS/comeback.txt" --quit-after 100
check "the new Skype is discovered" wait_log "ATTACH discover" 80
e2e_log "re-discovered after $(( $(date +%s) - t0 )) s"
check "the new Skype's call ends" wait_log "STATUS FINISHED" 20
check "second Skype ends its scenario" wait_pid "$SIM_PID" 10
check "call 51 redirected to both ports" py simrecv "$E2E_WORK/sim.log" \
  'alter call 51 set_output soundcard="default" port="58376"' \
  'alter call 51 set_capture_mic port="58377"'
for _ in $(seq 30); do [ "$(py records "$xml" | wc -l)" -ge 2 ] && break; sleep 0.2; done
check "entry for bob, outgoing" py record "$xml" 1 name=bob type=2 duration~=3:1
mp3s=("$E2E_DOCS"/bob_*.mp3)
check "bob's recording has both sides" py mp3 "${mp3s[0]}" --left 440 --right 1000 --seconds 3 --tol 1.2
check "recorder exits on Exit" quit_ombra
e2e_finish
