#!/usr/bin/env bash
# The release: scripts/package.sh packs the built ombra.exe; the installer, run
# silently, puts the program, its Start-menu shortcut and its Uninstall key in
# place; the installed recorder starts and records a call; a silent uninstall
# during that recording ends it (the recording is finished and entered) and
# removes what the installer added, while the recording, record.xml and the
# settings stay. A second round uninstalls the way
# the list of programs does (the uninstaller copies itself away and deletes
# itself and the folder).
source "$(dirname "$0")/lib.sh"
e2e_init install

DIST=$E2E_WORK/dist
OMBRA_BUILD_DIR=$OMBRA_BUILD OMBRA_DIST_DIR=$DIST bash "$E2E_ROOT/scripts/package.sh" --no-build >"$E2E_WORK/package.out" 2>&1
check "package.sh made the installer and the zip" test $? = 0
cat "$E2E_WORK/package.out"
VERSION=$(sed -n 's/^!define VERSION "\(.*\)"$/\1/p' "$OMBRA_BUILD/generated/version.nsh")
SETUP=$DIST/OmbraSetup-$VERSION.exe
ZIP=$DIST/Ombra-$VERSION-portable.zip
check "zip holds ombra.exe and README.txt" bash -c \
  "python3 -m zipfile -l '$ZIP' | awk 'NR>1 {print \$1}' | sort | tr '\n' ' ' | grep -qx 'README.txt ombra.exe '"

USER_NAME=$(basename "$E2E_USERDIR")
INST_WIN="C:\\users\\$USER_NAME\\AppData\\Local\\Programs\\Ombra"
INST=$E2E_USERDIR/AppData/Local/Programs/Ombra
LNK="$E2E_USERDIR/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Ombra Skype Recorder.lnk"
UNINST_KEY='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Ombra'
RUN_KEY='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
reg_file() { rm -f "$2"; wine_run reg export "$1" "$(winpath "$2")"; }

t0=$(date +%s.%N)
wine_run "$SETUP" /S
check "silent install succeeds" test $? = 0
t1=$(date +%s.%N)
check "ombra.exe and the uninstaller installed" test -f "$INST/ombra.exe" -a -f "$INST/Uninstall.exe"
check "installed ombra.exe is the built one" cmp -s "$INST/ombra.exe" "$E2E_BIN/ombra.exe"
check "Start-menu shortcut" test -s "$LNK"
reg_file "$UNINST_KEY" "$E2E_WORK/uninst.reg"
check "Uninstall key: name, version, publisher, icon, size, uninstaller" py regcheck "$E2E_WORK/uninst.reg" \
  "DisplayName=sz:Ombra Skype Recorder" "DisplayVersion=sz:$VERSION" "Publisher=sz:Ombra" \
  "DisplayIcon=sz:$INST_WIN\\ombra.exe,0" "InstallLocation=sz:$INST_WIN" \
  "UninstallString=sz:\"$INST_WIN\\Uninstall.exe\"" "EstimatedSize=any:"
size_kb=$(py reg "$E2E_WORK/uninst.reg" | python3 -c 'import json,sys; print(json.load(sys.stdin)["EstimatedSize"][1])')
check "EstimatedSize is the size of the installed files ($size_kb KiB)" \
  test "$size_kb" -ge $(( $(stat -c %s "$INST/ombra.exe") / 1024 ))

# The installed recorder, in automatic mode, started with Windows (the Run value
# the options write), records a call; the uninstall comes in the middle of it.
reg_byte rectype 1
reg_byte notifyhistory 0
wine_run reg add "$RUN_KEY" /v Ombra /t REG_SZ /d "\"$INST_WIN\\ombra.exe\"" /f
start_ombra "$INST/ombra.exe"
check "installed ombra.exe shows its main window" test $? = 0
t2=$(date +%s.%N)
e2e_log "$(python3 -c "import sys; a,b,c=map(float,sys.argv[1:]); print('silent install %.1f s, main window %.1f s after the install began' % (b-a, c-a))" "$t0" "$t1" "$t2")"
printf '%s\n' 'wait-attach' 'after 1.5 call 17 incoming bob' 'after 0.5 call 17 status INPROGRESS' \
  'after 30 call 17 status FINISHED' 'after 2 exit' >"$E2E_WORK/call.txt"
start_sim --announce --scenario "$(winpath "$E2E_WORK/call.txt")" --quit-after 60
ui wait-text 1009 "Recording in progress ..." 30
check "installed recorder records the call" test $? = 0
t_rec=$(date +%s.%N)
sleep 3

wine_run "$INST/Uninstall.exe" /S "_?=$INST_WIN"
check "silent uninstall succeeds" test $? = 0
t_un=$(date +%s.%N)
check "uninstall ended the running recorder" wait_pid "$OMBRA_PID" 5
ui count
check "no main window left" test "$UI" = 0
check "ombra.exe removed" test ! -e "$INST/ombra.exe"
check "shortcut removed" test ! -e "$LNK"
reg_file "$UNINST_KEY" "$E2E_WORK/uninst-after.reg"
check "Uninstall key removed" test ! -s "$E2E_WORK/uninst-after.reg"
reg_file "$RUN_KEY" "$E2E_WORK/run-after.reg"
check "Run value \"Ombra\" removed" bash -c "! grep -q '\"Ombra\"=' '$E2E_WORK/run-after.reg'"
# The Exit the uninstaller gave finished the recording and entered it.
xml=$E2E_APPDATA/record.xml
mp3s=("$E2E_DOCS"/bob_*.mp3)
check "one recording of bob kept" test "${#mp3s[@]}" = 1 -a -s "${mp3s[0]}"
secs=$(python3 -c "import sys; print('%.1f' % (float(sys.argv[2]) - float(sys.argv[1])))" "$t_rec" "$t_un")
check "recording holds both sides up to the uninstall (about $secs s)" \
  py mp3 "${mp3s[0]}" --left 440 --right 1000 --seconds "$secs" --tol 1.5
check "record.xml kept with the call's entry" py record "$xml" -1 name=bob type=1 \
  'file$=\'"$(basename "${mp3s[0]}")"
sums=$(md5sum "${mp3s[0]}" "$xml")
kill "$SIM_PID" 2>/dev/null
reg_export "$E2E_WORK/config-after.reg"
check "settings kept" py regcheck "$E2E_WORK/config-after.reg" "rectype=binary:1"
# Run in place (_?=), the uninstaller cannot delete itself.
rm -f "$INST/Uninstall.exe"; rmdir "$INST" 2>/dev/null

# Second round: installed again, removed as the list of programs does it.
wine_run "$SETUP" /S
check "second install" test -f "$INST/Uninstall.exe"
wine_run "$INST/Uninstall.exe" /S
gone() { for i in $(seq 150); do [ ! -e "$INST" ] && [ ! -e "$LNK" ] && return 0; sleep 0.2; done; return 1; }
check "uninstaller removes itself, the folder and the shortcut" gone
check "recording and record.xml still unchanged" bash -c "md5sum -c --quiet <<<'$sums'"
e2e_finish
