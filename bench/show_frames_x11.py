#!/usr/bin/env python3
"""Frame gaps of the real program while the operator saves and opens a large show.

Starts the console under an X server of its own (Xvfb with openbox) in a
temporary program folder with the output plug-in and the driver stand-in,
sending its frames as Art-Net to a UDP receiver on 127.0.0.1 that stamps each
frame's arrival. The show (bench_show_frames's full show: 999 scenes of 10
versions, 60 group scenes, all channels named, 60 chasers, a script of about
1 MB; about 6.5 MB) is reopened at start. Then, as an operator does it:

- saves: Ctrl+S pressed ten times, 300 ms apart, with xdotool;
- open: Ctrl+O, the file name typed into the dialog, Enter (another copy of the
  show), with "AutoSpeichern" off so that no save comes before the open; the
  measurement starts with the typing.

For each it prints the largest gap between frames and how many frames fewer
than the 40 ms schedule arrived, from the first key press to the end of the
operation (the show's name in the window title) plus one second.

    bench/show_frames_x11.py [--build build] [--show FILE] [--rounds 3] [--mm-timer]

Without --show the show is written by build/bench/bench_show_frames to
build/bench/show_frames.pvs (once). --build may name the program folder of
another tree (its bin/ holds PV_ORLISK, pvm_dmx.so and libusbio.so), so that
programs before and after a change run in turn on the same show.
"""
import argparse
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time


class Receiver:
    def __init__(self):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind(("127.0.0.1", 0))
        self.sock.settimeout(0.1)
        self.port = self.sock.getsockname()[1]
        self.frames = []
        self.lock = threading.Lock()
        self.stop = False
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def run(self):
        while not self.stop:
            try:
                data, _ = self.sock.recvfrom(2048)
            except socket.timeout:
                continue
            if data.startswith(b"Art-Net\0"):
                with self.lock:
                    self.frames.append(time.monotonic())

    def gaps_since(self, start, end):
        with self.lock:
            frames = [t for t in self.frames if t <= end]
        # From the last frame before the start on.
        first = 0
        for i, t in enumerate(frames):
            if t <= start:
                first = i
        window = frames[first:]
        if len(window) < 2:
            return None, None
        gaps = [(b - a) * 1000.0 for a, b in zip(window, window[1:])]
        span = (window[-1] - window[0]) * 1000.0
        missing = max(0, round(span / 40.0) + 1 - len(window))
        return max(gaps), missing

    def close(self):
        self.stop = True
        self.thread.join()
        self.sock.close()


def run(cmd, env, check=True):
    return subprocess.run(cmd, env=env, check=check, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                          text=True).stdout.strip()


def free_display():
    for n in range(90, 200):
        if not os.path.exists("/tmp/.X11-unix/X%d" % n) and not os.path.exists("/tmp/.X%d-lock" % n):
            return ":%d" % n
    raise RuntimeError("no free X display")


def wait_for(predicate, timeout):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = predicate()
        if value:
            return value
        time.sleep(0.05)
    return None


def titled(env, pid, text):
    return run(["xdotool", "search", "--onlyvisible", "--pid", str(pid), "--name", text], env, check=False)


