#!/usr/bin/python3
"""Replays real captures and hand-made edge cases through `rizuzez-cli replay` and through the
independent extended-precision decoder (rizuzez_ref.py), and compares rizuzez1.dat, .max and
.hex byte for byte, together with the message counters.

Usage: check_replay.py --cli PATH --source-dir DIR [--orders]
  --orders  also replay every case with the degrees/radians factor formed first
            (x * (pi/180)) and count the cells whose bytes differ from x * pi / 180.
Captures under DIR/../shared/data are used when that folder exists and skipped otherwise.
Exit status 0 when every case matches, 1 otherwise.
"""

import argparse
import json
import math
import os
import struct
import subprocess
import sys
import tempfile

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import rizuzez_ref as ref  # noqa: E402

LEFT = ref.Conversions("left")


def msg(typ, ident, alt, lat, lon, tail=",,,0,0,0,0"):
    return ("MSG,%s,1,1,%s,1,2024/05/01,10:00:00.000,2024/05/01,10:00:00.000,,%s,,,%s,%s%s"
            % (typ, ident, alt, lat, lon, tail)).encode("latin-1")


def num(x):
    return repr(float(x))


# ---------------------------------------------------------------- edge-case inputs

def lines_file():
    """Line selection, line ends and field trimming."""
    p = msg("3", "A00001", "5000", "53.0", "6.0")
    q = msg("3", "A00002", "5000", "51.0", "4.0")
    r = msg("2", "A00003", "0", "52.5", "7.0")
    parts = [
        p, b"\r\n", q, b"\n", r, b"\r",                       # CR LF, lone LF, lone CR
        msg("3", "A00004", "15000", "50.0", "5.5"), b"\n\r",  # LF CR
        b"\r\n\n\r\r\n",                                       # empty lines
        b"msg,3,1,1,A00005,1,a,b,c,d,,5000,,,53.5,6.5\r\n",    # lower case
        b"MSG,3,1,1,4\r\n",                                    # 11 characters
        b"MSG,3,1,1,4C\r\n",                                   # 12: counted, then dropped
        b"MSG, 3 ,1,1,A00006,1,a,b,c,d,,25000,,,54.0,5.0\r\n", # blanks around the type
        b"MSG,\t3\t,1,1,A00007,1,a,b,c,d,,25000,,,53.2,4.1\r\n",
        b"MSG,03,1,1,A00008,1,a,b,c,d,,25000,,,54.0,6.0\r\n",
        b"MSG,1,1,1,A00009,1,a,b,c,d,,25000,,,54.0,6.0\r\n",
        b"MSG,4,1,1,A0000A,1,a,b,c,d,,25000,,,54.0,6.0\r\n",
        b"MSG,8,1,1,A0000B,1,a,b,c,d,,25000,,,54.0,6.0\r\n",
        b"MSGX3,1,1,A0000C,1,a,b,c,d,,25000,,,54.1,6.1\r\n",   # fourth character not a comma
        b"MSG,3,1,1, A0000D ,1,a,b,c,d,, 35000 ,,,\t52.9\x01, \x1f6.3 \r\n",
        b"MSG,3,1,1,A0000E,1,a,b,c,d,,35000,,,52.8,6.4\x00\r\n",
        b"MSG,3,1,1,A\xe9\xff,1,a,b,c,d,,35000,,,52.7,6.5\xa0\r\n",  # bytes above 127
        b"MSG,3,1,1,A0000F,1,a,b,c,d,,35000,,,52.6\r\n",        # no longitude field
        b"MSG,3,1,1,A00010,1,a,b,c,d,,35000,,,52.6,6.6",        # last line, no line end
    ]
    return b"".join(parts)


def numbers_file():
    """StrToCoord on message fields: what reads as a number and what does not."""
    lats = ["0", "-0", "0.0", "+52.5", "53.", ".5", "5.3e1", "5.31E+1", "1e-320", "2e-324",
            "1e400", "-1e400", "nan", "inf", "-inf", "0x35", "52.5.1", "52,5", "5 3", "-999",
            "-999.0", "1e300", "-1e300", "91", "-91", "180.5", "720", "52.000000000000000001",
            "0052.5", "52.5e", "e5", "-", "+", ".", "52.123456789012345678901234567890"]
    out = []
    for i, t in enumerate(lats):
        out.append(msg("3", "B%05X" % i, "12000", t, "5.5"))
        out.append(msg("3", "C%05X" % i, "12000", "51.5", t))
        out.append(msg("3", "D%05X" % i, t, "52.5", "6.25"))
    return b"\r\n".join(out) + b"\r\n"


