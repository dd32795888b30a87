#!/usr/bin/env bash
# Start-up and shutdown: defaults written on an empty prefix and the folders
# created; Skype going away and coming back is attached again and recorded; a
# second instance ends at once; quitting during a recording still enters it into
# the history; the window position is saved at exit and restored (a bad one is
# ignored); the refused attach shows its message.
# The recorder notices a lost Skype only by its keep-alive (a ping every 30 s,
# then a discover), so the checks that need a running recorder share that wait.
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh" lifecycle

# --- empty prefix: defaults and folders
[ -e "$DATA_DIR" ] && fail "data folder exists before the first start"
start_ombra
[ -d "$RECORD_DIR" ] || fail "no recording folder $RECORD_DIR"
[ -d "$DATA_DIR" ] || fail "no data folder $DATA_DIR"
config=$(export_config)
for v in autostart position notifycov notifyfinish notifyhistory rectype recside sfolder amode abitrate asample; do
  grep -q "^\"$v\"=" <<<"$config" || fail "registry value $v missing: $config"
done
grep -q '^"rectype"=hex:00' <<<"$config" || fail "rectype default: $(grep rectype <<<"$config")"
grep -q '^"amode"=dword:00000001' <<<"$config" || fail "amode default"
grep -qi "^\"sfolder\"=\"C:\\\\\\\\users\\\\\\\\$WIN_USER\\\\\\\\Documents\\\\\\\\Ombra\"" <<<"$config" || fail "sfolder default: $(grep sfolder <<<"$config")"
pass "empty prefix: all eleven registry values written, folders created"

# --- Skype comes, goes and comes back: attached again, the next call recorded
# (manual recording, the default of an empty prefix: the record button is clicked)
record_click() { # CALL_TEXT: waits for the call to enable the record button, clicks it
  for _ in $(seq 100); do [ "$(ud enabled 1001)" = 1 ] && break; sleep 0.1; done
  ud click 1001 >/dev/null
  ud wait-text 1009 10 "Recording in progress ..." >/dev/null || fail "$1 not recorded: $(ud text 1009)"
}
start_sim "wait-attach
after 1 call 41 incoming bob
after 0.3 call 41 status INPROGRESS
after 4 call 41 status FINISHED
after 1 exit"
record_click "first call"
wait_exit "$SIM_PID" 20 || fail "first skypesim did not end"
for _ in $(seq 50); do [ "$(history_entries | wc -l)" = 1 ] && break; sleep 0.1; done
[ "$(history_entries | wc -l)" = 1 ] || fail "first call not entered"
mv "$WORK/sim.log" "$WORK/sim1.log"
start_sim "wait-attach
after 1 call 42 incoming carol
after 0.3 call 42 status INPROGRESS
after 30 exit" --quit-after 120

# --- second instance (while the keep-alive runs out)
bash "$WINE_SH" "$OMBRA_BIN/ombra.exe" >"$WORK/second.out" 2>&1 &
second=$!
PIDS+=("$second")
wait_exit "$second" 15 || fail "the second instance did not end"
[ "$(ud count-main)" = 1 ] || fail "main windows: $(ud count-main)"
pass "a second ombra.exe ends at once, the first keeps running"

wait_log 'ATTACH discover .* -> 0' 75 || fail "no re-attach after Skype came back"
record_click "call after re-attach"
pass "Skype went away and came back: attached again, the next call is recorded"

# --- quit during the recording: the entry is still written
sleep 2
quit_ombra
mapfile -t entries < <(history_entries)
[ "${#entries[@]}" = 2 ] || fail "history after quit: ${entries[*]}"
IFS='|' read -r name _ file _ duration _ <<<"${entries[1]}"
[ "$name" = carol ] || fail "entry name $name"
mp3_info "$(linux_path "$file")" || fail "file of the quit recording is not decodable"
pass "quit during a recording: entry carol (${duration}s) written, file decodes (${MP3_SECONDS}s)"
kill "$SIM_PID" 2>/dev/null || true

# --- position saved at exit, restored at start; refused attach
config=$(export_config)
saved=$(sed -nE 's/^"position"="(.*)"$/\1/p' <<<"$config")
[[ $saved =~ ^-?[0-9]+,-?[0-9]+,-?[0-9]+,-?[0-9]+$ ]] || fail "saved position: $saved"
set_string position "10,20,330,270"
start_ombra
read -r l t r b <<<"$(ud rect)"
[ "$l $t" = "10 20" ] || fail "restored position: $l $t $r $b"
pass "saved position $saved; 10,20,330,270 restores the window at 10,20"
start_sim "after 10 exit" --refuse-attach
text=$(ud box "Ombra Skype Recorder" 15) || fail "no refused message box"
[[ $text == "Your skype refused me to access it."*"Please visit the page (http"*"/issue.htm) to resolve the issue!" ]] \
  || fail "refused text: $text"
[ "$(ud text 1008)" = "Searching for Skype" ] || fail "user label after refusal: $(ud text 1008)"
kill "$SIM_PID" 2>/dev/null || true
pass "refused attach: message box, label keeps Searching for Skype"
quit_ombra
saved=$(sed -nE 's/^"position"="(.*)"$/\1/p' <<<"$(export_config)")
[[ $saved == 10,20,* ]] || fail "position after the move: $saved"
set_string position "-5,20,330,270"
start_ombra
read -r l2 t2 _ _ <<<"$(ud rect)"
[ "$l2 $t2" != "-5 20" ] && [ "$l2" -ge 0 ] || fail "negative position applied: $l2 $t2"
pass "a negative saved position leaves the template position ($l2 $t2)"
ud command 2 >/dev/null  # Escape ends the program like Exit
wait_exit "$OMBRA_PID" 20 || fail "Escape did not end the program"
pass "Escape ends the program"
E2E_OK=1
echo "e2e lifecycle: all checks passed"
