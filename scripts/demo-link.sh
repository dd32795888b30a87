#!/usr/bin/env bash
# Shows the Skype link at work: skypesim plays Skype (user alice, friends bob
# and carol with their full names) and linkhost attaches to it and reports
# what the link learned. Leaves nothing running.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${OMBRA_BUILD_DIR:-$ROOT/build}
export OMBRA_BUILD_DIR=$BUILD_DIR
export OMBRA_WINE_DIR=${OMBRA_WINE_DIR:-$BUILD_DIR/wine}
cd "$ROOT"

bash scripts/setup.sh
bash scripts/build.sh skypesim linkhost

WORK=$(mktemp -d)
SIM_PID=
cleanup() {
  if [ -n "$SIM_PID" ] && kill -0 "$SIM_PID" 2>/dev/null; then
    kill "$SIM_PID" 2>/dev/null || true
    wait "$SIM_PID" 2>/dev/null || true
  fi
  rm -rf "$WORK"
}
trap cleanup EXIT

bash scripts/wine.sh --init
# Start Wine's services before anything reads a Wine program's output.
bash scripts/wine.sh cmd /c exit 0 </dev/null >/dev/null 2>&1 || true

echo "== skypesim: user alice, friends bob and carol"
bash scripts/wine.sh "$BUILD_DIR/bin/skypesim.exe" --log "$WORK/sim.log" --quit-after 60 \
  </dev/null >"$WORK/sim.out" 2>&1 &
SIM_PID=$!
# The simulator is ready once it has logged its start.
for _ in $(seq 1 100); do
  grep -q 'INFO start' "$WORK/sim.log" 2>/dev/null && break
  sleep 0.1
done

echo "== linkhost reports"
rc=0
bash scripts/wine.sh "$BUILD_DIR/bin/linkhost.exe" --out "$WORK/link.txt" --timeout 20 \
  </dev/null >"$WORK/link.out" 2>&1 || rc=$?
cat "$WORK/link.txt" 2>/dev/null || true

echo "== what skypesim received"
grep ' RECV ' "$WORK/sim.log" | sed 's/^[0-9.]* RECV /  /' || true

kill "$SIM_PID" 2>/dev/null || true
wait "$SIM_PID" 2>/dev/null || true
SIM_PID=
# Let the prefix's wineserver end by itself once its programs are gone.
WINEPREFIX="$OMBRA_WINE_DIR/prefix" timeout 20 wineserver -w 2>/dev/null || true
if [ "$rc" -ne 0 ]; then
  echo "linkhost failed (exit code $rc)" >&2
  exit "$rc"
fi
