#!/usr/bin/env python3
"""The command server of the real program under load from many clients.

Starts the console (offscreen) from a temporary program folder with the output
plug-in and driver stand-in, the command server listening on a free local port
([Server] StartAktiv=1) and its frames going to a UDP receiver on 127.0.0.1.
Every scenario runs against a fresh program and records each frame's arrival,
so a stall of the program's event loop shows as a gap between frames.

  garbage     50 clients send random bytes (never the key) for 40 s; resident
              memory of the program at the start, its peak and at the end.
  burst       1000 clients connect at once, then all send a line, then all
              close; the time each connect took and the largest frame gap.
  sequential  200 clients one after the other: connect, send a line, close.
  idle        300 clients connect and stay silent, more than the server
              admits; then the program is ended and must still save its show,
              its settings and its error log, which names the refused clients.

Only 127.0.0.1; every scenario is bounded in clients and time.

    bench/remote_flood.py [--build build] [--only garbage,burst,...] [--server-page]
                          [--garbage-seconds 40] [--idle-clients 300] [--fd-limit N]
"""
import argparse
import errno
import glob
import os
import random
import resource
import select
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

KEY = b"K719"


def free_tcp_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def hand_made_show(text):
    data = text.encode("utf-8")
    return b"\x14" + struct.pack("<I", len(data)) + data


class FrameRecorder(threading.Thread):
    """Arrival times (monotonic seconds) of the Art-Net frames."""

    def __init__(self):
        super().__init__(daemon=True)
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind(("127.0.0.1", 0))
        self.sock.settimeout(0.2)
        self.port = self.sock.getsockname()[1]
        self.arrivals = []
        self.stopping = False

    def run(self):
        while not self.stopping:
            try:
                data, _ = self.sock.recvfrom(2048)
            except socket.timeout:
                continue
            if data.startswith(b"Art-Net\0"):
                self.arrivals.append(time.monotonic())

    def max_gap_ms(self, start, end):
        times = [t for t in self.arrivals if start <= t <= end]
        gaps = [(b - a) * 1000.0 for a, b in zip(times, times[1:])]
        return (max(gaps) if gaps else float("nan")), len(times)


