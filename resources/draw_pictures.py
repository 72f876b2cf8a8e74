#!/usr/bin/env python3
"""Draws the program's pictures and icon: start_picture.png, running_picture.png
and corvasta.ico.

Standard library only. The PNG data is compressed by our own small deflate
encoder rather than zlib's, so the files come out byte-identical whatever zlib
build the machine has.

    python3 draw_pictures.py [--out DIR]     (default: this script's folder)
"""

import argparse
import bisect
import math
import os
import struct
import zlib

# ---------------------------------------------------------------------------
# Canvas: RGB floats 0..255, drawn on with anti-aliased coverage.


class Canvas:
    def __init__(self, width, height, colour):
        self.width = width
        self.height = height
        self.pixels = [list(colour) for _ in range(width * height)]


def blend(canvas, x, y, colour, alpha):
    if alpha <= 0.0 or not (0 <= x < canvas.width and 0 <= y < canvas.height):
        return
    alpha = min(alpha, 1.0)
    pixel = canvas.pixels[y * canvas.width + x]
    for i in range(3):
        pixel[i] += (colour[i] - pixel[i]) * alpha


def fill_shape(canvas, colour, distance, box):
    """Fills where distance(x, y) < 0, the edge smoothed over one pixel.

    distance is a signed distance in pixels; box = (x0, y0, x1, y1) bounds it.
    """
    x0, y0, x1, y1 = (int(math.floor(box[0])) - 1, int(math.floor(box[1])) - 1,
                      int(math.ceil(box[2])) + 1, int(math.ceil(box[3])) + 1)
    for y in range(max(y0, 0), min(y1, canvas.height)):
        for x in range(max(x0, 0), min(x1, canvas.width)):
            blend(canvas, x, y, colour, 0.5 - distance(x + 0.5, y + 0.5))


def fill_rects(canvas, colour, rects):
    """Fills disjoint axis-aligned rectangles (x0, y0, x1, y1) with exact area
    coverage, so fractional edges and scaled text stay smooth."""
    coverage = {}
    for rx0, ry0, rx1, ry1 in rects:
        for y in range(int(math.floor(ry0)), int(math.ceil(ry1))):
            cover_y = min(ry1, y + 1) - max(ry0, y)
            for x in range(int(math.floor(rx0)), int(math.ceil(rx1))):
                cover_x = min(rx1, x + 1) - max(rx0, x)
                coverage[(x, y)] = coverage.get((x, y), 0.0) + cover_x * cover_y
    for (x, y), alpha in sorted(coverage.items()):
        blend(canvas, x, y, colour, alpha)


def vertical_gradient(canvas, top, bottom):
    for y in range(canvas.height):
        t = y / (canvas.height - 1)
        colour = [top[i] + (bottom[i] - top[i]) * t for i in range(3)]
        for x in range(canvas.width):
            canvas.pixels[y * canvas.width + x] = list(colour)


# ---------------------------------------------------------------------------
# Signed distances (negative inside).


def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def ring(cx, cy, r, half_width):
    return lambda x, y: abs(math.hypot(x - cx, y - cy) - r) - half_width


def rounded_box(cx, cy, half_w, half_h, radius, angle=0.0):
    cos_a, sin_a = math.cos(angle), math.sin(angle)

    def distance(x, y):
        dx, dy = x - cx, y - cy
        px = abs(dx * cos_a + dy * sin_a) - (half_w - radius)
        py = abs(-dx * sin_a + dy * cos_a) - (half_h - radius)
        outside = math.hypot(max(px, 0.0), max(py, 0.0))
        return outside + min(max(px, py), 0.0) - radius
    return distance


def segment(ax, ay, bx, by, half_width):
    length2 = (bx - ax) ** 2 + (by - ay) ** 2

    def distance(x, y):
        t = ((x - ax) * (bx - ax) + (y - ay) * (by - ay)) / length2
        t = min(max(t, 0.0), 1.0)
        return math.hypot(x - ax - t * (bx - ax), y - ay - t * (by - ay)) - half_width
    return distance


def arc(cx, cy, r, start, end, half_width):
    """A stroke along the circle from angle start to end (radians, counter-
    clockwise on screen, so y grows downwards), with round caps."""
    span = (end - start) % (2 * math.pi)
    ends = [(cx + r * math.cos(a), cy - r * math.sin(a)) for a in (start, end)]

    def distance(x, y):
        a = math.atan2(cy - y, x - cx)
        if (a - start) % (2 * math.pi) <= span:
            return abs(math.hypot(x - cx, y - cy) - r) - half_width
        return min(math.hypot(x - ex, y - ey) for ex, ey in ends) - half_width
    return distance