def one_round(binary_dir, show, mm_timer, shot=None):
    display = free_display()
    xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    env = dict(os.environ, DISPLAY=display)
    env.pop("QT_QPA_PLATFORM", None)
    if not wait_for(lambda: os.path.exists("/tmp/.X11-unix/X" + display[1:]), 10):
        raise RuntimeError("Xvfb did not start")
    wm = subprocess.Popen(["openbox"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    receiver = Receiver()
    program = None
    results = {}
    with tempfile.TemporaryDirectory() as folder:
        try:
            for lib in ("pvm_dmx.so", "libusbio.so"):
                shutil.copy(os.path.join(binary_dir, lib), folder)
            first = os.path.join(folder, "Erste.pvs")
            second = os.path.join(folder, "Zweite.pvs")
            shutil.copy(show, first)
            shutil.copy(show, second)
            with open(os.path.join(folder, "PV_TESSEL.ini"), "wb") as f:
                f.write(b"[FrmMain]\r\nLetzteDatei=1\r\nAutoSpeichern=0\r\nLetzteProjektDatei=%s\r\n"
                        b"[System]\r\nMMTimer=%d\r\n" % (first.encode(), 1 if mm_timer else 0))
            penv = dict(env, PV_PROGRAM_DIR=folder, USBIO_DEVICE="artnet:127.0.0.1:%d" % receiver.port)
            log = open(os.path.join(folder, "stderr.txt"), "wb")
            program = subprocess.Popen([os.path.join(binary_dir, "PV_ORLISK")], env=penv,
                                       stdout=subprocess.DEVNULL, stderr=log)
            wid = wait_for(lambda: titled(env, program.pid, "Erste").split("\n")[0], 60)
            if not wid:
                raise RuntimeError("the main window did not show the show")
            run(["xdotool", "windowactivate", "--sync", wid], env, check=False)
            time.sleep(3)   # the clock runs, the show is on

            # Ten saves from the keyboard.
            start = time.monotonic()
            for _ in range(10):
                run(["xdotool", "key", "--window", wid, "ctrl+s"], env, check=False)
                time.sleep(0.3)
            wait_for(lambda: os.path.exists(os.path.join(folder, "Erste.~pvs")), 10)
            time.sleep(1)
            results["saves"] = receiver.gaps_since(start, time.monotonic())

            # An open from the menu.
            time.sleep(1)
            windows = run(["xdotool", "search", "--onlyvisible", "--pid", str(program.pid)], env, check=False)
            dialog = None
            for _ in range(3):   # a key the window missed is pressed again
                run(["xdotool", "windowactivate", "--sync", wid], env, check=False)
                run(["xdotool", "key", "--window", wid, "ctrl+o"], env)
                dialog = wait_for(lambda: [w for w in run(["xdotool", "search", "--onlyvisible", "--pid",
                                                           str(program.pid)], env, check=False).split("\n")
                                           if w and w not in windows.split("\n")], 5)
                if dialog:
                    break
            if not dialog:
                raise RuntimeError("the open dialog did not show")
            time.sleep(1)
            start = time.monotonic()
            run(["xdotool", "type", "--delay", "5", second], env)
            time.sleep(0.5)
            run(["xdotool", "key", "Return"], env)
            if not wait_for(lambda: titled(env, program.pid, "Zweite"), 30):
                raise RuntimeError("the second show did not open")
            time.sleep(1)
            results["open"] = receiver.gaps_since(start, time.monotonic())
        except Exception:
            if shot:
                run(["import", "-display", display, "-silent", "-window", "root", shot], env, check=False)
            if program and program.poll() is not None:
                sys.stderr.write("the program ended with %s:\n" % program.returncode)
                with open(os.path.join(folder, "stderr.txt"), "rb") as f:
                    sys.stderr.write(f.read().decode(errors="replace")[-3000:])
            raise
        finally:
            if program:
                program.send_signal(signal.SIGTERM)
                try:
                    program.wait(timeout=30)
                except subprocess.TimeoutExpired:
                    program.kill()
            receiver.close()
            wm.terminate()
            xvfb.terminate()
            wm.wait()
            xvfb.wait()
    return results


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(here, "..", "build"))
    parser.add_argument("--show")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--mm-timer", action="store_true")
    parser.add_argument("--screenshot-on-failure", metavar="PNG")
    args = parser.parse_args()
    binary_dir = os.path.join(args.build, "bin")
    show = args.show or os.path.join(args.build, "bench", "show_frames.pvs")
    if not os.path.exists(show):
        subprocess.run([os.path.join(args.build, "bench", "bench_show_frames"), "--benchmark_list_tests=true"],
                       env=dict(os.environ, PV_BENCH_SHOW=show), check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
    print("show %s (%.1f MB), program %s, clock %s" % (show, os.path.getsize(show) / 1e6, binary_dir,
                                                         "thread" if args.mm_timer else "window timer"))
    print("round  ten saves: largest gap / missing   open: largest gap / missing")
    for r in range(args.rounds):
        res = one_round(binary_dir, show, args.mm_timer, args.screenshot_on_failure)
        s, o = res.get("saves", (None, None)), res.get("open", (None, None))
        print("%5d  %14.1f ms / %d  %20.1f ms / %d" % (r + 1, s[0], s[1], o[0], o[1]))
        sys.stdout.flush()
    return 0


if __name__ == "__main__":
    sys.exit(main())
