#!/usr/bin/env python3
"""A native Linux stand-in for Skype's two audio streams, for benchmarks.

  pcmsend.py [--mic-port P] [--remote-port P] [--seconds S] [--speed N|max]
             [--pcm FILE | --mic SOURCE --remote SOURCE]

Connects to 127.0.0.1 on each port given (microphone 58377 and remote 58376 by
default; 0 leaves that side out) and writes S seconds of 16 kHz 16-bit mono PCM
to each, in 320-byte writes (10 ms), at N times real time or, with `max`, as
fast as the receiver takes it. Both sides stream at once, each from its own
thread, and each paces itself against a monotonic clock without drifting.

Sources: --pcm FILE is raw 16 kHz 16-bit little-endian stereo; its first
channel is sent as the microphone, its second as the remote side, repeated
from the start if the call is longer than the file. Otherwise each side sends
`tone:FREQ[:AMPLITUDE]` (default amplitude 8000) or `silence`.

When both sides are done it prints one line per side and a total line:
  mic: port=58377 blocks=60000 bytes=19200000 seconds=11.912 audio_seconds=600.000 speed=50.37 result=ok
  total: blocks=120000 bytes=38400000 seconds=11.915 cpu_seconds=1.210
`result` is ok, connect-failed or send-failed (the peer closed). Exit code 0
when every side is ok, 1 otherwise, 2 for bad options.
Being a Linux program it costs the recorder's wineserver nothing, so a
benchmark around it measures the recorder alone.
"""
import argparse
import array
import math
import os
import socket
import sys
import threading
import time

BLOCK_BYTES = 320
BLOCK_SAMPLES = 160
RATE = 16000


def tone_loop(freq, amplitude):
    """A phase-continuous loop of whole blocks holding the tone."""
    blocks = 1000
    if freq == int(freq) and freq > 0:
        blocks = 100 // math.gcd(int(freq), 100)  # whole periods in whole blocks
    n = blocks * BLOCK_SAMPLES
    a = array.array("h", (int(round(amplitude * math.sin(2 * math.pi * freq * i / RATE))) for i in range(n)))
    if sys.byteorder != "little":
        a.byteswap()
    return a.tobytes()


def source_loop(source):
    if source == "silence":
        return bytes(BLOCK_BYTES)
    if source.startswith("tone:"):
        parts = source.split(":")
        freq = float(parts[1])
        amplitude = float(parts[2]) if len(parts) > 2 else 8000
        return tone_loop(freq, amplitude)
    raise ValueError("unknown source %r" % source)


def pcm_loops(path):
    """The two channels of a raw stereo file, each cut to whole blocks."""
    a = array.array("h")  # only moved around, never read: the byte order stays as it is
    with open(path, "rb") as f:
        a.frombytes(f.read())
    frames = len(a) // 2 // BLOCK_SAMPLES * BLOCK_SAMPLES
    if frames == 0:
        raise ValueError("%s holds less than one block" % path)
    left, right = a[0:2 * frames:2], a[1:2 * frames:2]
    return left.tobytes(), right.tobytes()


class Side:
    def __init__(self, name, port, loop, blocks, speed):
        self.name, self.port, self.loop, self.blocks, self.speed = name, port, loop, blocks, speed
        self.sent = 0
        self.seconds = 0.0
        self.result = "ok"

    def run(self):
        try:
            s = socket.create_connection(("127.0.0.1", self.port), timeout=10)
        except OSError:
            self.result = "connect-failed"
            return
        s.settimeout(None)
        s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        view = memoryview(self.loop)
        loop_blocks = len(self.loop) // BLOCK_BYTES
        step = 0.01 / self.speed if self.speed > 0 else 0
        start = time.monotonic()
        try:
            for k in range(self.blocks):
                if step:
                    wait = start + k * step - time.monotonic()
                    if wait > 0.001:
                        time.sleep(wait)
                off = (k % loop_blocks) * BLOCK_BYTES
                s.sendall(view[off:off + BLOCK_BYTES])
                self.sent += 1
        except OSError:
            self.result = "send-failed"
        self.seconds = time.monotonic() - start
        try:
            s.shutdown(socket.SHUT_WR)
        except OSError:
            pass
        s.close()

    def line(self):
        audio = self.sent / 100.0
        speed = audio / self.seconds if self.seconds > 0 else 0
        return "%s: port=%d blocks=%d bytes=%d seconds=%.3f audio_seconds=%.3f speed=%.2f result=%s" % (
            self.name, self.port, self.sent, self.sent * BLOCK_BYTES, self.seconds, audio, speed, self.result)


def main():
    p = argparse.ArgumentParser(description="Streams two sides of a call to the recorder's ports.")
    p.add_argument("--mic-port", type=int, default=58377)
    p.add_argument("--remote-port", type=int, default=58376)
    p.add_argument("--seconds", type=float, default=10)
    p.add_argument("--speed", default="1", help="N times real time, or max")
    p.add_argument("--pcm", help="raw 16 kHz 16-bit stereo: first channel mic, second remote")
    p.add_argument("--mic", default="tone:440")
    p.add_argument("--remote", default="tone:1000")
    args = p.parse_args()
    try:
        speed = 0.0 if args.speed == "max" else float(args.speed)
        if speed < 0:
            raise ValueError("negative speed")
        if args.pcm:
            mic_loop, remote_loop = pcm_loops(args.pcm)
        else:
            mic_loop, remote_loop = source_loop(args.mic), source_loop(args.remote)
    except (ValueError, OSError) as e:
        print("pcmsend: %s" % e, file=sys.stderr)
        return 2
    blocks = int(round(args.seconds * 100))
    sides = []
    if args.mic_port:
        sides.append(Side("mic", args.mic_port, mic_loop, blocks, speed))
    if args.remote_port:
        sides.append(Side("remote", args.remote_port, remote_loop, blocks, speed))
    cpu0, t0 = os.times(), time.monotonic()
    threads = [threading.Thread(target=s.run) for s in sides]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    cpu1, t1 = os.times(), time.monotonic()
    for s in sides:
        print(s.line())
    total = sum(s.sent for s in sides)
    cpu = (cpu1.user - cpu0.user) + (cpu1.system - cpu0.system)
    print("total: blocks=%d bytes=%d seconds=%.3f cpu_seconds=%.3f" % (total, total * BLOCK_BYTES, t1 - t0, cpu))
    sys.stdout.flush()
    return 0 if all(s.result == "ok" for s in sides) else 1


if __name__ == "__main__":
    sys.exit(main())
