#!/usr/bin/env python3
"""Draws the program's icon, an alarm bell with a status light, and writes it as a
48x48 24-bit .ico (one image with its transparency mask), or as the PNGs of the desktop
icon theme's sizes. Pure Python: shapes are distance functions on a 48-unit square,
sampled several times per pixel for smooth edges.

Usage: make_icon.py OUT.ico [PREVIEW.png] | --icons DIR | --check-icons DIR
"""
import math
import os
import struct
import sys
import zlib

SIZE = 48
SUB = 4  # samples per pixel along each axis


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def clamp(v, lo=0.0, hi=1.0):
    return max(lo, min(hi, v))


def rounded_box(x, y, cx, cy, hw, hh, r):
    """Signed distance to a rounded rectangle (negative inside)."""
    qx = abs(x - cx) - hw + r
    qy = abs(y - cy) - hh + r
    outside = math.hypot(max(qx, 0), max(qy, 0))
    return outside + min(max(qx, qy), 0) - r


def circle(x, y, cx, cy, r):
    return math.hypot(x - cx, y - cy) - r


def bell_half_width(y):
    """Half-width of the bell's body at height y: a dome that flares towards the rim."""
    top, shoulder, rim = 11.0, 17.0, 34.0
    if y < top:
        return -1.0
    if y < shoulder:  # the dome: a quarter ellipse
        t = (y - top) / (shoulder - top)
        return 9.5 * math.sqrt(max(0.0, 1 - (1 - t) ** 2))
    t = (y - shoulder) / (rim - shoulder)
    return 9.5 + 2.0 * t + 4.5 * t ** 3  # straight waist, flared mouth


def bell_body(x, y):
    w = bell_half_width(y)
    if w < 0:
        return 11.0 - y
    return max(abs(x - 24) - w, y - 34.0)


BACKGROUND_TOP = (46, 52, 64)
BACKGROUND_BOTTOM = (22, 25, 32)
BELL_LIGHT = (255, 120, 96)
BELL_DARK = (178, 24, 30)
RIM = (140, 18, 24)
BRASS = (236, 190, 80)
WAVE = (255, 222, 140)
LED_GREEN = (64, 230, 96)


def shade(x, y):
    """Colour and coverage (0 outside the icon's rounded square) of one sample."""
    plate = rounded_box(x, y, 24, 24, 23.5, 23.5, 9)
    if plate > 0:
        return (0, 0, 0), 0.0
    colour = mix(BACKGROUND_TOP, BACKGROUND_BOTTOM, y / SIZE)
    # A faint rim light along the plate's edge.
    if plate > -1.2:
        colour = mix(colour, (90, 100, 120), 0.6)

    # Sound waves either side of the bell.
    for side in (-1, 1):
        for radius in (15.5, 20.0):
            d = abs(math.hypot(x - 24, y - 22) - radius) - 1.1
            angle = math.degrees(math.atan2(y - 22, (x - 24) * side))
            if d < 0 and -38 < angle < 38:
                fade = 1.0 if radius < 18 else 0.7
                colour = mix(colour, WAVE, fade)

    knob = circle(x, y, 24, 10, 2.6)
    if knob < 0:
        colour = BRASS
    body = bell_body(x, y)
    if body < 0:
        w = max(bell_half_width(y), 1.0)
        across = clamp((x - 24) / w * 0.5 + 0.5)  # 0 at the left edge, 1 at the right
        colour = mix(BELL_LIGHT, BELL_DARK, clamp(across * 1.3 - 0.15))
        # A highlight stripe down the left of the body.
        highlight = abs(x - (24 - w * 0.45)) - w * 0.12
        if highlight < 0 and y > 13:
            colour = mix(colour, (255, 200, 180), 0.55)
    rim = rounded_box(x, y, 24, 35, 17.5, 2.0, 2.0)
    if rim < 0:
        colour = mix(RIM, BELL_LIGHT, clamp((34 - y) / 4 + 0.2))
    clapper = circle(x, y, 24, 39.5, 3.2)
    if clapper < 0:
        colour = BRASS

    # The status light, bottom right: green with a soft glow and a glint.
    glow = circle(x, y, 39, 39, 6.5)
    if glow < 0:
        colour = mix(colour, LED_GREEN, 0.35 * clamp(-glow / 3))
    led = circle(x, y, 39, 39, 4.2)
    if led < 0:
        colour = mix((20, 150, 50), LED_GREEN, clamp(-led / 2.5))
        if circle(x, y, 37.8, 37.6, 1.2) < 0:
            colour = (220, 255, 225)
    return colour, 1.0


