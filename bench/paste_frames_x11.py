#!/usr/bin/env python3
"""Frame gaps and memory of the real program under large pastes and long peer messages.

Starts the console under an X server of its own (Xvfb, no window manager) in a
temporary program folder with the output plug-in and the driver stand-in,
sending its frames as Art-Net to a UDP receiver on 127.0.0.1 that stamps each
frame's arrival. Scenarios (--only):

- peers: the page "verbundene Rechner" on screen, peer 1 a socket on 127.0.0.1
  that accepts and never reads, connected with "&Verbinden" (Alt+V); 200 V
  commands of 50,000 bytes sent to it through the command server, each on a
  connection of its own. Resident memory before and 1.5 s after, largest frame
  gap and frames missing from the first message to 1.5 s after the last.
- line: a 5 MB text (lines of 80 characters) on the X clipboard, owned by
  another client (Tk); a click into the command box of that page; one Ctrl+V,
  then 60 in a row 100 ms apart.
- script: a 1.4 MB line without a break on the X clipboard; the script page
  on screen, a click into its text; four Ctrl+V 4 s apart, then 20 characters
  typed 100 ms apart.

    bench/paste_frames_x11.py [--build build] [--only peers,line,script]

--build may name the build folder of another tree, so that programs before and
after a change run in turn.
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

from show_frames_x11 import Receiver, free_display, run, wait_for

CLIPBOARD_OWNER = r"""
import sys, tkinter
root = tkinter.Tk()
root.withdraw()
text = sys.stdin.read()
root.clipboard_clear()
root.clipboard_append(text)
print("owned", flush=True)
root.mainloop()
"""


def rss_kb(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return -1


def report(what, receiver, start):
    gap, missing = receiver.gaps_since(start, time.monotonic())
    if gap is None:
        print("%s: no frame since the start (the program stalled throughout)" % what)
    else:
        print("%s: largest gap %.1f ms, %d frames missing" % (what, gap, missing))


def send(port, message):
    with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
        s.sendall(message)


class Session:
    def __init__(self, binary_dir, settings, show=None):
        self.display = free_display()
        self.xvfb = subprocess.Popen(["Xvfb", self.display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.env = dict(os.environ, DISPLAY=self.display)
        self.env.pop("QT_QPA_PLATFORM", None)
        if not wait_for(lambda: os.path.exists("/tmp/.X11-unix/X" + self.display[1:]), 10):
            raise RuntimeError("Xvfb did not start")
        self.receiver = Receiver()
        self.folder = tempfile.mkdtemp()
        self.owner = None
        for lib in ("pvm_dmx.so", "libusbio.so"):
            shutil.copy(os.path.join(binary_dir, lib), self.folder)
        if show:
            path = os.path.join(self.folder, "Abend.pvs")
            with open(path, "wb") as f:
                f.write(show)
            settings = settings.replace(b"[FrmMain]\r\n", b"[FrmMain]\r\nLetzteDatei=1\r\nLetzteProjektDatei=%s\r\n"
                                        % path.encode())
        self.port = free_port()
        settings += b"[Server]\r\nPort=%d\r\nStartAktiv=1\r\n" % self.port
        with open(os.path.join(self.folder, "PV_TESSEL.ini"), "wb") as f:
            f.write(settings)
        penv = dict(self.env, PV_PROGRAM_DIR=self.folder, USBIO_DEVICE="artnet:127.0.0.1:%d" % self.receiver.port)
        self.program = subprocess.Popen([os.path.join(binary_dir, "PV_ORLISK")], env=penv,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.wid = wait_for(lambda: run(["xdotool", "search", "--onlyvisible", "--pid", str(self.program.pid),
                                         "--name", "^Palvento Orlisk 200"], self.env, check=False).split("\n")[0], 60)
        if not self.wid:
            raise RuntimeError("the main window did not show")
        time.sleep(2)

    def keys(self, *keys):
        run(["xdotool", "windowfocus", "--sync", self.wid], self.env, check=False)
        for k in keys:
            run(["xdotool", "key", "--delay", "20", k], self.env, check=False)

    def own_clipboard(self, text):
        if self.owner:
            self.owner.kill()
            self.owner.wait()
        self.owner = subprocess.Popen([sys.executable, "-c", CLIPBOARD_OWNER], env=self.env, stdin=subprocess.PIPE,
                                      stdout=subprocess.PIPE, text=True)
        self.owner.stdin.write(text)
        self.owner.stdin.close()
        self.owner.stdout.readline()

    def close(self):
        self.program.send_signal(signal.SIGTERM)
        try:
            self.program.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.program.kill()
        if self.owner:
            self.owner.kill()
            self.owner.wait()
        self.receiver.close()
        self.xvfb.terminate()
        self.xvfb.wait()
        shutil.rmtree(self.folder, ignore_errors=True)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def show_file(text):
    data = text.encode("utf-8")
    return b"\x14" + len(data).to_bytes(4, "little") + data


def peers(binary_dir):
    silent = socket.socket()
    silent.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    silent.bind(("127.0.0.1", 0))
    silent.listen(1)
    show = show_file("[Interface]\r\nVR_Name_1=Stumm\r\nVR_IP_1=127.0.0.1\r\nVR_Port_1=%d\r\nVR_Koppel_1=K1\r\n"
                     % silent.getsockname()[1])
    s = Session(binary_dir, b"[FrmMain]\r\nAutoSpeichern=0\r\nPI_Main=6\r\nPI_Interface=4\r\n", show)
    try:
        s.keys("alt+v")
        silent.settimeout(10)
        conn, _ = silent.accept()
        send(s.port, b"K719V1K1M1D")
        time.sleep(1)
        before = rss_kb(s.program.pid)
        start = time.monotonic()
        for _ in range(200):
            send(s.port, b"K719V1K1P" + b"7" * 50000)
            time.sleep(0.02)
        time.sleep(1.5)
        after = rss_kb(s.program.pid)
        gap, missing = s.receiver.gaps_since(start, time.monotonic())
        print("peers: RSS %.1f -> %.1f MB (%+.1f MB); largest gap %.1f ms, %d frames missing"
              % (before / 1024, after / 1024, (after - before) / 1024, gap, missing))
        conn.close()
    finally:
        s.close()
        silent.close()


def lines(total):
    out = []
    size = 0
    i = 0
    while size < total:
        line = "Zeile %06d: K1P255 und Text bis zum Ende der Zeile, achtzig Zeichen lang.....\n" % i
        out.append(line)
        size += len(line)
        i += 1
    return "".join(out)


def line_box(binary_dir):
    s = Session(binary_dir, b"[FrmMain]\r\nAutoSpeichern=0\r\nPI_Main=6\r\nPI_Interface=4\r\n")
    try:
        s.own_clipboard(lines(5 * 1024 * 1024))
        # A click into the command box (the main window at its default size).
        run(["xdotool", "mousemove", "--window", s.wid, "187", "674", "click", "1"], s.env, check=False)
        time.sleep(1)
        start = time.monotonic()
        s.keys("ctrl+v")
        time.sleep(1)
        report("line: one 5 MB paste", s.receiver, start)
        start = time.monotonic()
        for _ in range(60):
            s.keys("ctrl+v")
            time.sleep(0.1)
        time.sleep(1)
        report("line: 60 pastes in a row", s.receiver, start)
    finally:
        s.close()


def script(binary_dir):
    s = Session(binary_dir, b"[FrmMain]\r\nAutoSpeichern=0\r\nPI_Main=7\r\n")
    try:
        s.own_clipboard("x" * 1400000)
        run(["xdotool", "mousemove", "--window", s.wid, "300", "560", "click", "1"], s.env, check=False)
        time.sleep(1)
        start = time.monotonic()
        for _ in range(4):
            s.keys("ctrl+v")
            time.sleep(4)
        for _ in range(20):
            s.keys("a")
            time.sleep(0.1)
        time.sleep(1)
        report("script: four 1.4 MB lines and typing", s.receiver, start)
    finally:
        s.close()


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(here, "..", "build"))
    parser.add_argument("--only", default="peers,line,script")
    args = parser.parse_args()
    binary_dir = os.path.join(args.build, "bin")
    print("program %s" % binary_dir)
    scenarios = {"peers": peers, "line": line_box, "script": script}
    for name in args.only.split(","):
        scenarios[name](binary_dir)
        sys.stdout.flush()
    return 0


if __name__ == "__main__":
    sys.exit(main())
