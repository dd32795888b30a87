#!/usr/bin/env python3
"""Checks an MP3 recording on the Linux side: frame headers, decoded length and
which tone each channel carries.

  mp3check.py FILE --rate HZ --channels N --kbps K --seconds S [--tolerance T]
              [--mode stereo|joint|mono] [--tones F0[,F1]] [--silent CH]
              [--bursts [--split-at S] [--max-offset-ms MS]] [--stall CH:AT:FOR]
              [--ppm CH:N]... [--each-side] [--ids CH:F0,F1,...] [--holes]
              [--conference AT:FOR --second-tone F]
--tones names the tone of each channel (an empty place checks nothing). With
--tolerance the decoded length may differ from S by T seconds. --bursts pairs
the tone bursts of the two channels and prints their offsets (before and after
--split-at); --stall wants channel CH silent in that span of the file;
--conference wants both remote tones in the second channel during the span and
my side's tone there as steady as before it.
--each-side (implied by --ppm) measures each channel's bursts against its own
send times instead: burst k of a side whose clock runs N ppm fast leaves
k/(1 + N/10^6) s after its first, so it belongs that far after the side's first
burst in the file. --ids names the frequencies that a channel's bursts take in
turn (second k: F[k mod n]), so that a shift by whole seconds is seen. --holes
fails on silence inside a side's bursts or a gap between them longer than the
source's own. Decodes with mpg123; exits non-zero with a message on the first
mismatch."""
import argparse
import math
import os
import subprocess
import sys
import tempfile
import wave

BITRATES_V1 = [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0]
BITRATES_V2 = [0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0]
RATES_V1 = [44100, 48000, 32000, 0]
ENCODER_DELAY = 576 + 529


def frames(data):
    """Yields (bitrate, rate, channel mode, samples per frame) for each frame; the
    stream must be frames only, back to back."""
    pos = 0
    while pos + 4 <= len(data):
        h = data[pos:pos + 4]
        if h[0] != 0xFF or (h[1] & 0xE0) != 0xE0:
            raise ValueError("no frame header at byte %d" % pos)
        mpeg1 = (h[1] & 0x18) == 0x18
        kbps = (BITRATES_V1 if mpeg1 else BITRATES_V2)[h[2] >> 4]
        rate = RATES_V1[(h[2] >> 2) & 3] // (1 if mpeg1 else 2)
        pad = (h[2] >> 1) & 1
        length = (144 if mpeg1 else 72) * kbps * 1000 // rate + pad
        yield kbps, rate, h[3] >> 6, 1152 if mpeg1 else 576
        pos += length
    if pos != len(data):
        raise ValueError("stream ends inside a frame")


def goertzel(samples, rate, freq):
    k = 2 * math.cos(2 * math.pi * freq / rate)
    s1 = s2 = 0.0
    for x in samples:
        s1, s2 = x + k * s1 - s2, s1
    return math.sqrt(max(s1 * s1 + s2 * s2 - k * s1 * s2, 0)) / max(len(samples), 1)


def burst_onsets(x, rate, threshold=4000):
    """Seconds of the file where a channel's bursts begin (after at least 0.3 s of quiet)."""
    onsets, quiet = [], rate
    for i, v in enumerate(x):
        if abs(v) > threshold:
            if quiet >= 0.3 * rate:
                onsets.append(i / rate)
            quiet = 0
        else:
            quiet += 1
    return onsets


BURST_SECONDS = 0.05  # skypesim's burst source sounds for the first 50 ms of each of its seconds
# Decoded samples below this count as silence: the encoder smears a 10 ms gap in
# a burst of 12000 with a few hundred, and a tone spends far less than 4 ms below it.
QUIET = 1000


def burst_ids(x, rate, onsets, freqs):
    """For each onset, the index into freqs of the tone of that burst."""
    ids = []
    for t in onsets:
        seg = x[int(t * rate) + int(0.005 * rate):int(t * rate) + int(0.045 * rate)]
        ids.append(max(range(len(freqs)), key=lambda j: goertzel(seg, rate, freqs[j])))
    return ids


def side_offsets(onsets, ratio, ids=None, n=1):
    """(burst number, offset in s) of each onset against the side's own send
    times, counted from its first burst. With ids the number is the one of that
    tone nearest to where the clock puts the burst."""
    out = []
    t0 = onsets[0]
    k0 = ids[0] if ids else 0
    for i, t in enumerate(onsets):
        guess = (t - t0) * ratio + k0
        if ids:
            k = ids[i] + n * round((guess - ids[i]) / n)
        else:
            k = round(guess)
        out.append((k, t - (t0 + (k - k0) / ratio)))
    return out


def silent_runs(x, rate, t0, t1):
    """(start, length) in seconds of every run of silence from t0 to t1."""
    runs, start = [], None
    for i in range(int(t0 * rate), min(int(t1 * rate), len(x))):
        if abs(x[i]) < QUIET:
            if start is None:
                start = i
        elif start is not None:
            runs.append((start / rate, (i - start) / rate))
            start = None
    return runs


