#!/usr/bin/env python3
"""Draws the wizard's images: the Wizard97 header bitmap (49x49), the
watermark of the welcome page (164x314) and the program icon (16, 32 and 48
pixels).

    make_images.py OUTDIR   writes header.bmp, watermark.bmp and wizard.ico

The motif is the product's: a PC whose screen sends out a link (a chain of
two rings) to somewhere else. Shapes are signed distance functions, so every
edge is anti-aliased without a drawing library.
"""
import math
import os
import struct
import sys

HEADER_SIZE = 49
WATERMARK_SIZE = (164, 314)
ICON_SIZES = (48, 32, 16)

NAVY = (0.11, 0.24, 0.42)
BLUE = (0.18, 0.45, 0.78)
SKY = (0.56, 0.78, 0.96)
PALE = (0.86, 0.93, 0.99)
WHITE = (1.0, 1.0, 1.0)
STEEL = (0.55, 0.60, 0.67)
ORANGE = (0.96, 0.55, 0.16)


class Canvas:
    """Premultiplied RGBA pixels, top row first."""

    def __init__(self, width, height, background=None):
        self.width, self.height = width, height
        if background is None:
            self.px = [[0.0, 0.0, 0.0, 0.0] for _ in range(width * height)]
        else:
            self.px = [[*background, 1.0] for _ in range(width * height)]

    def fill(self, sdf, color, alpha=1.0):
        """Paints color (a color, or a function of the position giving one)
        where sdf(x, y) < 0, with a one-pixel soft edge."""
        for y in range(self.height):
            row = y * self.width
            for x in range(self.width):
                cover = min(1.0, max(0.0, 0.5 - sdf(x + 0.5, y + 0.5))) * alpha
                if cover <= 0.0:
                    continue
                p = self.px[row + x]
                keep = 1.0 - cover
                rgb = color(x + 0.5, y + 0.5) if callable(color) else color
                for i in range(3):
                    p[i] = rgb[i] * cover + p[i] * keep
                p[3] = cover + p[3] * keep

    def shade(self, color_at):
        """Sets every pixel to an opaque color chosen by position."""
        for y in range(self.height):
            for x in range(self.width):
                self.px[y * self.width + x] = [*color_at(x, y), 1.0]


# Signed distances (negative inside), in pixels.

def round_box(cx, cy, hw, hh, r):
    def sdf(x, y):
        qx, qy = abs(x - cx) - hw + r, abs(y - cy) - hh + r
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - r
    return sdf


def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def ring(cx, cy, r, half_width):
    return lambda x, y: abs(math.hypot(x - cx, y - cy) - r) - half_width


def arc(cx, cy, r, start, end, half_width):
    """An arc from angle start to end (radians, y down), with round caps."""
    ends = [(cx + r * math.cos(a), cy + r * math.sin(a)) for a in (start, end)]

    def sdf(x, y):
        a = math.atan2(y - cy, x - cx)
        if start <= a <= end:
            d = abs(math.hypot(x - cx, y - cy) - r)
        else:
            d = min(math.hypot(x - ex, y - ey) for ex, ey in ends)
        return d - half_width
    return sdf


def ring_link(cx, cy, length, radius, angle, half_width):
    """One chain link: the outline of a stadium along the given angle."""
    c, s = math.cos(angle), math.sin(angle)
    reach = length / 2 - radius

    def sdf(x, y):
        u = (x - cx) * c + (y - cy) * s
        v = -(x - cx) * s + (y - cy) * c
        u = max(abs(u) - reach, 0.0)
        return abs(math.hypot(u, v) - radius) - half_width
    return sdf


def intersect(a, b):
    return lambda x, y: max(a(x, y), b(x, y))


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


# The motif, drawn into a square of side `size` at (ox, oy).

