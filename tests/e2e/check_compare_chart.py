#!/usr/bin/env python3
"""Checks a screenshot of a comparison page: the read and write bars of its
chart, found by their colours, are as long as their figures say, relative
to the longest. Usage: check_compare_chart.py SCREENSHOT.png MBPS..."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "chart"))
from check_chart import read_png  # noqa: E402

COLOURS = {"read": (0x1F, 0x5F, 0xBF), "write": (0xD9, 0x73, 0x0D)}
LEGEND_PX = 20  # the legend's squares are narrower than any bar checked here


def bars(width, height, pixel):
    """(top row, colour name, length in pixels) of each bar, top to bottom."""
    found, current = [], None
    for y in range(height):
        best = (0, None)
        for name, colour in COLOURS.items():
            run = longest = 0
            for x in range(width):
                run = run + 1 if pixel(x, y) == colour else 0
                longest = max(longest, run)
            if longest > best[0]:
                best = (longest, name)
        if best[0] > LEGEND_PX:
            if current is None or current[1] != best[1]:
                current = [y, best[1], best[0]]
                found.append(current)
            current[2] = max(current[2], best[0])
        else:
            current = None
    return found


def main():
    width, height, pixel = read_png(sys.argv[1])
    expected = [float(v) for v in sys.argv[2:]]
    found = bars(width, height, pixel)
    print("bars:", ", ".join(f"{name} {length}px" for _, name, length in found))
    if len(found) != len(expected):
        print(f"FAIL: {len(found)} bars, expected {len(expected)}")
        return 1
    longest = max(length for _, _, length in found)
    problems = 0
    for (_, name, length), mbps in zip(found, expected):
        share, wanted = length / longest, mbps / max(expected)
        if abs(share - wanted) > 0.02:
            print(f"FAIL: a {name} bar of {length}px is {share:.3f} of the longest, not {wanted:.3f}")
            problems += 1
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
