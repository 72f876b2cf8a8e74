"""Summarises compare.sh's passes: per program the median and mean of each
figure, per pair the ratios of each round with their median and mean, and
each target of the profile met or missed by the median.

Usage: compare_report.py RESULTS PROFILE"""
import re
import statistics
import sys

PROGRAMS = ("ours-uring", "fio-default", "fio-fixed", "fio-huge", "ours-aio", "fio-libaio")
# Per pass: MB/s, CPU seconds, GiB, IOPS, p50 us, p99 us. CPU is per GiB
# moved, which for a pair of the same request size is the same ratio as
# CPU per request.
FIGURES = ("MB/s", "CPU s/GiB", "IOPS", "p50 us", "p99 us")


def at_most(limit):
    return (lambda r: r <= limit), "<= %.2f" % limit


def at_least(limit):
    return (lambda r: r >= limit), ">= %.2f" % limit


def within(low, high):
    return (lambda r: low <= r <= high), "%.2f-%.2f" % (low, high)


NONE = (None, "")
# (numerator, denominator, figure, (test, text)) per profile.
SEQUENTIAL = (
    ("ours-uring", "fio-default", "MB/s", at_least(1.00)),
    ("ours-uring", "fio-default", "CPU s/GiB", at_most(0.50)),
    ("ours-uring", "fio-fixed", "MB/s", NONE),
    ("ours-uring", "fio-fixed", "CPU s/GiB", at_most(1.10)),
    ("ours-uring", "fio-huge", "MB/s", at_least(1.00)),
    ("ours-uring", "fio-huge", "CPU s/GiB", at_most(1.00)),
    ("ours-aio", "fio-libaio", "MB/s", at_least(0.95)),
    ("ours-aio", "fio-libaio", "CPU s/GiB", NONE),
)
RANDOM_DEEP = (
    ("ours-uring", "fio-default", "IOPS", at_least(1.00)),
    ("ours-uring", "fio-default", "CPU s/GiB", at_most(0.70)),
    ("ours-uring", "fio-default", "p50 us", within(0.90, 1.10)),
    ("ours-uring", "fio-fixed", "IOPS", NONE),
    ("ours-uring", "fio-fixed", "CPU s/GiB", at_most(1.00)),
    ("ours-uring", "fio-huge", "IOPS", at_least(1.00)),
    ("ours-uring", "fio-huge", "CPU s/GiB", at_most(1.00)),
    ("ours-aio", "fio-libaio", "IOPS", at_least(0.95)),
    ("ours-aio", "fio-libaio", "CPU s/GiB", NONE),
)
RANDOM_SINGLE = (
    ("ours-uring", "fio-default", "IOPS", NONE),
    ("ours-uring", "fio-default", "p50 us", at_most(1.05)),
    ("ours-uring", "fio-default", "p50 us", within(0.90, 1.10)),
    ("ours-uring", "fio-default", "p99 us", within(0.90, 1.10)),
    ("ours-uring", "fio-huge", "IOPS", at_least(1.00)),
    ("ours-uring", "fio-huge", "CPU s/GiB", at_most(1.00)),
    ("ours-aio", "fio-libaio", "p50 us", NONE),
)
# Smaller sequential requests and several random threads cost more CPU
# per byte or request for both programs; their target against fio's default
# is 0.8.
SEQUENTIAL_SMALL = tuple((t, b, f, at_most(0.80) if (b, f) == ("fio-default", "CPU s/GiB") else c)
                         for t, b, f, c in SEQUENTIAL)
RANDOM_THREADS = tuple((t, b, f, at_most(0.80) if (b, f) == ("fio-default", "CPU s/GiB") else c)
                       for t, b, f, c in RANDOM_DEEP)


def pairs_for(profile):
    """The targets of a profile by its shape: order, request size, depth, threads."""
    found = re.fullmatch(r"(SEQ|RND)(\d+)([KM]?)-Q(\d+)T(\d+)", profile)
    order, size, unit, depth, threads = found.groups()
    if order == "SEQ":
        return SEQUENTIAL if unit == "M" else SEQUENTIAL_SMALL
    if int(depth) == 1 and int(threads) == 1:
        return RANDOM_SINGLE
    return RANDOM_DEEP if int(threads) == 1 else RANDOM_THREADS


def per_round(rows, direction):
    """{round: {program: {figure: value}}}: means over a round's passes of a
    program, and its CPU seconds over the GiB it moved."""
    rounds = {}
    for d, n, program, *values in rows:
        if d == direction:
            rounds.setdefault(n, {}).setdefault(program, []).append([float(v) for v in values])
    summary = {}
    for n, programs in rounds.items():
        summary[n] = {}
        for program, passes in programs.items():
            mean = lambda i: statistics.mean(p[i] for p in passes)
            summary[n][program] = {
                "MB/s": mean(0), "CPU s/GiB": sum(p[1] for p in passes) / sum(p[2] for p in passes),
                "IOPS": mean(3), "p50 us": mean(4), "p99 us": mean(5)}
    return summary


def report(rows, direction, pairs):
    rounds = per_round(rows, direction)
    present = [p for p in PROGRAMS if all(p in r for r in rounds.values())]
    print("\n%s, %d rounds, medians (means)" % (direction, len(rounds)))
    print("  %-12s" % "program" + "".join("%22s" % f for f in FIGURES))
    for p in present:
        cells = []
        for figure in FIGURES:
            values = [r[p][figure] for r in rounds.values()]
            cells.append("%11.2f (%8.2f)" % (statistics.median(values), statistics.mean(values)))
        print("  %-12s" % p + "".join("%22s" % c for c in cells))
    print("  %-36s %-30s %7s %7s %s" % ("ratio", "per round", "median", "mean", "target"))
    for top, bottom, figure, (test, text) in pairs:
        if top not in present or bottom not in present:
            continue
        ratios = [r[top][figure] / r[bottom][figure] for r in rounds.values()]
        median = statistics.median(ratios)
        verdict = "" if test is None else (text + (" met" if test(median) else " MISSED"))
        print("  %-36s %-30s %7.3f %7.3f %s" % ("%s / %s %s" % (top, bottom, figure),
              " ".join("%.2f" % r for r in ratios), median, statistics.mean(ratios), verdict))


rows = [line.split() for line in open(sys.argv[1]) if line.strip()]
for direction in ("read", "write"):
    report(rows, direction, pairs_for(sys.argv[2]))
