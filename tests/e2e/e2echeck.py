#!/usr/bin/env python3
"""Checks of what the recorder left behind, read on the Linux side.

  e2echeck.py mp3 FILE [--left HZ] [--right HZ] [--mono HZ] [--seconds S --tol T]
      decodes FILE with mpg123 and measures the tone of each channel (Goertzel)
  e2echeck.py records FILE            prints record.xml's entries as JSON lines
  e2echeck.py record FILE INDEX KEY=VALUE...
      checks one entry (INDEX may be negative); KEY duration~=S[:TOL] for a range;
      @NAME for an attribute of the entry's element (empty when absent)
  e2echeck.py reg FILE                prints a `reg export` file's values as JSON
  e2echeck.py regcheck FILE NAME=TYPE:VALUE...   (TYPE any: the value is there at all)
  e2echeck.py order FILE ID TEXT...   the texts of control ID in a uidriver watch log
      appear in this order (repeats of a text in a row count once)
  e2echeck.py simrecv FILE PATTERN... skypesim's RECV lines contain these in order
  e2echeck.py stamp FILE TIME         the file name's stamp is TIME in local time
  e2echeck.py tags FILE TIME FRAME=TEXT...
      reads FILE's ID3v2 tag with mid3v2 (mutagen): each frame holds exactly TEXT
      and the recording date is TIME in local time, to the minute

Every check prints what it measured and exits 1 when it does not hold.
"""
import json
import math
import os
import re
import struct
import subprocess
import sys
import tempfile
import time
import wave
import xml.etree.ElementTree as ET


def fail(msg):
    print("FAIL: " + msg)
    sys.exit(1)


