#!/usr/bin/env bash
# Whose calls are recorded, and how long recordings are kept: a call with a
# contact on the "never" list leaves no file and no entry; with an "only" list
# the listed contact's call is recorded and another call joining it stays out;
# recordings older than the kept days go to the Recycle Bin with their entries
# at start-up, while newer ones and files outside the recording folder stay.
source "$(dirname "$0")/lib.sh"
e2e_init rules

rec="$WINEPREFIX/drive_c/rec rules"
mkdir -p "$rec"
reg_byte rectype 1
reg_byte notifyhistory 0
reg_sz sfolder 'C:\rec rules'
reg_dword rulemode 2
wine_run reg add "$CONFIG_KEY" /v rulelist /t REG_MULTI_SZ /d bob /f

# --- "never" bob
start_ombra || exit 1
start_sim --announce --scenario "$E2E_TESTS/rules1.txt" --quit-after 40
check "bob's call finished in skypesim" wait_log "STATUS FINISHED" 20
check "skypesim ends" wait_pid "$SIM_PID" 15
check "recorder exits on Exit" quit_ombra
check "no redirection for bob's call" bash -c "! grep -Eiq 'RECV .*alter call 51' '$E2E_WORK/sim.log'"
check "no file for bob" test -z "$(ls -A "$rec")"
xml=$E2E_APPDATA/record.xml
check "no history entry for bob" test "$(py records "$xml" 2>/dev/null | wc -l)" = 0
mv "$E2E_WORK/sim.log" "$E2E_WORK/sim1.log"

# --- a history with old recordings, kept for 30 days
now=$(date +%s)
for f in old1 old2 recent; do head -c 5000 /dev/urandom >"$rec/$f.mp3"; done
mkdir -p "$WINEPREFIX/drive_c/elsewhere"
head -c 5000 /dev/urandom >"$WINEPREFIX/drive_c/elsewhere/outside.mp3"
python3 - "$xml" "$now" <<'PY'
import sys
path, now = sys.argv[1], int(sys.argv[2])
day = 86400
rows = [("old1", now - 40 * day, r"C:\rec rules\old1.mp3"), ("old2", now - 35 * day, r"C:\rec rules\old2.mp3"),
        ("outside", now - 50 * day, r"C:\elsewhere\outside.mp3"), ("recent", now - 2 * day, r"C:\rec rules\recent.mp3")]
xml = '<?xml version="1.0" encoding="UTF-8" standalone="no"?><quern><list>'
for i, (name, t, f) in enumerate(rows):
    xml += ('<rec2020010100000%d><name>%s</name><time>%d</time><file>%s</file><type>1</type>'
            '<duration>5</duration><new>true</new><note></note></rec2020010100000%d>' % (i, name, t, f, i))
open(path, 'w', encoding='utf-8').write(xml + '</list></quern>')
PY
reg_dword keepmode 1
reg_dword keepdays 30

# --- "only" carol
reg_dword rulemode 1
wine_run reg add "$CONFIG_KEY" /v rulelist /t REG_MULTI_SZ /d carol /f
start_ombra || exit 1
trash=$OMBRA_WINE_DIR/home/.local/share/Trash/files
check "the two old recordings are in the trash" test -f "$trash/old1.mp3" -a -f "$trash/old2.mp3"
check "the recent recording and the one outside the folder stay" \
  test -f "$rec/recent.mp3" -a -f "$WINEPREFIX/drive_c/elsewhere/outside.mp3"
check "entries left: outside, recent" test "$(py records "$xml" | python3 -c \
  "import sys,json;print(','.join(json.loads(l)['name'] for l in sys.stdin))")" = outside,recent
start_sim --announce --scenario "$E2E_TESTS/rules2.txt" --quit-after 40
check "carol's call recorded" ui wait-text 1009 "Recording in progress ..." 20
check "skypesim ends" wait_pid "$SIM_PID" 20
check "stopped after carol's call" ui wait-text 1009 "Ready for recording ..." 5
check "recorder exits on Exit" quit_ombra
check "carol's call routed" grep -Eiq 'RECV .*alter call 61 set_output' "$E2E_WORK/sim.log"
check "dave's joining call not routed" bash -c "! grep -Eiq 'RECV .*alter call 62' '$E2E_WORK/sim.log'"
check "three entries, the last one carol alone" py record "$xml" 2 name=carol
check "exactly three entries" test "$(py records "$xml" | wc -l)" = 3
mp3s=("$rec"/carol_*.mp3)
check "one MP3 named after carol" test "${#mp3s[@]}" = 1 -a -f "${mp3s[0]}"
check "carol's MP3 decodes, about 5 s" py mp3 "${mp3s[0]}" --seconds 5 --tol 1.5
e2e_finish
