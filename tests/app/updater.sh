#!/usr/bin/env bash
# Serves ver.ini variants over HTTP on 127.0.0.1 and runs the update checker's tests
# against them under Wine.
set -euo pipefail
site=$(mktemp -d)
server_pid=
cleanup() { [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null; rm -rf "$site"; }
trap cleanup EXIT

mk() { mkdir -p "$site/$1"; printf "$2" > "$site/$1/ver.ini"; }
mk same '2.6.6'
mk newline '2.6.6\n'
mk crlf '2.6.6\r\n'
mk blanks '  2.6.6 \t\n'
mk beta '2.6.6-BETA'
mk newer '2.7.0\n'
mk older '2.5.1'
mk html '<html><body>Not here</body></html>'
mk empty ''
mk blank ' \n'
mkdir -p "$site/long" "$site/longhtml" "$site/latehtml"
python3 - "$site" <<'PY'
import sys
root = sys.argv[1]
open(f"{root}/long/ver.ini", "w").write("2.6.6" + " 2.6.6" * 2000)
open(f"{root}/longhtml/ver.ini", "w").write("2.6.6 <b>" + "x" * 9000)
open(f"{root}/latehtml/ver.ini", "w").write("2.6.6" + "x" * 5000 + "<b>")
PY

# A free port on the loopback interface: bind to 0 and let the system choose.
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
python3 -m http.server --bind 127.0.0.1 --directory "$site" "$port" >"$site.log" 2>&1 &
server_pid=$!
for _ in $(seq 50); do
  python3 -c "import socket; socket.create_connection(('127.0.0.1',$port),1)" 2>/dev/null && break
  sleep 0.1
done

out=$(mktemp)
set +e
OMBRA_TEST_SITE="http://127.0.0.1:$port/" bash "$OMBRA_ROOT/scripts/wine.sh" \
  "$OMBRA_BIN/test_app.exe" --gtest_filter='AutoUpdater.*' >"$out" 2>&1
rc=$?
set -e
cat "$out"
grep -q 'SKIPPED' "$out" && { echo "updater.sh: tests were skipped"; rc=1; }
rm -f "$out" "$site.log"
exit $rc
