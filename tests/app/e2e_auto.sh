#!/usr/bin/env bash
# Automatic mode: bob calls alice, the call is recorded from INPROGRESS to FINISHED.
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh" auto

set_byte rectype 01
set_byte notifyhistory 00
start_ombra
ud wait-text 1009 5 "Waiting to access Skype ..." >/dev/null || ud wait-text 1009 1 "Ready for recording ..." >/dev/null \
  || fail "status line at start: $(ud text 1009)"
[ "$(ud enabled 1001)" = 0 ] || fail "record button enabled before any call"

start_sim "wait-attach
after 1 call 17 incoming bob
after 0.5 call 17 status INPROGRESS
after 4 call 17 status FINISHED
after 3 exit"
ud wait-text 1009 15 "Ready for recording ..." >/dev/null || fail "not ready after attach: $(ud text 1009)"
[ "$(ud text 1008)" = alice ] || fail "user label: $(ud text 1008)"
pass "attached: user label alice, status ready"

ud wait-text 1009 10 "Recording in progress ..." >/dev/null || fail "no recording status: $(ud text 1009)"
[ "$(ud enabled 1002)" = 1 ] || fail "pause button disabled while recording"
pass "recording in progress shown, pause enabled"
ud wait-text 1009 15 "Ready for recording ..." >/dev/null || fail "not ready after the call: $(ud text 1009)"
[ "$(ud enabled 1002)" = 0 ] || fail "pause button enabled after the call"
wait_exit "$SIM_PID" 10 || true

grep -Eiq 'RECV .*alter call 17 set_output soundcard="default" port="58376"' "$WORK/sim.log" || fail "no output redirection"
grep -Eiq 'RECV .*alter call 17 set_capture_mic port="58377"' "$WORK/sim.log" || fail "no microphone redirection"
pass "both redirections for call 17 received by Skype"

for _ in $(seq 50); do [ -n "$(history_entries)" ] && break; sleep 0.1; done
entry=$(history_entries)
[ "$(echo "$entry" | wc -l)" = 1 ] || fail "history: $entry"
IFS='|' read -r name time file type duration new <<<"$entry"
[ "$name" = bob ] || fail "entry name $name"
[ "$type" = 1 ] || fail "entry type $type (incoming is 1)"
[ "$new" = 1 ] || [ "$new" = true ] || [ "$new" = True ] || fail "entry new mark $new"
mp3=$(linux_path "$file")
[ -f "$mp3" ] || fail "no file $mp3"
base=$(basename "$mp3")
[[ $base =~ ^bob_[0-9]{4}-[0-9]{2}-[0-9]{2}_[0-9]{2}-[0-9]{2}-[0-9]{2}\.mp3$ ]] || fail "file name $base"
stamp=$(date -d "@$time" +%Y-%m-%d_%H-%M-%S)
[ "$base" = "bob_$stamp.mp3" ] || fail "file name $base does not match start time $stamp"
pass "record.xml: bob, incoming, new, file $base"

mp3_info "$mp3" || fail "mpg123 cannot decode $mp3"
channels=$MP3_CHANNELS; rate=$MP3_RATE; secs=$MP3_SECONDS
[ "$channels" = 2 ] || fail "channels $channels"
[ "$rate" = 32000 ] || fail "sample rate $rate"
[ "$MP3_KBPS" = 64 ] || fail "bit rate $MP3_KBPS"
left=$(channel_freq "$MP3_WAV" 1); right=$(channel_freq "$MP3_WAV" 2)
python3 - "$left" "$right" "$secs" "$duration" <<'PY' || fail "tones or duration: left=$left right=$right secs=$secs duration=$duration"
import sys
left, right, secs, dur = map(float, sys.argv[1:])
assert abs(left - 440) < 40, "left"
assert abs(right - 1000) < 60, "right"
assert 2.5 < secs < 6.0, "length"
assert abs(dur - secs) <= 1.2, "duration"
PY
pass "MP3: stereo 32 kHz 64 kbit/s, my side 440 Hz left ($left), remote 1000 Hz right ($right), ${secs}s, entry ${duration}s"

quit_ombra
E2E_OK=1
echo "e2e auto: all checks passed"
