"""A tiny antialiased rasteriser and PNG/WAV writer for the program's generated resources.

Shapes are coverage functions sampled 4 x 4 per pixel; colours are (r, g, b, a) with a in 0..255 and are composited
"over" onto a straight-alpha canvas, so the written PNG has plain (not premultiplied) alpha.
"""

import math
import struct
import zlib

SAMPLES = 4


class Canvas:
    def __init__(self, width, height):
        self.width = width
        self.height = height
        self.px = [[0.0, 0.0, 0.0, 0.0] for _ in range(width * height)]

    # Compositing -------------------------------------------------------------------------------------------------
    def blend(self, x, y, colour, coverage=1.0):
        if not (0 <= x < self.width and 0 <= y < self.height) or coverage <= 0.0:
            return
        r, g, b, a = colour
        sa = a / 255.0 * min(coverage, 1.0)
        d = self.px[y * self.width + x]
        da = d[3]
        oa = sa + da * (1.0 - sa)
        if oa <= 0.0:
            return
        for i, c in enumerate((r, g, b)):
            d[i] = (c * sa + d[i] * da * (1.0 - sa)) / oa
        d[3] = oa

    def set(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            r, g, b, a = colour
            self.px[y * self.width + x] = [float(r), float(g), float(b), a / 255.0]

    def shape(self, inside, box, colour):
        """Fills every pixel of box (l, t, r, b; right and bottom exclusive) by the share of samples inside."""
        l, t = int(math.floor(box[0])), int(math.floor(box[1]))
        r, b = int(math.ceil(box[2])), int(math.ceil(box[3]))
        step = 1.0 / SAMPLES
        offsets = [(i + 0.5) * step for i in range(SAMPLES)]
        for y in range(t, b):
            for x in range(l, r):
                hits = 0
                for oy in offsets:
                    for ox in offsets:
                        if inside(x + ox, y + oy):
                            hits += 1
                if hits:
                    self.blend(x, y, colour, hits / (SAMPLES * SAMPLES))

    # Shapes ------------------------------------------------------------------------------------------------------
    def fill_rect(self, l, t, r, b, colour):
        for y in range(t, b):
            for x in range(l, r):
                self.blend(x, y, colour)

    def round_rect(self, l, t, r, b, radius, colour):
        self.shape(lambda x, y: in_round_rect(x, y, l, t, r, b, radius), (l, t, r, b), colour)

    def round_frame(self, l, t, r, b, radius, width, colour):
        def inside(x, y):
            return in_round_rect(x, y, l, t, r, b, radius) and not in_round_rect(
                x, y, l + width, t + width, r - width, b - width, max(radius - width, 0))
        self.shape(inside, (l, t, r, b), colour)

    def circle(self, cx, cy, radius, colour):
        box = (int(cx - radius) - 1, int(cy - radius) - 1, int(cx + radius) + 2, int(cy + radius) + 2)
        self.shape(lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius, box, colour)

    def ring(self, cx, cy, radius, width, colour):
        box = (int(cx - radius) - 1, int(cy - radius) - 1, int(cx + radius) + 2, int(cy + radius) + 2)
        inner = radius - width
        self.shape(lambda x, y: inner * inner <= (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius, box, colour)

    def polygon(self, points, colour):
        xs = [p[0] for p in points]
        ys = [p[1] for p in points]
        box = (int(min(xs)) - 1, int(min(ys)) - 1, int(max(xs)) + 2, int(max(ys)) + 2)
        self.shape(lambda x, y: in_polygon(x, y, points), box, colour)

    def line(self, x0, y0, x1, y1, width, colour):
        half = width / 2.0
        box = (int(min(x0, x1) - half) - 1, int(min(y0, y1) - half) - 1,
               int(max(x0, x1) + half) + 2, int(max(y0, y1) + half) + 2)
        self.shape(lambda x, y: segment_distance(x, y, x0, y0, x1, y1) <= half, box, colour)

    def pattern_frame(self, l, t, r, b, colour, on, period):
        """A one-pixel frame drawn as a repeating dash pattern that runs around the rectangle."""
        points = []
        points += [(x, t) for x in range(l, r)]
        points += [(r - 1, y) for y in range(t + 1, b)]
        points += [(x, b - 1) for x in range(r - 2, l - 1, -1)]
        points += [(l, y) for y in range(b - 2, t, -1)]
        for i, (x, y) in enumerate(points):
            if i % period < on:
                self.blend(x, y, colour)

    # Output ------------------------------------------------------------------------------------------------------
    def rgba_bytes(self):
        out = bytearray()
        for y in range(self.height):
            out.append(0)  # filter: none
            for x in range(self.width):
                r, g, b, a = self.px[y * self.width + x]
                if a <= 0.0:
                    out += b"\0\0\0\0"
                else:
                    out += bytes((clamp(r), clamp(g), clamp(b), clamp(a * 255.0)))
        return bytes(out)

    def save_png(self, path):
        write_png(path, self.width, self.height, self.rgba_bytes())

    def pixel(self, x, y):
        r, g, b, a = self.px[y * self.width + x]
        return (clamp(r), clamp(g), clamp(b), clamp(a * 255.0))


def clamp(v):
    return max(0, min(255, int(round(v))))


def in_round_rect(x, y, l, t, r, b, radius):
    if x < l or x > r or y < t or y > b:
        return False
    if radius <= 0:
        return True
    cx = min(max(x, l + radius), r - radius)
    cy = min(max(y, t + radius), b - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius


def in_polygon(x, y, points):
    inside = False
    j = len(points) - 1
    for i in range(len(points)):
        xi, yi = points[i]
        xj, yj = points[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            inside = not inside
        j = i
    return inside


def segment_distance(px, py, x0, y0, x1, y1):
    dx, dy = x1 - x0, y1 - y0
    length = dx * dx + dy * dy
    t = 0.0 if length == 0 else max(0.0, min(1.0, ((px - x0) * dx + (py - y0) * dy) / length))
    return math.hypot(px - (x0 + t * dx), py - (y0 + t * dy))


def write_png(path, width, height, raw):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)  # 8-bit RGBA
    data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(data)


def write_wav(path, samples, rate):
    """16-bit mono PCM; samples are floats in -1..1."""
    pcm = b"".join(struct.pack("<h", int(max(-1.0, min(1.0, s)) * 32767)) for s in samples)
    fmt = struct.pack("<HHIIHH", 1, 1, rate, rate * 2, 2, 16)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(pcm)) + pcm
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", len(body)) + body)
