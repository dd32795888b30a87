#!/usr/bin/env bash
# Skype logging out and in again: the recorder attaches anew (its start-up
# queries run again) and records the next call. (A Skype process that ends and
# a new one found by the keep-alive is covered by the application's lifecycle test.)
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

check "recorder exits on Exit" quit_ombra
e2e_finish
