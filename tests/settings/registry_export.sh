#!/usr/bin/env bash
# Saves a profile under Wine and reads the key back with Wine's own reg export,
# which keeps non-ASCII text exact, then checks every value's type and data.
set -euo pipefail
OUT_DIR=$(mktemp -d)
WINE="$OMBRA_ROOT/scripts/wine.sh"
cleanup() {
  bash "$WINE" reg delete 'HKCU\software\Ombra' /f </dev/null >/dev/null 2>&1 || true
  rm -rf "$OUT_DIR"
}
trap cleanup EXIT
OMBRA_PROFILE_EXPORT=1 bash "$WINE" "$OMBRA_BIN/test_settings.exe" \
  --gtest_filter=ProfileExport.SaveForTheExportCheck </dev/null >"$OUT_DIR/run.txt" 2>&1 || {
  cat "$OUT_DIR/run.txt"; exit 1; }
grep -q '\[  PASSED  \] 1 test' "$OUT_DIR/run.txt" || { cat "$OUT_DIR/run.txt"; exit 1; }
bash "$WINE" reg export 'HKCU\software\Ombra\config' "Z:${OUT_DIR//\//\\}\\config.reg" /y \
  </dev/null >"$OUT_DIR/export.txt" 2>&1 || { cat "$OUT_DIR/export.txt"; exit 1; }
python3 - "$OUT_DIR/config.reg" <<'PY'
import re, sys
raw = open(sys.argv[1], 'rb').read()
text = raw.decode('utf-16')
# Long hex data goes on over lines ending in a backslash.
text = re.sub(r'\\\n\s*', '', text.replace('\r\n', '\n'))
lines = [l for l in text.split('\n') if l.startswith('"')]
values = dict(l.split('=', 1) for l in lines)
want = {
    '"autostart"': 'hex:01',
    '"notifycov"': 'hex:01',
    '"notifyfinish"': 'hex:01',
    '"notifyhistory"': 'hex:01',
    '"position"': '"-5,10,315,130"',
    '"rectype"': 'hex:01',
    '"recside"': 'dword:00000002',
    '"sfolder"': '"C:\\\\Users\\\\Zo\u00eb\\\\\u5f55\u97f3 \U0001F3A4"',
    '"amode"': 'dword:00000001',
    '"abitrate"': 'dword:00000004',
    '"asample"': 'dword:00000001',
    '"rulemode"': 'dword:00000002',
    '"rulelist"': 'hex(7):' + ','.join('%02x' % b for b in 'bob\0zo\u00eb\0\0'.encode('utf-16-le')),
    '"keepmode"': 'dword:00000001',
    '"keepdays"': 'dword:0000001e',
    '"keepgb"': 'dword:0000000a',
    '"hotkeys"': 'hex:00',
}
assert values == want, (values, want)
print('registry ok:', len(values), 'values')
PY
