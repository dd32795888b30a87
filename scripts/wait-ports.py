#!/usr/bin/env python3
"""Waits until nobody on this machine listens on the recorder's two audio ports.

  wait-ports.py [SECONDS]   exit 0 as soon as 127.0.0.1:58376 and :58377 can both
                            be bound, 1 when they are still taken after SECONDS
                            (default 0: check once).
The ports are the machine's, so another checkout's tests or benchmarks may hold them.
"""
import socket
import sys
import time

PORTS = (58376, 58377)


def ports_free():
    for port in PORTS:
        s = socket.socket()
        # Connections that just ended leave the port in TIME_WAIT: that is not a listener.
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            s.bind(("127.0.0.1", port))
        except OSError:
            return False
        finally:
            s.close()
    return True


def main():
    deadline = time.monotonic() + (float(sys.argv[1]) if len(sys.argv) > 1 else 0)
    while not ports_free():
        if time.monotonic() >= deadline:
            return 1
        time.sleep(0.2)
    return 0


if __name__ == "__main__":
    sys.exit(main())
