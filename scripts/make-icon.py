#!/usr/bin/env python3
"""Draw the application icon: two overlapping speech bubbles, the back one
blue with three "typing" dots, the front one orange with a smile.

One list of shapes feeds every output, so resources/wez.svg, the 64x64
resources/wez.png the program carries and the icon theme's sizes in
resources/icons/ (wez-16.png ... wez-256.png, installed into hicolor) always
show the same picture. The PNGs are rasterised here with 4x4 supersampling and
written with zlib + struct only.

Usage: scripts/make-icon.py [output-dir]   (default: resources/ beside scripts/)
"""
import math
import os
import struct
import sys
import zlib

SIZE = 64  # the drawing's own units; other sizes scale it
THEME_SIZES = [16, 22, 24, 32, 48, 128, 256]  # 64 is wez.png itself
BLUE = (52, 120, 198)
ORANGE = (246, 166, 35)
WHITE = (255, 255, 255)
BROWN = (110, 62, 8)

# A bubble: rounded body plus a triangular tail, one fill colour.
BACK = {"rect": (4, 5, 42, 31, 11), "tail": [(11, 33), (22, 33), (7, 45)]}
FRONT = {"rect": (21, 27, 39, 27, 11), "tail": [(44, 51), (55, 51), (59, 61)]}
HALO = 2.5  # white ring that keeps the front bubble apart from the back one
DOTS = [(14.5, 20.5), (25, 20.5), (35.5, 20.5)]
DOT_R = 3.2
EYES = [(34.5, 36.5), (46.5, 36.5)]
EYE_R = 2.3
SMILE = [(32.5, 42), (40.5, 49.5), (48.5, 42)]  # quadratic curve: start, control, end
SMILE_W = 2.8


def hexcolour(c):
    return "#%02x%02x%02x" % c


def svg():
    def bubble(b, fill, extra=""):
        x, y, w, h, r = b["rect"]
        pts = " ".join("%g,%g" % p for p in b["tail"])
        return ('  <g fill="%s"%s>\n    <rect x="%g" y="%g" width="%g" height="%g" rx="%g"/>\n'
                '    <polygon points="%s"/>\n  </g>\n' % (fill, extra, x, y, w, h, r, pts))

    out = ['<?xml version="1.0" encoding="UTF-8"?>\n',
           '<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 %d %d">\n'
           % (SIZE, SIZE, SIZE, SIZE),
           '  <title>Wez</title>\n']
    out.append(bubble(BACK, hexcolour(BLUE)))
    for cx, cy in DOTS:
        out.append('  <circle cx="%g" cy="%g" r="%g" fill="%s"/>\n' % (cx, cy, DOT_R, hexcolour(WHITE)))
    out.append(bubble(FRONT, hexcolour(WHITE),
                      ' stroke="%s" stroke-width="%g" stroke-linejoin="round"'
                      % (hexcolour(WHITE), HALO * 2)))
    out.append(bubble(FRONT, hexcolour(ORANGE)))
    for cx, cy in EYES:
        out.append('  <circle cx="%g" cy="%g" r="%g" fill="%s"/>\n' % (cx, cy, EYE_R, hexcolour(BROWN)))
    (x0, y0), (cx, cy), (x1, y1) = SMILE
    out.append('  <path d="M%g %g Q%g %g %g %g" fill="none" stroke="%s" stroke-width="%g" '
               'stroke-linecap="round"/>\n' % (x0, y0, cx, cy, x1, y1, hexcolour(BROWN), SMILE_W))
    out.append('</svg>\n')
    return "".join(out)


# --- signed distances (negative inside) for the rasteriser ---

def sd_round_rect(px, py, rect):
    x, y, w, h, r = rect
    hx, hy = w / 2 - r, h / 2 - r
    qx, qy = abs(px - (x + w / 2)) - hx, abs(py - (y + h / 2)) - hy
    outside = math.hypot(max(qx, 0), max(qy, 0))
    return outside + min(max(qx, qy), 0) - r


def seg_dist(px, py, a, b):
    ax, ay = a
    bx, by = b
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - ax - t * dx, py - ay - t * dy)


def sd_triangle(px, py, tri):
    d = min(seg_dist(px, py, tri[i], tri[(i + 1) % 3]) for i in range(3))
    # Inside when the point is on the same side of all three edges.
    signs = []
    for i in range(3):
        (ax, ay), (bx, by) = tri[i], tri[(i + 1) % 3]
        signs.append((bx - ax) * (py - ay) - (by - ay) * (px - ax) > 0)
    return -d if all(signs) or not any(signs) else d


def sd_bubble(px, py, b):
    return min(sd_round_rect(px, py, b["rect"]), sd_triangle(px, py, b["tail"]))


def smile_points(n=24):
    (x0, y0), (cx, cy), (x1, y1) = SMILE
    pts = []
    for i in range(n + 1):
        t = i / n
        u = 1 - t
        pts.append((u * u * x0 + 2 * u * t * cx + t * t * x1, u * u * y0 + 2 * u * t * cy + t * t * y1))
    return pts


SMILE_PTS = smile_points()


def colour_at(px, py):
    """Colour of the topmost shape under the point, or None (transparent)."""
    if 30 < px < 51 and 39 < py < 49 and min(
            seg_dist(px, py, SMILE_PTS[i], SMILE_PTS[i + 1]) for i in range(len(SMILE_PTS) - 1)) < SMILE_W / 2:
        return BROWN
    for cx, cy in EYES:
        if math.hypot(px - cx, py - cy) < EYE_R:
            return BROWN
    front = sd_bubble(px, py, FRONT)
    if front < 0:
        return ORANGE
    if front < HALO:
        return WHITE
    for cx, cy in DOTS:
        if math.hypot(px - cx, py - cy) < DOT_R:
            return WHITE
    if sd_bubble(px, py, BACK) < 0:
        return BLUE
    return None


def raster(size):
    n = 4
    scale = SIZE / size
    rows = []
    for y in range(size):
        row = bytearray([0])  # filter type: none
        for x in range(size):
            acc = [0, 0, 0]
            hits = 0
            for sy in range(n):
                for sx in range(n):
                    c = colour_at((x + (sx + 0.5) / n) * scale, (y + (sy + 0.5) / n) * scale)
                    if c:
                        hits += 1
                        for k in range(3):
                            acc[k] += c[k]
            if hits:
                row += bytes([round(acc[0] / hits), round(acc[1] / hits), round(acc[2] / hits),
                              round(255 * hits / (n * n))])
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return b"".join(rows)


def png(size, pixels):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    ihdr = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr)
            + chunk(b"IDAT", zlib.compress(pixels, 9)) + chunk(b"IEND", b""))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    outdir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "resources")
    os.makedirs(outdir, exist_ok=True)
    with open(os.path.join(outdir, "wez.svg"), "w", encoding="utf-8", newline="\n") as f:
        f.write(svg())
    with open(os.path.join(outdir, "wez.png"), "wb") as f:
        f.write(png(SIZE, raster(SIZE)))
    os.makedirs(os.path.join(outdir, "icons"), exist_ok=True)
    for size in THEME_SIZES:
        with open(os.path.join(outdir, "icons", "wez-%d.png" % size), "wb") as f:
            f.write(png(size, raster(size)))
    print("wez.svg, wez.png (%dx%d), icons/wez-{%s}.png"
          % (SIZE, SIZE, ",".join(str(s) for s in THEME_SIZES)))


if __name__ == "__main__":
    main()