def decode_mp3(path):
    """Decoded PCM of an MP3 as (rate, channels, list of channel sample lists)."""
    with tempfile.TemporaryDirectory() as tmp:
        wav = os.path.join(tmp, "out.wav")
        r = subprocess.run(["mpg123", "-q", "-w", wav, path], capture_output=True)
        if r.returncode != 0 or not os.path.exists(wav):
            fail("mpg123 could not decode %s: %s" % (path, r.stderr.decode(errors="replace")))
        with wave.open(wav, "rb") as w:
            rate, nch, width = w.getframerate(), w.getnchannels(), w.getsampwidth()
            data = w.readframes(w.getnframes())
    if width != 2:
        fail("decoded sample width %d" % width)
    samples = struct.unpack("<%dh" % (len(data) // 2), data)
    return rate, nch, [list(samples[c::nch]) for c in range(nch)]


def goertzel_power(x, rate, freq):
    k = 2.0 * math.cos(2.0 * math.pi * freq / rate)
    s1 = s2 = 0.0
    for v in x:
        s0 = v + k * s1 - s2
        s2, s1 = s1, s0
    return (s1 * s1 + s2 * s2 - k * s1 * s2) / max(len(x), 1) ** 2


def tone_share(x, rate, freq, others):
    """Power at freq against the strongest of the other frequencies (dB)."""
    p = goertzel_power(x, rate, freq)
    q = max([goertzel_power(x, rate, f) for f in others] + [1e-9])
    return 10.0 * math.log10((p + 1e-9) / q)


def rms(x):
    return math.sqrt(sum(v * v for v in x) / max(len(x), 1))


def middle(x, rate, seconds=1.0):
    """A stretch from the middle of the recording, clear of encoder delay."""
    n = int(rate * seconds)
    if len(x) <= n:
        return x
    start = (len(x) - n) // 2
    return x[start:start + n]


def cmd_mp3(args):
    path = args[0]
    opts = {}
    i = 1
    while i < len(args):
        opts[args[i].lstrip("-")] = args[i + 1]
        i += 2
    rate, nch, chans = decode_mp3(path)
    seconds = len(chans[0]) / float(rate)
    print("decoded: rate=%d channels=%d seconds=%.2f" % (rate, nch, seconds))
    probe = [440.0, 1000.0, 700.0, 1500.0]
    ok = True
    wanted = []
    if "mono" in opts:
        if nch != 1:
            fail("expected mono, got %d channels" % nch)
        wanted = [(0, float(opts["mono"]))]
    else:
        if "left" in opts or "right" in opts:
            if nch != 2:
                fail("expected stereo, got %d channels" % nch)
        if "left" in opts:
            wanted.append((0, float(opts["left"])))
        if "right" in opts:
            wanted.append((1, float(opts["right"])))
    for ch, freq in wanted:
        seg = middle(chans[ch], rate)
        others = [f for f in probe if abs(f - freq) > 50]
        share = tone_share(seg, rate, freq, others)
        level = rms(seg)
        print("channel %d: %.0f Hz leads by %.1f dB, rms %.0f" % (ch, freq, share, level))
        if share < 20.0 or level < 500:
            ok = False
    if "seconds" in opts:
        want = float(opts["seconds"])
        tol = float(opts.get("tol", "1"))
        print("length %.2f s, wanted %.2f +- %.2f" % (seconds, want, tol))
        if abs(seconds - want) > tol:
            ok = False
    if not ok:
        fail("mp3 check")


def read_records(path):
    root = ET.parse(path).getroot()
    lst = root.find("list")
    out = []
    if lst is None:
        return out
    for rec in list(lst):
        e = {"element": rec.tag}
        for f in ("name", "time", "file", "type", "duration", "new", "note"):
            n = rec.find(f)
            e[f] = (n.text or "") if n is not None else None
        e.update(("@" + k, v) for k, v in rec.attrib.items())
        out.append(e)
    return out


def cmd_records(args):
    for e in read_records(args[0]):
        print(json.dumps(e, ensure_ascii=False))


def cmd_record(args):
    recs = read_records(args[0])
    idx = int(args[1])
    if not recs or idx >= len(recs) or idx < -len(recs):
        fail("no entry %d among %d" % (idx, len(recs)))
    e = recs[idx]
    print(json.dumps(e, ensure_ascii=False))
    for cond in args[2:]:
        if "~=" in cond:
            key, rest = cond.split("~=", 1)
            want, _, tol = rest.partition(":")
            got = float(e.get(key) or 0)
            if abs(got - float(want)) > float(tol or "1"):
                fail("%s is %s, wanted %s +- %s" % (key, e.get(key), want, tol or "1"))
        elif "$=" in cond:
            key, want = cond.split("$=", 1)
            if not (e.get(key) or "").endswith(want):
                fail("%s is %r, wanted ...%r" % (key, e.get(key), want))
        else:
            key, want = cond.split("=", 1)
            # An attribute that is absent reads as empty.
            if e.get(key, "" if key.startswith("@") else None) != want:
                fail("%s is %r, wanted %r" % (key, e.get(key), want))


def read_reg(path):
    raw = open(path, "rb").read()
    text = raw.decode("utf-16") if raw[:2] in (b"\xff\xfe", b"\xfe\xff") else raw.decode("utf-8")
    values = {}
    cur = None
    for line in text.replace("\\\r\n", "").replace("\\\n", "").splitlines():
        line = line.strip()
        if line.startswith("["):
            cur = line.strip("[]")
            continue
        m = re.match(r'^"((?:[^"\\]|\\.)*)"=(.*)$', line)
        if not m or cur is None:
            continue
        name = m.group(1).replace('\\"', '"').replace("\\\\", "\\")
        data = m.group(2)
        if data.startswith('"'):
            values[name] = ("sz", data[1:-1].replace('\\"', '"').replace("\\\\", "\\"))
        elif data.startswith("dword:"):
            values[name] = ("dword", int(data[6:], 16))
        elif data.startswith("hex:"):
            values[name] = ("binary", [int(b, 16) for b in data[4:].split(",") if b.strip()])
        elif data.startswith("hex("):
            kind, _, rest = data.partition(":")
            values[name] = (kind, [int(b, 16) for b in rest.split(",") if b.strip()])
    return values


def cmd_reg(args):
    print(json.dumps(read_reg(args[0]), ensure_ascii=False))


def cmd_regcheck(args):
    values = read_reg(args[0])
    bad = []
    for cond in args[1:]:
        name, source = cond.split("=", 1)
        kind, _, want = source.partition(":")
        got = values.get(name)
        if kind == "binary":
            ok = got == ("binary", [int(want)])
        elif kind == "dword":
            ok = got == ("dword", int(want))
        elif kind == "sz":
            ok = got == ("sz", want)
        elif kind == "any":
            ok = got is not None
        elif kind == "sz-nonempty":
            ok = got is not None and got[0] == "sz" and got[1] != ""
        else:
            ok = False
        print("%-14s %-24s %s" % (name, got, "ok" if ok else "wanted " + source))
        if not ok:
            bad.append(name)
    if bad:
        fail("registry values " + ", ".join(bad))


def cmd_order(args):
    path, cid, wanted = args[0], args[1], args[2:]
    seen = []
    for line in open(path, encoding="utf-8", errors="replace"):
        parts = line.rstrip("\n").split(" ", 2)
        if len(parts) >= 2 and parts[1] == cid:
            text = parts[2] if len(parts) > 2 else ""
            text = text.replace(" [hidden]", "")
            if text and (not seen or seen[-1] != text):
                seen.append(text)
    print("seen: " + " -> ".join(seen))
    i = 0
    for t in seen:
        if i < len(wanted) and t == wanted[i]:
            i += 1
    if i < len(wanted):
        fail("missing %r in order" % wanted[i])


def cmd_simrecv(args):
    path, patterns = args[0], args[1:]
    recv = []
    for line in open(path, encoding="utf-8", errors="replace"):
        parts = line.rstrip("\n").split(" ", 2)
        if len(parts) == 3 and parts[1] == "RECV":
            recv.append(parts[2])
    i = 0
    for r in recv:
        if i < len(patterns) and r.lower() == patterns[i].lower():
            i += 1
    print("matched %d of %d commands in order" % (i, len(patterns)))
    if i < len(patterns):
        fail("command %r not received (in order)" % patterns[i])


def cmd_stamp(args):
    name, t = os.path.basename(args[0]), int(args[1])
    m = re.search(r"_(\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d)\.mp3$", name)
    want = time.strftime("%Y-%m-%d_%H-%M-%S", time.localtime(t))
    print("file stamp %s, entry time %s" % (m.group(1) if m else None, want))
    if not m or m.group(1) != want:
        fail("stamp")


def cmd_tags(args):
    out = subprocess.run(["mid3v2", "--list", args[0]], capture_output=True, text=True,
                         encoding="utf-8").stdout
    print(out.rstrip())
    frames = dict(line.split("=", 1) for line in out.splitlines() if "=" in line)
    # ID3v2.3 dates: year, day and month, hour and minute.
    want = time.strftime("TYER=%Y TDAT=%d%m TIME=%H%M", time.localtime(int(args[1]))).split()
    want += args[2:]
    for cond in want:
        key, text = cond.split("=", 1)
        if frames.get(key) != text:
            fail("%s is %r, wanted %r" % (key, frames.get(key), text))


def main():
    if len(sys.argv) < 3:
        print(__doc__)
        sys.exit(2)
    cmds = {"mp3": cmd_mp3, "records": cmd_records, "record": cmd_record, "reg": cmd_reg,
            "regcheck": cmd_regcheck, "order": cmd_order, "simrecv": cmd_simrecv,
            "stamp": cmd_stamp, "tags": cmd_tags}
    if sys.argv[1] not in cmds:
        print(__doc__)
        sys.exit(2)
    cmds[sys.argv[1]](sys.argv[2:])


if __name__ == "__main__":
    main()
