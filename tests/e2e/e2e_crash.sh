#!/usr/bin/env bash
# A recorder that crashes during a recording leaves a minidump and a line in its
# log; the next start notes the dump and enters the recording from its journal.
# The fault comes from outside: a thread of another program starting at address 1.
source "$(dirname "$0")/lib.sh"
e2e_init crash

# Should the recorder's own handler fail, Wine's debugger takes over: it must not
# wait behind a crash dialog that nobody sees.
wine_run reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
reg_byte rectype 1
reg_byte notifyhistory 0
reg_byte notifyfinish 0
logdir=$E2E_USERDIR/AppData/Local/Ombra
log=$logdir/ombra.log
xml=$E2E_APPDATA/record.xml

start_ombra || exit 1
start_sim --announce --scenario "$E2E_TESTS/endings2.txt" --quit-after 40
check "carol's call is recorded" ui wait-text 1009 "Recording in progress ..." 15
sleep 5
check "a faulting thread is started in the recorder" ui crash
# Wine's dump writer is slow: 4 s for a bare program here, over 20 s for the recorder.
check "the recorder ends" wait_pid "$OMBRA_PID" 90
kill "$SIM_PID" 2>/dev/null; wait_pid "$SIM_PID" 5
dumps=("$logdir"/ombra-crash-*.dmp)
check "one dump beside the log" test "${#dumps[@]}" = 1 -a -f "${dumps[0]}"
check "it is a minidump" test "$(head -c 4 "${dumps[0]}" 2>/dev/null)" = MDMP
e2e_log "dump: $(basename "${dumps[0]}"), $(stat -c %s "${dumps[0]}") bytes"
check "the log names the fault and the dump" grep -Eq 'crash: exception 0xc0000005 at 0*1 .*dump written: .*ombra-crash-' "$log"
check "the log has the attach, the call and the recording's start" grep -q 'Skype attached' "$log"
check "... the call" grep -Eq 'call 62 status INPROGRESS' "$log"
check "... the recording's start" grep -Eq 'recording started: .*carol_.*\.mp3 \(stereo' "$log"
mp3s=("$E2E_DOCS"/carol_*.mp3)
secs=$(py mp3 "${mp3s[0]}" | sed -n 's/^decoded: .* seconds=\([0-9.]*\).*/\1/p')
e2e_log "the crashed recording's file decodes to $secs s"

start_ombra || exit 1
check "the next start notes the dump" grep -Eq 'crash dump from [-0-9: ]+ found: .*ombra-crash-[-0-9]+\.dmp' "$log"
check "the recording is entered: new, duration within 2 s of the file" \
  py record "$xml" 0 name=carol new=true type=1 "duration~=${secs:-0}:2"
check "... and logged" grep -q 'recording entered from its journal: .*carol_' "$log"
check "recorder exits" quit_ombra
check "the exit and its reason are logged" grep -q 'exit: Exit command' "$log"
check "the dump is kept, noted once" test "$(grep -c 'crash dump from' "$log")" = 1 -a -f "$(ls "$logdir"/ombra-crash-*.dmp)"
e2e_log "log: $(wc -l <"$log") lines, $(stat -c %s "$log") bytes"
cp "$log" "$E2E_WORK/ombra.log"
e2e_finish