def union(*shapes):
    return lambda x, y: min(shape(x, y) for shape in shapes)


def subtract(shape, hole):
    return lambda x, y: max(shape(x, y), -hole(x, y))


# ---------------------------------------------------------------------------
# A 5 x 7 capital font, enough for the words the pictures carry.

GLYPHS = {
    "A": [".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "B": ["####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."],
    "C": [".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."],
    "E": ["#####", "#....", "#....", "####.", "#....", "#....", "#####"],
    "G": [".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".####"],
    "H": ["#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "I": [".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."],
    "K": ["#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"],
    "M": ["#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"],
    "N": ["#...#", "#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#"],
    "O": [".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "P": ["####.", "#...#", "#...#", "####.", "#....", "#....", "#...."],
    "Q": [".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#"],
    "R": ["####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"],
    "S": [".###.", "#...#", "#....", ".###.", "....#", "#...#", ".###."],
    "T": ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."],
    "1": ["..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."],
    "8": [".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."],
}
GLYPH_WIDTH = 5
GLYPH_HEIGHT = 7
SPACE_WIDTH = 3
LETTER_GAP = 1


def text_width(text, scale, bold):
    units = sum(SPACE_WIDTH if c == " " else GLYPH_WIDTH for c in text)
    return (units + LETTER_GAP * (len(text) - 1) + bold) * scale


def text_rects(text, left, top, scale, bold):
    """Rectangles of the text's cells. Each row's run of cells is one
    rectangle widened by bold units, so the rectangles never overlap."""
    rects = []
    x = left
    for c in text:
        if c == " ":
            x += (SPACE_WIDTH + LETTER_GAP) * scale
            continue
        for row, line in enumerate(GLYPHS[c]):
            column = 0
            while column < GLYPH_WIDTH:
                if line[column] != "#":
                    column += 1
                    continue
                start = column
                while column < GLYPH_WIDTH and line[column] == "#":
                    column += 1
                rects.append((x + start * scale, top + row * scale,
                              x + (column + bold) * scale, top + (row + 1) * scale))
        x += (GLYPH_WIDTH + LETTER_GAP) * scale
    return rects


def draw_text(canvas, colour, text, centre_x, top, scale, bold=0.0):
    left = centre_x - text_width(text, scale, bold) / 2
    fill_rects(canvas, colour, text_rects(text, left, top, scale, bold))


# ---------------------------------------------------------------------------
# The pictures.

BLACK = (22, 22, 22)
GREEN = (28, 150, 62)
DARK_GREEN = (20, 104, 44)
LIGHT_GREEN = (70, 182, 98)
RED = (214, 40, 40)
DARK_RED = (150, 24, 24)
WHITE = (255, 255, 255)


def draw_speedometer(canvas, cx, cy, r, colour, needle_colour, stroke):
    """A gauge open at the bottom: the dial arc, ticks, needle and hub."""
    start, end = math.radians(-30), math.radians(210)
    fill_shape(canvas, colour, arc(cx, cy, r, start, end, stroke / 2),
               (cx - r - stroke, cy - r - stroke, cx + r + stroke, cy + r + stroke))
    for i in range(7):
        a = start + (end - start) * i / 6
        inner, outer = r - stroke * 2.4, r - stroke * 1.3
        fill_shape(canvas, colour,
                   segment(cx + inner * math.cos(a), cy - inner * math.sin(a),
                           cx + outer * math.cos(a), cy - outer * math.sin(a), stroke * 0.28),
                   (cx - r, cy - r, cx + r, cy + r))
    a = math.radians(40)
    tip = r - stroke * 1.9
    fill_shape(canvas, needle_colour,
               segment(cx, cy, cx + tip * math.cos(a), cy - tip * math.sin(a), stroke * 0.38),
               (cx - r, cy - r, cx + r, cy + r))
    fill_shape(canvas, needle_colour, circle(cx, cy, stroke * 0.95),
               (cx - stroke * 2, cy - stroke * 2, cx + stroke * 2, cy + stroke * 2))


def start_picture():
    canvas = Canvas(210, 166, (0, 0, 0))
    vertical_gradient(canvas, (238, 238, 238), (218, 218, 218))
    draw_text(canvas, BLACK, "SEQ1M", 105, 11, 4, bold=0.3)
    draw_text(canvas, BLACK, "Q8T1", 105, 44, 4, bold=0.3)
    fill_rects(canvas, (150, 150, 150), [(28, 79, 182, 80)])
    draw_speedometer(canvas, 105, 103, 17, GREEN, GREEN, 3.5)
    draw_text(canvas, GREEN, "PRESS", 105, 118, 3, bold=0.25)
    draw_text(canvas, GREEN, "TO BEGIN BENCHMARK", 105, 143, 1.5, bold=0.25)
    return canvas


def tooth(cx, cy, angle, inner, outer, base_half, tip_half, radius):
    """A tapered gear tooth from radius inner to outer along angle, its
    corners rounded by radius."""
    cos_a, sin_a = math.cos(angle), math.sin(angle)
    half = (outer - inner) / 2 - radius
    middle = (outer + inner) / 2
    r1, r2 = base_half - radius, tip_half - radius
    k2x, k2y = r2 - r1, 2 * half
    k2_length2 = k2x * k2x + k2y * k2y

    def distance(x, y):
        dx, dy = x - cx, cy - y
        along = dx * cos_a + dy * sin_a - middle
        across = abs(-dx * sin_a + dy * cos_a)
        ca_x = across - min(across, r1 if along < 0 else r2)
        ca_y = abs(along) - half
        t = min(max(((r2 - across) * k2x + (half - along) * k2y) / k2_length2, 0.0), 1.0)
        cb_x, cb_y = across - r2 + k2x * t, along - half + k2y * t
        sign = -1.0 if cb_x < 0 and ca_y < 0 else 1.0
        return sign * math.sqrt(min(ca_x * ca_x + ca_y * ca_y, cb_x * cb_x + cb_y * cb_y)) - radius
    return distance


def gear(cx, cy, pitch_radius, teeth, phase, module):
    """A spur gear with a round bore: tapered teeth on a root disc."""
    root = pitch_radius - 0.9 * module
    tip = pitch_radius + 0.9 * module
    shapes = [circle(cx, cy, root)]
    for k in range(teeth):
        a = phase + 2 * math.pi * k / teeth
        shapes.append(tooth(cx, cy, a, root - 2, tip, module * 1.05, module * 0.6, 1.2))
    return subtract(union(*shapes), circle(cx, cy, root * 0.42))


def meshing_phase(centre_a, phase_a, radius_a, teeth_a, centre_b, radius_b, teeth_b):
    """Phase of gear b so that its teeth fall into gear a's gaps where the
    pitch circles touch: arcs roll off equally on both pitch circles."""
    line = math.atan2(centre_a[1] - centre_b[1], centre_b[0] - centre_a[0])
    pitch_a = 2 * math.pi / teeth_a
    offset = (phase_a - line + pitch_a / 2) % pitch_a - pitch_a / 2
    gap_b = line + math.pi - offset * radius_a / radius_b
    return gap_b + math.pi / teeth_b


def draw_gear(canvas, centre, pitch_radius, teeth, phase, module):
    cx, cy = centre
    tip = pitch_radius + module + 1
    box = (cx - tip, cy - tip, cx + tip, cy + tip)
    shape = gear(cx, cy, pitch_radius, teeth, phase, module)
    fill_shape(canvas, DARK_RED, shape, box)
    fill_shape(canvas, RED, lambda x, y: shape(x, y) + 1.3, box)  # inset: a dark rim remains
    bore = (pitch_radius - 0.9 * module) * 0.42
    fill_shape(canvas, DARK_RED, ring(cx, cy, bore + 2.2, 1.0), box)


def draw_housing(canvas, left, top, right, bottom):
    cx, cy = (left + right) / 2, (top + bottom) / 2
    half_w, half_h = (right - left) / 2, (bottom - top) / 2
    box = (left, top, right, bottom)
    fill_shape(canvas, (205, 205, 205), rounded_box(cx + 2, cy + 3, half_w, half_h, 12),
               (left, top, right + 4, bottom + 4))
    fill_shape(canvas, DARK_GREEN, rounded_box(cx, cy, half_w, half_h, 12), box)
    fill_shape(canvas, GREEN, rounded_box(cx, cy, half_w - 3, half_h - 3, 9.5), box)
    fill_shape(canvas, LIGHT_GREEN, rounded_box(cx, cy - 3, half_w - 12, half_h - 15, 6), box)
    for sx in (left + 9, right - 9):
        for sy in (top + 9, bottom - 9):
            fill_shape(canvas, DARK_GREEN, circle(sx, sy, 3.2), (sx - 5, sy - 5, sx + 5, sy + 5))
    pins = [(left + 30 + 8 * i, bottom - 10, left + 34 + 8 * i, bottom - 4) for i in range(15)]
    fill_rects(canvas, (226, 190, 90), pins)


def polar(centre, distance, degrees):
    a = math.radians(degrees)
    return (centre[0] + distance * math.cos(a), centre[1] - distance * math.sin(a))


def running_picture():
    canvas = Canvas(200, 158, WHITE)
    draw_housing(canvas, 10, 16, 188, 140)
    # Pitch radius = module * teeth / 2; centres 1.5 px further apart than the
    # pitch circles for a little clearance between the teeth.
    module = 4
    big = ((82, 76), 28, 14)
    upper = (polar(big[0], 49.5, 35), 20, 10)
    lower = (polar(big[0], 45.5, -28), 16, 8)
    phase = math.radians(8)
    draw_gear(canvas, big[0], big[1], big[2], phase, module)
    for centre, radius, teeth in (upper, lower):
        other = meshing_phase(big[0], phase, big[1], big[2], centre, radius, teeth)
        draw_gear(canvas, centre, radius, teeth, other, module)
    return canvas


def icon_picture():
    """The icon and which of its pixels are opaque. The canvas starts in the
    outline's colour so the edge pixels the mask keeps are not darkened."""
    canvas = Canvas(128, 128, DARK_GREEN)
    outline = rounded_box(64, 66, 58, 46, 14)
    fill_shape(canvas, GREEN, rounded_box(64, 66, 53, 41, 10), (0, 0, 128, 128))
    fill_shape(canvas, (244, 244, 244), circle(64, 62, 33), (28, 26, 100, 98))
    draw_speedometer(canvas, 64, 64, 27, DARK_GREEN, RED, 6)
    fill_rects(canvas, (226, 190, 90), [(26 + 8 * i, 101, 31 + 8 * i, 107) for i in range(10)])
    opaque = [[outline(x + 0.5, y + 0.5) < 0.0 for x in range(128)] for y in range(128)]
    return canvas, opaque


# ---------------------------------------------------------------------------
# File formats.

LENGTH_BASE = [3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31, 35, 43, 51, 59,
               67, 83, 99, 115, 131, 163, 195, 227, 258]
LENGTH_EXTRA = [0] * 8 + [1] * 4 + [2] * 4 + [3] * 4 + [4] * 4 + [5] * 4 + [0]
DISTANCE_BASE = [1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129, 193, 257, 385, 513,
                 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577]
DISTANCE_EXTRA = [0, 0, 0, 0] + [n for n in range(1, 14) for _ in (0, 1)]
WINDOW = 32768
CHAIN_LIMIT = 48


class BitWriter:
    def __init__(self):
        self.out = bytearray()
        self.bits = 0
        self.count = 0

    def put(self, value, count):
        self.bits |= value << self.count
        self.count += count
        while self.count >= 8:
            self.out.append(self.bits & 0xFF)
            self.bits >>= 8
            self.count -= 8

    def put_code(self, code, length):
        # Huffman codes go most significant bit first.
        self.put(int(format(code, "0%db" % length)[::-1], 2), length)

    def finish(self):
        if self.count:
            self.out.append(self.bits & 0xFF)
        return bytes(self.out)


def put_literal(writer, symbol):
    if symbol < 144:
        writer.put_code(0x30 + symbol, 8)
    elif symbol < 256:
        writer.put_code(0x190 + symbol - 144, 9)
    elif symbol < 280:
        writer.put_code(symbol - 256, 7)
    else:
        writer.put_code(0xC0 + symbol - 280, 8)


def put_match(writer, length, distance):
    i = bisect.bisect_right(LENGTH_BASE, length) - 1
    put_literal(writer, 257 + i)
    writer.put(length - LENGTH_BASE[i], LENGTH_EXTRA[i])
    j = bisect.bisect_right(DISTANCE_BASE, distance) - 1
    writer.put_code(j, 5)
    writer.put(distance - DISTANCE_BASE[j], DISTANCE_EXTRA[j])


def longest_match(data, here, candidates):
    limit = min(258, len(data) - here)
    best_length, best_distance = 0, 0
    for there in reversed(candidates[-CHAIN_LIMIT:]):
        if here - there > WINDOW:
            break
        # Only a candidate that also matches one byte past the best so far can
        # beat it. Its first three bytes match (same chain); the longest
        # common prefix is then found by bisection on slice equality.
        if data[there + best_length:there + best_length + 1] != data[here + best_length:here + best_length + 1]:
            continue
        low, high = 3, limit
        while low < high:
            middle = (low + high + 1) // 2
            if data[there:there + middle] == data[here:here + middle]:
                low = middle
            else:
                high = middle - 1
        if low > best_length:
            best_length, best_distance = low, here - there
            if low == limit:
                break
    return best_length, best_distance


def deflate(data):
    """zlib stream: one block with the fixed codes, greedy LZ77 matches."""
    writer = BitWriter()
    writer.put(1, 1)  # final block
    writer.put(1, 2)  # fixed Huffman codes
    chains = {}
    here = 0
    while here < len(data):
        key = data[here:here + 3]
        candidates = chains.setdefault(key, []) if len(key) == 3 else []
        length, distance = longest_match(data, here, candidates) if candidates else (0, 0)
        step = length if length >= 3 else 1
        if length >= 3:
            put_match(writer, length, distance)
        else:
            put_literal(writer, data[here])
        for position in range(here, min(here + step, len(data) - 2)):
            chains.setdefault(data[position:position + 3], []).append(position)
        here += step
    put_literal(writer, 256)
    stream = b"\x78\x01" + writer.finish() + struct.pack(">I", zlib.adler32(data))
    assert zlib.decompress(stream) == data
    return stream


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def filtered_row(kind, row, above):
    out = bytearray(len(row))
    for i, value in enumerate(row):
        left = row[i - 3] if i >= 3 else 0
        up = above[i]
        corner = above[i - 3] if i >= 3 else 0
        predictor = (0, left, up, (left + up) // 2, paeth(left, up, corner))[kind]
        out[i] = (value - predictor) & 0xFF
    return out


def rgb_rows(canvas):
    rows = []
    for y in range(canvas.height):
        row = bytearray()
        for pixel in canvas.pixels[y * canvas.width:(y + 1) * canvas.width]:
            row.extend(int(min(max(v, 0.0), 255.0) + 0.5) for v in pixel)
        rows.append(row)
    return rows


def png_chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def png_bytes(canvas):
    """8-bit RGB, no alpha, each row with the filter that minimises its bytes."""
    raw = bytearray()
    above = bytearray(canvas.width * 3)
    for row in rgb_rows(canvas):
        candidates = [filtered_row(kind, row, above) for kind in range(5)]
        costs = [sum(b if b < 128 else 256 - b for b in c) for c in candidates]
        kind = costs.index(min(costs))
        raw.append(kind)
        raw.extend(candidates[kind])
        above = row
    header = struct.pack(">IIBBBBB", canvas.width, canvas.height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header)
            + png_chunk(b"IDAT", deflate(bytes(raw))) + png_chunk(b"IEND", b""))


def ico_bytes(canvas, opaque):
    """One 24-bit BMP image with its AND mask (set bits are transparent)."""
    size = canvas.width
    colour = bytearray()
    mask = bytearray()
    for y, row in reversed(list(enumerate(rgb_rows(canvas)))):  # bottom-up
        for x in range(size):
            r, g, b = row[3 * x:3 * x + 3] if opaque[y][x] else (0, 0, 0)
            colour.extend((b, g, r))
        bits = 0
        for x in range(size):
            bits = (bits << 1) | (0 if opaque[y][x] else 1)
        mask.extend(bits.to_bytes(size // 8, "big"))
        mask.extend(bytes(-(size // 8) % 4))
    info = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 24, 0,
                       len(colour) + len(mask), 0, 0, 0, 0)
    image = info + colour + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 24, len(image), 6 + 16)
    return directory + entry + image


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default=os.path.dirname(os.path.abspath(__file__)),
                        help="folder to write the files into")
    out = parser.parse_args().out
    os.makedirs(out, exist_ok=True)
    files = {
        "start_picture.png": png_bytes(start_picture()),
        "running_picture.png": png_bytes(running_picture()),
        "corvasta.ico": ico_bytes(*icon_picture()),
    }
    for name, content in files.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(content)


if __name__ == "__main__":
    main()
