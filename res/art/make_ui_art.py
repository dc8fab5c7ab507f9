#!/usr/bin/env python3
"""Draws the pictures of the plug-in's windows: the options sheet's tab
images (24x24) and the about picture (64x64), in one style: a soft blue
tile with a white glyph. Run by hand when the art changes; the PNG files in
out/ are committed."""
import math, os, struct, sys, zlib

SS = 4  # supersampling per axis

class Canvas:
    def __init__(self, size):
        self.n = size
        self.cov = {}  # (x, y) -> (r, g, b, a) layers blended in order
        self.px = [[(0, 0, 0, 0)] * size for _ in range(size)]

    def fill(self, inside, colour):
        """Blends `colour` wherever inside(x, y) holds, with coverage."""
        n = self.n
        for y in range(n):
            for x in range(n):
                hits = 0
                for sy in range(SS):
                    for sx in range(SS):
                        if inside(x + (sx + 0.5) / SS, y + (sy + 0.5) / SS):
                            hits += 1
                if hits:
                    self.blend(x, y, colour, hits / (SS * SS))

    def blend(self, x, y, c, cover):
        r, g, b, a = self.px[y][x]
        ca = c[3] / 255.0 * cover
        na = ca + a / 255.0 * (1 - ca)
        if na <= 0:
            return
        mix = lambda s, d: (s * ca + d * (a / 255.0) * (1 - ca)) / na
        self.px[y][x] = (int(round(mix(c[0], r))), int(round(mix(c[1], g))), int(round(mix(c[2], b))),
                         int(round(na * 255)))

    def png(self, path):
        raw = b''.join(b'\0' + bytes(v for p in row for v in p) for row in self.px)
        def chunk(t, d):
            return struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d) & 0xffffffff)
        data = (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', self.n, self.n, 8, 6, 0, 0, 0)) +
                chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))
        with open(path, 'wb') as f:
            f.write(data)

def rrect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside

def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r

def ring(cx, cy, r0, r1):
    return lambda x, y: r0 * r0 <= (x - cx) ** 2 + (y - cy) ** 2 <= r1 * r1

def poly(points):
    def inside(x, y):
        c = False
        j = len(points) - 1
        for i in range(len(points)):
            xi, yi = points[i]
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                c = not c
            j = i
        return c
    return inside

def line(ax, ay, bx, by, w):
    def inside(x, y):
        dx, dy = bx - ax, by - ay
        t = max(0, min(1, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
        return (x - ax - t * dx) ** 2 + (y - ay - t * dy) ** 2 <= (w / 2) ** 2
    return inside

def union(*fs):
    return lambda x, y: any(f(x, y) for f in fs)

def minus(a, b):
    return lambda x, y: a(x, y) and not b(x, y)

WHITE = (255, 255, 255, 255)
TILE = (52, 110, 190, 255)
TILE_DARK = (30, 70, 140, 255)

def tile(size):
    c = Canvas(size)
    s = size / 24.0
    c.fill(rrect(0.5 * s, 0.5 * s, 23.5 * s, 23.5 * s, 4 * s), TILE_DARK)
    c.fill(rrect(1.5 * s, 1.5 * s, 22.5 * s, 22.5 * s, 3.5 * s), TILE)
    return c, s

def glyph_options(c, s):  # a gear
    teeth = []
    for k in range(8):
        a = k * math.pi / 4
        teeth.append(line(12 * s, 12 * s, 12 * s + 8 * s * math.cos(a), 12 * s + 8 * s * math.sin(a), 3 * s))
    c.fill(minus(union(circle(12 * s, 12 * s, 6 * s), *teeth), circle(12 * s, 12 * s, 2.5 * s)), WHITE)

def glyph_accounts(c, s):  # two envelopes
    for dx, dy in ((2.5, 4), (5.5, 9)):
        x0, y0, x1, y1 = dx * s, dy * s, (dx + 14) * s, (dy + 10) * s
        c.fill(rrect(x0, y0, x1, y1, 1 * s), WHITE)
        c.fill(union(line(x0 + s, y0 + s, (x0 + x1) / 2, y0 + 5.5 * s, 1.2 * s),
                     line(x1 - s, y0 + s, (x0 + x1) / 2, y0 + 5.5 * s, 1.2 * s)), TILE)

def glyph_connection(c, s):  # a globe
    g = circle(12 * s, 12 * s, 8 * s)
    grid = union(line(4 * s, 12 * s, 20 * s, 12 * s, 1.2 * s), line(12 * s, 4 * s, 12 * s, 20 * s, 1.2 * s),
                 ring(12 * s, 12 * s, 3.4 * s, 4.6 * s))
    c.fill(minus(g, grid), WHITE)

def glyph_filters(c, s):  # a funnel
    c.fill(poly([(4 * s, 5 * s), (20 * s, 5 * s), (14 * s, 12 * s), (14 * s, 19 * s), (10 * s, 21 * s), (10 * s, 12 * s)]),
           WHITE)

def glyph_notify(c, s):  # a bell
    body = union(circle(12 * s, 10 * s, 5.5 * s), rrect(6.5 * s, 10 * s, 17.5 * s, 17 * s, 0.5 * s),
                 rrect(4.5 * s, 16 * s, 19.5 * s, 18 * s, 1 * s))
    c.fill(union(body, circle(12 * s, 19.5 * s, 2 * s), circle(12 * s, 4.5 * s, 1.2 * s)), WHITE)

def glyph_about(c, s):  # an "i" in a ring
    c.fill(union(ring(12 * s, 12 * s, 7 * s, 8.6 * s), circle(12 * s, 8 * s, 1.5 * s),
                 rrect(10.8 * s, 10.5 * s, 13.2 * s, 17 * s, 0.6 * s)), WHITE)

def about_picture(size):  # the button icon's envelope on a tile, larger
    c, s = tile(size)
    x0, y0, x1, y1 = 4 * s, 8 * s, 20 * s, 19 * s
    c.fill(rrect(x0, y0, x1, y1, 1 * s), WHITE)
    c.fill(union(line(x0 + s, y0 + s, 12 * s, y0 + 6 * s, 1 * s), line(x1 - s, y0 + s, 12 * s, y0 + 6 * s, 1 * s)), TILE)
    c.fill(circle(18 * s, 6.5 * s, 3.5 * s), (255, 190, 40, 255))
    return c

def main(out):
    os.makedirs(out, exist_ok=True)
    for name, g in (('options', glyph_options), ('accounts', glyph_accounts), ('connection', glyph_connection),
                    ('filters', glyph_filters), ('notify', glyph_notify), ('about', glyph_about)):
        c, s = tile(24)
        g(c, s)
        c.png(os.path.join(out, 'tab_%s.png' % name))
    about_picture(64).png(os.path.join(out, 'about.png'))

if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), 'out'))