def altitudes_file():
    alts = ["45000", "40000", "39999.9", "39999", "30000", "29999.999", "20000", "19999",
            "10000", "9999.99", "0", "-0", "-0.5", "-9999", "-9999.999", "-10000", "-10000.5",
            "-1e300", "1e300", "-99999999999999999999999", "1e308", "-1e308"]
    for bound in (-10000.0, 10000.0, 20000.0, 30000.0, 40000.0):  # each band edge, +- one ulp
        alts += [num(np.nextafter(bound, -1e9)), num(bound), num(np.nextafter(bound, 1e9))]
    out = []
    for i, a in enumerate(alts):
        # one bearing per altitude so that every one leaves its own cell
        out.append(msg("3", "E%05X" % i, a, num(53.0 + i * 0.01), num(5.0 + 0.3 + i * 0.05)))
    return b"\r\n".join(out) + b"\r\n"


def ties_file():
    """Equal distances: the first wins a cell and the furthest contact; bands are separate."""
    out = [
        msg("3", "F00001", "5000", "54.0", "7.0"),
        msg("3", "F00002", "5000", "54.0", "7.0"),   # same cell, same distance
        msg("3", "F00003", "35000", "54.0", "7.0"),  # same distance, other band
        msg("3", "F00004", "15000", "54.0", "7.0"),
        msg("3", "F00005", "25000", "54.0", "7.0"),
        msg("3", "F00006", "25000", "54.0", "7.0000000000000001"),  # same double
    ]
    return b"\r\n".join(out) + b"\r\n"


def long_lines_file():
    """Only 255 characters after "MSG," are split into fields."""
    out = []
    base = "MSG,3,1,1,%s,1,2024/05/01,10:00:00.000,2024/05/01,10:00:00.000,,%s,,,%s,%s"
    for i, pad in enumerate(range(150, 200, 3)):
        # The longitude is cut at character 259 of the line for some paddings.
        line = base % ("G%05X" % i, "5000" + " " * pad, "53.1", "6.123456789")
        out.append(line.encode())
    out.append((base % ("G10000", " " * 300 + "5000", "53.1", "6.2")).encode())  # beyond
    out.append((base % ("G10001", "5000", "53.2", "6.3") + ",,,0,0,0,0" + "x" * 5000).encode())
    # Far longer than any chunk the tool reads: straddles a chunk boundary whatever the size.
    out.append((base % ("G10002", "5000", "53.3", "6.4") + "," + "y" * 70000).encode())
    out.append(b"MSG,3," + b"z" * 9000)
    out.append(msg("3", "G10003", "5000", "53.4", "6.5"))
    return b"\r\n".join(out) + b"\r\n"


def blacklist_files():
    bl = (b"# header line 1\r\n# header 2\r\n# header 3\r\n# header 4\r\n\r\n"
          b"4ca1d5 test aircraft\r\nH00002\r\nabcdef,H00003\n")
    lines = [
        msg("3", "4CA1D5", "5000", "53.0", "6.0"),   # listed (after upper-casing)
        msg("3", "4ca1d5", "5000", "53.1", "6.1"),   # lower case: not found
        msg("3", "4CA1", "5000", "53.2", "6.2"),     # part of a listed ID
        msg("3", "", "5000", "53.3", "6.3"),         # empty: never found
        msg("3", "H00002", "5000", "53.4", "6.4"),
        msg("3", "H00003", "5000", "53.5", "6.5"),
        msg("3", "TEST", "5000", "53.6", "6.6"),     # a word of a comment
        msg("3", "# HEADER", "5000", "53.7", "6.7"), # header lines are not in the text
        msg("3", "H00009", "5000", "53.8", "6.8"),
    ]
    return bl, b"\r\n".join(lines) + b"\r\n"


