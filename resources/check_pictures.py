#!/usr/bin/env python3
"""Checks the editor's pictures the way a person looking at them would.

Decodes the PNG files with the standard library alone (zlib), so it does not
lean on the library that drew them. Exits non-zero on the first failed check.
"""

import math
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

WIDTH, HEIGHT = 328, 264
ORANGE = (242, 115, 0)
KNOB_ORIGINS = ((43, 128), (184, 128))
KNOB_SIZE = 100
KNOB_FRAMES = 60
DISPLAYS = ((46, 235, 76, 249), (187, 235, 217, 249))
TITLE_AREA = (42, 22, 312, 80)


class Picture:
    def __init__(self, width, height, header, rows):
        self.width, self.height, self.header, self.rows = width, height, header, rows

    def pixel(self, x, y):
        row = self.rows[y]
        return tuple(row[4 * x:4 * x + 4])


def read_png(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise AssertionError(f"{path}: not a PNG signature")
    pos, chunks = 8, []
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        crc = struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])[0]
        if zlib.crc32(kind + body) != crc:
            raise AssertionError(f"{path}: bad CRC in {kind!r}")
        chunks.append((kind, body))
        pos += 12 + length
    if chunks[0][0] != b"IHDR" or chunks[-1][0] != b"IEND":
        raise AssertionError(f"{path}: chunks must start with IHDR and end with IEND")
    width, height, depth, colour, compression, filt, interlace = struct.unpack(">IIBBBBB", chunks[0][1])
    header = dict(width=width, height=height, depth=depth, colour=colour, interlace=interlace)
    if (depth, colour, compression, filt, interlace) != (8, 6, 0, 0, 0):
        # The decoder below handles only what the editor needs; report what was found.
        return Picture(width, height, header, None)
    raw = zlib.decompress(b"".join(body for kind, body in chunks if kind == b"IDAT"))
    stride = width * 4
    rows, prev = [], bytearray(stride)
    for y in range(height):
        base = y * (stride + 1)
        kind = raw[base]
        line = bytearray(raw[base + 1:base + 1 + stride])
        if kind == 1:
            for i in range(4, stride):
                line[i] = (line[i] + line[i - 4]) & 255
        elif kind == 2:
            line = bytearray((a + b) & 255 for a, b in zip(line, prev))
        elif kind == 3:
            for i in range(stride):
                left = line[i - 4] if i >= 4 else 0
                line[i] = (line[i] + ((left + prev[i]) >> 1)) & 255
        elif kind == 4:
            for i in range(stride):
                a = line[i - 4] if i >= 4 else 0
                b = prev[i]
                c = prev[i - 4] if i >= 4 else 0
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pred) & 255
        elif kind != 0:
            raise AssertionError(f"{path}: unknown filter {kind} in row {y}")
        rows.append(line)
        prev = line
    return Picture(width, height, header, rows)


failures = []


def check(condition, message):
    print(("ok    " if condition else "FAIL  ") + message)
    if not condition:
        failures.append(message)


def is_black(p):
    return p[:3] == (0, 0, 0) and p[3] == 255


def is_orange(p, tolerance=40):
    return p[3] == 255 and all(abs(a - b) <= tolerance for a, b in zip(p[:3], ORANGE))


def is_white(p):
    return p[3] == 255 and min(p[:3]) >= 235


def count(pic, box, test):
    left, top, right, bottom = box
    return sum(1 for y in range(top, bottom) for x in range(left, right) if test(pic.pixel(x, y)))


def check_format(name, pic, width, height):
    h = pic.header
    check((h["width"], h["height"]) == (width, height), f"{name}: {h['width']} x {h['height']}, want {width} x {height}")
    check((h["depth"], h["colour"], h["interlace"]) == (8, 6, 0),
          f"{name}: depth {h['depth']}, colour type {h['colour']}, interlace {h['interlace']}; want 8, 6, 0")
    return pic.rows is not None


