#!/usr/bin/env python3
"""Checks an MP3 recording on the Linux side: frame headers, decoded length and
which tone each channel carries.

  mp3check.py FILE --rate HZ --channels N --kbps K --seconds S
              [--mode stereo|joint|mono] [--tones F0[,F1]] [--silent-first]
Decodes with mpg123; exits non-zero with a message on the first mismatch."""
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
    ap.add_argument("--silent-first", action="store_true")
    a = ap.parse_args()

    data = open(a.file, "rb").read()
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
    if not (expected <= n <= expected + ENCODER_DELAY + frame):
        fail("decoded %d samples, wanted %d .. %d" % (n, expected, expected + ENCODER_DELAY + frame))

    import array
    pcm = array.array("h")
    pcm.frombytes(raw)
    tones = [float(t) for t in a.tones.split(",") if t]
    # Leave out the encoder delay at the start; a second of audio is plenty.
    start = ENCODER_DELAY + frame
    count = min(rate, n - start - frame)
    for ch, freq in enumerate(tones):
        x = pcm[(start * channels) + ch::channels][:count]
        others = [f for f in tones if f != freq] + [freq * 1.37]
        own = goertzel(x, rate, freq)
        for other in others:
            if own < 10 * goertzel(x, rate, other):
                fail("channel %d: %g Hz at %.1f is not ten times %g Hz" % (ch, freq, own, other))
    if a.silent_first:
        x = pcm[start * channels::channels][:count]
        peak = max(abs(v) for v in x)
        if peak > 200:
            fail("first channel should be silent, peak %d" % peak)
    print("ok %s: %d ch %d Hz %d kbit/s %d samples" % (os.path.basename(a.file), channels, rate, a.kbps, n))


main()
