#!/usr/bin/env bash
# Benchmarks. Builds what they need, runs every bench_*.exe under Wine and passes
# on its "name: value" lines, and times the Debian lame command on the MP3
# writer's PCM: the yardstick for everything else. Then it measures the recorder
# alone, with tools/pcmsend (a Linux program, so it costs the wineserver nothing)
# streaming that PCM into tools/audiohost through the real ports: flat out, at
# 100x for a whole hour, and at 1x for a 2-minute call; and the real ombra.exe
# recording a call from skypesim at 1x, for the time from the call's end to its
# history entry. CPU and peak memory are read from Linux (/proc, getrusage).
# Then the recording timeline against skypesim's streams: how far each side's
# bursts land from where they were sent after a late start, a stall, a clock
# 3,000 ppm off and a 1 s hold-up, and my side's level in a conference whose
# second copy of my microphone is scaled and late.
# Figures are printed, never judged; the output ends with one "name: value" line
# per figure. Run it under the port lock: flock -o /tmp/ombra-audioports.lock scripts/bench.sh
# OMBRA_BUILD_DIR selects the build folder; OMBRA_BENCH_SECONDS (3600),
# OMBRA_BENCH_1X_SECONDS (120) and OMBRA_BENCH_FINISH_SECONDS (30) set the
# lengths of the 100x call, the 1x call and the ombra.exe call.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${OMBRA_BUILD_DIR:-$ROOT/build}
# A prefix of the benchmark's own: the ombra.exe run changes settings and history.
export OMBRA_WINE_DIR=$BUILD_DIR/wine-bench
PREFIX=$OMBRA_WINE_DIR/prefix
CALL_SECONDS=${OMBRA_BENCH_SECONDS:-3600}
CALL_1X_SECONDS=${OMBRA_BENCH_1X_SECONDS:-120}
FINISH_SECONDS=${OMBRA_BENCH_FINISH_SECONDS:-30}
PCM_SECONDS=600  # bench_mp3writer's PCM, which the lame command encodes
cd "$ROOT"
bash scripts/setup.sh >/dev/null
bash scripts/build.sh $(cd bench && ls bench_*.cpp | sed 's/\.cpp$//') audiohost skypesim ombra uidriver >/dev/null
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
load() { cut -d' ' -f1 /proc/loadavg; }
wine_run() { bash "$ROOT/scripts/wine.sh" "$@" </dev/null >>"$WORK/wine.out" 2>&1; }

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
lame_cpu=""
if [ -f "$WORK/bench_pcm.raw" ] && command -v lame >/dev/null; then
  figure lame_load_average "$(load)"
  # Wall time, user and system CPU, as /usr/bin/time would give them (not on every machine).
  python3 -c 'import resource, subprocess, sys, time
t = time.monotonic(); subprocess.run(sys.argv[1:], stderr=subprocess.DEVNULL); t = time.monotonic() - t
r = resource.getrusage(resource.RUSAGE_CHILDREN); print("%.2f %.2f %.2f" % (t, r.ru_utime, r.ru_stime))' \
    lame -r -s 16 --bitwidth 16 --signed --little-endian -m s -b 64 --resample 32 --cbr --quiet \
    "$WORK/bench_pcm.raw" "$WORK/lame.mp3" >"$WORK/lame.time"
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
# The lame command's CPU for SECONDS of the same audio.
lame_cpu_for() { calc "$lame_cpu * $1 / $PCM_SECONDS"; }

# The ports are the machine's: wait while a program run by someone else holds them.
wait_ports() { python3 "$ROOT/scripts/wait-ports.py" 180; }

# Blocks in a recorded file: decoded stereo frames less the encoder delay, 320 per
# 10 ms at 32 kHz, both sides in each (the last frame's padding can add up to three).
blocks_in_file() {
  local decoded
  decoded=$(mpg123 -q -s "$1" 2>/dev/null | wc -c)
  calc "2 * (($decoded // 4 - 1105) // 320)"
}