def check_background(bg):
    if not check_format("background", bg, WIDTH, HEIGHT):
        return
    corners = [(0, 0), (WIDTH - 1, 0), (0, HEIGHT - 1), (WIDTH - 1, HEIGHT - 1), (5, 5), (WIDTH - 6, HEIGHT - 6)]
    check(all(is_black(bg.pixel(x, y)) for x, y in corners), "background: opaque black in the corners")
    check(all(bg.pixel(x, y)[3] == 255 for y in range(HEIGHT) for x in range(WIDTH)), "background: opaque everywhere")

    for i, (x, y) in enumerate(KNOB_ORIGINS):
        # The labels reach down to row 133, into the top of the knob rectangle.
        area = (x, 134, x + KNOB_SIZE, y + KNOB_SIZE)
        black = count(bg, area, is_black)
        total = (area[2] - area[0]) * (area[3] - area[1])
        check(black == total, f"background: knob {i} area below its label is plain black ({black}/{total})")

        label = (x, 124, x + KNOB_SIZE, 134)
        check(count(bg, label, is_white) >= 40, f"background: white label text in rows 124..133 above knob {i}")
        check(count(bg, (x - 10, 110, x + KNOB_SIZE + 10, 124), lambda p: p[:3] != (0, 0, 0)) == 0,
              f"background: label {i} does not start above row 124")
        check(count(bg, (x, 134, x + KNOB_SIZE, 140), lambda p: p[:3] != (0, 0, 0)) == 0,
              f"background: label {i} ends by row 133")

    title_band = (0, 22, WIDTH, 81)
    check(count(bg, title_band, is_orange) >= 500, "background: orange title rim in rows 22..80")
    left, top, right, bottom = TITLE_AREA
    outside = count(bg, (0, 0, WIDTH, HEIGHT), is_orange) - count(bg, (left, top, right, bottom), is_orange)
    # The title stays inside its click area; the unit boxes account for the other orange.
    boxes = sum(count(bg, (d[0] - 8, d[1] - 8, d[0] + 100, d[3] + 8), is_orange) for d in DISPLAYS)
    check(outside == boxes, f"background: no orange title pixels outside the about click area ({outside - boxes})")

    for i, (dl, dt, dr, db) in enumerate(DISPLAYS):
        display = (dl, dt, dr, db)
        n = (dr - dl) * (db - dt)
        check(count(bg, display, is_black) == n, f"background: display {i} area is free (black)")
        rim_left = count(bg, (dl - 6, dt, dl, db), is_orange)
        rim_top = count(bg, (dl, dt - 5, dr, dt), is_orange)
        rim_bottom = count(bg, (dl, db, dr, db + 5), is_orange)
        check(rim_left > 0 and rim_top > 0 and rim_bottom > 0, f"background: orange box rim around display {i}")
        unit = count(bg, (dr + 2, dt, dr + 90, db), lambda p: p[0] > 150 and p[0] > p[2] + 100)
        check(unit >= 30, f"background: orange unit text to the right of display {i}")

    version = (WIDTH - 50, 82, WIDTH, 124)
    check(count(bg, version, lambda p: min(p[:3]) > 100) >= 10, "background: version label at the right edge")


def luma(p):
    return 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2]


def dot_angle(strip, frame):
    """Angle of the darkest spot on the knob face, counter-clockwise from +x with y up."""
    sx = sy = weight = 0.0
    for y in range(KNOB_SIZE):
        for x in range(KNOB_SIZE):
            dx, dy = x + 0.5 - 50, 50 - (y + 0.5)
            if dx * dx + dy * dy > 26 * 26:
                continue
            p = strip.pixel(x, frame * KNOB_SIZE + y)
            darkness = max(0.0, 80.0 - luma(p))
            sx += dx * darkness
            sy += dy * darkness
            weight += darkness
    if weight == 0:
        return None
    angle = math.degrees(math.atan2(sy, sx))
    # Map onto the knob's travel: 225 at the start down to -45 at the end.
    return angle + 360 if angle < -90 else angle


