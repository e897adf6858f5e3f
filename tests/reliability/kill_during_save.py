#!/usr/bin/env python3
"""SIGKILL of the service at random moments of its closing save, again and again: the default
plot files must always be one complete set, the old one or the new one.

A save killed after its commit point is finished by the next load; the check reads the files
after the info command has done that, as the window and the service do when they load.

Each round starts the service on the same data folder (reloading the default plot), feeds one
position that is further than any before and carries the round in its Mode-S ID, stops the
service with SIGTERM (which writes the default plot) and sends SIGKILL a random moment later,
spread over the time a save takes. Then the three files are read: each must be complete, and
all three must name the same round.

usage: kill_during_save.py [--rounds 200] [--cli PATH]"""
import argparse
import glob
import os
import random
import re
import signal
import statistics
import subprocess
import sys
import tempfile
import time

import feedlib

BASE_ID = 0xA00000
FIRST_NM = 20.0


def round_position(k):
    return feedlib.position_line("%06X" % (BASE_ID + k), 1, k % 359, FIRST_NM + k)


def inspect(data):
    """(generation of .dat, .max, .hex) or a text saying what is torn; None when absent."""
    paths = [os.path.join(data, "rizuzez1." + e) for e in ("dat", "max", "hex")]
    present = [os.path.exists(p) for p in paths]
    if not any(present):
        return None
    if not all(present):
        return "incomplete set: %s" % present
    table = feedlib.read_table(paths[0])
    record = feedlib.read_max(paths[1])
    with open(paths[2], "rb") as f:
        hex_text = f.read()
    if table is None:
        return "torn .dat"
    if record is None:
        return "torn .max"
    m = re.fullmatch(rb"([0-9A-F]{6})\r\n", hex_text)
    if not m:
        return "torn .hex %r" % hex_text
    dat_max = max(c[0] for band in table for c in band)
    return (round(dat_max - FIRST_NM), round(record[0] - FIRST_NM), int(m.group(1), 16) - BASE_ID)


def one_round(cli, data, work, k, port, kill_after):
    """Returns (exited on its own before the kill, seconds from SIGTERM to its end)."""
    server = feedlib.listen(port)
    service = feedlib.Service(cli, ["--data-dir", data, "--port", str(port), "--lat", "51.0",
                                    "--lon", "0.0", "--load"], os.path.join(work, "err.txt"))
    try:
        server.settimeout(30)
        conn, _ = server.accept()
        client = feedlib.FeedClient(conn)
        client.send_and_sync(round_position(k))
        t0 = time.monotonic()
        service.signal(signal.SIGTERM)
        if kill_after is not None:
            time.sleep(kill_after)
            exited = service.proc.poll() is not None
            service.proc.send_signal(signal.SIGKILL)
        service.proc.wait(30)
        elapsed = time.monotonic() - t0
        if kill_after is None:
            exited = service.proc.returncode == 0
        client.close()
        return exited, elapsed, service.log()
    finally:
        service.kill()
        server.close()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--rounds", type=int, default=200)
    ap.add_argument("--cli", default=feedlib.default_cli())
    ap.add_argument("--seed", type=int, default=11)
    a = ap.parse_args()
    rng = random.Random(a.seed)
    work = tempfile.mkdtemp(prefix="rizuzez_kill_")
    data = os.path.join(work, "data")
    port = feedlib.free_port()

    # Calibration: how long a stop with its save takes here.
    stops = []
    committed = None
    for k in range(1, 6):
        exited, elapsed, log = one_round(a.cli, data, work, k, port, None)
        assert exited, log
        stops.append(elapsed)
        committed = k
    stop_s = statistics.median(stops)

    counts = {"exited before the kill": 0, "killed, old set kept": 0, "killed, new set": 0}
    leftovers = mixed = torn = damaged_loads = after_commit = raw_mixed = 0
    problems = []
    for k in range(6, 6 + a.rounds):
        delay = rng.uniform(0.0, 1.5 * stop_s)
        exited, _, log = one_round(a.cli, data, work, k, port, delay)
        if "DAMAGED" in log:
            damaged_loads += 1
        if glob.glob(os.path.join(data, "*.tmp")):
            leftovers += 1  # the kill fell inside the save
        raw = inspect(data)
        if os.path.exists(os.path.join(data, "rizuzez1.commit")):
            after_commit += 1
            if isinstance(raw, tuple) and len(set(raw)) != 1:
                raw_mixed += 1
        # What the programs read: a load (here the info command) first finishes a save that
        # was killed after its commit point.
        subprocess.run([a.cli, "info", "--data-dir", data], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=False)
        state = inspect(data)
        if not isinstance(state, tuple):
            torn += 1
            problems.append("round %d: %s" % (k, state))
            continue
        if len(set(state)) != 1:
            mixed += 1
            problems.append("round %d: mixed set %s (old %d, new %d)" % (k, state, committed, k))
            continue
        g = state[0]
        if g == k:
            counts["exited before the kill" if exited else "killed, new set"] += 1
            committed = k
        elif g == committed:
            counts["killed, old set kept"] += 1
        else:
            problems.append("round %d: set of round %d, expected %d or %d" % (k, g, committed, k))

    print("rounds: %d; a stop with its save takes %.1f ms (median of 5); kill delay 0 to %.1f ms"
          % (a.rounds, stop_s * 1000, 1.5 * stop_s * 1000))
    for name, n in counts.items():
        print("%-24s %d" % (name + ":", n))
    print("killed inside the save (temporary files left): %d" % leftovers)
    print("killed after the commit point (marker left): %d, of them files mixed before the load "
          "finished the save: %d" % (after_commit, raw_mixed))
    print("torn files: %d, mixed sets: %d, damaged plot on reload: %d" % (torn, mixed, damaged_loads))
    for p in problems[:20]:
        print("PROBLEM:", p)
    print("work folder:", work)
    ok = not problems and damaged_loads == 0
    print("PASS" if ok else "FAIL")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
