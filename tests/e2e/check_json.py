"""Checks corvasta-cli's JSON document: every documented field with its type.

Usage: check_json.py FILE OUTCOME SHARES FOLDER
  SHARES: device (every pass confirmed, share 0.95 to 1.10), null (no pass
  counted by a device), any (either, per pass). FOLDER: the expected "folder",
  or empty to skip that comparison.
"""
import json
import sys

problems = []


def expect(condition, what):
    if not condition:
        problems.append(what)


def is_int(value):
    return isinstance(value, int) and not isinstance(value, bool)


def is_number(value):
    return isinstance(value, (int, float)) and not isinstance(value, bool)


def check_pass(where, record, number, shares):
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


def check(document, outcome, shares, folder):
    expect(document.get("program") == "corvasta-cli", "program")
    expect(isinstance(document.get("version"), str), "version")
    expect(isinstance(document.get("folder"), str), "folder")
    if folder:
        expect(document.get("folder") == folder, f"folder {document.get('folder')!r}")
    expect(document.get("profile") == "SEQ1M Q8T1", "profile")
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
            check_pass(f"{phase}[{number}]", record, number, shares)
    expect(is_number(document.get("bestReadMBps")), "bestReadMBps")
    expect(is_number(document.get("bestWriteMBps")), "bestWriteMBps")
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


def main():
    path, outcome, shares, folder = sys.argv[1:5]
    with open(path, encoding="utf-8") as file:
        document = json.load(file)
    check(document, outcome, shares, folder)
    for problem in problems:
        print(f"{path}: {problem}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