def destination(lat, lon, course, dist_deg):
    """A point dist_deg away on the given initial course (plain doubles, for placing targets)."""
    p1, l1, t, d = map(math.radians, (lat, lon, course, dist_deg))
    p2 = math.asin(math.sin(p1) * math.cos(d) + math.cos(p1) * math.sin(d) * math.cos(t))
    l2 = l1 + math.atan2(math.sin(t) * math.sin(d) * math.cos(p1),
                         math.cos(d) - math.sin(p1) * math.sin(p2))
    lon2 = (math.degrees(l2) + 540.0) % 360.0 - 180.0
    return math.degrees(p2), lon2


def bearing_boundary(home, lat2, lon_lo, lon_hi):
    """Adjacent longitudes (doubles) between which the rounded course changes, or None."""
    def key(lon):
        _, c = ref.calc_dist_course(home[0], home[1], lat2, lon, LEFT)
        return None if c == ref.INVALID else float(np.rint(c))
    k_lo, k_hi = key(lon_lo), key(lon_hi)
    if k_lo is None or k_hi is None or k_lo == k_hi:
        return None
    lo, hi = lon_lo, lon_hi
    while np.nextafter(lo, hi) != hi:
        mid = lo + (hi - lo) / 2
        if mid in (lo, hi):
            break
        if key(mid) == k_lo:
            lo = mid
        else:
            hi = mid
    return lo, hi


def geometry_file(home, stats):
    """Targets placed around the station: cardinal directions, the meridian, near and far
    points, the antimeridian, and pairs of adjacent longitudes at whole-degree rounding edges."""
    hlat, hlon = home
    out = []
    n = [0]

    def add(lat, lon, alt="20000"):
        if lat == 0 or lon == 0:
            return
        n[0] += 1
        out.append(msg("3", "K%05X" % n[0], alt, num(lat), num(lon)))

    for dlat in (0.5, 2.0, 10.0, -0.5, -2.0, -10.0):   # due north and due south
        add(hlat + dlat, hlon)
    for d in (1e-16, 1e-15, 1e-14, 1e-13, 1e-9):        # nearly the station itself
        add(hlat + d, hlon)
        add(hlat, hlon + d)
        add(hlat - d, hlon - d)
    add(hlat, hlon)                                      # the station itself
    add(-hlat, hlon + 180.0 if hlon <= 0 else hlon - 180.0)  # antipode
    add(-hlat + 1e-9, (hlon + 180.0 if hlon <= 0 else hlon - 180.0) + 1e-9)
    for c in range(0, 360, 15):                          # a ring at several distances
        for dist in (0.3, 3.0, 14.0, 45.0, 120.0):
            add(*destination(hlat, hlon, c + 0.25, dist), alt=str(1000 + 9000 * (c % 4)))
    for lon in (179.9, -179.9, 180.0, -180.0, 359.0, -359.0):  # antimeridian and beyond
        add(hlat + 1.0, lon)
    edges = exact = 0
    for k in (0, 1, 44, 89, 90, 179, 180, 269, 270, 358, 359):
        for dist in (1.0, 20.0, 70.0):
            lat2, lon2 = destination(hlat, hlon, k + 0.5, dist)
            b = bearing_boundary(home, lat2, lon2 - 1e-4, lon2 + 1e-4)
            if b is None:
                continue
            edges += 1
            for lon in b:
                _, c = ref.calc_dist_course(hlat, hlon, lat2, lon, LEFT)
                exact += c == k + 0.5
                add(lat2, lon)
    stats["rounding edges"] = stats.get("rounding edges", 0) + edges
    stats["exact .5 courses"] = stats.get("exact .5 courses", 0) + exact
    return b"\r\n".join(out) + b"\r\n"


# ---------------------------------------------------------------- running both sides

def read_images(folder):
    out = []
    for ext in ("dat", "max", "hex"):
        with open(os.path.join(folder, "rizuzez1." + ext), "rb") as f:
            out.append(f.read())
    return out


def differing_cells(a, b):
    return sum(a[i:i + 24] != b[i:i + 24] for i in range(0, 34560, 24))


