#!/usr/bin/env python3
"""What a Wine process costs, read from the Linux side, for scripts/bench.sh.

  measure.py run --ready FILE --wineprefix DIR --out FILE -- COMMAND...
      Runs COMMAND (a Wine program started through scripts/wine.sh, which execs
      into it, so the child is the Wine process itself). From the moment FILE
      appears until the process ends it counts the process's CPU (all threads),
      and the CPU of the prefix's wineserver over the same span, and writes
      "name: value" lines to --out: cpu_seconds, startup_cpu_seconds,
      wineserver_cpu_seconds, peak_memory_mb (VmHWM, from getrusage).

  measure.py finish --pid PID --wineprefix DIR --log SIMLOG --xml RECORDXML
                    [--call 17] [--timeout S]
      Follows a call recorded by the running program PID: from skypesim's
      "CALL n STATUS INPROGRESS" to its "STATUS FINISHED" it counts the CPU of
      PID and of the wineserver; then it waits until RECORDXML holds one entry
      more than at the start and prints finish_latency_ms (FINISHED to the
      entry), call_seconds, cpu_seconds, wineserver_cpu_seconds and
      peak_memory_mb (VmHWM of PID once the entry is there).

Clock ticks of /proc are 10 ms, polls 2 ms: the figures are good to about that.
"""
import argparse
import os
import subprocess
import sys
import time
import xml.etree.ElementTree as ET

TICK = os.sysconf("SC_CLK_TCK")


def proc_cpu(pid):
    """utime + stime of a process, all threads, in seconds; None once it is gone."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
    except OSError:
        return None
    return (int(fields[11]) + int(fields[12])) / TICK


def vm_hwm_mb(pid):
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1]) / 1024.0
    except OSError:
        pass
    return None


def wineserver_pid(prefix):
    """The wineserver of a prefix works in /tmp/.../server-<dev>-<inode> of the prefix folder."""
    st = os.stat(prefix)
    tail = "/server-%x-%x" % (st.st_dev, st.st_ino)
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            if not open("/proc/%s/comm" % name).read().startswith("wineserver"):
                continue
            if os.readlink("/proc/%s/cwd" % name).endswith(tail):
                return int(name)
        except OSError:
            continue
    return None


def server_cpu(pid):
    if pid is None:
        return 0.0
    return proc_cpu(pid) or 0.0


def cmd_run(args):
    cmd = args.command[1:] if args.command[:1] == ["--"] else args.command
    server = wineserver_pid(args.wineprefix)
    child = subprocess.Popen(cmd)
    ready_cpu = server_ready = None
    while True:
        pid, status, usage = os.wait4(child.pid, os.WNOHANG)
        if pid:
            break
        if ready_cpu is None and os.path.exists(args.ready):
            if server is None:
                server = wineserver_pid(args.wineprefix)  # started by the child itself
            ready_cpu = proc_cpu(child.pid)
            server_ready = server_cpu(server)
        time.sleep(0.005 if ready_cpu is None else 0.05)
    total = usage.ru_utime + usage.ru_stime
    lines = {
        "cpu_seconds": total - (ready_cpu if ready_cpu is not None else 0),
        "startup_cpu_seconds": ready_cpu if ready_cpu is not None else 0,
        "wineserver_cpu_seconds": server_cpu(server) - server_ready if server_ready is not None else 0,
        "peak_memory_mb": usage.ru_maxrss / 1024.0,
    }
    with open(args.out, "w") as f:
        for k, v in lines.items():
            f.write("%s: %.2f\n" % (k, v))
    return os.waitstatus_to_exitcode(status)


def entries(path):
    """Entries in record.xml; -1 while the file is missing or not yet whole."""
    try:
        lst = ET.parse(path).getroot().find("list")
    except (OSError, ET.ParseError):
        return -1
    return 0 if lst is None else len(lst)


def cmd_finish(args):
    server = wineserver_pid(args.wineprefix)
    deadline = time.monotonic() + args.timeout
    started = "CALL %s STATUS INPROGRESS" % args.call
    finished = "CALL %s STATUS FINISHED" % args.call
    before = max(entries(args.xml), 0)
    t_start = t_finish = t_entry = None
    cpu = server0 = None
    out = {}
    log, log_size = "", -1
    while time.monotonic() < deadline:
        now = time.monotonic()
        if t_finish is None:
            try:
                size = os.stat(args.log).st_size
                if size != log_size:
                    log_size = size
                    with open(args.log, encoding="utf-8", errors="replace") as f:
                        log = f.read()
            except OSError:
                pass
            if t_start is None and ("SEND " + started) in log:
                t_start, cpu, server0 = now, proc_cpu(args.pid), server_cpu(server)
            if t_start is not None and ("SEND " + finished) in log:
                t_finish = now
                out["call_seconds"] = t_finish - t_start
                out["cpu_seconds"] = (proc_cpu(args.pid) or 0) - (cpu or 0)
                out["wineserver_cpu_seconds"] = server_cpu(server) - server0
        elif entries(args.xml) > before:
            out["finish_latency_ms"] = (now - t_finish) * 1000
            out["peak_memory_mb"] = vm_hwm_mb(args.pid) or 0
            t_entry = now
            break
        # Both ends of the latency are seen within a poll: keep it short (a stat costs little).
        time.sleep(0.002)
    for k, v in out.items():
        print("%s: %.1f" % (k, v) if k == "finish_latency_ms" else "%s: %.2f" % (k, v))
    if t_entry is None:
        print("finish_error: %s" % ("no entry in record.xml" if t_finish else "the call did not run"))
        return 1
    return 0


def main():
    p = argparse.ArgumentParser()
    sub = p.add_subparsers(dest="cmd", required=True)
    r = sub.add_parser("run")
    r.add_argument("--ready", required=True)
    r.add_argument("--wineprefix", required=True)
    r.add_argument("--out", required=True)
    r.add_argument("command", nargs=argparse.REMAINDER)
    f = sub.add_parser("finish")
    f.add_argument("--pid", type=int, required=True)
    f.add_argument("--wineprefix", required=True)
    f.add_argument("--log", required=True)
    f.add_argument("--xml", required=True)
    f.add_argument("--call", default="17")
    f.add_argument("--timeout", type=float, default=600)
    args = p.parse_args()
    return cmd_run(args) if args.cmd == "run" else cmd_finish(args)


if __name__ == "__main__":
    sys.exit(main())
