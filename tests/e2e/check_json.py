"""Checks corvasta-cli's JSON document: every documented field with its
type, and every figure against what the pass rows give independently.

Usage: check_json.py FILE OUTCOME SHARES FOLDER [PROFILES]
  SHARES: device (every pass confirmed, share 0.95 to 1.10), null (no pass
  counted by a device), any (either, per pass). FOLDER: the expected "folder",
  or empty to skip that comparison. PROFILES: the profiles run, comma
  separated ("SEQ1M Q8T1" by default); more than one expects a "runs"
  document whose runs all end with OUTCOME.
Environment: CORVASTA_CHECK_LABEL, the --label of the run (default: the
host's name); CORVASTA_CHECK_ROOT, the root the run saw as / (a chroot).
"""
import json
import os
import re
import socket
import sys

problems = []


def expect(condition, what):
    if not condition:
        problems.append(what)


def is_int(value):
    return isinstance(value, int) and not isinstance(value, bool)


def is_number(value):
    return isinstance(value, (int, float)) and not isinstance(value, bool)


def close(a, b, tolerance=1e-6):
    return abs(a - b) <= tolerance * max(abs(a), abs(b))


def shape(profile):
    """(request bytes, requests in flight per thread, threads) from a profile's name."""
    found = re.fullmatch(r"(?:SEQ|RND)(\d+)([KM]?) Q(\d+)T(\d+)", profile)
    size, unit, depth, threads = found.groups()
    return int(size) * {"": 1, "K": 1024, "M": 1048576}[unit], int(depth), int(threads)


def check_figures(where, record, profile):
    """IOPS, shares and latencies against the speed and length of the pass."""
    request_bytes, depth, threads = shape(profile)
    moved = record["MBps"] * record["ms"] * 1000.0
    expect(close(record.get("IOPS", 0), moved / request_bytes / (record["ms"] / 1000.0)),
           f"{where}: IOPS {record.get('IOPS')} is not its bytes per request size per second")
    if record.get("deviceBytes") is not None:
        expect(close(record["deviceShare"], record["deviceBytes"] / moved, 1e-4),
               f"{where}: deviceShare is not deviceBytes over the bytes moved")
    latency = record.get("latencyUs", {})
    order = [latency.get(k) for k in ("p50", "p90", "p99", "p999")]
    expect(all(is_number(v) for v in order + [latency.get("mean"), latency.get("max")]),
           f"{where}: latencyUs fields")
    if not all(is_number(v) for v in order + [latency.get("mean"), latency.get("max")]):
        return
    expect(0 < order[0] and order == sorted(order) and order[-1] <= latency["max"] * 1.000001,
           f"{where}: latency percentiles out of order {latency}")
    # Little's law: requests in flight = completions per second x time each
    # spends in flight; each thread keeps `depth` in flight all the time.
    in_flight = record["IOPS"] * latency["mean"] / 1e6
    expect(0.5 * depth * threads <= in_flight <= 1.05 * depth * threads,
           f"{where}: IOPS x mean latency gives {in_flight:.2f} in flight, not {depth * threads}")
    seed, seeds = record.get("seed"), record.get("seeds")
    expect((seed is not None) == profile.startswith("RND"), f"{where}: seed only for random profiles")
    expect(seed is None or (is_int(seed) and 0 <= seed < 2**53), f"{where}: seed {seed}")
    expect(seed is None or (isinstance(seeds, list) and len(seeds) == threads and seeds[0] == seed
                            and len(set(seeds)) == threads and all(is_int(s) for s in seeds)),
           f"{where}: seeds {seeds}: one per thread, the first the pass's")


def check_pass(where, record, number, shares, profile):
    expect(set(record) >= {"pass", "MBps", "ms", "deviceBytes", "deviceShare"}, f"{where}: fields")
    expect(record.get("pass") == number, f"{where}: pass number")
    expect(is_number(record.get("MBps")) and record["MBps"] > 0, f"{where}: MBps")
    expect(is_number(record.get("ms")) and record["ms"] > 0, f"{where}: ms")
    device_bytes, share = record.get("deviceBytes"), record.get("deviceShare")
    counted = device_bytes is not None
    expect((share is not None) == counted, f"{where}: deviceBytes and deviceShare disagree")
    if counted:
        expect(is_int(device_bytes) and device_bytes >= 0, f"{where}: deviceBytes")
        expect(is_number(share), f"{where}: deviceShare")
    if shares == "device":
        expect(counted and 0.95 <= share <= 1.10, f"{where}: device share {share}")
    elif shares == "null":
        expect(not counted, f"{where}: a share where there is no device")
    if is_number(record.get("MBps")) and is_number(record.get("ms")) and record["ms"] > 0:
        check_figures(where, record, profile)


