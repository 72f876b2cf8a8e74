#!/usr/bin/env python3
"""Checks a screenshot of the sustained-write report: the plot area is on the
page, the plotted line spans it from left to right, its two levels stand 4 to
1 above the axis, and the step lies at 40% of the width, as scripted.
Usage: check_chart.py SCREENSHOT.png PAGE_WIDTH"""
import struct
import sys
import zlib

PLOT = (0xF3, 0xF6, 0xFA)
TRACE = (0x1F, 0x5F, 0xBF)


def read_png(path):
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    at, idat = 8, b""
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert depth == 8 and colour in (2, 6) and interlace == 0, "unexpected PNG format"
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    channels = 4 if colour == 6 else 3
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        row = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = row[i - channels] if i >= channels else 0
            up = previous[i]
            corner = previous[i - channels] if i >= channels else 0
            if kind == 1:
                row[i] = (row[i] + left) & 0xFF
            elif kind == 2:
                row[i] = (row[i] + up) & 0xFF
            elif kind == 3:
                row[i] = (row[i] + (left + up) // 2) & 0xFF
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                row[i] = (row[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 0xFF
        rows.append(row)
        previous = row
    return width, height, lambda x, y: tuple(rows[y][x * channels:x * channels + 3])


def near(colour, target, tolerance):
    return all(abs(a - b) <= tolerance for a, b in zip(colour, target))


def box(points):
    xs = [x for x, _ in points]
    ys = [y for _, y in points]
    return min(xs), min(ys), max(xs), max(ys)


def main():
    path, page_width = sys.argv[1], int(sys.argv[2])
    width, height, pixel = read_png(path)
    plot, trace = [], []
    for y in range(height):
        for x in range(width):
            colour = pixel(x, y)
            if colour == PLOT:
                plot.append((x, y))
            elif near(colour, TRACE, 40):
                trace.append((x, y))
    failures = []
    if not plot or not trace:
        print("chart check (%d px): no plot area or no line on the page" % page_width)
        return 1
    x0, y0, x1, y1 = box(plot)
    tx0, ty0, tx1, ty1 = box(trace)
    if x1 >= page_width:
        failures.append("the plot runs past the page's width")
    if abs(tx0 - x0) > 3 or abs(tx1 - x1) > 3:
        failures.append("the line spans %d..%d, the plot %d..%d" % (tx0, tx1, x0, x1))
    ratio = (y1 - ty0) / max(1, y1 - ty1)
    if abs(ratio - 4.0) > 0.25:
        failures.append("the levels stand %.2f to 1 above the axis, not 4 to 1" % ratio)
    low = [x for x, y in trace if y >= ty1 - 2]
    step = (min(low) - x0) / (x1 - x0)
    if abs(step - 0.4) > 0.02:
        failures.append("the step lies at %.3f of the width, not 0.4" % step)
    for failure in failures:
        print("chart check (%d px): %s" % (page_width, failure))
    if not failures:
        print("chart check (%d px): line %d..%d over plot %d..%d, levels %.2f to 1, step at %.3f"
              % (page_width, tx0, tx1, x0, x1, ratio, step))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