def check_knob(strip):
    if not check_format("knob", strip, KNOB_SIZE, KNOB_SIZE * KNOB_FRAMES):
        return
    frames = [b"".join(bytes(strip.rows[k * KNOB_SIZE + y]) for y in range(KNOB_SIZE)) for k in range(KNOB_FRAMES)]
    check(len(set(frames)) == KNOB_FRAMES, f"knob: {len(set(frames))} distinct frames of {KNOB_FRAMES}")

    # The ground is black; outside the knob it is also transparent so that the
    # labels reaching into the knob rectangle stay visible.
    ground = [(0, 0), (99, 0), (0, 99), (99, 99), (50, 1), (2, 50)]
    check(all(strip.pixel(x, k * KNOB_SIZE + y)[:3] == (0, 0, 0) for k in range(KNOB_FRAMES) for x, y in ground),
          "knob: black ground in every frame's corners and edges")
    check(all(strip.pixel(x, k * KNOB_SIZE + y)[3] == 0 for k in range(KNOB_FRAMES) for x in range(KNOB_SIZE) for y in range(6)),
          "knob: top six rows of every frame transparent (the labels overlap them)")
    face = [strip.pixel(50 + dx, k * KNOB_SIZE + 50 + dy) for k in (0, 29, 59) for dx, dy in ((0, 0), (-10, 5), (8, -8))]
    check(all(p[3] == 255 and 90 <= luma(p) <= 230 and max(p[:3]) - min(p[:3]) < 20 for p in face),
          "knob: opaque grey metal face")

    angles = [dot_angle(strip, k) for k in range(KNOB_FRAMES)]
    check(all(a is not None for a in angles), "knob: a dark dot on every frame's face")
    if any(a is None for a in angles):
        return
    print(f"      dot angles: frame 0 {angles[0]:.1f}, frame 29 {angles[29]:.1f}, frame 59 {angles[59]:.1f}")
    check(abs(angles[0] - 225) <= 3, "knob: frame 0 dot at the lower left (225 degrees)")
    check(abs(angles[29] - 90) <= 5, "knob: frame 29 dot near the top (90 degrees)")
    check(abs(angles[59] + 45) <= 3, "knob: frame 59 dot at the lower right (-45 degrees)")
    check(all(b < a for a, b in zip(angles, angles[1:])), "knob: dot turns clockwise from frame to frame")
    worst = max(abs(a - (225 - 270 * k / 59)) for k, a in enumerate(angles))
    check(worst <= 2, f"knob: dot within 2 degrees of 225 - 270 k / 59 (worst {worst:.2f})")


def greyness(pic, top, bottom):
    """Share of pixels in the rows that are a visible neutral grey."""
    grey = total = 0
    for y in range(top, bottom):
        for x in range(WIDTH):
            p = pic.pixel(x, y)
            total += 1
            if max(p[:3]) - min(p[:3]) <= 12 and 35 <= luma(p) <= 200:
                grey += 1
    return grey / total


def check_about(about, bg):
    if not check_format("about", about, WIDTH, HEIGHT) or bg.rows is None:
        return
    check(all(about.pixel(x, y)[3] == 255 for y in range(HEIGHT) for x in range(WIDTH)),
          "about: opaque everywhere (it covers the knobs when shown)")
    same = all(about.rows[y] == bg.rows[y] for y in list(range(0, 114)) + list(range(258, HEIGHT)))
    check(same, "about: rows 0..113 and 258..263 equal the background")
    g_about, g_bg = greyness(about, 120, 251), greyness(bg, 120, 251)
    check(g_about > 0.6 and g_bg < 0.1, f"about: grey panel in rows 120..250 ({g_about:.2f} grey against {g_bg:.2f})")
    check(count(about, (10, 135, 318, 235), is_white) >= 300, "about: white description text on the panel")
    check(count(about, (10, 236, 318, 256), is_orange) >= 100, "about: orange author line at the bottom of the panel")


def main():
    bg = read_png(os.path.join(HERE, "background.png"))
    knob = read_png(os.path.join(HERE, "knob.png"))
    about = read_png(os.path.join(HERE, "about.png"))
    check_background(bg)
    check_knob(knob)
    check_about(about, bg)
    if failures:
        print(f"{len(failures)} check(s) failed")
        sys.exit(1)
    print("all picture checks passed")


if __name__ == "__main__":
    main()
