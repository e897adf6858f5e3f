#!/usr/bin/env python3
"""A base-station port for the reliability runs, as a process of its own (so it can be killed).

sync mode: batches of random positions, each followed by a terminal-type request; once the
client has answered it (it has decoded the batch), the batch is appended to --ack as lines
"band bearing dist". blast mode: a fixed buffer of random positions as fast as the client reads.
Serves one client after the other until killed."""
import argparse
import random
import socket
import sys
import time

import feedlib


def batch(rng, n, first_id):
    lines, acks = [], []
    for i in range(n):
        band, bearing = rng.randrange(4), rng.randrange(360)
        dist = round(rng.uniform(5.0, 250.0), 3)
        lines.append(feedlib.position_line("%06X" % ((first_id + i) & 0xFFFFFF), band, bearing, dist))
        acks.append("%d %d %.3f\n" % (band, bearing, dist))
    return b"".join(lines), acks


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--port", type=int, required=True)
    ap.add_argument("--mode", choices=["sync", "blast"], default="sync")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--batch", type=int, default=20)
    ap.add_argument("--pause", type=float, default=0.01, help="seconds between sync batches")
    ap.add_argument("--ack", help="file the decoded positions are appended to (sync mode)")
    a = ap.parse_args()
    rng = random.Random(a.seed)
    server = feedlib.listen(a.port)
    print("listening", flush=True)
    blast = batch(rng, 20000, 0x100000)[0] if a.mode == "blast" else b""
    ack = open(a.ack, "a") if a.ack else None
    next_id = a.seed * 0x10000
    while True:
        conn, _ = server.accept()
        client = feedlib.FeedClient(conn)
        try:
            while True:
                if a.mode == "blast":
                    conn.sendall(blast)
                    continue
                data, acks = batch(rng, a.batch, next_id)
                next_id += a.batch
                client.send_and_sync(data)
                if ack:
                    ack.writelines(acks)
                    ack.flush()
                time.sleep(a.pause)
        except (OSError, ConnectionError):
            client.close()


if __name__ == "__main__":
    sys.exit(main())
