#!/usr/bin/env bash
# Benchmarks. Builds, runs every bench_*.exe under Wine and passes on its
# "name: value" lines, times the Debian lame command on the MP3 writer's PCM,
# and runs the whole recording pipeline (skypesim streaming a 60-minute call
# into tools/audiohost) at 100x real time and flat out. Figures are printed,
# never judged; the output ends with one "name: value" line per figure.
# OMBRA_BUILD_DIR selects the build folder; OMBRA_BENCH_SECONDS shortens the call.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${OMBRA_BUILD_DIR:-$ROOT/build}
export OMBRA_WINE_DIR=$BUILD_DIR/wine
CALL_SECONDS=${OMBRA_BENCH_SECONDS:-3600}
cd "$ROOT"
bash scripts/setup.sh >/dev/null
bash scripts/build.sh >/dev/null
trap 'bash "$ROOT/scripts/wine.sh" --server-stop' EXIT
bash scripts/wine.sh --server-start || true  # a wineserver already up in this prefix serves as well

WORK="$BUILD_DIR/bench-run"
rm -rf "$WORK"; mkdir -p "$WORK"
cd "$WORK"
FIGURES="$WORK/figures.txt"
: >"$FIGURES"
win() { echo "Z:${1//\//\\}"; }
figure() { echo "$1: $2" >>"$FIGURES"; }
value() { sed -n "s/^$1: //p" "$2" | head -n1; }
calc() { python3 -c "print($1)"; }

# Every benchmark program; each prints its own figures.
for exe in "$BUILD_DIR"/bin/bench_*.exe; do
  [ -e "$exe" ] || continue
  name=$(basename "$exe" .exe)
  echo "bench: running $name"
  bash "$ROOT/scripts/wine.sh" "$exe" >"$WORK/$name.txt" 2>&1 || echo "bench: $name exited with $?"
  sed -i 's/\r$//' "$WORK/$name.txt"
  grep -E '^[A-Za-z0-9_]+: ' "$WORK/$name.txt" >>"$FIGURES" || true
done

# The yardstick: the lame command on the same PCM with the same settings.
lame_seconds=""
if [ -f "$WORK/bench_pcm.raw" ] && command -v lame >/dev/null; then
  /usr/bin/time -f '%e %U %S' -o "$WORK/lame.time" \
    lame -r -s 16 --bitwidth 16 --signed --little-endian -m s -b 64 --resample 32 --cbr --quiet \
    "$WORK/bench_pcm.raw" "$WORK/lame.mp3" 2>/dev/null
  read -r lame_seconds lame_user lame_sys <"$WORK/lame.time"
  lame_cpu=$(calc "round($lame_user + $lame_sys, 2)")
  figure lame_command_seconds "$lame_seconds"
  figure lame_command_cpu_seconds "$lame_cpu"
  writer_seconds=$(value mp3_writer_seconds "$FIGURES")
  writer_cpu=$(value mp3_writer_cpu_seconds "$FIGURES")
  if [ -n "$writer_seconds" ]; then
    figure mp3_writer_speed_vs_lame "$(calc "round($lame_seconds / $writer_seconds, 2)")"
    figure mp3_writer_cpu_speed_vs_lame "$(calc "round($lame_cpu / $writer_cpu, 2)")"
  fi
fi

# The ports are the machine's: wait while a program run by someone else holds them.
wait_ports() { python3 "$ROOT/scripts/wait-ports.py" 180; }