def draw_pc(canvas, ox, oy, size, body, screen, stand):
    """A monitor on its stand; screen is the gradient's top and bottom color."""
    s = size
    canvas.fill(round_box(ox + 0.50 * s, oy + 0.40 * s, 0.42 * s, 0.31 * s, 0.07 * s), body)
    top, bottom = oy + 0.16 * s, oy + 0.64 * s

    def gradient(x, y):
        return mix(screen[0], screen[1], min(1.0, max(0.0, (y - top) / (bottom - top))))
    canvas.fill(round_box(ox + 0.50 * s, oy + 0.40 * s, 0.35 * s, 0.24 * s, 0.03 * s), gradient)
    canvas.fill(round_box(ox + 0.50 * s, oy + 0.78 * s, 0.07 * s, 0.07 * s, 0.01 * s), stand)
    canvas.fill(round_box(ox + 0.50 * s, oy + 0.87 * s, 0.22 * s, 0.045 * s, 0.04 * s), stand)


def draw_waves(canvas, cx, cy, radii, half_width, color, alpha=1.0):
    for r in radii:
        canvas.fill(arc(cx, cy, r, -math.pi * 0.80, -math.pi * 0.20, half_width), color, alpha)


def draw_link(canvas, cx, cy, size, color, gap_color):
    """Two chain links along the rising diagonal, overlapping at their ends.
    Their outlines cross twice; at one crossing the first link passes over
    the second, with a thin gap in gap_color, which makes them a chain."""
    length, radius = 0.60 * size, 0.16 * size
    half = max(0.9, 0.06 * size)
    reach = length / 2 - radius
    shift = reach + 0.45 * radius
    angle = -math.pi / 4
    cos, sin = math.cos(angle), math.sin(angle)
    first = ring_link(cx - shift * cos, cy - shift * sin, length, radius, angle, half)
    second = ring_link(cx + shift * cos, cy + shift * sin, length, radius, angle, half)
    canvas.fill(first, color)
    canvas.fill(second, color)
    # The crossing lies on the perpendicular through the centre.
    v = math.sqrt(radius * radius - (shift - reach) ** 2)
    patch = circle(cx - v * sin, cy + v * cos, 3.2 * half)
    gap = max(0.7, 0.6 * half)
    canvas.fill(intersect(lambda x, y: first(x, y) - gap, patch), gap_color)
    canvas.fill(intersect(first, patch), color)


def draw_badge(canvas, cx, cy, r, rim):
    """The link on an orange disc with a white rim."""
    canvas.fill(circle(cx, cy, r), ORANGE)
    canvas.fill(ring(cx, cy, r, rim), WHITE)
    draw_link(canvas, cx, cy, 1.5 * r, WHITE, ORANGE)


def draw_icon(size):
    canvas = Canvas(size, size)
    draw_pc(canvas, 0, 0, size, NAVY, (SKY, BLUE), STEEL)
    if size < 32:
        # Too small for the link badge: the screen sends, that is all.
        draw_waves(canvas, 0.50 * size, 0.60 * size, (0.12 * size, 0.24 * size), 0.7, WHITE)
        return canvas
    draw_waves(canvas, 0.50 * size, 0.52 * size, (0.12 * size, 0.22 * size),
               0.028 * size, WHITE, 0.9)
    badge = 0.30 * size
    draw_badge(canvas, size - badge - 0.5, size - badge - 0.5, badge, 0.03 * size)
    return canvas


def draw_header():
    size = HEADER_SIZE
    canvas = Canvas(size, size, WHITE)
    draw_pc(canvas, 1, 1, size - 6, NAVY, (SKY, BLUE), STEEL)
    draw_waves(canvas, 0.5 * (size - 6) + 1, 0.52 * (size - 6) + 1, (5.0, 9.5), 0.9, WHITE, 0.9)
    badge = 11.5
    draw_badge(canvas, size - badge - 1, size - badge - 1, badge, 0.8)
    return canvas