class Program:
    def __init__(self, build, fd_limit=None, server_page=False):
        self.folder = tempfile.mkdtemp(prefix="pv_flood_")
        for lib in ("pvm_dmx.so", "libusbio.so"):
            shutil.copy(os.path.join(build, "bin", lib), self.folder)
        os.makedirs(os.path.join(self.folder, "Projekte"))
        self.show = os.path.join(self.folder, "Projekte", "flood.pvs")
        with open(self.show, "wb") as f:
            f.write(hand_made_show("\r\n[Makros]\r\nv=1\r\n"))
        self.port = free_tcp_port()
        ini = ("[Server]\r\nPort=%d\r\nStartAktiv=1\r\n"
               "[FrmMain]\r\nLetzteDatei=1\r\nLetzteProjektDatei=%s\r\nAutoSpeichern=1\r\nFehlerlog=1\r\n"
               % (self.port, self.show))
        if server_page:
            # The window opens on Interface > Server: the protocol memo is on screen.
            ini += "PI_Main=6\r\nPI_Interface=5\r\n"
        with open(os.path.join(self.folder, "PV_TESSEL.ini"), "wb") as f:
            f.write(ini.encode("utf-8"))
        self.frames = FrameRecorder()
        self.frames.start()
        env = dict(os.environ, PV_PROGRAM_DIR=self.folder, QT_QPA_PLATFORM="offscreen",
                   USBIO_DEVICE="artnet:127.0.0.1:%d" % self.frames.port)

        def limit():
            # The usual soft limit; the program raises it to the hard limit itself.
            soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
            hard = fd_limit if fd_limit else hard
            resource.setrlimit(resource.RLIMIT_NOFILE, (min(1024, hard), hard))

        self.process = subprocess.Popen([os.path.join(build, "bin", "PV_ORLISK")], env=env,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, preexec_fn=limit)
        self.wait_for_server()

    def wait_for_server(self):
        end = time.monotonic() + 30
        while time.monotonic() < end:
            if self.process.poll() is not None:
                raise RuntimeError("program ended at start")
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=1):
                    pass
                break
            except OSError:
                time.sleep(0.1)
        else:
            raise RuntimeError("server does not listen")
        while len(self.frames.arrivals) < 10:   # the clock runs
            time.sleep(0.05)
        # Settle, and see how evenly frames come on this machine without any client.
        t0 = time.monotonic()
        time.sleep(3.0)
        self.quiet_gap_ms, _ = self.frames.max_gap_ms(t0, time.monotonic())

    def rss_kb(self):
        with open("/proc/%d/status" % self.process.pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
        return -1

    def cpu_seconds(self):
        with open("/proc/%d/stat" % self.process.pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def open_file_limit(self):
        with open("/proc/%d/limits" % self.process.pid) as f:
            for line in f:
                if line.startswith("Max open files"):
                    return line.split()[3:5]
        return None

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        try:
            _, err = self.process.communicate(timeout=60)
        except subprocess.TimeoutExpired:
            self.process.kill()
            _, err = self.process.communicate()
        self.frames.stopping = True
        self.frames.join()
        return self.process.returncode, err.decode("utf-8", "replace")

    def cleanup(self):
        shutil.rmtree(self.folder, ignore_errors=True)


def connect_all(port, count):
    """Starts count non-blocking connects at once; returns sockets and each connect's duration in ms."""
    socks, started, took = [], {}, {}
    poller = select.poll()

    def harvest(timeout_ms):
        for fd, _ in poller.poll(timeout_ms):
            took[fd] = (time.monotonic() - started[fd]) * 1000.0
            poller.unregister(fd)

    for _ in range(count):
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        s.setblocking(False)
        started[s.fileno()] = time.monotonic()
        rc = s.connect_ex(("127.0.0.1", port))
        if rc == 0:
            took[s.fileno()] = (time.monotonic() - started[s.fileno()]) * 1000.0
        elif rc in (errno.EINPROGRESS, errno.EAGAIN):
            poller.register(s.fileno(), select.POLLOUT)
        else:
            raise OSError(rc, os.strerror(rc))
        socks.append(s)
        harvest(0)   # what completed while the others were still being started
    end = time.monotonic() + 10
    while len(took) < count and time.monotonic() < end:
        harvest(100)
    return socks, [took.get(s.fileno(), float("inf")) for s in socks]


def send_quietly(s, data):
    try:
        s.send(data)
    except OSError:
        pass   # refused by the server or still full: the scenario goes on


def scenario_garbage(program, seconds):
    rng = random.Random(4711)
    clients = [socket.create_connection(("127.0.0.1", program.port)) for _ in range(50)]
    for c in clients:
        c.setblocking(False)
    start_rss = program.rss_kb()
    cpu_before = program.cpu_seconds()
    peak = start_rss
    samples = []
    t0 = time.monotonic()
    next_sample = t0 + 1.0
    sent = 0
    while time.monotonic() - t0 < seconds:
        for i, c in enumerate(clients):
            chunk = b"x" + bytes(rng.getrandbits(8) for _ in range(rng.randint(32, 256)))
            try:
                c.send(chunk)
                sent += len(chunk)
            except BlockingIOError:
                pass
            except OSError:
                clients[i] = socket.create_connection(("127.0.0.1", program.port))
                clients[i].setblocking(False)
        time.sleep(0.002)
        if time.monotonic() >= next_sample:
            samples.append(program.rss_kb())
            peak = max(peak, samples[-1])
            next_sample += 1.0
    t1 = time.monotonic()
    end_rss = program.rss_kb()
    cpu = program.cpu_seconds() - cpu_before
    for c in clients:
        c.close()
    gap, frames = program.frames.max_gap_ms(t0, t1)
    print("garbage: 50 clients, %.0f s, %.1f MB sent; RSS start %.1f MB, peak %.1f MB, end %.1f MB "
          "(end - start %+.1f MB); program's CPU %.0f %%; %d frames, largest gap %.1f ms"
          % (seconds, sent / 1e6, start_rss / 1024, peak / 1024, end_rss / 1024,
             (end_rss - start_rss) / 1024, 100.0 * cpu / (t1 - t0), frames, gap))
    print("  RSS every 5 s (MB): " + " ".join("%.1f" % (kb / 1024) for kb in samples[4::5]))
    return abs(end_rss - start_rss) <= 10 * 1024 and gap <= 100


def report_connects(program, title, t0, took):
    """Prints connect times and the largest frame gap from t0 until a second from now."""
    time.sleep(1.0)
    gap, frames = program.frames.max_gap_ms(t0, time.monotonic())
    slow = sum(1 for t in took if t > 100)
    print("%s: connect median %.2f ms, max %.2f ms, %d slower than 100 ms; %d frames, largest gap %.1f ms"
          % (title, sorted(took)[len(took) // 2], max(took), slow, frames, gap))
    return slow == 0 and gap <= 100


def scenario_burst(program, count=1000):
    t0 = time.monotonic()
    socks, took = connect_all(program.port, count)
    time.sleep(0.5)
    for i, s in enumerate(socks):
        send_quietly(s, KEY + b"K5P%d\n" % (i % 256))
    time.sleep(0.5)
    for s in socks:
        s.close()
    return report_connects(program, "burst: %d clients at once" % count, t0, took)


def scenario_sequential(program, count=200):
    t0 = time.monotonic()
    took = []
    for i in range(count):
        started = time.monotonic()
        s = socket.create_connection(("127.0.0.1", program.port), timeout=5)
        took.append((time.monotonic() - started) * 1000.0)
        send_quietly(s, KEY + b"K6P%d\n" % (i % 256))
        s.close()
    return report_connects(program, "sequential: %d clients one after the other" % count, t0, took)


def scenario_idle(program, count):
    show_before = os.stat(program.show).st_mtime_ns
    cpu_before = program.cpu_seconds()
    t0 = time.monotonic()
    socks, took = connect_all(program.port, count)
    time.sleep(5.0)
    # Clients the server closed read an end of file.
    closed = 0
    for s in socks:
        try:
            closed += s.recv(1) == b""
        except BlockingIOError:
            pass
        except OSError:
            closed += 1
    cpu = program.cpu_seconds() - cpu_before
    t1 = time.monotonic()
    gap, frames = program.frames.max_gap_ms(t0, t1)
    limit = program.open_file_limit()
    rc, err = program.stop()   # with the clients still connected
    for s in socks:
        s.close()
    settings = open(os.path.join(program.folder, "PV_TESSEL.ini"), "rb").read()
    logs = glob.glob(os.path.join(program.folder, "Fehlerlogs", "Log_*.txt"))
    log_text = open(logs[0], "rb").read().decode("utf-8", "replace") if logs else ""
    saved = os.stat(program.show).st_mtime_ns != show_before and os.path.exists(program.show[:-4] + ".~pvs")
    refused_logged = "mehr als 256 Verbindungen" in log_text
    print("idle: %d silent clients held, %d closed by the server; program's open-file limit %s; "
          "CPU %.2f s in %.1f s; %d frames, largest gap %.1f ms; exit %d; show saved: %s, settings written: %s, "
          "error log with refusals: %s"
          % (count, closed, "/".join(limit or ["?"]), cpu, t1 - t0, frames, gap, rc, saved,
             b"StartAktiv=1" in settings, refused_logged))
    if "Too many open files" in err or "Datei" in err:
        print("  program's stderr: " + err.strip().replace("\n", "\n  "))
    return saved and refused_logged and rc == 0 and gap <= 100


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(os.path.dirname(__file__), "..", "build"))
    parser.add_argument("--only", default="garbage,burst,sequential,idle")
    parser.add_argument("--garbage-seconds", type=float, default=40.0)
    parser.add_argument("--idle-clients", type=int, default=300)
    parser.add_argument("--server-page", action="store_true",
                        help="open the program on its server page, the protocol memo on screen")
    parser.add_argument("--fd-limit", type=int, default=0,
                        help="hard open-file limit for the program (default: as inherited)")
    args = parser.parse_args()
    args.idle_clients = max(1, min(args.idle_clients, 2000))
    args.garbage_seconds = max(1.0, min(args.garbage_seconds, 120.0))
    # This process holds up to 1000 client sockets at once.
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))

    results = {}
    for name in args.only.split(","):
        program = Program(args.build, args.fd_limit or None, args.server_page)
        try:
            if name == "garbage":
                results[name] = scenario_garbage(program, args.garbage_seconds)
            elif name == "burst":
                results[name] = scenario_burst(program)
            elif name == "sequential":
                results[name] = scenario_sequential(program)
            elif name == "idle":
                results[name] = scenario_idle(program, args.idle_clients)
            else:
                raise SystemExit("unknown scenario " + name)
            print("  (before it, 3 s without clients: largest frame gap %.1f ms)" % program.quiet_gap_ms)
        finally:
            if program.process.poll() is None:
                program.stop()
            program.cleanup()
    print("passed: " + ", ".join("%s %s" % (k, "yes" if v else "NO") for k, v in results.items()))
    return 0 if all(results.values()) else 1


if __name__ == "__main__":
    sys.exit(main())
