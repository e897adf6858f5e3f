#!/usr/bin/env python3
"""The service against a feed that is killed (SIGKILL) and restarted again and again: it must
reconnect every time, keep every position it had decoded, and not grow in memory.

usage: reconnect_soak.py [--cycles 50] [--cli PATH]"""
import argparse
import os
import random
import signal
import subprocess
import sys
import tempfile
import time

import feedlib


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cycles", type=int, default=50)
    ap.add_argument("--cli", default=feedlib.default_cli())
    ap.add_argument("--seed", type=int, default=7)
    a = ap.parse_args()
    rng = random.Random(a.seed)
    here = os.path.dirname(os.path.abspath(__file__))
    work = tempfile.mkdtemp(prefix="rizuzez_soak_")
    data, ack = os.path.join(work, "data"), os.path.join(work, "ack.txt")
    port = feedlib.free_port()
    service = feedlib.Service(a.cli, ["--data-dir", data, "--port", str(port), "--lat", "51.0",
                                      "--lon", "0.0", "--no-load"], os.path.join(work, "err.txt"))
    rss, reconnect_s, failures = [], [], []
    server = None
    try:
        for cycle in range(1, a.cycles + 2):  # the first connection, then one per restart
            started = time.monotonic()
            server = subprocess.Popen([sys.executable, os.path.join(here, "feedserver.py"),
                                       "--port", str(port), "--seed", str(cycle), "--ack", ack],
                                      stdout=subprocess.PIPE)
            server.stdout.readline()  # listening
            if not service.wait_for("connected to", cycle, timeout=90):
                failures.append("cycle %d: no reconnect" % cycle)
                break
            reconnect_s.append(time.monotonic() - started)
            time.sleep(rng.uniform(0.2, 0.6))  # some batches through this connection
            rss.append(service.rss_kb())
            if cycle == a.cycles + 1:
                break
            server.kill()
            server.wait()
            if not service.wait_for("feed lost", cycle, timeout=30):
                failures.append("cycle %d: loss not noticed" % cycle)
                break
            time.sleep(rng.uniform(0.0, 1.5))  # the feed stays away for a while
        service.signal(signal.SIGTERM)
        rc = service.wait()
    finally:
        if server and server.poll() is None:
            server.kill()
            server.wait()
        service.kill()

    table = feedlib.read_table(os.path.join(data, "rizuzez1.dat"))
    acked = lost = 0
    with open(ack) as f:
        for line in f:
            band, bearing, dist = line.split()
            acked += 1
            if table is None or table[int(band)][int(bearing)][0] < float(dist) - 0.01:
                lost += 1
    log = service.log()
    print("cycles (feed killed and restarted): %d" % a.cycles)
    print("connections: %d, losses noticed: %d, exit status: %d"
          % (log.count("connected to"), log.count("feed lost"), rc))
    print("feed start to connected, s: min %.2f median %.2f max %.2f"
          % (min(reconnect_s), sorted(reconnect_s)[len(reconnect_s) // 2], max(reconnect_s)))
    print("positions decoded (acknowledged): %d, missing from the saved plot: %d" % (acked, lost))
    print("RSS kB: first %d, after 10 %d, last %d, max %d"
          % (rss[0], rss[min(10, len(rss) - 1)], rss[-1], max(rss)))
    ok = (not failures and rc == 0 and lost == 0 and log.count("connected to") == a.cycles + 1
          and rss[-1] - rss[min(10, len(rss) - 1)] < 256)
    for f in failures:
        print("FAILURE:", f)
    print("work folder:", work)
    print("PASS" if ok else "FAIL")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
