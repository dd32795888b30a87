#!/usr/bin/env bash
# Has the store write record.xml after its first AddRecord and checks the file
# on the Linux side with parsers that share no code with the program.
set -euo pipefail
OUT_DIR=$(mktemp -d)
trap 'rm -rf "$OUT_DIR"' EXIT
FILE="$OUT_DIR/record.xml"
OMBRA_HISTORY_OUT="Z:${FILE//\//\\}" bash "$OMBRA_ROOT/scripts/wine.sh" "$OMBRA_BIN/test_history.exe" \
  --gtest_filter=HistoryFile.WriteOneEntryForTheLinuxCheck </dev/null >"$OUT_DIR/run.txt" 2>&1 || {
  cat "$OUT_DIR/run.txt"; exit 1; }
grep -q '\[  PASSED  \] 1 test' "$OUT_DIR/run.txt" || { cat "$OUT_DIR/run.txt"; exit 1; }
[ -f "$FILE" ] || { echo "record.xml was not written"; exit 1; }
xmllint --noout "$FILE"
python3 - "$FILE" <<'PY'
import re, sys, xml.etree.ElementTree as ET
path = sys.argv[1]
raw = open(path, 'rb').read()
decl = b'<?xml version="1.0" encoding="UTF-8" standalone="no"?>'
assert raw.startswith(decl), raw[:80]
root = ET.fromstring(raw)
assert root.tag == 'quern', root.tag
assert [c.tag for c in root] == ['list'], [c.tag for c in root]
recs = list(root[0])
assert len(recs) == 1, len(recs)
rec = recs[0]
assert re.fullmatch(r'rec\d{14}', rec.tag), rec.tag
assert [f.tag for f in rec] == ['name', 'time', 'file', 'type', 'duration', 'new', 'note'], [f.tag for f in rec]
text = {f.tag: (f.text or '') for f in rec}
want = {
    'name': 'zo\u00eb.m\u00fcller',
    'time': '1273656615',
    'file': 'C:\\users\\me\\Documents\\Ombra\\zo\u00eb.m\u00fcller_2010-05-12_11-30-15.mp3',
    'type': '2',
    'duration': '754',
    'new': 'true',
    'note': '\u5f20 & <b>alineddline two \U0001F600',
}
assert text == want, (text, want)
# Values are element text only, and the DOM adds no formatting.
assert all(not e.attrib for e in root.iter()), 'attributes found'
assert b'\xe5\xbc\xa0' in raw and b'&amp;' in raw and b'&lt;b&gt;' in raw
print('record.xml ok:', rec.tag)
PY
