#!/usr/bin/env python3
"""Draws the editor's three pictures into this folder.

background.png (resource 128), knob.png (resource 129) and about.png (resource 140).
The output is byte-for-byte the same on every run: no clock, no unseeded noise, no
text chunks. Needs Pillow (Debian: python3-pil) and the Liberation fonts
(Debian: fonts-liberation).
"""

import math
import os
import random
import struct
import sys
import zlib

try:
    from PIL import Image, ImageDraw, ImageFilter, ImageFont
except ImportError:
    # Debian's python3-pil belongs to the system interpreter; a pyenv or venv
    # python3 that comes first on PATH does not see it.
    system_python = "/usr/bin/python3"
    if os.path.exists(system_python) and os.path.realpath(sys.executable) != os.path.realpath(system_python):
        os.execv(system_python, [system_python, os.path.abspath(__file__), *sys.argv[1:]])
    sys.exit("draw_pictures: Pillow is missing (apt-get install python3-pil)")

HERE = os.path.dirname(os.path.abspath(__file__))
FONT_DIR = "/usr/share/fonts/truetype/liberation"
SANS = os.path.join(FONT_DIR, "LiberationSans-Regular.ttf")
SANS_BOLD = os.path.join(FONT_DIR, "LiberationSans-Bold.ttf")

# Supersampling factor for shapes; small text is drawn at its real size so the
# font hinting keeps it crisp.
SS = 4

WIDTH, HEIGHT = 328, 264
BLACK = (0, 0, 0, 255)
ORANGE = (242, 115, 0)
DIM_ORANGE = (110, 52, 0)
WHITE = (255, 255, 255)

# Geometry the editor places its controls on.
TITLE_AREA = (42, 22, 312, 80)  # the splash control's click rectangle
KNOB_SIZE = 100
KNOB_ORIGINS = ((43, 128), (184, 128))
DISPLAYS = ((46, 235, 76, 249), (187, 235, 217, 249))
LABELS = ("Fade interval", "Fade duration")
LABEL_TOP, LABEL_BOTTOM = 124, 133  # inclusive ink rows of the knob labels
PANEL = (6, 114, 322, 258)  # about panel, right and bottom exclusive

KNOB_FRAMES = 60
KNOB_START_DEG = 225.0  # frame 0, counter-clockwise from +x with y up
KNOB_RANGE_DEG = 270.0  # swept clockwise over the strip


def font(path, size):
    return ImageFont.truetype(path, size)


def ink_box(text, fnt):
    """Bounding box of the pixels a text really covers, anti-aliasing included."""
    left, top, right, bottom = fnt.getbbox(text)
    mask = Image.new("L", (right + 8, bottom + 8), 0)
    ImageDraw.Draw(mask).text((4, 4), text, font=fnt, fill=255)
    box = mask.getbbox()
    return (box[0] - 4, box[1] - 4, box[2] - 4, box[3] - 4)


def draw_text_ink_at(draw, text, fnt, fill, ink_left, ink_top):
    """Places a text so that its first ink column and row land on the given pixel."""
    box = ink_box(text, fnt)
    draw.text((ink_left - box[0], ink_top - box[1]), text, font=fnt, fill=fill)


def text_ink_size(text, fnt):
    box = ink_box(text, fnt)
    return box[2] - box[0], box[3] - box[1]


def vertical_gradient(size, top, bottom):
    w, h = size
    column = Image.new("RGB", (1, h))
    for y in range(h):
        t = y / max(1, h - 1)
        column.putpixel((0, y), tuple(round(a + (b - a) * t) for a, b in zip(top, bottom)))
    return column.resize((w, h), Image.NEAREST)