def describe_cell_difference(a, b):
    for i in range(0, 34560, 24):
        if a[i:i + 24] != b[i:i + 24]:
            band, bearing = divmod(i // 24, 360)
            return "first at band %d bearing %d: cli %r, reference %r" % (
                band, bearing, struct.unpack("<3d", a[i:i + 24]),
                struct.unpack("<3d", b[i:i + 24]))
    return ""


def run_case(cli, case, work, orders, report):
    files, lat, lon = case["files"], case["lat"], case["lon"]
    filt = case.get("filter", 999.0)
    bl_path = case.get("blacklist")
    cli_dir = os.path.join(work, case["name"], "cli")
    cmd = [cli, "replay", "--lat", num(lat), "--lon", num(lon), "--filter", num(filt),
           "--data-dir", cli_dir, "--json"]
    if bl_path:
        cmd += ["--blacklist", bl_path]
    res = subprocess.run(cmd + files, capture_output=True)
    if res.returncode != 0:
        return "rizuzez-cli failed (%d): %s" % (res.returncode, res.stderr.decode(errors="replace"))
    got = json.loads(res.stdout)
    bl = b""
    if bl_path:
        with open(bl_path, "rb") as f:
            bl = ref.blacklist_text(f.read())
    plot = ref.replay(files, lat, lon, filt, bl, "left")
    want = plot.images()
    have = read_images(cli_dir)
    problems = []
    if (got["total_msgs"], got["ignored_msgs"]) != (plot.total, plot.ignored):
        problems.append("counters cli %d/%d, reference %d/%d" % (
            got["total_msgs"], got["ignored_msgs"], plot.total, plot.ignored))
    if have[0] != want[0]:
        problems.append(".dat: %d cells differ, %s" % (
            differing_cells(have[0], want[0]), describe_cell_difference(have[0], want[0])))
    if have[1] != want[1]:
        problems.append(".max: cli %r, reference %r" % (
            struct.unpack("<5d", have[1]), struct.unpack("<5d", want[1])))
    if have[2] != want[2]:
        problems.append(".hex: cli %r, reference %r" % (have[2], want[2]))
    filled = sum(want[0][i:i + 8] != b"\0" * 8 for i in range(0, 34560, 24))
    line = "%-34s msgs %6d ignored %5d cells %4d" % (case["name"], plot.total, plot.ignored,
                                                      filled)
    if orders:
        alt = ref.replay(files, lat, lon, filt, bl, "factor")
        other = alt.images()
        dists = sum(x[0] != y[0] for x, y in zip(plot.trace, alt.trace))
        courses = sum(x[1] != y[1] for x, y in zip(plot.trace, alt.trace))
        line += "   x*(pi/180): %d/%d distances, %d courses, %d cells, .max %s" % (
            dists, len(plot.trace), courses, differing_cells(other[0], want[0]),
            "differs" if other[1] != want[1] else "same")
    report.append(line)
    return "; ".join(problems)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cli", required=True)
    ap.add_argument("--source-dir", required=True)
    ap.add_argument("--orders", action="store_true")
    a = ap.parse_args()

    samples = os.path.join(a.source_dir, "samples")
    shared = os.path.normpath(os.path.join(a.source_dir, "..", "shared", "data"))
    work = tempfile.mkdtemp(prefix="rizuzez_ref_")
    inputs = os.path.join(work, "inputs")
    os.makedirs(inputs)

    def put(name, data):
        path = os.path.join(inputs, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    japan = os.path.join(samples, "japan_2h.sbs")
    sicily = os.path.join(samples, "modes1_sicily.sbs")
    cases = [
        dict(name="sicily", files=[sicily], lat=37.50, lon=15.07),
        dict(name="japan", files=[japan], lat=34.55, lon=135.79),
        dict(name="japan_filter_60", files=[japan], lat=34.55, lon=135.79, filter=60.0),
        dict(name="japan_from_sydney", files=[japan], lat=-33.9, lon=151.2, filter=20000.0),
        dict(name="japan_from_new_york", files=[japan], lat=40.7, lon=-74.0, filter=20000.0),
        dict(name="japan_from_north_pole", files=[japan], lat=90.0, lon=0.0, filter=20000.0),
        dict(name="japan_from_south_pole", files=[japan], lat=-90.0, lon=10.0, filter=20000.0),
        dict(name="japan_from_its_capture_meridian", files=[japan], lat=34.55, lon=136.04449),
        dict(name="sicily_then_japan", files=[sicily, japan], lat=37.50, lon=15.07,
             filter=20000.0),
    ]
    shared_captures = [
        ("sbs_coniferconifer_adsb202201082242.csv", 34.55, 135.79),
        ("sbs_pymodes_406B90_replay.txt", 52.00, 4.37),
        ("sbs_dlozeve_adsb.csv", 48.50, 2.30),
        ("sbs_xenotech81_adsb_message_stream.txt", 47.16, -1.61),
        ("sbs_modes1_replay.txt", 37.50, 15.07),
        ("sbs_rsadsb_test_iq_replay.txt", 37.50, 15.07),
    ]
    skipped = []
    for name, lat, lon in shared_captures:
        path = os.path.join(shared, name)
        if os.path.isfile(path):
            cases.append(dict(name=name.split(".")[0], files=[path], lat=lat, lon=lon))
            cases.append(dict(name=name.split(".")[0] + "_from_-40_-60", files=[path],
                              lat=-40.0, lon=-60.0, filter=20000.0))
        else:
            skipped.append(name)

    stats = {}
    edge = [put("lines.sbs", lines_file()), put("numbers.sbs", numbers_file()),
            put("altitudes.sbs", altitudes_file()), put("ties.sbs", ties_file()),
            put("long_lines.sbs", long_lines_file())]
    bl, bl_lines = blacklist_files()
    bl_path = put("blacklist.txt", bl)
    bl_msgs = put("blacklisted.sbs", bl_lines)
    cases += [
        dict(name="edge_lines", files=[edge[0]], lat=52.0, lon=5.0),
        dict(name="edge_numbers", files=[edge[1]], lat=52.0, lon=5.0),
        dict(name="edge_altitudes", files=[edge[2]], lat=52.0, lon=5.0),
        dict(name="edge_ties", files=[edge[3]], lat=52.0, lon=5.0),
        dict(name="edge_long_lines", files=[edge[4]], lat=52.0, lon=5.0),
        dict(name="edge_all_files_in_a_row", files=edge, lat=52.0, lon=5.0),
        dict(name="edge_numbers_far_filter", files=[edge[1]], lat=-20.0, lon=-40.0,
             filter=1e6),
        dict(name="edge_blacklist", files=[bl_msgs], lat=52.0, lon=5.0, blacklist=bl_path),
        dict(name="japan_blacklisted", files=[japan], lat=34.55, lon=135.79,
             blacklist=put("japan_bl.txt", b"\r\n" * 5 + b"789252\r\n86d4a0 ana\r\n")),
    ]
    homes = [(52.0, 5.0), (-33.9, 151.2), (40.7, -74.0), (-34.6, -58.4), (0.5, 0.5),
             (89.9, 20.0), (-89.9, -20.0), (90.0, 3.0), (-90.0, 3.0), (10.0, 179.95)]
    for h in homes:
        path = put("geometry_%g_%g.sbs" % h, geometry_file(h, stats))
        tag = "edge_geometry_%g_%g" % h
        cases.append(dict(name=tag, files=[path], lat=h[0], lon=h[1], filter=20000.0))
    cases.append(dict(name="edge_geometry_filter_30", files=[os.path.join(
        inputs, "geometry_52_5.sbs")], lat=52.0, lon=5.0, filter=30.0))
    # A filter that equals one position's distance exactly: that position is recorded.
    at_d, _ = ref.calc_dist_course(52.0, 5.0, 53.0, 6.0, LEFT)
    cases.append(dict(name="edge_filter_exact", files=[put("filter_exact.sbs", b"\r\n".join([
        msg("3", "L00001", "5000", "53.0", "6.0"),
        msg("3", "L00002", "5000", num(np.nextafter(53.0, 90.0)), "6.0")]) + b"\r\n")],
        lat=52.0, lon=5.0, filter=float(at_d)))

    failures = 0
    report = []
    for case in cases:
        problem = run_case(a.cli, case, work, a.orders, report)
        if problem:
            failures += 1
            report.append("  MISMATCH %s: %s" % (case["name"], problem))
    print("\n".join(report))
    print("placed targets: %s" % ", ".join("%s %d" % kv for kv in sorted(stats.items())))
    if skipped:
        print("skipped (absent): %s" % ", ".join(skipped))
    print("%d cases, %d mismatches" % (len(cases), failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
