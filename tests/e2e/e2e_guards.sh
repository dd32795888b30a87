#!/usr/bin/env bash
# The recording guards, with the test standing in for the taskbar to read the tray
# balloons. A microphone that sends only silence is told once and marks the entry.
# The recording folder is on a 300 MB drive: each recording is warned about once;
# the drive filled to 50 MB during a call ends that recording with a box, its entry
# and a file that decodes; a call while the drive is full records nothing and says
# why; once there is room again the next call is recorded, and a drive that fills up
# at once leaves the writer's box, the entry and a file that decodes up to there.
source "$(dirname "$0")/lib.sh"
e2e_init guards

drive=$E2E_WORK/drive
mkdir -p "$drive"
mount -t tmpfs -o size=300m tmpfs "$drive" || { e2e_log "a tmpfs cannot be mounted here (needs root)"; exit 1; }
trap 'rc=$?; umount -l "$drive"; (exit $rc); e2e_cleanup' EXIT
mkdir -p "$drive/Ombra"
ln -s "$drive" "$WINEPREFIX/dosdevices/r:"
# The Linux path of a recording on R:.
rpath() { local p=${1#[Rr]:}; printf '%s%s\n' "$drive" "${p//\\//}"; }

reg_byte rectype 1
reg_byte notifyhistory 0
reg_sz sfolder 'R:\Ombra'
ui_bg tray.txt taskbar 100
sleep 1
start_ombra || exit 1
start_sim --announce --scenario "$E2E_TESTS/guards.txt" --mic silence --quit-after 90
check "attached" ui wait-text 1009 "Ready for recording ..." 15
check "bob's call recorded" ui wait-text 1009 "Recording in progress ..." 10
check "call 42 in progress in skypesim" wait_log_re 'STEP .*call 42 status INPROGRESS' 30
check "carol's call recorded" ui wait-text 1009 "Recording in progress ..." 5
avail=$(df -B1 --output=avail "$drive" | tail -1)
fallocate -l $((avail - 50 * 1024 * 1024)) "$drive/fill"
e2e_log "drive: $(df -h --output=avail "$drive" | tail -1) left"
check "the recording stops within the 10 s of a check" ui wait-text 1009 "Ready for recording ..." 12
ui box "Ombra Skype Recorder" 5 ok
check "one box says why it stopped: $UI" grep -q "The recording was stopped: only 4[0-9] MB are left on the drive R:" <<<"$UI"

check "call 43 in progress in skypesim" wait_log_re 'STEP .*call 43 status INPROGRESS' 15
ui box "Ombra Skype Recorder" 5 ok
check "the start on a full drive says why: $UI" grep -q "The recording did not start: only 4[0-9] MB" <<<"$UI"
ui text 1009
check "nothing recorded while the drive is full" test "$UI" = "Ready for recording ..."
check "call 43 finished in skypesim" wait_log_re 'STEP .*call 43 status FINISHED' 10
rm -f "$drive/fill"
check "with room again, the next call is recorded" ui wait-text 1009 "Recording in progress ..." 10
sleep 3
dd if=/dev/zero of="$drive/full" bs=1M 2>/dev/null
e2e_log "drive: $(df -B1 --output=avail "$drive" | tail -1) bytes left"
check "and the recording stops at the next check" ui wait-text 1009 "Ready for recording ..." 12
# The writer's box when a write failed before the check came, otherwise the guard's.
ui box "Ombra Skype Recorder" 5 ok
check "one box says why: $UI" grep -Eiq \
  "could not be written to the file 'R:.*(space|full)|The recording was stopped: only 0 MB" <<<"$UI"
no_second_box() { ! ui box "Ombra Skype Recorder" 2 ok; }
check "with no second box" no_second_box
wait_pid "$SIM_PID" 30

xml=$E2E_APPDATA/record.xml
for _ in $(seq 50); do [ "$(py records "$xml" 2>/dev/null | wc -l)" = 3 ] && break; sleep 0.1; done
check "three entries" test "$(py records "$xml" | wc -l)" = 3
file_of() { py records "$xml" | sed -n "$1p" | python3 -c "import sys,json;print(json.load(sys.stdin)['file'])"; }
check "bob's silent microphone marks his entry" py record "$xml" 0 @onesided=mic duration~=19:1.5
check "bob's file decodes, the other side on the right" py mp3 "$(rpath "$(file_of 1)")" --right 1000 --seconds 19 --tol 1.5
dur2=$(py records "$xml" | sed -n 2p | python3 -c "import sys,json;print(json.load(sys.stdin)['duration'])")
check "carol's recording ended early ($dur2 s of 14)" test "$dur2" -ge 2 -a "$dur2" -le 13
check "carol's file decodes and is as long as its entry" \
  py mp3 "$(rpath "$(file_of 2)")" --right 1000 --seconds "$dur2" --tol 1.5
check "the entry without 15 s of silence carries no mark" py record "$xml" 1 @onesided=
check "the recording after room was made is entered" py record "$xml" 2 name=bob
dur3=$(py records "$xml" | sed -n 3p | python3 -c "import sys,json;print(json.load(sys.stdin)['duration'])")
check "its file decodes up to the full drive and is as long as its entry ($dur3 s)" \
  py mp3 "$(rpath "$(file_of 3)")" --right 1000 --seconds "$dur3" --tol 1.5

cat "$E2E_WORK/tray.txt"
check "the tray icon reached the stand-in taskbar" grep -q "^tray add id=1 " "$E2E_WORK/tray.txt"
check "every recording was warned about the drive once" \
  test "$(grep -c 'title=Little disk space left | info=Only [0-9]* MB are left on the drive R:' "$E2E_WORK/tray.txt")" = 3
check "one balloon names the silent microphone" \
  test "$(grep -c 'title=Your microphone is silent | info=Your microphone has sent only silence' "$E2E_WORK/tray.txt")" = 1
check "recorder exits on Exit" quit_ombra
e2e_finish
