#!/usr/bin/env python3
"""A simulated day of the service under AddressSanitizer, LeakSanitizer and UBSan: a feed at a
high rate, the clock stepped one second per tick (hidden --tick-ms), hourly timed saves of plot
and outline files with the coverage cleared after each. No sanitizer report, status 0, and a
flat RSS are required.

usage: day_under_asan.py [--hours 24] [--cli build/asan/bin/rizuzez-cli] [--tick-ms 1]
(build the sanitizer tree first: cmake --preset asan && cmake --build --preset asan)"""
import argparse
import glob
import os
import signal
import subprocess
import sys
import tempfile
import time

import feedlib


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser()
    ap.add_argument("--hours", type=int, default=24)
    ap.add_argument("--cli", default=os.path.join(here, "..", "..", "build", "asan", "bin",
                                                  "rizuzez-cli"))
    ap.add_argument("--tick-ms", type=int, default=1)
    # ASan keeps freed memory in a quarantine (256 MB by default) to catch late uses; with the
    # default, RSS climbs until the quarantine is full whatever the program does. A bounded
    # quarantine lets the RSS show the program's own memory after a short warm-up.
    ap.add_argument("--quarantine-mb", type=int, default=16)
    a = ap.parse_args()
    work = tempfile.mkdtemp(prefix="rizuzez_day_")
    data = os.path.join(work, "data")
    port = feedlib.free_port()
    server = subprocess.Popen([sys.executable, os.path.join(here, "feedserver.py"), "--port",
                               str(port), "--mode", "blast"], stdout=subprocess.PIPE)
    server.stdout.readline()
    env = dict(os.environ)
    env["ASAN_OPTIONS"] = ("detect_leaks=1:abort_on_error=0:exitcode=86:quarantine_size_mb=%d"
                           % a.quarantine_mb)
    env["UBSAN_OPTIONS"] = "print_stacktrace=1:halt_on_error=1"
    service = feedlib.Service(a.cli, ["--data-dir", data, "--port", str(port), "--lat", "51.0",
                                      "--lon", "0.0", "--no-load", "--autosave", "1h",
                                      "--clear-on-save", "--tick-ms", str(a.tick_ms)],
                              os.path.join(work, "err.txt"), env=env)
    rss = []  # (auto-saves so far, kB)
    started = time.monotonic()
    try:
        while service.proc.poll() is None:
            saves = service.log().count("auto-save:")
            rss.append((saves, service.rss_kb()))
            if saves >= a.hours:
                break
            time.sleep(2)
        real_s = time.monotonic() - started
        service.signal(signal.SIGTERM)
        rc = service.wait(120)
    finally:
        service.kill()
        server.kill()
        server.wait()
    log = service.log()
    sanitizer = [l for l in log.splitlines()
                 if "Sanitizer" in l or "runtime error" in l or "leak" in l.lower()]
    stop = [l for l in log.splitlines() if "stopping (" in l]
    plots = glob.glob(os.path.join(data, "rizuzez1.*-*.dat"))
    outlines = glob.glob(os.path.join(data, "outlines", "rizuzez.*.out"))
    by_save = {}
    for saves, kb in rss:
        by_save.setdefault(saves, kb)
    print("simulated hours: %d in %.0f s of real time (tick every %d ms)"
          % (log.count("auto-save:"), real_s, a.tick_ms))
    print("timed plot sets: %d, timed outline files: %d, coverage cleared: %d times"
          % (len(plots), len(outlines), log.count("coverage cleared")))
    print(stop[-1] if stop else "no stop line")
    # The quarantine and the sanitizer allocator's caches fill during the first hours (how
    # many depends on the feed's rate); the second half of the day must be flat.
    warm = max(1, a.hours // 2)
    quarter = max(1, a.hours // 4)
    print("RSS kB at save 1: %s, save %d: %s, save %d: %s, save %d: %s, max %d" % (
        by_save.get(1), quarter, by_save.get(quarter), warm, by_save.get(warm), a.hours,
        by_save.get(a.hours, rss[-1][1]), max(kb for _, kb in rss)))
    print("exit status: %d; sanitizer lines: %d" % (rc, len(sanitizer)))
    for l in sanitizer[:20]:
        print("  ", l)
    print("work folder:", work)
    settled = by_save.get(warm, rss[0][1])
    ok = (rc == 0 and not sanitizer and log.count("auto-save:") >= a.hours
          and max(kb for s, kb in rss if s >= warm) - settled < 2048)
    print("PASS" if ok else "FAIL")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
