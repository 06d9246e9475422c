#!/usr/bin/env python3
"""Frame timing at an Art-Net receiver.

Starts the console (offscreen) from a temporary program folder with the real
output plug-in and driver stand-in, points the driver at a UDP receiver on
127.0.0.1, records the arrival time of every frame for a while, and prints how
far the gaps between frames stray from the 40 ms period: median, 99th
percentile and maximum of |gap - 40 ms|. Runs once with the window timer and
once with the clock thread ([System] MMTimer).

    bench/artnet_jitter.py [--seconds 30] [--build build]
"""
import argparse
import os
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import time


def percentile(values, p):
    values = sorted(values)
    k = max(0, min(len(values) - 1, int(round(p / 100.0 * (len(values) - 1)))))
    return values[k]


def run(build, seconds, mm_timer):
    binary = os.path.join(build, "bin", "PV_ORLISK")
    with tempfile.TemporaryDirectory() as folder:
        for lib in ("pvm_dmx.so", "libusbio.so"):
            shutil.copy(os.path.join(build, "bin", lib), folder)
        with open(os.path.join(folder, "PV_TESSEL.ini"), "wb") as f:
            f.write(b"[System]\r\nMMTimer=%d\r\n" % (1 if mm_timer else 0))
        receiver = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        receiver.bind(("127.0.0.1", 0))
        receiver.settimeout(5.0)
        port = receiver.getsockname()[1]
        env = dict(os.environ, PV_PROGRAM_DIR=folder, QT_QPA_PLATFORM="offscreen",
                   USBIO_DEVICE="artnet:127.0.0.1:%d" % port)
        program = subprocess.Popen([binary], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        arrivals = []
        try:
            receiver.recvfrom(2048)  # the first frame: the clock runs
            end = time.monotonic() + seconds
            while time.monotonic() < end:
                data, _ = receiver.recvfrom(2048)
                if data.startswith(b"Art-Net\0"):
                    arrivals.append(time.monotonic())
        finally:
            program.send_signal(signal.SIGTERM)
            program.wait(timeout=30)
            receiver.close()
    gaps = [(b - a) * 1000.0 for a, b in zip(arrivals, arrivals[1:])]
    dev = [abs(g - 40.0) for g in gaps]
    return len(arrivals), statistics.median(gaps), statistics.median(dev), percentile(dev, 99), max(dev)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--seconds", type=float, default=30.0)
    parser.add_argument("--build", default=os.path.join(os.path.dirname(__file__), "..", "build"))
    args = parser.parse_args()
    print("clock            frames  median gap   |gap-40ms|: median    p99      max")
    for name, mm in (("window timer", False), ("clock thread", True)):
        n, gap, med, p99, mx = run(args.build, args.seconds, mm)
        print("%-15s %7d  %8.3f ms         %7.3f  %7.3f  %7.3f ms" % (name, n, gap, med, p99, mx))
    return 0


if __name__ == "__main__":
    sys.exit(main())
