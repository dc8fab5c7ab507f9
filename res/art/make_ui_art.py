#!/usr/bin/env python3
"""Draws the pictures of the plug-in's windows in one style: the options
sheet's tab images (24x24, a white glyph on a soft blue tile), the about
picture (64x64), and for the messages list window the nine folder pictures
(15x15), the six row pictures (14x14), the fifteen toolbar pictures (24x24),
the rule editor's six small button pictures (12x12), the sort-mark strip (five
15x14 images, magenta transparent) and the viewer's five connection-log
pictures (16x16). Run by hand when the art changes; the PNG files in
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

# ---- list window pictures: folders and rows (14 or 15 px), toolbar (24 px) ----
# Drawn on a 24-unit grid and scaled, so every size shares the same shapes.

BLUE = (40, 80, 160, 255)
PAPER = (250, 247, 235, 255)
GREEN = (40, 150, 60, 255)
RED = (205, 40, 40, 255)
YELLOW = (240, 190, 40, 255)
GREY = (140, 140, 140, 255)
BROWN = (150, 110, 60, 255)

def envelope(c, s, x0, y0, x1, y1, paper=PAPER, edge=BLUE, open_=False):
    c.fill(rrect(x0 * s, y0 * s, x1 * s, y1 * s, 0.8 * s), edge)
    c.fill(rrect((x0 + 1) * s, (y0 + 1) * s, (x1 - 1) * s, (y1 - 1) * s, 0.4 * s), paper)
    mx, my = (x0 + x1) / 2.0, y0 + (y1 - y0) * 0.55
    if open_:
        c.fill(poly([(x0 * s, y0 * s), (mx * s, (y0 - (y1 - y0) * 0.45) * s), (x1 * s, y0 * s)]), edge)
    c.fill(union(line((x0 + 1) * s, (y0 + 1) * s, mx * s, my * s, 1.4 * s),
                 line((x1 - 1) * s, (y0 + 1) * s, mx * s, my * s, 1.4 * s)), edge)

def tray(c, s, colour=YELLOW, x0=2, y0=11, x1=22, y1=21):
    c.fill(poly([(x0 * s, y0 * s), (x1 * s, y0 * s), ((x1 - 1) * s, y1 * s), ((x0 + 1) * s, y1 * s)]), BROWN)
    c.fill(poly([((x0 + 1.5) * s, (y0 + 1.5) * s), ((x1 - 1.5) * s, (y0 + 1.5) * s), ((x1 - 2) * s, (y1 - 1.5) * s),
                 ((x0 + 2) * s, (y1 - 1.5) * s)]), colour)

def tick(c, s, x, y, k, colour=GREEN):
    c.fill(union(line(x * s, y * s, (x + 2.5 * k) * s, (y + 2.5 * k) * s, 2.2 * s),
                 line((x + 2.5 * k) * s, (y + 2.5 * k) * s, (x + 7 * k) * s, (y - 4 * k) * s, 2.2 * s)), colour)

def cross(c, s, cx, cy, r, colour=RED):
    c.fill(union(line((cx - r) * s, (cy - r) * s, (cx + r) * s, (cy + r) * s, 2.4 * s),
                 line((cx + r) * s, (cy - r) * s, (cx - r) * s, (cy + r) * s, 2.4 * s)), colour)

def arrows(c, s, cx, cy, r, colour=GREEN):
    ringf = ring(cx * s, cy * s, (r - 1.6) * s, r * s)
    gaps = union(poly([(cx * s, cy * s), ((cx + r + 1) * s, (cy - 2) * s), ((cx + r + 1) * s, (cy + 1) * s)]),
                 poly([(cx * s, cy * s), ((cx - r - 1) * s, (cy + 2) * s), ((cx - r - 1) * s, (cy - 1) * s)]))
    c.fill(minus(ringf, gaps), colour)
    c.fill(poly([((cx + r - 3) * s, (cy + 0.5) * s), ((cx + r + 2) * s, (cy + 0.5) * s), ((cx + r - 0.5) * s, (cy + 4) * s)]), colour)
    c.fill(poly([((cx - r + 3) * s, (cy - 0.5) * s), ((cx - r - 2) * s, (cy - 0.5) * s), ((cx - r + 0.5) * s, (cy - 4) * s)]), colour)

def bin_(c, s, x0, y0, x1, y1):
    c.fill(poly([(x0 * s, y0 * s), (x1 * s, y0 * s), ((x1 - 1.5) * s, y1 * s), ((x0 + 1.5) * s, y1 * s)]), GREY)
    c.fill(rrect((x0 - 1) * s, (y0 - 2) * s, (x1 + 1) * s, (y0 - 0.5) * s, 0.4 * s), (90, 90, 90, 255))
    for k in range(3):
        x = x0 + (x1 - x0) * (k + 1) / 4.0
        c.fill(line(x * s, (y0 + 2) * s, x * s, (y1 - 2) * s, 1.0 * s), (200, 200, 200, 255))

def beetle(c, s, cx, cy, r):
    legs = union(*[line((cx - r - 1.5) * s, (cy + d) * s, (cx + r + 1.5) * s, (cy + d) * s, 1.0 * s) for d in (-2, 1, 4)])
    c.fill(legs, (60, 50, 20, 255))
    c.fill(circle(cx * s, (cy + 1) * s, r * s), YELLOW)
    c.fill(circle(cx * s, (cy - r) * s, r * 0.55 * s), (60, 50, 20, 255))
    c.fill(line(cx * s, (cy - r * 0.3) * s, cx * s, (cy + r + 1) * s, 0.9 * s), (60, 50, 20, 255))

def heart(c, s, cx, cy, r):
    c.fill(union(circle((cx - r / 2) * s, (cy - r / 3) * s, r / 1.8 * s), circle((cx + r / 2) * s, (cy - r / 3) * s, r / 1.8 * s),
                 poly([((cx - r * 1.05) * s, (cy - r / 6) * s), ((cx + r * 1.05) * s, (cy - r / 6) * s), (cx * s, (cy + r) * s)])), RED)

def funnel(c, s, colour=BLUE):
    c.fill(poly([(3 * s, 4 * s), (19 * s, 4 * s), (13 * s, 11 * s), (13 * s, 18 * s), (9 * s, 20 * s), (9 * s, 11 * s)]), colour)

def plus(c, s, cx, cy, r, colour=GREEN):
    c.fill(union(line((cx - r) * s, cy * s, (cx + r) * s, cy * s, 2.6 * s), line(cx * s, (cy - r) * s, cx * s, (cy + r) * s, 2.6 * s)),
           colour)

def draw(size, fn):
    c = Canvas(size)
    fn(c, size / 24.0)
    return c

FOLDERS = [
    ('all', lambda c, s: (envelope(c, s, 6, 3, 22, 14), envelope(c, s, 2, 9, 18, 20))),
    ('idle', lambda c, s: tray(c, s, YELLOW, 1, 8, 23, 20)),
    ('error', lambda c, s: (tray(c, s, YELLOW, 1, 8, 23, 20), cross(c, s, 12, 13, 5.5))),
    ('suspended', lambda c, s: tray(c, s, (190, 190, 190, 255), 1, 8, 23, 20)),
    ('checking', lambda c, s: arrows(c, s, 12, 12, 10)),
    ('normal', lambda c, s: envelope(c, s, 1, 5, 23, 19)),
    ('approved', lambda c, s: heart(c, s, 12, 12, 10)),
    ('spam', lambda c, s: bin_(c, s, 4, 5, 20, 22)),
    ('dangerous', lambda c, s: beetle(c, s, 12, 12, 7)),
]
ROWS = [
    ('new', lambda c, s: envelope(c, s, 1, 5, 23, 19)),
    ('read', lambda c, s: envelope(c, s, 1, 9, 23, 23, open_=True)),
    ('spam', lambda c, s: bin_(c, s, 4, 5, 20, 22)),
    ('dangerous', lambda c, s: beetle(c, s, 12, 12, 7)),
    ('approved', lambda c, s: heart(c, s, 12, 12, 10)),
    ('outgoing', lambda c, s: (envelope(c, s, 1, 4, 19, 17), c.fill(union(line(12 * s, 19 * s, 21 * s, 19 * s, 2.6 * s),
                               poly([(19 * s, 14.5 * s), (24 * s, 19 * s), (19 * s, 23.5 * s)])), GREEN))),
]
TOOLBAR = [
    ('check_all', lambda c, s: (envelope(c, s, 2, 9, 22, 22), arrows(c, s, 12, 8, 7))),
    ('check_one', lambda c, s: (tray(c, s), c.fill(union(line(12 * s, 1 * s, 12 * s, 10 * s, 3 * s),
                                poly([(7 * s, 8 * s), (17 * s, 8 * s), (12 * s, 14 * s)])), GREEN))),
    ('check_stop', lambda c, s: (c.fill(poly([(12 * s + 10 * s * math.cos(math.pi / 8 + k * math.pi / 4),
                                                 12 * s + 10 * s * math.sin(math.pi / 8 + k * math.pi / 4)) for k in range(8)]), RED),
                                 c.fill(rrect(6 * s, 10.5 * s, 18 * s, 13.5 * s, 0.5 * s), WHITE))),
    ('properties', lambda c, s: (envelope(c, s, 1, 4, 21, 18), tick(c, s, 12, 18, 1))),
    ('reader', lambda c, s: (envelope(c, s, 1, 3, 21, 16), c.fill(ring(16 * s, 17 * s, 1.5 * s, 6 * s), (120, 120, 170, 255)))),
    ('log', lambda c, s: (c.fill(poly([(2 * s, 5 * s), (12 * s, 7 * s), (12 * s, 21 * s), (2 * s, 19 * s)]), BLUE),
                          c.fill(poly([(22 * s, 5 * s), (12 * s, 7 * s), (12 * s, 21 * s), (22 * s, 19 * s)]), (70, 110, 190, 255)),
                          c.fill(union(*[line(4 * s, (9 + 3 * k) * s, 10 * s, (10.2 + 3 * k) * s, 0.9 * s) for k in range(3)]), PAPER))),
    ('edit_filters', lambda c, s: (funnel(c, s), tick(c, s, 13, 17, 1))),
    ('load', lambda c, s: (envelope(c, s, 1, 3, 19, 15), c.fill(ring(15 * s, 15 * s, 3.5 * s, 5.5 * s), (60, 60, 60, 255)),
                           c.fill(line(18.5 * s, 18.5 * s, 22.5 * s, 22.5 * s, 2.6 * s), (60, 60, 60, 255)))),
    ('save', lambda c, s: (c.fill(rrect(3 * s, 3 * s, 21 * s, 21 * s, 1.2 * s), BLUE),
                           c.fill(rrect(6 * s, 3 * s, 18 * s, 10 * s, 0.3 * s), PAPER),
                           c.fill(rrect(7 * s, 14 * s, 17 * s, 21 * s, 0.3 * s), (200, 200, 200, 255)))),
    ('reply', lambda c, s: (envelope(c, s, 3, 8, 23, 21), c.fill(union(ring(9 * s, 9 * s, 4 * s, 6.2 * s)), GREEN),
                            c.fill(poly([(0.5 * s, 9 * s), (6 * s, 9 * s), (3.2 * s, 13 * s)]), GREEN))),
    ('add_filter', lambda c, s: (funnel(c, s), plus(c, s, 17, 17, 4.5))),
    ('delete', lambda c, s: (envelope(c, s, 5, 2, 19, 11), tray(c, s))),
    ('delete_spam', lambda c, s: (envelope(c, s, 3, 2, 15, 10), tray(c, s, YELLOW, 1, 11, 15, 21), bin_(c, s, 15, 10, 23, 22))),
    ('delete_dangerous', lambda c, s: (envelope(c, s, 3, 2, 15, 10), tray(c, s, YELLOW, 1, 11, 15, 21), beetle(c, s, 18, 15, 4.5))),
    ('mark_read', lambda c, s: (envelope(c, s, 1, 4, 21, 18), tick(c, s, 12, 18, 1, (40, 90, 220, 255)))),
]

def page(c, s, x0, y0, x1, y1, colour=PAPER):
    c.fill(rrect(x0 * s, y0 * s, x1 * s, y1 * s, 0.8 * s), (90, 100, 120, 255))
    c.fill(rrect((x0 + 1.3) * s, (y0 + 1.3) * s, (x1 - 1.3) * s, (y1 - 1.3) * s, 0.4 * s), colour)

def arrow_right(c, s, x0, x1, y, colour):
    c.fill(union(line(x0 * s, y * s, (x1 - 4) * s, y * s, 3.2 * s),
                 poly([((x1 - 6) * s, (y - 5) * s), (x1 * s, y * s), ((x1 - 6) * s, (y + 5) * s)])), colour)

# The small buttons beside the rule editor's conditions list (12x12, drawn
# on the same 24-unit grid).
SET_BUTTONS = [
    ('add', lambda c, s: plus(c, s, 12, 12, 9)),
    ('delete', lambda c, s: cross(c, s, 12, 12, 8)),
    ('import', lambda c, s: (page(c, s, 11, 2, 23, 22), arrow_right(c, s, 0, 16, 12, GREEN))),
    ('clone', lambda c, s: (page(c, s, 1, 1, 15, 17), page(c, s, 9, 7, 23, 23))),
    ('export', lambda c, s: (page(c, s, 1, 2, 13, 22), arrow_right(c, s, 8, 24, 12, BLUE))),
    ('dnsbl', lambda c, s: (c.fill(ring(12 * s, 12 * s, 7 * s, 10.5 * s), (50, 50, 50, 255)),
                            c.fill(line(5 * s, 19 * s, 19 * s, 5 * s, 3.2 * s), RED))),
]

# Connection log, by entry kind: received, sent, information, other, error.
def arrow(c, s, x0, x1, y, colour):
    head = 6.5 if x1 > x0 else -6.5
    c.fill(union(line(x0 * s, y * s, (x1 - head * 0.6) * s, y * s, 4 * s),
                 poly([((x1 - head) * s, (y - 6.5) * s), (x1 * s, y * s), ((x1 - head) * s, (y + 6.5) * s)])), colour)

def badge(c, s, colour):
    c.fill(circle(12 * s, 12 * s, 11 * s), (colour[0] // 2, colour[1] // 2, colour[2] // 2, 255))
    c.fill(circle(12 * s, 12 * s, 9.8 * s), colour)

LOG = [
    ('received', lambda c, s: arrow(c, s, 22, 2, 12, GREEN)),
    ('sent', lambda c, s: arrow(c, s, 2, 22, 12, (40, 90, 220, 255))),
    ('info', lambda c, s: (badge(c, s, (40, 90, 220, 255)), c.fill(union(circle(12 * s, 6.8 * s, 2 * s),
                           rrect(10.3 * s, 10 * s, 13.7 * s, 18.5 * s, 0.6 * s)), WHITE))),
    ('other', lambda c, s: c.fill(poly([(12 * s, 3 * s), (21 * s, 12 * s), (12 * s, 21 * s), (3 * s, 12 * s)]), GREY)),
    ('error', lambda c, s: (badge(c, s, RED), c.fill(union(line(7.5 * s, 7.5 * s, 16.5 * s, 16.5 * s, 3.4 * s),
                            line(16.5 * s, 7.5 * s, 7.5 * s, 16.5 * s, 3.4 * s)), WHITE))),
]

def write_bmp_strip(path, images, magenta=(255, 0, 255)):
    """A 24-bit BMP strip; transparent pixels become magenta."""
    w = sum(len(c.px[0]) for c in images)
    h = len(images[0].px) if images else 14
    rows = []
    for y in range(h - 1, -1, -1):
        row = bytearray()
        for c in images:
            for x in range(len(c.px[0])):
                r, g, b, a = c.px[y][x]
                if a < 128:
                    r, g, b = magenta
                else:
                    r, g, b = [int(v * a / 255 + m * (255 - a) / 255) for v, m in zip((r, g, b), (255, 255, 255))]
                row += bytes((b, g, r))
        while len(row) % 4:
            row.append(0)
        rows.append(bytes(row))
    data = b''.join(rows)
    head = struct.pack('<2sIHHI', b'BM', 54 + len(data), 0, 0, 54)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, 'wb') as f:
        f.write(head + info + data)

def sort_marks():
    """15x14 images: 0 empty, 1 up triangle, 2 down triangle, 3 and 4 empty."""
    out = []
    for k in range(5):
        c = Canvas(14)
        c.n = 14
        if k == 1:
            c.fill(poly([(3, 9), (11, 9), (7, 4)]), (110, 110, 110, 255))
        elif k == 2:
            c.fill(poly([(3, 5), (11, 5), (7, 10)]), (110, 110, 110, 255))
        # widen to 15 columns
        c.px = [row + [(0, 0, 0, 0)] for row in c.px]
        c.n = 15
        out.append(c)
    return out

def main(out):
    os.makedirs(out, exist_ok=True)
    for name, g in (('options', glyph_options), ('accounts', glyph_accounts), ('connection', glyph_connection),
                    ('filters', glyph_filters), ('notify', glyph_notify), ('about', glyph_about)):
        c, s = tile(24)
        g(c, s)
        c.png(os.path.join(out, 'tab_%s.png' % name))
    about_picture(64).png(os.path.join(out, 'about.png'))
    for name, fn in FOLDERS:
        draw(15, fn).png(os.path.join(out, 'folder_%s.png' % name))
    for name, fn in ROWS:
        draw(14, fn).png(os.path.join(out, 'row_%s.png' % name))
    for name, fn in TOOLBAR:
        draw(24, fn).png(os.path.join(out, 'toolbar_%s.png' % name))
    for name, fn in SET_BUTTONS:
        draw(12, fn).png(os.path.join(out, 'setbutton_%s.png' % name))
    write_bmp_strip(os.path.join(out, 'sort_marks.bmp'), sort_marks())
    for name, fn in LOG:
        draw(16, fn).png(os.path.join(out, 'log_%s.png' % name))

if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), 'out'))
