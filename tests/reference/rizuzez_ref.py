#!/usr/bin/python3
"""Second, independent decoder of base-station text into plot files, in extended precision.

Written from the description of the algorithms, not from the C++ sources, so that the byte
images written by `rizuzez-cli replay` can be checked against a separate computation.
numpy.longdouble is the x87 80-bit format on x86-64 (64-bit mantissa) and its sin, cos,
arctan2 and sqrt are the long double routines of the C library. Every intermediate is a
longdouble; values are rounded to a double (numpy.float64) only where the algorithm holds
them as doubles: the arguments and results of the two great-circle routines, the distance
in degrees, the course cosine on the western branch, and the outputs.

Usage: rizuzez_ref.py --lat LAT --lon LON [--filter NM] [--blacklist FILE]
                      [--order left|factor] --out DIR FILE...
Writes rizuzez1.dat, rizuzez1.max and rizuzez1.hex into DIR and prints the counters as JSON.
"""

import argparse
import json
import os
import re
import struct
import sys

import numpy as np

LD = np.longdouble
F64 = np.float64

if np.finfo(LD).nmant != 63:
    sys.exit("rizuzez_ref: numpy.longdouble is not the 80-bit extended format here")

PI = LD("3.14159265358979323846264338327950288419716939937510")
INVALID = F64(-999.0)
EQUAL_POINTS = LD("1e-15")  # degrees
POLE = LD("1e-15")
MINUTES_PER_DEGREE = LD(60)


class Conversions:
    """Degrees <-> radians. 'left' evaluates x * pi / 180 and x * 180 / pi from left to right;
    'factor' multiplies by the quotient pi / 180 (or 180 / pi) formed first."""

    def __init__(self, order):
        if order == "left":
            self.to_rad = lambda x: (LD(x) * PI) / LD(180)
            self.to_deg = lambda x: (LD(x) * LD(180)) / PI
        elif order == "factor":
            f, g = PI / LD(180), LD(180) / PI
            self.to_rad = lambda x: LD(x) * f
            self.to_deg = lambda x: LD(x) * g
        else:
            raise ValueError(order)


def arccos(x):
    """arccos as atan2(sqrt(1 - x^2), x); None when 1 - x^2 is negative or not a number."""
    x = LD(x)
    radicand = LD(1) - x * x
    if not radicand >= 0:
        return None
    r = np.arctan2(np.sqrt(radicand), x)
    return r if np.isfinite(r) else None


def gc_distance(phi1, lam1, phi2, lam2):
    """Angular distance (radians, double) or INVALID. Arguments are doubles."""
    with np.errstate(all="ignore"):
        x = np.sin(LD(phi1)) * np.sin(LD(phi2)) + np.cos(LD(phi1)) * np.cos(LD(phi2)) * np.cos(
            LD(lam1) - LD(lam2))
        if not np.isfinite(x):
            return INVALID
        r = arccos(x)
    return INVALID if r is None else F64(r)


def gc_course(phi1, lam1, phi2, lam2, d):
    """Initial course (radians, double) or INVALID. Arguments are doubles."""
    with np.errstate(all="ignore"):
        if np.cos(LD(phi1)) < POLE:
            return F64(PI) if phi1 > 0 else F64(LD(2) * PI)
        divisor = np.sin(LD(d)) * np.cos(LD(phi1))
        if divisor == 0 or not np.isfinite(divisor):
            return INVALID
        x = (np.sin(LD(phi2)) - np.sin(LD(phi1)) * np.cos(LD(d))) / divisor
        if not np.isfinite(x):
            return INVALID
        if np.sin(LD(lam2) - LD(lam1)) < 0:
            r = arccos(x)
            return INVALID if r is None else F64(r)
        r = arccos(F64(x))  # western branch: the cosine is held as a double first
        return INVALID if r is None else F64(LD(2) * PI - r)


def calc_dist_course(lat1, lon1, lat2, lon2, conv):
    """(distance NM, course degrees) as doubles; either may be INVALID."""
    lat1, lon1, lat2, lon2 = F64(lat1), F64(lon1), F64(lat2), F64(lon2)
    if abs(LD(lat1) - LD(lat2)) < EQUAL_POINTS and abs(LD(lon1) - LD(lon2)) < EQUAL_POINTS:
        return F64(0), F64(0)
    phi1 = F64(conv.to_rad(lat1))
    lam1 = F64(conv.to_rad(-lon1))
    phi2 = F64(conv.to_rad(lat2))
    lam2 = F64(conv.to_rad(-lon2))
    d = gc_distance(phi1, lam1, phi2, lam2)
    if d == INVALID:
        return INVALID, INVALID
    big_d = F64(conv.to_deg(d))
    c = gc_course(phi1, lam1, phi2, lam2, F64(conv.to_rad(big_d)))
    course = INVALID if c == INVALID else F64(conv.to_deg(c))
    return F64(LD(big_d) * MINUTES_PER_DEGREE), course


