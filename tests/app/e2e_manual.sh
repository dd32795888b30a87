#!/usr/bin/env bash
# Manual mode: nothing is recorded until the record button is clicked; pause and
# resume leave the paused span out of both the file and the entry's duration;
# the record button stops the recording.
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh" manual

set_byte rectype 00
start_ombra
start_sim "wait-attach
after 1 call 21 incoming carol
after 0.5 call 21 status INPROGRESS
after 16 call 21 status FINISHED
after 2 exit"
ud wait-text 1009 15 "Ready for recording ..." >/dev/null || fail "not attached: $(ud text 1009)"
for _ in $(seq 100); do [ "$(ud enabled 1001)" = 1 ] && break; sleep 0.1; done
[ "$(ud enabled 1001)" = 1 ] || fail "record button not enabled by the call"
sleep 1
[ "$(ud text 1009)" = "Ready for recording ..." ] || fail "manual mode started by itself: $(ud text 1009)"
grep -Eiq 'RECV .*alter call' "$WORK/sim.log" && fail "redirection without the record button"
[ -z "$(ls -A "$RECORD_DIR" 2>/dev/null)" ] || fail "a file without the record button"
pass "call in progress enables the record button and records nothing"

ud click 1001 >/dev/null
ud wait-text 1009 5 "Recording in progress ..." >/dev/null || fail "record click: $(ud text 1009)"
wait_log 'RECV .*alter call 21 set_capture_mic port="58377"' 5 || fail "no redirection after the click"
sleep 2
ud click 1002 >/dev/null
ud wait-text 1009 3 "Recording pause ..." >/dev/null || fail "pause click: $(ud text 1009)"
sleep 4
ud click 1002 >/dev/null
ud wait-text 1009 3 "Recording in progress ..." >/dev/null || fail "resume click: $(ud text 1009)"
sleep 2
ud click 1001 >/dev/null
ud wait-text 1009 5 "Ready for recording ..." >/dev/null || fail "stop click: $(ud text 1009)"
pass "record, pause, resume and stop by the buttons, status line in order"

for _ in $(seq 50); do [ -n "$(history_entries)" ] && break; sleep 0.1; done
entry=$(history_entries)
[ "$(echo "$entry" | wc -l)" = 1 ] || fail "history: $entry"
IFS='|' read -r name time file type duration new <<<"$entry"
[ "$name" = carol ] || fail "entry name $name"
mp3_info "$(linux_path "$file")" || fail "no decodable file for $file"
python3 - "$MP3_SECONDS" "$duration" <<'PY' || fail "pause not left out: file ${MP3_SECONDS}s, entry ${duration}s"
import sys
secs, dur = map(float, sys.argv[1:])
# About 4 s recorded (2 + 2) out of about 8 s between the record and stop clicks.
assert 3.0 <= secs <= 5.8, secs
assert 3 <= dur <= 6, dur
assert abs(secs - dur) <= 1.2
PY
pass "paused span left out: file ${MP3_SECONDS}s, entry ${duration}s"

# The call ends later: nothing more is recorded.
wait_exit "$SIM_PID" 25 || true
sleep 1
[ "$(history_entries | wc -l)" = 1 ] || fail "the end of the call added an entry"
[ "$(ud enabled 1001)" = 0 ] || fail "record button still enabled after the call"
pass "the end of the call after a manual stop adds nothing"
quit_ombra
E2E_OK=1
echo "e2e manual: all checks passed"
