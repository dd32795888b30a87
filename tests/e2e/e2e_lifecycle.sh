#!/usr/bin/env bash
# Start-up and shutdown: defaults written on an empty prefix and the folders
# created; Skype going away and coming back is attached again and recorded; a
# second instance ends at once; quitting during a recording still enters it into
# the history; the window position is saved at exit and restored (a bad one is
# ignored); the refused attach shows its message; a hung Skype neither stops the
# exit nor, through the single-instance mutex, the next start.
# The recorder notices a lost Skype only by its keep-alive (a ping every 30 s,
# then a discover), so the checks that need a running recorder share that wait.
source "$(dirname "$0")/lib.sh"
e2e_init lifecycle

# --- empty prefix: defaults and folders
check "no data folder before the first start" test ! -e "$E2E_APPDATA"
start_ombra || exit 1
check "recording folder Documents\\Ombra created" test -d "$E2E_DOCS"
check "data folder AppData\\Roaming\\Ombra created" test -d "$E2E_APPDATA"
reg_export "$E2E_WORK/first.reg"
user=$(basename "$E2E_USERDIR")
check "empty prefix: all registry values written, with the defaults" \
  py regcheck "$E2E_WORK/first.reg" autostart=any: position=any: notifycov=any: \
  notifyfinish=any: notifyhistory=any: recside=any: abitrate=any: asample=any: \
  rectype=binary:0 amode=dword:1 "sfolder=sz:C:\\users\\$user\\Documents\\Ombra"

# --- Skype comes, goes and comes back: attached again, the next call recorded
# (manual recording, the default of an empty prefix: the record button is clicked)
record_click() {
  ui wait-state 1001 enabled 10
  ui click 1001 && ui wait-text 1009 "Recording in progress ..." 10
}
start_sim --announce --scenario "$E2E_TESTS/lifecycle1.txt" --quit-after 60
check "first call recorded by the record button" record_click
check "first skypesim ends" wait_pid "$SIM_PID" 20
xml=$E2E_APPDATA/record.xml
for _ in $(seq 50); do [ "$(py records "$xml" 2>/dev/null | wc -l)" = 1 ] && break; sleep 0.1; done
check "first call entered" test "$(py records "$xml" | wc -l)" = 1
mv "$E2E_WORK/sim.log" "$E2E_WORK/sim1.log"
start_sim --announce --scenario "$E2E_TESTS/lifecycle2.txt" --quit-after 120

# --- second instance (while the keep-alive runs out)
bash "$E2E_ROOT/scripts/wine.sh" "$E2E_BIN/ombra.exe" </dev/null >>"$E2E_WORK/second.out" 2>&1 &
second=$!
E2E_PIDS+=($second)
check "a second ombra.exe ends at once" wait_pid "$second" 15
ui count
check "the first keeps running: one main window" test "$UI" = 1

check "re-attached after Skype came back" wait_log_re 'ATTACH discover .* -> 0' 75
check "the call after the re-attach is recorded" record_click

# --- quit during the recording: the entry is still written
sleep 2
check "recorder exits on Exit during a recording" quit_ombra
check "two entries after the quit" test "$(py records "$xml" | wc -l)" = 2
check "quit during a recording: entry carol written" py record "$xml" 1 name=carol
file=$(py records "$xml" | sed -n 2p | python3 -c "import sys,json;print(json.load(sys.stdin)['file'])")
check "the file of the quit recording decodes" py mp3 "$(unixpath "$file")"
kill "$SIM_PID" 2>/dev/null

# --- position saved at exit, restored at start; refused attach
reg_export "$E2E_WORK/exit.reg"
position_of() { # REG_FILE: the saved position value
  py reg "$1" | python3 -c "import sys,json;print(json.load(sys.stdin).get('position',['',''])[1])"
}
saved=$(position_of "$E2E_WORK/exit.reg")
check "position saved at exit: $saved" grep -Eq '^-?[0-9]+,-?[0-9]+,-?[0-9]+,-?[0-9]+$' <<<"$saved"
reg_sz position "10,20,330,270"
start_ombra || exit 1
ui rect
check "10,20,330,270 restores the window at 10,20" test "${UI%,*,*}" = "10,20"
start_sim --announce --scenario "$E2E_TESTS/refuse.txt" --quit-after 60 --refuse-attach
check "refused attach: message box" ui box "Ombra Skype Recorder" 15
box=${UI#box pid=* text=}
check "refused attach: its text" \
  bash -c '[[ $1 == "Your skype refused me to access it."*"Please visit the page (http"*"/issue.htm) to resolve the issue!" ]]' \
  _ "$box"
ui text 1008
check "refused attach: label keeps Searching for Skype" test "$UI" = "Searching for Skype"
kill "$SIM_PID" 2>/dev/null
check "recorder exits on Exit" quit_ombra
reg_export "$E2E_WORK/moved.reg"
saved=$(position_of "$E2E_WORK/moved.reg")
check "position after the move: $saved" test "${saved%,*,*}" = "10,20"
reg_sz position "-5,20,330,270"
start_ombra || exit 1
ui rect
l2=${UI%%,*}
check "a negative saved position leaves the template position ($UI)" \
  test "${UI%,*,*}" != "-5,20" -a "${l2:--1}" -ge 0
ui command 2  # Escape ends the program like Exit
check "Escape ends the program" wait_pid "$OMBRA_PID" 20

# --- Skype hangs: exit still ends the process within 5 s, the next start runs
start_ombra || exit 1
start_sim --announce --scenario "$E2E_TESTS/hang.txt" --quit-after 60
check "attached to the Skype that will hang" wait_log_re 'ATTACH discover .* -> 0' 20
check "Skype hangs with the call's queries waiting" wait_log ": hang 60" 20
sleep 1.5  # the sender is now in a send to the hung window
ui exit
t0=$(date +%s%N)
wait_pid "$OMBRA_PID" 20
ms=$(( ($(date +%s%N) - t0) / 1000000 ))
check "exit while Skype hangs ends the process in $ms ms (at most 5000)" test "$ms" -le 5000
start_ombra
sleep 1  # a second instance would have ended by now
check "the next start is not blocked: the new recorder runs" kill -0 "$OMBRA_PID"
check "and it exits as well" quit_ombra
kill "$SIM_PID" 2>/dev/null
e2e_finish