def fail(msg):
    print("mp3check: " + msg)
    sys.exit(1)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("file")
    ap.add_argument("--rate", type=int, required=True)
    ap.add_argument("--channels", type=int, required=True)
    ap.add_argument("--kbps", type=int, required=True)
    ap.add_argument("--seconds", type=float, required=True)
    ap.add_argument("--mode", choices=["stereo", "joint", "mono"])
    ap.add_argument("--tones", default="")
    ap.add_argument("--silent", type=int)
    ap.add_argument("--tolerance", type=float)
    ap.add_argument("--bursts", action="store_true")
    ap.add_argument("--split-at", type=float, default=1e9)
    ap.add_argument("--max-offset-ms", type=float, default=20)
    ap.add_argument("--stall")
    ap.add_argument("--ppm", action="append", default=[])
    ap.add_argument("--each-side", action="store_true")
    ap.add_argument("--ids", action="append", default=[])
    ap.add_argument("--holes", action="store_true")
    ap.add_argument("--conference")
    ap.add_argument("--second-tone", type=float, default=1500)
    a = ap.parse_args()

    data = open(a.file, "rb").read()
    if data[:3] == b"ID3":
        # The recorder's ID3v2 tag: its size is four 7-bit bytes after the header's flags.
        data = data[10 + sum(b << (7 * (3 - i)) for i, b in enumerate(data[6:10])):]
    try:
        info = list(frames(data))
    except ValueError as e:
        fail("%s: %s" % (a.file, e))
    if not info:
        fail("no frames")
    kbps = {f[0] for f in info}
    rates = {f[1] for f in info}
    if kbps != {a.kbps}:
        fail("bit rates %s, wanted constant %d" % (sorted(kbps), a.kbps))
    if rates != {a.rate}:
        fail("sample rates %s, wanted %d" % (sorted(rates), a.rate))
    modes = {f[2] for f in info}
    want_mode = {"stereo": {0}, "joint": {0, 1}, "mono": {3}}.get(a.mode)
    if want_mode and not modes <= want_mode:
        fail("channel modes %s, wanted %s" % (sorted(modes), a.mode))

    with tempfile.TemporaryDirectory() as tmp:
        wav = os.path.join(tmp, "d.wav")
        subprocess.run(["mpg123", "-q", "-w", wav, a.file], check=True)
        w = wave.open(wav)
        channels, rate, n = w.getnchannels(), w.getframerate(), w.getnframes()
        raw = w.readframes(n)
    if channels != a.channels or rate != a.rate:
        fail("decoded %d ch at %d Hz, wanted %d ch at %d Hz" % (channels, rate, a.channels, a.rate))
    expected = round(a.seconds * a.rate)
    frame = info[0][3]
    if a.tolerance is not None:
        if abs((n - ENCODER_DELAY) / rate - a.seconds) > a.tolerance:
            fail("decoded %.2f s, wanted %.2f s within %.2f" % ((n - ENCODER_DELAY) / rate, a.seconds, a.tolerance))
    elif not (expected <= n <= expected + ENCODER_DELAY + frame):
        fail("decoded %d samples, wanted %d .. %d" % (n, expected, expected + ENCODER_DELAY + frame))

    import array
    pcm = array.array("h")
    pcm.frombytes(raw)
    tones = [float(t) if t else None for t in a.tones.split(",")] if a.tones else []
    chans = [pcm[ch::channels] for ch in range(channels)]
    # Leave out the encoder delay at the start; a second of audio is plenty.
    start = ENCODER_DELAY + frame
    count = min(rate, n - start - frame)
    for ch, freq in enumerate(tones):
        if freq is None:
            continue
        x = chans[ch][start:start + count]
        others = [f for f in tones if f and f != freq] + [freq * 1.37]
        own = goertzel(x, rate, freq)
        for other in others:
            if own < 10 * goertzel(x, rate, other):
                fail("channel %d: %g Hz at %.1f is not ten times %g Hz" % (ch, freq, own, other))
    if a.silent is not None:
        peak = max(abs(v) for v in chans[a.silent][start:n - frame])
        if peak > 200:
            fail("channel %d should be silent, peak %d" % (a.silent, peak))
    # File time t (seconds of the call) is sample ENCODER_DELAY + t * rate.
    span = lambda x, t0, t1: x[ENCODER_DELAY + int(t0 * rate):ENCODER_DELAY + int(t1 * rate)]
    if a.stall:
        ch, at, length = a.stall.split(":")
        x = span(chans[int(ch)], float(at) + 0.1, float(at) + float(length) - 0.1)
        peak = max(abs(v) for v in x) if x else 0
        if peak > 200:
            fail("channel %s should be silent during its stall, peak %d" % (ch, peak))
        print("stall_silent_peak: %d" % peak)
    if a.bursts and (a.each_side or a.ppm):
        each_side(a, chans, rate)
    elif a.bursts:
        onsets = [burst_onsets(chans[ch], rate) for ch in range(2)]
        before, after = [], []
        for t in onsets[1]:
            near = min(onsets[0], key=lambda u: abs(u - t), default=None)
            if near is None or abs(near - t) > 0.3:
                continue  # that second has no burst on my side (a late start, a stall)
            off = (near - t) * 1000
            (before if t < a.split_at else after).append(abs(off))
            print("burst_offset_ms %.3f %.1f" % ((t * rate - ENCODER_DELAY) / rate, off))
        for name, offs in (("before", before), ("after", after)):
            if offs:
                print("sync_offset_ms_%s: %.1f" % (name, max(offs)))
        if not before or (a.split_at < 1e9 and not after):
            fail("too few bursts on both channels to compare (%d before, %d after)" % (len(before), len(after)))
        if max(before + after) > a.max_offset_ms:
            fail("bursts %.1f ms apart, wanted at most %g" % (max(before + after), a.max_offset_ms))
    if a.conference:
        at, length = (float(v) for v in a.conference.split(":"))
        both = span(chans[1], at + 0.3, at + length - 0.3)
        alone = span(chans[1], at - 1.3, at - 0.3)
        first, second = goertzel(both, rate, tones[1]), goertzel(both, rate, a.second_tone)
        if min(first, second) < 0.25 * goertzel(alone, rate, tones[1]):
            fail("remote channel during the second call: %g Hz %.1f, %g Hz %.1f" % (tones[1], first, a.second_tone, second))
        mine, before_mine = span(chans[0], at + 0.3, at + length - 0.3), span(chans[0], at - 1.3, at - 0.3)
        ratio = goertzel(mine, rate, tones[0]) / max(goertzel(before_mine, rate, tones[0]), 1e-9)
        step = rate // 100
        levels = [max(abs(v) for v in mine[i:i + step]) for i in range(0, len(mine) - step, step)]
        rms = lambda x: math.sqrt(sum(float(v) * v for v in x) / max(len(x), 1))
        print("conference_mic_level_ratio: %.2f" % ratio)
        print("conference_mic_level_db: %.2f" % (20 * math.log10(max(rms(mine), 1e-9) / max(rms(before_mine), 1e-9))))
        print("conference_mic_10ms_peak_min_max: %d %d" % (min(levels), max(levels)))
        if not 0.8 < ratio < 1.25 or min(levels) < 0.7 * max(levels) or max(levels) > 32000:
            fail("my side is not clean during the second call")
    print("ok %s: %d ch %d Hz %d kbit/s %d samples" % (os.path.basename(a.file), channels, rate, a.kbps, n))


