"""Summarises compare.sh's passes: per program the median and mean MB/s and
CPU s/GiB, per pair the ratios of each round with their median and mean,
and each target met or missed by the median."""
import statistics
import sys

PROGRAMS = ("ours-uring", "fio-default", "fio-fixed", "ours-aio", "fio-libaio")
# (numerator, denominator, figure, target test, target text); None: shown, no target.
PAIRS = (
    ("ours-uring", "fio-default", "MB/s", lambda r: r >= 1.00, ">= 1.00"),
    ("ours-uring", "fio-default", "CPU/GiB", lambda r: r <= 0.50, "<= 0.50"),
    ("ours-uring", "fio-fixed", "MB/s", None, ""),
    ("ours-uring", "fio-fixed", "CPU/GiB", lambda r: r <= 1.10, "<= 1.10"),
    ("ours-aio", "fio-libaio", "MB/s", lambda r: r >= 0.95, ">= 0.95"),
    ("ours-aio", "fio-libaio", "CPU/GiB", None, ""),
)


def per_round(rows, direction):
    """{round: {program: (MB/s mean of its passes, CPU s per GiB)}}"""
    rounds = {}
    for d, n, program, mbps, cpu, gib in rows:
        if d != direction:
            continue
        passes = rounds.setdefault(n, {}).setdefault(program, [])
        passes.append((float(mbps), float(cpu), float(gib)))
    return {
        n: {
            p: (statistics.mean(x[0] for x in v), sum(x[1] for x in v) / sum(x[2] for x in v))
            for p, v in programs.items()
        }
        for n, programs in rounds.items()
    }


def report(rows, direction):
    rounds = per_round(rows, direction)
    print("\n%s, %d rounds" % (direction, len(rounds)))
    print("  %-12s %12s %12s %15s %15s" % ("program", "MB/s median", "MB/s mean",
                                          "CPU s/GiB med.", "CPU s/GiB mean"))
    for p in PROGRAMS:
        speeds = [r[p][0] for r in rounds.values()]
        cpus = [r[p][1] for r in rounds.values()]
        print("  %-12s %12.1f %12.1f %15.4f %15.4f" % (p, statistics.median(speeds),
              statistics.mean(speeds), statistics.median(cpus), statistics.mean(cpus)))
    print("  %-32s %-30s %7s %7s %8s" % ("ratio", "per round", "median", "mean", "target"))
    for top, bottom, figure, test, text in PAIRS:
        index = 0 if figure == "MB/s" else 1
        ratios = [r[top][index] / r[bottom][index] for r in rounds.values()]
        median = statistics.median(ratios)
        verdict = "" if test is None else (text + (" met" if test(median) else " MISSED"))
        print("  %-32s %-30s %7.3f %7.3f %s" % ("%s / %s %s" % (top, bottom, figure),
              " ".join("%.2f" % r for r in ratios), median, statistics.mean(ratios), verdict))


rows = [line.split() for line in open(sys.argv[1]) if line.strip()]
for direction in ("read", "write"):
    report(rows, direction)