def draw_watermark():
    width, height = WATERMARK_SIZE
    canvas = Canvas(width, height)
    deep, light = (0.07, 0.22, 0.45), (0.36, 0.62, 0.88)

    def sky(x, y):
        t = (y / height) ** 0.9
        lift = 0.06 * (1.0 - x / width)
        return mix(mix(light, deep, t), WHITE, max(0.0, lift))
    canvas.shade(sky)
    # Broad, faint rings behind the motif, as if the PC were sending.
    cx, cy = width * 0.5, height * 0.36
    for i, r in enumerate((48, 72, 98, 126)):
        canvas.fill(ring(cx, cy, r, 1.1), WHITE, 0.16 - 0.03 * i)
    pc = 96
    draw_pc(canvas, cx - pc / 2, cy - pc / 2, pc, (0.93, 0.96, 1.0), (PALE, SKY), (0.80, 0.87, 0.95))
    draw_waves(canvas, cx, cy - pc / 2 + 0.52 * pc, (14, 25), 2.2, BLUE, 0.85)
    # The link travels down from the PC along a dotted path.
    lx, ly = cx + 30, cy + 86
    for i in range(5):
        t = i / 4
        px = cx + 8 + (lx - cx - 8) * t
        py = cy + pc * 0.42 + (ly - 26 - cy - pc * 0.42) * t
        canvas.fill(circle(px, py, 2.0), WHITE, 0.75)
    draw_badge(canvas, lx, ly, 22, 1.3)
    return canvas


# File formats.

def bgr_rows(canvas, background):
    """Bottom-up rows of 24-bit pixels, each padded to four bytes."""
    rows = []
    pad = b"\0" * (-3 * canvas.width % 4)
    for y in reversed(range(canvas.height)):
        row = bytearray()
        for x in range(canvas.width):
            r, g, b, a = canvas.px[y * canvas.width + x]
            rgb = [c + background[i] * (1.0 - a) for i, c in enumerate((r, g, b))]
            row += bytes(round(255 * min(1.0, max(0.0, c))) for c in reversed(rgb))
        rows.append(bytes(row) + pad)
    return b"".join(rows)


def info_header(width, height, bits, image_size):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, image_size, 2835, 2835, 0, 0)


def bmp_file(canvas):
    pixels = bgr_rows(canvas, WHITE)
    header = info_header(canvas.width, canvas.height, 24, len(pixels))
    offset = 14 + len(header)
    return struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset) + header + pixels


def icon_image(canvas):
    """One icon image: 32-bit BGRA and the 1-bit AND mask, both bottom-up."""
    size = canvas.width
    colors, mask = bytearray(), bytearray()
    mask_row_bytes = (size + 31) // 32 * 4
    for y in reversed(range(size)):
        bits = bytearray(mask_row_bytes)
        for x in range(size):
            r, g, b, a = canvas.px[y * size + x]
            straight = [c / a if a > 0 else 0.0 for c in (b, g, r)]
            colors += bytes(round(255 * min(1.0, c)) for c in straight)
            colors.append(round(255 * a))
            if a < 0.5:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = info_header(size, 2 * size, 32, len(colors) + len(mask))
    return header + bytes(colors) + bytes(mask)


def ico_file(canvases):
    images = [icon_image(c) for c in canvases]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for canvas, image in zip(canvases, images):
        out += struct.pack("<BBBBHHII", canvas.width, canvas.height, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


def main(argv):
    if len(argv) != 2:
        print("usage: make_images.py OUTDIR", file=sys.stderr)
        return 2
    outdir = argv[1]
    os.makedirs(outdir, exist_ok=True)
    outputs = {
        "header.bmp": bmp_file(draw_header()),
        "watermark.bmp": bmp_file(draw_watermark()),
        "wizard.ico": ico_file([draw_icon(size) for size in ICON_SIZES]),
    }
    for name, data in outputs.items():
        with open(os.path.join(outdir, name), "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
