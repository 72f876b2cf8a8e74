"""Runs the console on a pseudo-terminal, where it keeps one progress line
updated in place, stops it with SIGINT in its second counted read pass, and
checks what the terminal showed: the warm-up, then each pass announced with
its own number before its result line.

Usage: pty_progress.py CLI FOLDER"""
import os
import pty
import re
import signal
import sys
import time


def read_until(fd, text, pattern, seconds):
    end = time.monotonic() + seconds
    while not re.search(pattern, text) and time.monotonic() < end:
        try:
            chunk = os.read(fd, 4096)
        except OSError:
            break
        if not chunk:
            break
        text += chunk.decode("utf-8", "replace")
    return text


def main():
    cli, folder = sys.argv[1:3]
    pid, fd = pty.fork()
    if pid == 0:
        os.execv(cli, [cli, "--passes", "2", "--size", "256MiB", folder])
    text = read_until(fd, "", r"Read, pass 2 of 2", 120)
    os.kill(pid, signal.SIGINT)
    text = read_until(fd, text, r"stopped by user", 30)
    _, status = os.waitpid(pid, 0)
    # The progress line is redrawn after a carriage return; each redraw is a state.
    states = [s.strip() for s in re.split(r"[\r\n]", text) if s.strip()]
    problems = []

    def first(pattern):
        return next((i for i, s in enumerate(states) if re.search(pattern, s)), None)

    order = [r"^Read, warm-up, \d s left$", r"^Read, pass 1 of 2, \d s left$",
             r"^Read 1/2  ", r"^Read, pass 2 of 2, \d s left, last pass [0-9.]+ MB/s$"]
    seen = [first(p) for p in order]
    if None in seen or seen != sorted(seen):
        problems.append(f"progress out of order or missing: {list(zip(order, seen))}")
    if first(r"Read, pass 2 of 2") is not None and first(r"Read 2/2") is not None:
        problems.append("the stop came after the second pass ended")
    if first(r"^Stopping benchmark\.\.\.Benchmark stopped by user\.$") is None:
        problems.append("no stop line")
    if os.waitstatus_to_exitcode(status) != 130:
        problems.append(f"exit {os.waitstatus_to_exitcode(status)}, not 130")
    for problem in problems:
        print("pty progress:", problem)
    if problems:
        print("the terminal showed:", *states, sep="\n  ")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