NUMBER = re.compile(rb"[+-]?(?:[0-9]+(?:\.[0-9]*)?|\.[0-9]+)(?:[eE][+-]?[0-9]+)?")


def str_to_coord(text):
    """Decimal text ('.' as the mark) to a double; INVALID for anything else or overflow."""
    text = trim(text)
    if not NUMBER.fullmatch(text):
        return INVALID
    v = float(text.decode("ascii"))
    return F64(v) if v not in (float("inf"), float("-inf")) else INVALID


def trim(b):
    """Leading and trailing characters up to code 32 removed."""
    i, j = 0, len(b)
    while i < j and b[i] <= 32:
        i += 1
    while j > i and b[j - 1] <= 32:
        j -= 1
    return b[i:j]


def split_lines(data):
    """Lines ended by CR LF, a lone CR or a lone LF; the text after the last break is a line."""
    lines = re.split(rb"\r\n|\r|\n", data)
    if lines and lines[-1] == b"":
        lines.pop()
    return lines


def blacklist_text(data):
    """The file without its first five lines, letters a-z upper-cased, lines joined by CR LF."""
    lines = split_lines(data)[5:]
    return b"".join(line.upper() + b"\r\n" for line in lines)


class Plot:
    def __init__(self, home_lat, home_lon, filter_range, blacklist, conv):
        self.home = (F64(home_lat), F64(home_lon))
        self.filter = F64(filter_range)
        self.blacklist = blacklist
        self.conv = conv
        self.cells = [[(F64(0), F64(0), F64(0)) for _ in range(360)] for _ in range(4)]
        self.max = (F64(0),) * 5
        self.mode_s = b""
        self.total = 0
        self.ignored = 0
        self.trace = []  # (distance, course) of every position that reached the geodesy

    def next_field(self, rest):
        """(field, new rest): text before the first comma, trimmed; none after the last."""
        k = rest.find(b",")
        if k < 0:
            return b"", b""
        return trim(rest[:k]), rest[k + 1:]

    def line(self, line):
        if len(line) > 11 and line[:3] == b"MSG":
            self.decode(line)

    def decode(self, line):
        rest = line[4:4 + 255] + b","
        fields = {}
        for n in range(2, 17):
            fields[n], rest = self.next_field(rest)
        if fields[2] not in (b"2", b"3"):
            return
        self.total += 1
        mode_s = fields[5]
        if mode_s and mode_s in self.blacklist:
            return
        alt_t, lat_t, lon_t = fields[12], fields[15], fields[16]
        if not alt_t or not lat_t or not lon_t:
            return
        lat = str_to_coord(lat_t)
        if lat == INVALID or lat == 0:
            return
        lon = str_to_coord(lon_t)
        if lon == INVALID or lon == 0:
            return
        alt = str_to_coord(alt_t)
        if alt == INVALID:
            return
        if alt >= 40000:
            alt = F64(39999)
        band = np.trunc(LD(alt) / LD(10000))
        dist, course = calc_dist_course(self.home[0], self.home[1], lat, lon, self.conv)
        self.trace.append((dist, course))
        if dist > self.filter:
            self.ignored += 1
            return
        if course == INVALID or dist == INVALID:
            return
        bearing = np.rint(course)  # nearest, ties to even
        if not (0 <= bearing <= 359 and 0 <= band <= 3):
            return
        b, i = int(band), int(bearing)
        if dist > self.cells[b][i][0]:
            self.cells[b][i] = (dist, lat, lon)
        if dist > self.max[0]:
            self.max = (dist, course, lat, lon, alt)
            self.mode_s = mode_s

    def images(self):
        dat = b"".join(struct.pack("<3d", *map(float, c)) for band in self.cells for c in band)
        mx = struct.pack("<5d", *map(float, self.max))
        return dat, mx, self.mode_s + b"\r\n"


def replay(paths, lat, lon, filter_range=999.0, blacklist=b"", order="left"):
    plot = Plot(lat, lon, filter_range, blacklist, Conversions(order))
    for p in paths:
        with open(p, "rb") as f:
            for line in split_lines(f.read()):
                plot.line(line)
    return plot


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--lat", type=float, required=True)
    ap.add_argument("--lon", type=float, required=True)
    ap.add_argument("--filter", type=float, default=999.0)
    ap.add_argument("--blacklist")
    ap.add_argument("--order", choices=["left", "factor"], default="left")
    ap.add_argument("--out", required=True)
    ap.add_argument("files", nargs="+")
    a = ap.parse_args()
    bl = b""
    if a.blacklist:
        with open(a.blacklist, "rb") as f:
            bl = blacklist_text(f.read())
    plot = replay(a.files, a.lat, a.lon, a.filter, bl, a.order)
    os.makedirs(a.out, exist_ok=True)
    for ext, data in zip(("dat", "max", "hex"), plot.images()):
        with open(os.path.join(a.out, "rizuzez1." + ext), "wb") as f:
            f.write(data)
    print(json.dumps({"total_msgs": plot.total, "ignored_msgs": plot.ignored}))


if __name__ == "__main__":
    main()
