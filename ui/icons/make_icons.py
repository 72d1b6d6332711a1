#!/usr/bin/env python3
"""Draws the manager's icons and splitter cursor as PNG files.

Pure standard library (zlib + struct): every shape is rasterised with 4 x 4
supersampling so edges are anti-aliased. Run from any directory; the PNGs are
written next to this script and compiled into the UI library as Qt resources.

  pair.png     list image 0: a channel pair (two sensors joined by a link)
  marked.png   list image 1 and the window icon: a coherent pair, highlighted
  splitter.png cursor over the bar between the two lists
"""
import math
import os
import struct
import zlib

SS = 4  # supersampling factor per axis


def write_png(path, width, height, pixels):
    """pixels: list of rows of (r, g, b, a) tuples, 8 bits each."""
    raw = bytearray()
    for row in pixels:
        raw.append(0)
        for r, g, b, a in row:
            raw += bytes((r, g, b, a))

    def chunk(tag, data):
        body = tag + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


class Canvas:
    """Straight-alpha RGBA canvas in unit coordinates (0..1 across the icon)."""

    def __init__(self, size):
        self.size = size
        self.px = [[(0.0, 0.0, 0.0, 0.0) for _ in range(size)] for _ in range(size)]

    def paint(self, inside, color):
        """Composites `color` over every pixel, weighted by the share of the
        pixel's subsamples for which inside(x, y) is true."""
        n = self.size
        r, g, b, a = color
        for py in range(n):
            for px in range(n):
                hits = 0
                for sy in range(SS):
                    for sx in range(SS):
                        x = (px + (sx + 0.5) / SS) / n
                        y = (py + (sy + 0.5) / SS) / n
                        if inside(x, y):
                            hits += 1
                if hits == 0:
                    continue
                sa = a * hits / (SS * SS)
                dr, dg, db, da = self.px[py][px]
                oa = sa + da * (1 - sa)
                if oa <= 0:
                    continue
                mix = lambda s, d: (s * sa + d * da * (1 - sa)) / oa
                self.px[py][px] = (mix(r, dr), mix(g, dg), mix(b, db), oa)

    def save(self, path):
        rows = []
        for row in self.px:
            rows.append([tuple(int(round(max(0.0, min(1.0, c)) * 255)) for c in p) for p in row])
        write_png(path, self.size, self.size, rows)


def rgb(hexstr, alpha=1.0):
    v = int(hexstr.lstrip("#"), 16)
    return ((v >> 16) / 255.0, ((v >> 8) & 255) / 255.0, (v & 255) / 255.0, alpha)


def circle(cx, cy, radius):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius


def ring(cx, cy, radius, width):
    return lambda x, y: abs(math.hypot(x - cx, y - cy) - radius) <= width / 2


def rounded_rect(x0, y0, x1, y1, rad):
    def inside(x, y):
        if x < x0 or x > x1 or y < y0 or y > y1:
            return False
        cx = min(max(x, x0 + rad), x1 - rad)
        cy = min(max(y, y0 + rad), y1 - rad)
        return (x - cx) ** 2 + (y - cy) ** 2 <= rad * rad

    return inside


def segment_distance(x, y, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)
    t = max(0.0, min(1.0, t))
    return math.hypot(x - (ax + t * dx), y - (ay + t * dy))


def polyline(points, width):
    segs = list(zip(points, points[1:]))
    return lambda x, y: any(segment_distance(x, y, *a, *b) <= width / 2 for a, b in segs)


def wave(x0, x1, cy, amp, cycles, steps=40):
    pts = []
    for i in range(steps + 1):
        t = i / steps
        pts.append((x0 + (x1 - x0) * t, cy - amp * math.sin(2 * math.pi * cycles * t)))
    return pts


def draw_pair(size, marked):
    c = Canvas(size)
    tile = rgb("#fff4e0") if marked else rgb("#eef3f8")
    edge = rgb("#c8701e") if marked else rgb("#5b7896")
    sensor = rgb("#d9480f") if marked else rgb("#2f5d8a")
    link = rgb("#e8590c") if marked else rgb("#7f98b3")
    stroke = max(1.0 / size, 0.07)
    c.paint(rounded_rect(0.04, 0.04, 0.96, 0.96, 0.18), tile)
    c.paint(lambda x, y: rounded_rect(0.04, 0.04, 0.96, 0.96, 0.18)(x, y)
            and not rounded_rect(0.04 + stroke, 0.04 + stroke, 0.96 - stroke, 0.96 - stroke,
                                 0.18 - stroke)(x, y), edge)
    # The link between the sensors: a wave for a coherent (marked) pair, a
    # straight dashed-looking line for a plain one.
    if marked:
        c.paint(polyline(wave(0.27, 0.73, 0.5, 0.13, 1.5), 0.085), link)
    else:
        c.paint(polyline([(0.27, 0.5), (0.73, 0.5)], 0.07), link)
    c.paint(circle(0.24, 0.5, 0.13), sensor)
    c.paint(circle(0.76, 0.5, 0.13), sensor)
    c.paint(circle(0.24, 0.5, 0.055), rgb("#ffffff"))
    c.paint(circle(0.76, 0.5, 0.055), rgb("#ffffff"))
    return c


def draw_splitter_cursor(size=32):
    c = Canvas(size)
    s = 1.0 / size

    def arrows(width):
        body = [
            polyline([(0.5, 0.2), (0.5, 0.8)], width * 0.9),
            polyline([(0.14, 0.5), (0.40, 0.5)], width),
            polyline([(0.60, 0.5), (0.86, 0.5)], width),
            polyline([(0.14, 0.5), (0.27, 0.37)], width),
            polyline([(0.14, 0.5), (0.27, 0.63)], width),
            polyline([(0.86, 0.5), (0.73, 0.37)], width),
            polyline([(0.86, 0.5), (0.73, 0.63)], width),
        ]
        return lambda x, y: any(f(x, y) for f in body)

    c.paint(arrows(5 * s), rgb("#ffffff"))  # white outline for dark backgrounds
    c.paint(arrows(2.2 * s), rgb("#000000"))
    return c


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for size in (16, 32, 64):
        draw_pair(size, False).save(os.path.join(here, f"pair{size}.png"))
        draw_pair(size, True).save(os.path.join(here, f"marked{size}.png"))
    draw_splitter_cursor().save(os.path.join(here, "splitter.png"))


if __name__ == "__main__":
    main()