# pipeline PREFIX SECONDS SPEED: one call of SECONDS through the real ports, the
# recording host taking what pcmsend sends of bench_pcm.raw (repeated) at SPEED.
pipeline() {
  local prefix=$1 seconds=$2 speed=$3 out="$WORK/$1"
  rm -f "$out.ready" "$out.mp3"
  if ! wait_ports; then
    echo "bench: ports 58376/58377 stay taken, $prefix skipped"
    return 0
  fi
  figure "${prefix}_load_average" "$(load)"
  python3 "$ROOT/bench/measure.py" run --ready "$out.ready" --wineprefix "$PREFIX" --out "$out.cost.txt" -- \
    bash "$ROOT/scripts/wine.sh" "$BUILD_DIR/bin/audiohost.exe" record --out "$(win "$out")" \
    --mode 1 --rate 32000 --kbps 64 --blocks $((seconds * 100)) --idle-ms 15000 --timeout 1800 \
    --ready "$(win "$out.ready")" >"$out.host.txt" 2>&1 &
  local host=$!
  for _ in $(seq 600); do [ -f "$out.ready" ] && break; kill -0 $host 2>/dev/null || break; sleep 0.1; done
  if [ ! -f "$out.ready" ]; then
    # Never stream into whatever else took the ports.
    wait $host || true
    echo "bench: the recording host did not start, $prefix skipped:"; cat "$out.host.txt"
    return 0
  fi
  python3 "$ROOT/tools/pcmsend/pcmsend.py" --seconds "$seconds" --speed "$speed" --pcm "$WORK/bench_pcm.raw" \
    >"$out.send.txt" 2>&1 || true
  wait $host || true
  sed -i 's/\r$//' "$out.host.txt"
  local sent received written cpu
  sent=$(sed -n 's/^total: blocks=\([0-9]*\).*/\1/p' "$out.send.txt")
  received=$(calc "$(value blocks_mic "$out.host.txt") + $(value blocks_remote "$out.host.txt")")
  written=$(value blocks_written "$out.host.txt")
  cpu=$(value cpu_seconds "$out.cost.txt")
  figure "${prefix}_seconds" "$(value first_block_to_closed_seconds "$out.host.txt")"
  figure "${prefix}_cpu_seconds" "$cpu"
  figure "${prefix}_wineserver_cpu_seconds" "$(value wineserver_cpu_seconds "$out.cost.txt")"
  figure "${prefix}_peak_memory_mb" "$(value peak_memory_mb "$out.cost.txt")"
  figure "${prefix}_peak_private_mb" "$(value peak_private_mb "$out.host.txt")"
  figure "${prefix}_blocks_sent" "${sent:-0}"
  figure "${prefix}_blocks_received" "$received"
  figure "${prefix}_blocks_written_pairs" "$written"
  figure "${prefix}_blocks_in_file" "$(blocks_in_file "$out.mp3")"
  figure "${prefix}_blocks_lost" "$(calc "${sent:-0} - 2 * min($written, ${sent:-0} // 2)")"
  figure "${prefix}_sender_seconds" "$(sed -n 's/^total: .*seconds=\([0-9.]*\) .*/\1/p' "$out.send.txt")"
  if [ -n "$lame_cpu" ]; then
    figure "${prefix}_cpu_vs_lame_cpu" "$(calc "round($cpu / $(lame_cpu_for "$seconds"), 2)")"
  fi
}

echo "bench: pipeline flat out (${PCM_SECONDS} s call)"
pipeline pipeline_max "$PCM_SECONDS" max
echo "bench: pipeline at 100x real time ($CALL_SECONDS s call)"
pipeline pipeline_100x "$CALL_SECONDS" 100
echo "bench: pipeline at 1x real time ($CALL_1X_SECONDS s call)"
pipeline pipeline_1x "$CALL_1X_SECONDS" 1

# ui VERB ARGS...: the UI driver against the running ombra.exe.
ui() {
  rm -f "$WORK/ui.txt"
  bash "$ROOT/scripts/wine.sh" "$BUILD_DIR/bin/uidriver.exe" --out "$(win "$WORK/ui.txt")" "$@" \
    </dev/null >/dev/null 2>&1
}

# The real program records a call from skypesim at 1x: from the call's FINISHED
# to its entry in record.xml, and what the program spends meanwhile.
finish_run() {
  local out=$WORK/finish userdir
  if ! wait_ports; then
    echo "bench: ports 58376/58377 stay taken, the ombra.exe call skipped"
    return 0
  fi
  userdir=$(ls -d "$PREFIX"/drive_c/users/*/ | grep -v /Public/ | head -1)
  rm -rf "$userdir/AppData/Roaming/Ombra" "$PREFIX/drive_c/bench-rec"
  mkdir -p "$PREFIX/drive_c/bench-rec"
  local key='HKCU\software\Ombra\config'
  wine_run reg delete "$key" /f || true
  wine_run reg add "$key" /v rectype /t REG_BINARY /d 01 /f
  wine_run reg add "$key" /v notifyhistory /t REG_BINARY /d 00 /f
  wine_run reg add "$key" /v sfolder /t REG_SZ /d 'C:\bench-rec' /f
  # The same audio as everywhere else: the two channels of bench_pcm.raw.
  sox -t raw -r 16000 -e signed -b 16 -c 2 "$WORK/bench_pcm.raw" -c 1 "$out.mic.wav" remix 1
  sox -t raw -r 16000 -e signed -b 16 -c 2 "$WORK/bench_pcm.raw" -c 1 "$out.remote.wav" remix 2
  cat >"$out.scenario.txt" <<EOF
wait-attach
after 1 call 17 incoming bob
after 0.5 call 17 status INPROGRESS
after $FINISH_SECONDS call 17 status FINISHED
after 5 exit
EOF
  figure finish_load_average "$(load)"
  bash "$ROOT/scripts/wine.sh" "$BUILD_DIR/bin/ombra.exe" </dev/null >"$out.ombra.txt" 2>&1 &
  local ombra=$!
  if ! ui wait-window 30 || ! ui wait-state 1001 disabled 20; then
    echo "bench: ombra.exe did not start, the call skipped"
    kill $ombra 2>/dev/null || true
    wait $ombra 2>/dev/null || true
    return 0
  fi
  bash "$ROOT/scripts/wine.sh" "$BUILD_DIR/bin/skypesim.exe" --announce --scenario "$(win "$out.scenario.txt")" \
    --log "$(win "$out.sim.log")" --mic "wav:$(win "$out.mic.wav")" --remote "wav:$(win "$out.remote.wav")" \
    --quit-after $((FINISH_SECONDS + 60)) </dev/null >"$out.sim.txt" 2>&1 &
  local sim=$!
  python3 "$ROOT/bench/measure.py" finish --pid $ombra --wineprefix "$PREFIX" --log "$out.sim.log" \
    --xml "$userdir/AppData/Roaming/Ombra/record.xml" --timeout $((FINISH_SECONDS + 60)) >"$out.cost.txt" || true
  wait $sim 2>/dev/null || true
  ui exit || true
  for _ in $(seq 200); do kill -0 $ombra 2>/dev/null || break; sleep 0.1; done
  kill $ombra 2>/dev/null || true
  wait $ombra 2>/dev/null || true
  local cpu sides sent mp3
  cpu=$(value cpu_seconds "$out.cost.txt")
  # Blocks skypesim sent per side; the longer side sets the file's length.
  sides=$(sed -n 's/.*AUDIO call 17 \(mic\|remote\) closed blocks=\([0-9]*\).*/\2/p' "$out.sim.log" | tr '\n' ' ')
  sent=$(calc "sum([${sides// /,}0])")
  mp3=$(ls "$PREFIX"/drive_c/bench-rec/*.mp3 2>/dev/null | head -1)
  figure finish_latency_ms "$(value finish_latency_ms "$out.cost.txt")"
  figure finish_call_seconds "$(value call_seconds "$out.cost.txt")"
  figure finish_app_cpu_seconds "$cpu"
  figure finish_wineserver_cpu_seconds "$(value wineserver_cpu_seconds "$out.cost.txt")"
  figure finish_app_peak_memory_mb "$(value peak_memory_mb "$out.cost.txt")"
  figure finish_blocks_sent "${sent:-0}"
  if [ -n "$mp3" ]; then
    local infile
    infile=$(blocks_in_file "$mp3")
    figure finish_blocks_in_file "$infile"
    figure finish_blocks_lost "$(calc "max(0, 2 * max([${sides// /,}0]) - $infile)")"
  fi
  if [ -n "$lame_cpu" ] && [ -n "$cpu" ]; then
    figure app_cpu_vs_lame_cpu_1x "$(calc "round($cpu / $(lame_cpu_for "$(value call_seconds "$out.cost.txt")"), 2)")"
  fi
}
echo "bench: ombra.exe recording a ${FINISH_SECONDS} s call from skypesim"
finish_run

# The figures of the recorder against the encoder.
max_seconds=$(value pipeline_max_seconds "$FIGURES")
if [ -n "$max_seconds" ]; then
  figure pipeline_max_times_realtime "$(calc "round($PCM_SECONDS / $max_seconds, 1)")"
  [ -n "$lame_seconds" ] && figure pipeline_max_speed_vs_lame "$(calc "round($lame_seconds / $max_seconds, 2)")"
fi
ratio=$(value pipeline_max_cpu_vs_lame_cpu "$FIGURES")
[ -n "$ratio" ] && figure recorder_cpu_vs_lame_cpu "$ratio"
ratio=$(value pipeline_1x_cpu_vs_lame_cpu "$FIGURES")
[ -n "$ratio" ] && figure recorder_cpu_vs_lame_cpu_1x "$ratio"
server=$(value pipeline_1x_wineserver_cpu_seconds "$FIGURES")
if [ -n "$server" ] && [ -n "$lame_cpu" ]; then
  figure recorder_and_wineserver_cpu_vs_lame_cpu_1x \
    "$(calc "round(($(value pipeline_1x_cpu_seconds "$FIGURES") + $server) / $(lame_cpu_for "$CALL_1X_SECONDS"), 2)")"
fi
# A call as users have it; flat out and at 100x the encoder falls behind and the queues hold the backlog.
peak=$(value pipeline_1x_peak_memory_mb "$FIGURES")
[ -n "$peak" ] && figure recorder_peak_memory_mb "$peak"
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
# Each side against its own send times: a 60 s call whose sides' clocks run 3,000 ppm
# slow (my side) and fast (the remote side), a burst at every second of each.
echo "bench: timeline, clocks 3,000 ppm slow and fast (60 s at real time)"
if timeline_call timeline_drift --total 12000 -- --mic-port 58377 --remote-port 58376 --seconds 60 \
    --mic burst:440:12000 --remote burst:1000:12000 --mic-ppm -3000 --remote-ppm 3000; then
  python3 "$ROOT/tests/audio/mp3check.py" "$WORK/timeline_drift.mp3" --rate 32000 --channels 2 --kbps 64 --seconds 60 \
    --tolerance 2 --bursts --ppm 0:-3000 --ppm 1:3000 --max-offset-ms 1e9 >"$WORK/timeline_drift.check.txt" 2>&1 || true
  figure sync_offset_ms_drift_3000ppm_slow "$(value sync_offset_ms_side0 "$WORK/timeline_drift.check.txt")"
  figure sync_offset_ms_drift_3000ppm_fast "$(value sync_offset_ms_side1 "$WORK/timeline_drift.check.txt")"
  figure sync_offset_ms_drift_3000ppm "$(value sync_offset_ms_sides "$WORK/timeline_drift.check.txt")"
fi
# My side holds its audio back from 3 s to 4 s and then sends it at once; from 6 s
# on each side should be where it was sent. My bursts take four tones in turn, so
# a side a whole second late is not taken for one on time.
echo "bench: timeline, my side held up for 1 s and then delivered at once"
python3 - "$WORK/holdup_mic.wav" 10 <<'EOF_WAV'
import math, struct, sys, wave
tones, n = [440, 550, 660, 770], int(float(sys.argv[2]) * 16000)
w = wave.open(sys.argv[1], "wb")
w.setnchannels(1); w.setsampwidth(2); w.setframerate(16000)
w.writeframes(b"".join(struct.pack("<h", round(12000 * math.sin(2 * math.pi * tones[i // 16000 % 4] * (i % 16000) / 16000))
                                   if i % 16000 < 800 else 0) for i in range(n)))
EOF_WAV
if timeline_call timeline_holdup --total 2000 -- --mic-port 58377 --remote-port 58376 --seconds 10 \
    --mic "wav:$(win "$WORK/holdup_mic.wav")" --remote burst:1000:12000 --mic-holdup 3:1; then
  python3 "$ROOT/tests/audio/mp3check.py" "$WORK/timeline_holdup.mp3" --rate 32000 --channels 2 --kbps 64 --seconds 10 \
    --tolerance 2 --bursts --each-side --ids 0:440,550,660,770 --split-at 6 --max-offset-ms 1e9 \
    >"$WORK/timeline_holdup.check.txt" 2>&1 || true
  figure sync_offset_ms_burst_1s "$(value sync_offset_ms_sides "$WORK/timeline_holdup.check.txt")"
  figure blocks_dropped_burst_1s "$(value blocks_dropped "$WORK/timeline_holdup.host.txt")"
fi
# A conference whose second copy of my microphone is 0.9 as loud and 4 ms late:
# my side's level while both copies run against before.
echo "bench: timeline, a conference with a second copy of my microphone scaled and late"
if timeline_call timeline_conference --total 2400 -- --mic-port 58377 --remote-port 58376 --seconds 8 \
    --second-call 2:4 --mic tone:440 --remote tone:1000 --remote2 tone:1500 --mic2-gain 0.9 --mic2-lag-ms 4; then
  python3 "$ROOT/tests/audio/mp3check.py" "$WORK/timeline_conference.mp3" --rate 32000 --channels 2 --kbps 64 \
    --seconds 8 --tolerance 1 --tones 440,1000 --conference 2:4 --second-tone 1500 \
    >"$WORK/timeline_conference.check.txt" 2>&1 || true
  figure conference_mic_level_db "$(value conference_mic_level_db "$WORK/timeline_conference.check.txt")"
fi
echo "bench: load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "---"
cat "$FIGURES"