def draw_title(canvas):
    """The product name: dark metal letters with an orange rim and a faint glow."""
    left, top, right, bottom = TITLE_AREA
    fnt = font(SANS_BOLD, 52 * SS)
    text = "Fadecrest"
    stroke = 2 * SS
    l, t, r, b = fnt.getbbox(text, stroke_width=stroke)
    area_w, area_h = (right - left) * SS, (bottom - top) * SS
    origin = ((area_w - (r - l)) // 2 - l, (area_h - (b - t)) // 2 - t)

    outline = Image.new("L", (area_w, area_h), 0)
    ImageDraw.Draw(outline).text(origin, text, font=fnt, fill=255, stroke_width=stroke, stroke_fill=255)
    body = Image.new("L", (area_w, area_h), 0)
    ImageDraw.Draw(body).text(origin, text, font=fnt, fill=255)

    layer = Image.new("RGB", (area_w, area_h), (0, 0, 0))
    glow = outline.filter(ImageFilter.GaussianBlur(5 * SS)).point(lambda v: v * 45 // 100)
    layer.paste(ORANGE, (0, 0), glow)
    layer.paste(ORANGE, (0, 0), outline)
    # Light from above: the letter faces go from a steel grey to near black.
    gradient = vertical_gradient((area_w, area_h), (92, 92, 98), (14, 14, 16))
    layer.paste(gradient, (0, 0), body)
    small = layer.reduce(SS)
    canvas.paste(small, (left, top))


def draw_labels(draw):
    fnt = font(SANS_BOLD, 13)
    for (x, _), text in zip(KNOB_ORIGINS, LABELS):
        w, h = text_ink_size(text, fnt)
        assert h <= LABEL_BOTTOM - LABEL_TOP + 1, "label taller than its rows"
        draw_text_ink_at(draw, text, fnt, WHITE, x + (KNOB_SIZE - w) // 2, LABEL_TOP)


def draw_rule_and_version(canvas, draw):
    # A thin rule that fades out at both ends separates the title from the controls.
    y = 104
    x0, x1 = 20, 308
    for x in range(x0, x1):
        t = (x - x0) / (x1 - x0 - 1)
        k = min(1.0, min(t, 1.0 - t) * 5.0)
        canvas.putpixel((x, y), tuple(round(c * k) for c in DIM_ORANGE) + (255,))
    fnt = font(SANS, 10)
    text = "v 1.0"
    w, h = text_ink_size(text, fnt)
    draw_text_ink_at(draw, text, fnt, (170, 170, 170), WIDTH - 8 - w, y - 4 - h)


def draw_unit_boxes(canvas):
    """Orange-rimmed boxes around each value display, with the unit to its right."""
    layer = Image.new("RGB", (WIDTH * SS, HEIGHT * SS), (0, 0, 0))
    mask = Image.new("L", (WIDTH * SS, HEIGHT * SS), 0)
    mdraw = ImageDraw.Draw(mask)
    ldraw = ImageDraw.Draw(layer)
    boxes = []
    for dl, dt, dr, db in DISPLAYS:
        box = (dl - 5, dt - 4, dl + 93, db + 4)  # right and bottom exclusive
        boxes.append(box)
        rect = [box[0] * SS, box[1] * SS, box[2] * SS - 1, box[3] * SS - 1]
        ldraw.rounded_rectangle(rect, radius=4 * SS, outline=ORANGE, width=round(1.5 * SS))
        mdraw.rounded_rectangle(rect, radius=4 * SS, outline=255, width=round(1.5 * SS))
        # A dim divider keeps the number and its unit apart.
        divider = [(dr + 3) * SS, (dt + 1) * SS, (dr + 3) * SS + SS - 1, (db - 1) * SS - 1]
        ldraw.rectangle(divider, fill=DIM_ORANGE)
        mdraw.rectangle(divider, fill=255)
    small_layer = layer.reduce(SS)
    small_mask = mask.reduce(SS)
    canvas.paste(small_layer, (0, 0), small_mask)

    draw = ImageDraw.Draw(canvas)
    fnt = font(SANS, 12)
    for (dl, dt, dr, db), box in zip(DISPLAYS, boxes):
        w, h = text_ink_size("seconds", fnt)
        x_ink = dr + 7 + (box[2] - 3 - (dr + 7) - w) // 2
        # Centre the word's ink on the display's rows so it lines up with the digits.
        y_ink = dt + (db - dt - h) // 2
        draw_text_ink_at(draw, "seconds", fnt, ORANGE, x_ink, y_ink)
    return boxes


def draw_background():
    canvas = Image.new("RGBA", (WIDTH, HEIGHT), BLACK)
    draw_title(canvas)
    draw = ImageDraw.Draw(canvas)
    draw_labels(draw)
    draw_rule_and_version(canvas, draw)
    draw_unit_boxes(canvas)
    return canvas


# Knob geometry in frame pixels, centre at (50, 50).
KNOB_CENTRE = 50.0
KNOB_OUTER = 34.0  # bevel ring outer edge
KNOB_FACE = 28.5  # brushed face
TRACK_RADIUS = 40.5
TRACK_WIDTH = 3.0
DOT_DISTANCE = 20.5
DOT_RADIUS = 3.3
LIGHT_DEG = 135.0  # light comes from the upper left


def knob_body():
    """The part of the knob that does not turn with the value: bevel and spun face.

    The spun-metal highlights follow the light, not the knob, so only the dot and
    the value arc differ between frames.
    """
    size = KNOB_SIZE * SS
    img = Image.new("RGBA", (size, size), (0, 0, 0, 0))
    px = img.load()
    rng = random.Random(1405)
    rings = [rng.uniform(-1.0, 1.0) for _ in range(int(KNOB_OUTER * SS) + 2)]
    # Smooth the ring noise a little so the grain reads as fine concentric lines.
    rings = [(rings[max(0, i - 1)] + 2 * rings[i] + rings[min(len(rings) - 1, i + 1)]) / 4 for i in range(len(rings))]
    light = math.radians(LIGHT_DEG)
    centre = KNOB_CENTRE * SS
    for j in range(size):
        dy = centre - (j + 0.5)
        for i in range(size):
            dx = (i + 0.5) - centre
            r = math.hypot(dx, dy) / SS
            if r > KNOB_OUTER:
                continue
            theta = math.atan2(dy, dx)
            facing = math.cos(theta - light)
            if r > KNOB_OUTER - 0.75:
                v = 18 + 10 * facing  # dark edge against the ground
            elif r > KNOB_FACE + 0.75:
                # Bevel: lit on the upper left, in shade on the lower right.
                v = 118 + 88 * facing
            elif r > KNOB_FACE - 0.5:
                v = 40 + 14 * facing  # groove between bevel and face
            else:
                # Spun face: two broad highlights across the light direction and a
                # fine concentric grain.
                sheen = math.cos(2.0 * (theta - light)) ** 2
                v = 128 + 58 * sheen + 12 * facing + 9 * rings[int(r * SS)]
                v -= 14 * (r / KNOB_FACE) ** 4
            v = max(0, min(255, v))
            px[i, j] = (round(v), round(v), round(min(255, v * 1.03 + 3)), 255)
    return img


def knob_angle(frame):
    return KNOB_START_DEG - KNOB_RANGE_DEG * frame / (KNOB_FRAMES - 1)


def arc(draw, start_pil, end_pil, colour):
    """An arc with round caps; angles in Pillow's convention (clockwise, y down)."""
    c = KNOB_CENTRE * SS
    r = TRACK_RADIUS * SS
    half = TRACK_WIDTH * SS / 2
    box = [c - r - half, c - r - half, c + r + half - 1, c + r + half - 1]
    draw.arc(box, start_pil, end_pil, fill=colour, width=round(TRACK_WIDTH * SS))
    for a in (start_pil, end_pil):
        x = c + r * math.cos(math.radians(a))
        y = c + r * math.sin(math.radians(a))
        draw.ellipse([x - half, y - half, x + half, y + half], fill=colour)


def draw_knob_frame(body, frame):
    img = body.copy()
    draw = ImageDraw.Draw(img)
    start_pil = -KNOB_START_DEG + 360.0  # 135: lower left in Pillow's angles
    arc(draw, start_pil, start_pil + KNOB_RANGE_DEG, (46, 46, 50))
    if frame > 0:
        arc(draw, start_pil, start_pil + KNOB_RANGE_DEG * frame / (KNOB_FRAMES - 1), ORANGE)

    a = math.radians(knob_angle(frame))
    c = KNOB_CENTRE * SS
    x = c + DOT_DISTANCE * SS * math.cos(a)
    y = c - DOT_DISTANCE * SS * math.sin(a)
    # An engraved dimple: its lower-right wall catches the light from the upper left.
    lit = DOT_RADIUS * SS + 0.6 * SS
    draw.ellipse([x - lit + 0.5 * SS, y - lit + 0.5 * SS, x + lit + 0.5 * SS, y + lit + 0.5 * SS], fill=(205, 205, 212))
    hole = DOT_RADIUS * SS
    draw.ellipse([x - hole, y - hole, x + hole, y + hole], fill=(24, 24, 27))
    return img.reduce(SS)


def draw_knob_strip():
    body = knob_body()
    strip = Image.new("RGBA", (KNOB_SIZE, KNOB_SIZE * KNOB_FRAMES), (0, 0, 0, 0))
    for k in range(KNOB_FRAMES):
        strip.paste(draw_knob_frame(body, k), (0, k * KNOB_SIZE))
    return strip


ABOUT_LINES = (
    "Fadecrest turns a finished track into a preview copy.",
    "After each interval of unchanged sound, 1 to 60 s long,",
    "it fades the signal down to silence and back up again",
    "over the fade duration of 1 to 5 seconds, over and over",
    "for as long as the host plays.",
)


def draw_about(background):
    left, top, right, bottom = PANEL
    panel = Image.new("RGBA", (WIDTH * SS, HEIGHT * SS), (0, 0, 0, 0))
    rect = [left * SS, top * SS, right * SS - 1, bottom * SS - 1]
    ImageDraw.Draw(panel).rounded_rectangle(
        rect, radius=7 * SS, fill=(62, 62, 66, 236), outline=(130, 130, 136, 250), width=SS)
    panel = panel.reduce(SS)
    # Frosted glass: what shows through the panel is blurred, so the labels
    # under it read as soft shapes instead of competing with the text.
    canvas = background.copy()
    canvas.paste(background.filter(ImageFilter.GaussianBlur(3)), (0, 0), panel.getchannel("A"))
    canvas = Image.alpha_composite(canvas, panel)

    draw = ImageDraw.Draw(canvas)
    x = left + 12
    inner = right - left - 24
    draw_text_ink_at(draw, "About Fadecrest", font(SANS_BOLD, 14), ORANGE, x, top + 10)
    body = font(SANS, 12)
    footer = bottom - 10
    first = top + 40
    assert first + 15 * (len(ABOUT_LINES) - 1) <= footer - 17, "about text runs into the author line"
    for i, line in enumerate(ABOUT_LINES):
        assert body.getlength(line) <= inner, f"about line too wide: {line}"
        draw.text((x, first + 15 * i), line, font=body, fill=WHITE, anchor="ls")
    draw.text((x, footer), "Corvenna - Fadecrest v 1.0", font=font(SANS_BOLD, 12), fill=ORANGE, anchor="ls")
    draw.text((right - 12, footer), "Click anywhere to close", font=font(SANS, 10), fill=(185, 185, 190), anchor="rs")
    return canvas


def png_chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def save(img, name, level=9):
    """Saves a PNG whose rows have no row filter, deflated at the given level.

    The editor decodes its pictures when it first shows them: rows without a
    filter need no work after inflating, and these pictures deflate as small
    without one. The knob strip is stored with level 0, not compressed at all:
    the decoder inflates 400 bytes at a time, and inflating the strip's 2.4 MB
    of brushed metal that way takes about twice as long as reading it stored.
    That file is 2.4 MB instead of 0.47 MB (Linux builds carry it packed, see
    embed.cmake).
    """
    assert img.mode == "RGBA"
    width, height = img.size
    pixels = img.tobytes()
    stride = width * 4
    rows = b"".join(b"\0" + pixels[y * stride:(y + 1) * stride] for y in range(height))
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)  # 8 bits, RGBA, not interlaced
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) + png_chunk(b"IDAT", zlib.compress(rows, level))
                + png_chunk(b"IEND", b""))


def main():
    background = draw_background()
    save(background, "background.png")
    save(draw_knob_strip(), "knob.png", level=0)
    save(draw_about(background), "about.png")


if __name__ == "__main__":
    main()