def each_side(a, chans, rate):
    """Each channel's bursts against its own send times, and its holes."""
    ppm = {int(c): float(n) for c, n in (v.split(":") for v in a.ppm)}
    ids = {int(c): [float(f) for f in fs.split(",")] for c, fs in (v.split(":") for v in a.ids)}
    worst, bad = [], []
    for ch in range(len(chans)):
        x = chans[ch]
        ratio = 1 + ppm.get(ch, 0) * 1e-6
        onsets = [(t * rate - ENCODER_DELAY) / rate for t in burst_onsets(x, rate)]
        if len(onsets) < 3:
            fail("channel %d: only %d bursts" % (ch, len(onsets)))
        freqs = ids.get(ch)
        found = burst_ids(x, rate, [t + ENCODER_DELAY / rate for t in onsets], freqs) if freqs else None
        offs = side_offsets(onsets, ratio, found, len(freqs) if freqs else 1)
        after = []
        for (k, off), t in zip(offs, onsets):
            print("side_offset_ms %d %.3f burst %d %.1f" % (ch, t, k, off * 1000))
            if t >= a.split_at:
                after.append(abs(off) * 1000)
        whole = max(abs(off) for _, off in offs) * 1000
        print("sync_offset_ms_side%d: %.1f" % (ch, whole))
        if a.split_at < 1e9:
            if not after:
                fail("channel %d: no bursts after %g s" % (ch, a.split_at))
            print("sync_offset_ms_side%d_after: %.1f" % (ch, max(after)))
        worst.append(max(after) if a.split_at < 1e9 else whole)
        # The source is silent between its bursts: (1 - 0.05) s of its own clock.
        own = (1 - BURST_SECONDS) / ratio
        t0 = onsets[0] + ENCODER_DELAY / rate
        t1 = onsets[-1] + ENCODER_DELAY / rate
        starts = [t + ENCODER_DELAY / rate for t in onsets]
        holes, longest = 0, 0.0
        for start, length in silent_runs(x, rate, t0, t1):
            if length < 0.004:
                continue
            longest = max(longest, length)
            last = max(u for u in starts if u <= start)
            if start < last + BURST_SECONDS / ratio - 0.004 or length > own + 0.025:
                holes += 1
                print("hole %d %.3f %.1f ms" % (ch, start - ENCODER_DELAY / rate, length * 1000))
        print("longest_silence_ms_side%d: %.1f (the source's own %.1f)" % (ch, longest * 1000, own * 1000))
        if a.holes and holes:
            bad.append("channel %d has %d holes" % (ch, holes))
    print("sync_offset_ms_sides: %.1f" % max(worst))
    if max(worst) > a.max_offset_ms:
        bad.append("a side's bursts %.1f ms from their send times, wanted at most %g" % (max(worst), a.max_offset_ms))
    if bad:
        fail("; ".join(bad))


main()
