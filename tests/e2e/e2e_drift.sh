#!/usr/bin/env bash
# A 30 s call whose sides' clocks drift from the recorder's: my microphone runs
# 3,000 ppm slow, the remote side 3,000 ppm fast, each with a tone burst at every
# second of its own clock. In the file each side's bursts stay within 20 ms of
# when they were sent (burst k, k/(1 + ppm/10^6) s after the side's first), and
# no side has a hole: no silence inside a burst, no gap between two longer than
# the source's own.
source "$(dirname "$0")/lib.sh"
e2e_init drift

reg_byte rectype 1
reg_byte notifyhistory 0
reg_dword asample 1
reg_dword abitrate 1
reg_dword amode 1
start_ombra || exit 1
start_sim --announce --scenario "$E2E_TESTS/drift.txt" --quit-after 60 \
  --mic burst:440:12000 --remote burst:1000:12000 --mic-ppm -3000 --remote-ppm 3000
check "attached" ui wait-text 1009 "Ready for recording ..." 15
check "call recorded" ui wait-text 1009 "Recording in progress ..." 10
check "call finished in skypesim" wait_log_re 'STEP .*call 51 status FINISHED' 45
check "stopped after the call" ui wait-text 1009 "Ready for recording ..." 5
wait_pid "$SIM_PID" 10

xml=$E2E_APPDATA/record.xml
end=$((SECONDS + 5))
while [ "$(py records "$xml" 2>/dev/null | wc -l)" != 1 ] && [ $SECONDS -lt $end ]; do sleep 0.2; done
check "one entry: bob, about 30 s" py record "$xml" 0 name=bob duration~=30:2
mp3s=("$E2E_DOCS"/bob_*.mp3)
check "one file named after bob" test "${#mp3s[@]}" = 1 -a -f "${mp3s[0]}"
check "each side's bursts within 20 ms of their send times, no hole" \
  python3 "$E2E_ROOT/tests/audio/mp3check.py" "${mp3s[0]}" --rate 32000 --channels 2 --kbps 64 \
  --seconds 30 --tolerance 2 --bursts --ppm 0:-3000 --ppm 1:3000 --max-offset-ms 20 --holes
check "recorder exits on Exit" quit_ombra
e2e_finish