# One recorded call through the real ports: prefix, skypesim speed.
pipeline() {
  local prefix=$1 speed=$2 out="$WORK/$1"
  rm -f "$out.ready" "$out.mp3"
  if ! wait_ports; then
    echo "bench: ports 58376/58377 stay taken, $prefix skipped"
    return 0
  fi
  bash "$ROOT/scripts/wine.sh" "$BUILD_DIR/bin/audiohost.exe" record --out "$(win "$out")" \
    --mode 1 --rate 32000 --kbps 64 --blocks $((CALL_SECONDS * 100)) --idle-ms 15000 --timeout 1800 \
    --ready "$(win "$out.ready")" >"$out.host.txt" 2>&1 &
  local host=$!
  for _ in $(seq 600); do [ -f "$out.ready" ] && break; kill -0 $host 2>/dev/null || break; sleep 0.1; done
  if [ ! -f "$out.ready" ]; then
    # Never stream into whatever else took the ports.
    wait $host || true
    echo "bench: the recording host did not start, $prefix skipped:"; cat "$out.host.txt"
    return 0
  fi
  bash "$ROOT/scripts/wine.sh" "$BUILD_DIR/bin/skypesim.exe" --stream --mic-port 58377 --remote-port 58376 \
    --seconds "$CALL_SECONDS" --speed "$speed" --mic tone:440 --remote tone:1000 >"$out.sim.txt" 2>&1 || true
  wait $host || true
  sed -i 's/\r$//' "$out.host.txt" "$out.sim.txt"
  local sent received written closed cpu mem decoded
  sent=$(sed -n 's/^total: blocks=\([0-9]*\).*/\1/p' "$out.sim.txt")
  received=$(calc "$(value blocks_mic "$out.host.txt") + $(value blocks_remote "$out.host.txt")")
  written=$(value blocks_written "$out.host.txt")
  closed=$(value first_block_to_closed_seconds "$out.host.txt")
  # Blocks in the file: decoded stereo frames less the encoder delay, 320 per 10 ms at 32 kHz,
  # both sides in each (the last frame's padding can add up to three).
  decoded=$(mpg123 -q -s "$out.mp3" 2>/dev/null | wc -c)
  figure "${prefix}_seconds" "$closed"
  figure "${prefix}_cpu_seconds" "$(value cpu_seconds "$out.host.txt")"
  figure "${prefix}_peak_memory_mb" "$(value peak_working_set_mb "$out.host.txt")"
  figure "${prefix}_peak_private_mb" "$(value peak_private_mb "$out.host.txt")"
  figure "${prefix}_blocks_sent" "${sent:-0}"
  figure "${prefix}_blocks_received" "$received"
  figure "${prefix}_blocks_written_pairs" "$written"
  figure "${prefix}_blocks_in_file" "$(calc "2 * (($decoded // 4 - 1105) // 320)")"
  figure "${prefix}_blocks_lost" "$(calc "${sent:-0} - 2 * min($written, ${sent:-0} // 2)")"
  figure "${prefix}_sender_seconds" "$(sed -n 's/^total: .*seconds=\([0-9.]*\).*/\1/p' "$out.sim.txt")"
}

echo "bench: pipeline at 100x real time ($CALL_SECONDS s call)"
pipeline pipeline_100x 100
echo "bench: pipeline flat out"
pipeline pipeline_max max
max_seconds=$(value pipeline_max_seconds "$FIGURES")
if [ -n "$max_seconds" ]; then
  figure pipeline_max_times_realtime "$(calc "round($CALL_SECONDS / $max_seconds, 1)")"
  if [ -n "$lame_seconds" ]; then
    figure pipeline_max_speed_vs_lame "$(calc "round(($CALL_SECONDS / $max_seconds) / (600 / $lame_seconds), 2)")"
  fi
fi
# Timeline figures: how close the two sides stay after a late start and after a
# stall (an 8 s call at real time with a burst every second on both sides), how
# far the file trails that call, and the memory of a 100x call with one side absent.
timeline_call() {
  local name=$1 out="$WORK/$1"; shift
  local host=()
  while [ "$1" != -- ]; do host+=("$1"); shift; done; shift
  rm -f "$out.ready" "$out.mp3"
  if ! wait_ports; then echo "bench: ports 58376/58377 stay taken, $name skipped"; return 1; fi
  bash "$ROOT/scripts/wine.sh" "$BUILD_DIR/bin/audiohost.exe" record --out "$(win "$out")" --mode 1 --rate 32000 \
    --kbps 64 --timeout 1800 --ready "$(win "$out.ready")" "${host[@]}" >"$out.host.txt" 2>&1 &
  local host_pid=$!
  for _ in $(seq 600); do [ -f "$out.ready" ] && break; kill -0 $host_pid 2>/dev/null || break; sleep 0.1; done
  if [ ! -f "$out.ready" ]; then wait $host_pid || true; echo "bench: the recording host did not start, $name skipped"; return 1; fi
  bash "$ROOT/scripts/wine.sh" "$BUILD_DIR/bin/skypesim.exe" --stream "$@" >"$out.sim.txt" 2>&1 || true
  wait $host_pid || true
  sed -i 's/\r$//' "$out.host.txt" "$out.sim.txt"
}
echo "bench: timeline, a late side and a stall at real time"
if timeline_call timeline_late --total 1250 -- --mic-port 58377 --remote-port 58376 --seconds 8 --remote-start 1 \
    --mic-stall 3:2.5 --mic burst:440:12000 --remote burst:1000:12000; then
  python3 "$ROOT/tests/audio/mp3check.py" "$WORK/timeline_late.mp3" --rate 32000 --channels 2 --kbps 64 --seconds 8 \
    --tolerance 1 --bursts --split-at 4 --max-offset-ms 1000 >"$WORK/timeline_late.check.txt" 2>&1 || true
  figure sync_offset_ms_late_start "$(value sync_offset_ms_before "$WORK/timeline_late.check.txt")"
  figure sync_offset_ms_stall "$(value sync_offset_ms_after "$WORK/timeline_late.check.txt")"
  figure file_lag_seconds_max "$(value file_lag_seconds_max "$WORK/timeline_late.host.txt")"
fi
echo "bench: timeline, 100x with the remote side absent ($CALL_SECONDS s call)"
if timeline_call timeline_one_side --total $((CALL_SECONDS * 100)) --idle-ms 15000 -- --mic-port 58377 \
    --seconds "$CALL_SECONDS" --speed 100 --mic tone:440; then
  figure pipeline_100x_one_side_seconds "$(value first_block_to_closed_seconds "$WORK/timeline_one_side.host.txt")"
  figure pipeline_100x_one_side_peak_memory_mb "$(value peak_working_set_mb "$WORK/timeline_one_side.host.txt")"
  figure pipeline_100x_one_side_blocks_in_file "$(calc "($(mpg123 -q -s "$WORK/timeline_one_side.mp3" 2>/dev/null | wc -c) // 4 - 1105) // 320")"
  figure pipeline_100x_one_side_blocks_lost "$(calc "$CALL_SECONDS * 100 - $(value blocks_mic "$WORK/timeline_one_side.host.txt") + $(value blocks_dropped "$WORK/timeline_one_side.host.txt")")"
fi
echo "bench: load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "---"
cat "$FIGURES"
