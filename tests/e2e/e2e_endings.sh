#!/usr/bin/env bash
# However the recorder ends, no recording is lost: record.xml held open by another
# program while a call is recorded keeps its older entries and gains the new one
# once it is free; a recorder killed during a recording enters that recording at
# its next start from the journal it left; a Windows session that ends during a
# recording writes the entry, closes the file and saves the window position.
source "$(dirname "$0")/lib.sh"
e2e_init endings

reg_byte rectype 1
reg_byte notifyhistory 0
reg_byte notifyfinish 0
xml=$E2E_APPDATA/record.xml
user=$(basename "$E2E_USERDIR")
winxml="C:\\users\\$user\\AppData\\Roaming\\Ombra\\record.xml"
entries() { py records "$xml" 2>/dev/null | wc -l; }
wait_entries() { # N SECONDS
  local n=$(( $2 * 10 ))
  while [ $n -gt 0 ]; do [ "$(entries)" = "$1" ] && return 0; sleep 0.1; n=$((n - 1)); done
  return 1
}

# --- record.xml held without sharing while the recorder starts and records
mkdir -p "$E2E_APPDATA"
printf '%s' '<?xml version="1.0" encoding="UTF-8" standalone="no"?><quern><list><rec20100512093015><name>older</name><time>1273656615</time><file>C:\rec\older.mp3</file><type>1</type><duration>65</duration><new>false</new><note/></rec20100512093015></list></quern>' >"$xml"
cp "$xml" "$E2E_WORK/older.xml"
ui_bg hold.txt hold "$winxml" 20
for _ in $(seq 100); do grep -q held "$E2E_WORK/hold.txt" 2>/dev/null && break; sleep 0.1; done
check "another program holds record.xml" grep -q held "$E2E_WORK/hold.txt"
start_ombra || exit 1
start_sim --announce --scenario "$E2E_TESTS/endings1.txt" --quit-after 30
check "call recorded while record.xml is held" wait_log "STATUS FINISHED" 20
sleep 2
check "held record.xml is not saved over" cmp -s "$xml" "$E2E_WORK/older.xml"
for _ in $(seq 300); do grep -q released "$E2E_WORK/hold.txt" 2>/dev/null && break; sleep 0.1; done
check "the new entry is in the file once it is free" wait_entries 2 15
check "the older entry is kept, first" py record "$xml" 0 name=older duration=65
check "the new entry follows it" py record "$xml" 1 name=bob new=true
check "no unreadable copy" test -z "$(ls "$E2E_APPDATA" | grep -v '^record.xml$')"
ui history-count
rows_two=$UI
check "the history window shows the older entry too ($UI rows)" test "${UI:-0}" -ge 5
check "recorder exits" quit_ombra
wait_pid "$SIM_PID" 10

# --- killed during a recording: the next start enters it from the journal
start_ombra || exit 1
start_sim --announce --scenario "$E2E_TESTS/endings2.txt" --quit-after 40
check "carol's call is recorded" ui wait-text 1009 "Recording in progress ..." 15
sleep 5
check "a journal lies beside record.xml" test -n "$(ls "$E2E_APPDATA" | grep journal)"
ui find
winpid=${UI#*pid=}; winpid=${winpid%% *}
wine_run taskkill /F /PID "$winpid"
check "recorder killed" wait_pid "$OMBRA_PID" 10
kill "$SIM_PID" 2>/dev/null; wait_pid "$SIM_PID" 5
check "no entry for carol yet" test "$(entries)" = 2
mp3s=("$E2E_DOCS"/carol_*.mp3)
secs=$(py mp3 "${mp3s[0]}" | sed -n 's/^decoded: .* seconds=\([0-9.]*\).*/\1/p')
e2e_log "the killed recording's file decodes to $secs s"
# Beside it, a journal whose file is gone from its folder and one that is not a journal at all.
printf 'ombra recording journal 1\nfile=C:\\zed.mp3\nname=zed\ntime=5\ntype=1\n' \
  >"$E2E_APPDATA/recording-5.journal"
head -c 300 /dev/urandom >"$E2E_APPDATA/recording-6.journal"
start_ombra || exit 1
check "only carol's entry is added" test "$(entries)" = 3
check "entry for carol after the restart: new, duration within 2 s of the file" \
  py record "$xml" 2 name=carol new=true type=1 "duration~=$secs:2"
check "every journal is gone" test -z "$(ls "$E2E_APPDATA" | grep journal)"
ui history-count
check "the history window shows it ($UI rows)" test "${UI:-0}" -gt "${rows_two:-0}"

# --- the Windows session ends during a recording
mv "$E2E_WORK/sim.log" "$E2E_WORK/sim2.log"
start_sim --announce --scenario "$E2E_TESTS/endings2.txt" --quit-after 40
check "a second call of carol is recorded" ui wait-text 1009 "Recording in progress ..." 15
t0=$(date +%s.%N)
ui move 40 60
sleep 5
t1=$(date +%s.%N)
wine_run wineboot --end-session --shutdown
check "the recorder ends with the session" wait_pid "$OMBRA_PID" 20
check "the entry is written" test "$(entries)" = 4
want=$(python3 -c "print('%.1f' % ($t1 - $t0))")
mp3s=($(ls -t "$E2E_DOCS"/carol_*.mp3))
check "its file decodes to the recorded length (about $want s)" py mp3 "${mp3s[0]}" --seconds "$want" --tol 1.5
check "the entry's duration matches ($want s)" py record "$xml" 3 name=carol "duration~=$want:1.5"
reg_export "$E2E_WORK/end.reg"
check "the window position is saved" python3 -c "
import json,sys
v=json.loads(sys.argv[1]).get('position',['',''])[1]
print('position', v)
sys.exit(0 if v.startswith('40,60,') else 1)" "$(py reg "$E2E_WORK/end.reg")"
e2e_finish
