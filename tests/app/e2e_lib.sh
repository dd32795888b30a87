#!/usr/bin/env bash
# Shared by the end-to-end scripts: a fresh Wine prefix per script (copied from a
# base prefix made once), ombra.exe and skypesim started in it, the user's side
# driven through appdriver, and everything ended on exit.
#   source e2e_lib.sh NAME
set -euo pipefail
: "${OMBRA_ROOT:?}" "${OMBRA_BUILD:?}" "${OMBRA_BIN:?}"
E2E_NAME=$1
export OMBRA_WINE_DIR=$OMBRA_BUILD/wine-e2e-$E2E_NAME
WORK=$OMBRA_BUILD/e2e-$E2E_NAME
WINE_SH=$OMBRA_ROOT/scripts/wine.sh
rm -rf "$OMBRA_WINE_DIR" "$WORK"
mkdir -p "$WORK"

BASE=$OMBRA_BUILD/wine-e2e-base
(
  flock 9
  [ -f "$BASE/prefix/.ombra-ready" ] || OMBRA_WINE_DIR=$BASE bash "$WINE_SH" --init
) 9>"$OMBRA_BUILD/wine-e2e-base.lock"
cp -a "$BASE" "$OMBRA_WINE_DIR"
# Wine links the user's folders to the home of the prefix it was made for.
for link in "$OMBRA_WINE_DIR"/prefix/drive_c/users/*/*; do
  [ -L "$link" ] && [ "$(readlink "$link")" = "$BASE/home" ] && ln -sfn "$OMBRA_WINE_DIR/home" "$link"
done

PIDS=()
E2E_OK=0
e2e_cleanup() {
  local pid
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  bash "$WINE_SH" --server-stop >/dev/null 2>&1 || true
  if [ "$E2E_OK" = 1 ]; then rm -rf "$OMBRA_WINE_DIR"; else echo "e2e: kept $WORK and $OMBRA_WINE_DIR"; fi
}
trap e2e_cleanup EXIT
bash "$WINE_SH" --server-start >/dev/null 2>&1

WIN_USER=$(whoami)
DRIVE_C=$OMBRA_WINE_DIR/prefix/drive_c
RECORD_DIR=$DRIVE_C/users/$WIN_USER/Documents/Ombra
DATA_DIR=$DRIVE_C/users/$WIN_USER/AppData/Roaming/Ombra
CONFIG_KEY='HKCU\software\Ombra\config'

fail() { echo "FAIL: $*"; exit 1; }
pass() { echo "ok: $*"; }

# appdriver through a file, never a pipe (Wine's services keep pipes open).
ud() {
  local rc=0
  bash "$WINE_SH" "$OMBRA_BIN/appdriver.exe" "$@" >"$WORK/ud.out" 2>&1 || rc=$?
  tr -d '\r' <"$WORK/ud.out"
  return $rc
}

wreg() { bash "$WINE_SH" reg "$@" >>"$WORK/reg.out" 2>&1; }
set_byte() { wreg add "$CONFIG_KEY" /v "$1" /t REG_BINARY /d "$2" /f; }
set_dword() { wreg add "$CONFIG_KEY" /v "$1" /t REG_DWORD /d "$2" /f; }
set_string() { wreg add "$CONFIG_KEY" /v "$1" /t REG_SZ /d "$2" /f; }
# The whole key as Wine exports it (exact, unlike reg query).
export_config() {
  rm -f "$WORK/config.reg"
  bash "$WINE_SH" reg export "$CONFIG_KEY" 'Z:'"$WORK/config.reg" >>"$WORK/reg.out" 2>&1 || true
  iconv -f UTF-16LE -t UTF-8 "$WORK/config.reg" 2>/dev/null | tr -d '\r'
}

# The audio ports are the machine's: another recorder (another test run) may hold
# them, and ombra would then stop at its "port in use" message. Wait for them.
wait_ports_free() {
  local i
  for ((i = 0; i < 1800; i++)); do
    python3 - <<'PY' && return 0
import socket, sys
for port in (58376, 58377):
    s = socket.socket()
    try:
        s.bind(("127.0.0.1", port))
    except OSError:
        sys.exit(1)
    finally:
        s.close()
PY
    sleep 0.1
  done
  fail "ports 58376/58377 stayed in use"
}

start_ombra() {
  local try
  for try in 1 2 3; do
    wait_ports_free
    bash "$WINE_SH" "$OMBRA_BIN/ombra.exe" >"$WORK/ombra.out" 2>&1 &
    OMBRA_PID=$!
    PIDS+=("$OMBRA_PID")
    ud wait-main 45 && return 0
    # Another test run took the ports in between: ombra waits at its message. Again.
    echo "e2e: ombra.exe not up (try $try)"
    kill "$OMBRA_PID" 2>/dev/null || true
    wait_exit "$OMBRA_PID" 10 || true
  done
  fail "the main window did not appear"
}

# start_sim SCENARIO_TEXT [skypesim options...]
start_sim() {
  local scenario=$1; shift
  printf '%s\n' "$scenario" >"$WORK/scenario.txt"
  bash "$WINE_SH" "$OMBRA_BIN/skypesim.exe" --scenario "$WORK/scenario.txt" --log "$WORK/sim.log" \
    --quit-after 60 --announce "$@" >"$WORK/sim.out" 2>&1 &
  SIM_PID=$!
  PIDS+=("$SIM_PID")
}

# Waits until the program has ended by itself (SECS), false otherwise.
wait_exit() {
  local pid=$1 secs=$2 i
  for ((i = 0; i < secs * 10; i++)); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.1
  done
  return 1
}

wait_log() { # PATTERN SECS: a line of skypesim's log matching the extended regex
  local i
  for ((i = 0; i < $2 * 10; i++)); do
    grep -Eiq -- "$1" "$WORK/sim.log" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}

wait_file() { # PATH SECS
  local i
  for ((i = 0; i < $2 * 10; i++)); do
    [ -e "$1" ] && return 0
    sleep 0.1
  done
  return 1
}

# The entries of record.xml, one per line: name|time|file|type|duration|new
history_entries() {
  python3 - "$DATA_DIR/record.xml" <<'PY'
import sys, xml.etree.ElementTree as ET
try:
    root = ET.parse(sys.argv[1]).getroot()
except (OSError, ET.ParseError):
    sys.exit(0)
lst = root.find("list") if root.tag != "list" else root
for rec in (list(lst) if lst is not None else []):
    get = lambda k: (rec.findtext(k) or "").strip()
    print("|".join(get(k) for k in ("name", "time", "file", "type", "duration", "new")))
PY
}

# Linux path of a recording's Windows path (C:\users\...).
linux_path() { local p=${1#[Cc]:}; printf '%s%s\n' "$DRIVE_C" "${p//\\//}"; }

# An MP3 as the decoder sees it: decodes to WAV (mpg123) and sets MP3_CHANNELS,
# MP3_RATE, MP3_KBPS, MP3_SECONDS; MP3_WAV is the decoded file.
mp3_info() {
  local line
  MP3_WAV=$WORK/decoded.wav
  mpg123 -q -w "$MP3_WAV" "$1" >/dev/null 2>&1 || return 1
  line=$(mpg123 -t -v "$1" 2>&1 | grep -E '^MPEG ' | head -1)  # e.g. "MPEG 1.0 L III cbr64 32000 stereo"
  MP3_KBPS=$(sed -E 's/.*[cv]br([0-9]+).*/\1/' <<<"$line")
  MP3_CHANNELS=$(soxi -c "$MP3_WAV")
  MP3_RATE=$(soxi -r "$MP3_WAV")
  MP3_SECONDS=$(soxi -D "$MP3_WAV")
}

# Dominant frequency of one channel of a WAV file (sox's rough estimate).
channel_freq() { # FILE CHANNEL
  sox "$1" -n remix "$2" stat 2>&1 | awk '/Rough +frequency/ {print $3}'
}

quit_ombra() { # Exit from the tray menu, as the user would.
  ud command 32772 >/dev/null || true
  wait_exit "$OMBRA_PID" 20 || fail "ombra.exe did not end"
}