def check(document, outcome, shares, folder, profile="SEQ1M Q8T1"):
    expect(document.get("program") == "corvasta-cli", "program")
    expect(isinstance(document.get("version"), str), "version")
    expect(isinstance(document.get("folder"), str), "folder")
    if folder:
        expect(document.get("folder") == folder, f"folder {document.get('folder')!r}")
    expect(document.get("profile") == profile, f"profile {document.get('profile')!r}")
    _, depth, threads = shape(profile)
    expect(document.get("threads") == threads, f"threads {document.get('threads')!r}")
    expect(document.get("queueDepth") == depth, f"queueDepth {document.get('queueDepth')!r}")
    expect(is_int(document.get("passes")), "passes")
    expect(is_int(document.get("testSizeMiB")), "testSizeMiB")
    drive = document.get("drive", {})
    for field in ("manufacturer", "model", "capacity"):
        expect(isinstance(drive.get(field), str), f"drive.{field}")
    storage = document.get("storage", {})
    expect(isinstance(storage.get("fileSystem"), str), "storage.fileSystem")
    expect(storage.get("device") is None or isinstance(storage.get("device"), str), "storage.device")
    expect(storage.get("backend") in ("io_uring", "libaio", "iocp"), "storage.backend")
    for phase in ("read", "write"):
        records = document.get(phase)
        expect(isinstance(records, list), phase)
        for number, record in enumerate(records or [], start=1):
            check_pass(f"{profile} {phase}[{number}]", record, number, shares, profile)
        best = max((r["MBps"] for r in records or [] if is_number(r.get("MBps"))), default=0)
        field = "bestReadMBps" if phase == "read" else "bestWriteMBps"
        expect(document.get(field) == best, f"{field} {document.get(field)} is not the best pass {best}")
    seeds = [r.get("seed") for p in ("read", "write") for r in document.get(p) or []]
    expect(len(set(seeds)) == len(seeds) or seeds.count(None) == len(seeds), "a seed used twice")
    expect(document.get("outcome") == outcome, f"outcome {document.get('outcome')!r}")
    error = document.get("error")
    expect(isinstance(error, str) and (error == "") == (outcome != "error"), "error")
    report = document.get("report")
    expect(report is None or isinstance(report, str), "report")
    if outcome == "completed":
        expect(isinstance(report, str) and (not folder or report.startswith(folder)), "report")
        passes = document.get("passes")
        expect(len(document.get("read", [])) == passes == len(document.get("write", [])), "pass count")
    if outcome == "stopped":
        expect(report is None, "a stopped run's report")
    warnings = document.get("warnings")
    expect(isinstance(warnings, list) and all(isinstance(w, str) for w in warnings), "warnings")
    # No folder here is encrypted, so the writes keep the profile's depth.
    write_depth = document.get("writeDepth")
    expect(write_depth is None or is_int(write_depth), "writeDepth")
    if outcome == "completed":
        expect(write_depth == depth, f"writeDepth {write_depth!r}")
    check_origin(document)
    if isinstance(report, str) and outcome == "completed":
        check_kept(document, report)


def check_origin(document):
    """Where the run came from; without --label the label is the host's name."""
    for field in ("host", "label", "system"):
        expect(isinstance(document.get(field), str) and document[field], field)
    label = os.environ.get("CORVASTA_CHECK_LABEL", document.get("host"))
    expect(document.get("label") == label, f"the label {document.get('label')!r} is not {label!r}")
    expect(re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ", str(document.get("startedAt"))),
           f"startedAt {document.get('startedAt')!r}")
    if not document.get("system", "").startswith("Windows"):
        expect(document.get("host") == socket.gethostname(), f"host {document.get('host')!r}")


def check_kept(document, report):
    """The run's JSON lies beside its report: the very document printed."""
    if "\\" in report:  # a Windows path, under Wine: not reachable from here
        return
    try:
        root = os.environ.get("CORVASTA_CHECK_ROOT", "")
        with open(root + report[:report.rfind(".")] + ".json", encoding="utf-8") as file:
            kept = json.load(file)
    except (OSError, ValueError) as error:
        expect(False, f"the JSON beside {report}: {error}")
        return
    expect(kept == document, f"the JSON beside {report} is not the document printed")


def check_runs(document, outcome, shares, folder, profiles):
    expect(document.get("program") == "corvasta-cli", "program")
    expect(isinstance(document.get("version"), str), "version")
    if folder:
        expect(document.get("folder") == folder, f"folder {document.get('folder')!r}")
    runs = document.get("runs")
    expect(isinstance(runs, list) and len(runs) == len(profiles), "runs: one per profile")
    for run, profile in zip(runs or [], profiles):
        check(run, outcome, shares, folder, profile)


def main():
    path, outcome, shares, folder = sys.argv[1:5]
    profiles = sys.argv[5].split(",") if len(sys.argv) > 5 else ["SEQ1M Q8T1"]
    with open(path, encoding="utf-8") as file:
        document = json.load(file)
    if len(profiles) > 1:
        check_runs(document, outcome, shares, folder, profiles)
    else:
        check(document, outcome, shares, folder, profiles[0])
    for problem in problems:
        print(f"{path}: {problem}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
