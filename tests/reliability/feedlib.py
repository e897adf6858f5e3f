"""Helpers for the service's reliability runs: positions at chosen bearings and distances, a
base-station port that knows what the service has decoded, the service process, plot files."""
import math
import os
import signal
import socket
import struct
import subprocess
import time

IAC, SB, SE, DO, WILL = 255, 250, 240, 253, 251
TTYPE = 24
# Terminal-type request: the client answers each one only after decoding everything before it.
TTYPE_DO = bytes([IAC, DO, TTYPE])
TTYPE_SEND = bytes([IAC, SB, TTYPE, 1, IAC, SE])
TTYPE_REPLY = bytes([IAC, SB, TTYPE, 0]) + b"dumb" + bytes([IAC, SE])

HOME = (51.0, 0.0)
PLOT_TABLE_BYTES = 4 * 360 * 24
MAX_BYTES = 40


def destination(lat, lon, bearing_deg, dist_nm):
    """Point at dist_nm (one minute of arc each) on the initial course bearing_deg."""
    p1, l1 = math.radians(lat), math.radians(lon)
    t, d = math.radians(bearing_deg), math.radians(dist_nm / 60.0)
    p2 = math.asin(math.sin(p1) * math.cos(d) + math.cos(p1) * math.sin(d) * math.cos(t))
    l2 = l1 + math.atan2(math.sin(t) * math.sin(d) * math.cos(p1),
                         math.cos(d) - math.sin(p1) * math.sin(p2))
    return math.degrees(p2), (math.degrees(l2) + 540.0) % 360.0 - 180.0


def position_line(mode_s, band, bearing, dist_nm, home=HOME):
    """A type 3 line recorded in (band, bearing) at dist_nm; the course is bearing + 0.2."""
    lat, lon = destination(home[0], home[1], bearing + 0.2, dist_nm)
    alt = band * 10000 + 5000
    return ("MSG,3,1,1,%s,1,2024/05/01,10:00:00.000,2024/05/01,10:00:00.000,,%d,,,%.6f,%.6f,"
            ",,,,,0\r\n" % (mode_s, alt, lat, lon)).encode()


class FeedClient:
    """One accepted connection of the test's own base-station port."""

    def __init__(self, conn):
        self.conn = conn
        self.conn.settimeout(20)
        self.conn.sendall(TTYPE_DO)

    def send_and_sync(self, data):
        """Sends data and waits until the service has decoded all of it."""
        self.conn.sendall(data + TTYPE_SEND)
        got = b""
        while TTYPE_REPLY not in got:
            chunk = self.conn.recv(4096)
            if not chunk:
                raise ConnectionError("service closed the connection")
            got += chunk
            got = got[-64:]

    def close(self):
        try:
            self.conn.close()
        except OSError:
            pass


def listen(port=0):
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind(("127.0.0.1", port))
    s.listen(4)
    return s


def free_port():
    s = listen(0)
    port = s.getsockname()[1]
    s.close()
    return port


class Service:
    """rizuzez-cli run as a child process with its stderr in a file."""

    def __init__(self, cli, args, err_path, env=None):
        self.err_path = err_path
        self.err = open(err_path, "wb")
        self.proc = subprocess.Popen([cli, "run"] + args, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL, stderr=self.err, env=env)

    def log(self):
        with open(self.err_path, "rb") as f:
            return f.read().decode(errors="replace")

    def wait_for(self, needle, times=1, timeout=30.0):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            if self.log().count(needle) >= times:
                return True
            if self.proc.poll() is not None:
                return self.log().count(needle) >= times
            time.sleep(0.01)
        return False

    def rss_kb(self):
        with open("/proc/%d/status" % self.proc.pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
        return 0

    def signal(self, sig):
        self.proc.send_signal(sig)

    def wait(self, timeout=60):
        try:
            return self.proc.wait(timeout)
        finally:
            self.err.close()

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self.err.close()


def read_table(path):
    """The .dat as table[band][bearing] = (dist, lat, lon); None when not 34,560 bytes."""
    with open(path, "rb") as f:
        data = f.read()
    if len(data) != PLOT_TABLE_BYTES:
        return None
    cells = struct.unpack("<%dd" % (4 * 360 * 3), data)
    return [[cells[(b * 360 + t) * 3:(b * 360 + t) * 3 + 3] for t in range(360)]
            for b in range(4)]


def read_max(path):
    """The .max as (dist, trk, lat, lon, alt); None when not 40 bytes."""
    with open(path, "rb") as f:
        data = f.read()
    return struct.unpack("<5d", data) if len(data) == MAX_BYTES else None


def default_cli():
    here = os.path.dirname(os.path.abspath(__file__))
    return os.path.join(here, "..", "..", "build", "dev", "bin", "rizuzez-cli")