def render(size=SIZE, sub=SUB):
    """Rows of ((r, g, b), coverage) for a size x size image of the 48-unit design."""
    unit = SIZE / size  # design units per pixel; exactly 1.0 for the .ico
    pixels = []
    for row in range(size):
        line = []
        for column in range(size):
            total = [0.0, 0.0, 0.0]
            cover = 0.0
            for sy in range(sub):
                for sx in range(sub):
                    c, a = shade((column + (sx + 0.5) / sub) * unit, (row + (sy + 0.5) / sub) * unit)
                    for i in range(3):
                        total[i] += c[i] * a
                    cover += a
            n = sub * sub
            if cover == 0:
                line.append(((0, 0, 0), 0.0))
            else:
                line.append((tuple(int(round(t / cover)) for t in total), cover / n))
        pixels.append(line)
    return pixels


def ico_bytes(pixels):
    """One 48x48 24-bit image: BITMAPINFOHEADER, bottom-up BGR rows, AND mask."""
    row_bytes = SIZE * 3  # already a multiple of 4
    mask_row = ((SIZE + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for row in reversed(range(SIZE)):
        bits = bytearray(mask_row)
        for column in range(SIZE):
            (r, g, b), cover = pixels[row][column]
            # 24-bit has no alpha: blend edge pixels onto black, mask the outside.
            xor += bytes((int(b * cover), int(g * cover), int(r * cover)))
            if cover < 0.5:
                bits[column // 8] |= 0x80 >> (column % 8)
        mask += bits
    image = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 24, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image += xor + mask
    header = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 24, len(image), 6 + 16)
    return header + entry + image


def rgba_rows(pixels, scale=1):
    """The image as RGBA rows, each pixel repeated scale times along both axes."""
    rows = []
    for line in pixels:
        raw = bytearray()
        for (r, g, b), cover in line:
            raw += bytes((r, g, b, int(round(cover * 255)))) * scale
        rows.extend([bytes(raw)] * scale)
    return rows


def png_bytes(rows):
    """An 8-bit RGBA PNG, every row with filter type 0."""
    width, height = len(rows[0]) // 4, len(rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    ihdr = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    raw = b"".join(b"\x00" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(raw, 9)) +
            chunk(b"IEND", b""))


def png_rows(data):
    """RGBA rows of a PNG that png_bytes wrote; None for anything else."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        return None
    pos, idat, header = 8, b"", None
    while pos + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if len(body) != length or struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])[0] != zlib.crc32(kind + body):
            return None
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    if header is None or header[2:] != (8, 6, 0, 0, 0):
        return None
    width, height = header[0], header[1]
    raw = zlib.decompress(idat)
    stride = 1 + width * 4
    if len(raw) != stride * height or any(raw[y * stride] != 0 for y in range(height)):
        return None
    return [raw[y * stride + 1:(y + 1) * stride] for y in range(height)]


# The hicolor theme sizes. Small sizes get more samples per pixel so thin strokes keep
# their weight instead of breaking up.
ICON_SIZES = (16, 24, 32, 48, 64, 128, 256)


def icon_sub(size):
    return SUB if size >= SIZE else 8


def icon_path(folder, size):
    return os.path.join(folder, "ostrelin-%d.png" % size)


def write_icons(folder):
    os.makedirs(folder, exist_ok=True)
    for size in ICON_SIZES:
        with open(icon_path(folder, size), "wb") as out:
            out.write(png_bytes(rgba_rows(render(size, icon_sub(size)))))


def check_icons(folder):
    """0 when every PNG in folder holds exactly the pixels this script draws."""
    wrong = 0
    for size in ICON_SIZES:
        path = icon_path(folder, size)
        try:
            with open(path, "rb") as f:
                rows = png_rows(f.read())
        except OSError:
            rows = None
        if rows != rgba_rows(render(size, icon_sub(size))):
            print("differs from the drawing (run make_icon.py --icons %s): %s" % (folder, path))
            wrong += 1
    return 1 if wrong else 0


def main():
    if len(sys.argv) == 3 and sys.argv[1] in ("--icons", "--check-icons"):
        if sys.argv[1] == "--icons":
            write_icons(sys.argv[2])
            return 0
        return check_icons(sys.argv[2])
    if len(sys.argv) not in (2, 3) or sys.argv[1].startswith("--"):
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    pixels = render()
    with open(sys.argv[1], "wb") as out:
        out.write(ico_bytes(pixels))
    if len(sys.argv) > 2:
        with open(sys.argv[2], "wb") as out:
            out.write(png_bytes(rgba_rows(pixels, 4)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
