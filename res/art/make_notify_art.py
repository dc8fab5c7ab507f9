#!/usr/bin/env python3
"""Draws the new-mail animation strips (8-bit BMP, magenta background, one
square frame under the other) and the error and pause marks (RGBA PNG).
Run by hand from res/ when the art changes; the results are committed."""
import math, struct, zlib

MAGENTA = (255, 0, 255)
FRAMES = 8


def frame(n, k):
    """One n x n frame: the envelope bobs, the light above it turns."""
    s = n / 32.0
    px = [[MAGENTA] * n for _ in range(n)]

    def put(x, y, c):
        if 0 <= x < n and 0 <= y < n:
            px[y][x] = c

    bob = int(round(math.sin(2 * math.pi * k / FRAMES) * 2 * s))
    x0, y0, x1, y1 = int(3 * s), int(12 * s) + bob, int(29 * s), int(28 * s) + bob
    ink, paper = (40, 60, 120), (250, 245, 230)
    for y in range(y0, y1):
        for x in range(x0, x1):
            edge = x in (x0, x1 - 1) or y in (y0, y1 - 1)
            put(x, y, ink if edge else paper)
    mx, my = (x0 + x1 - 1) / 2.0, y0 + (y1 - y0) * 0.55
    for i in range(n * 4 + 1):
        t = i / (n * 4)
        for ax in (x0, x1 - 1):
            put(int(round(ax + (mx - ax) * t)), int(round(y0 + (my - y0) * t)), ink)
    # The light: a disc whose rays sweep round once per strip.
    cx, cy, r = 16 * s - 0.5, 6 * s, 3.2 * s
    glow = (255, 190, 40) if k % 2 == 0 else (255, 225, 90)
    for y in range(n):
        for x in range(n):
            if math.hypot(x - cx, y - cy) <= r:
                put(x, y, glow)
    for ray in range(2):
        a = 2 * math.pi * (k / FRAMES) + ray * math.pi
        for i in range(int(r) + 1, int(r + 6 * s) + 1):
            x, y = cx + math.cos(a) * i, cy + math.sin(a) * i * 0.6
            if y < y0 - 1:
                put(int(round(x)), int(round(y)), (255, 150, 20))
    return px


def write_bmp8(path, rows):
    h, w = len(rows), len(rows[0])
    colours = [MAGENTA]
    for row in rows:
        for c in row:
            if c not in colours:
                colours.append(c)
    assert len(colours) <= 256
    index = {c: i for i, c in enumerate(colours)}
    stride = (w + 3) // 4 * 4
    bits = bytearray()
    for row in reversed(rows):
        line = bytes(index[c] for c in row)
        bits += line + bytes(stride - w)
    table = b''.join(bytes((b, g, r, 0)) for (r, g, b) in colours)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 8, 0, len(bits), 2835, 2835, len(colours), 0)
    offset = 14 + len(info) + len(table)
    head = struct.pack('<2sIHHI', b'BM', offset + len(bits), 0, 0, offset)
    with open(path, 'wb') as f:
        f.write(head + info + table + bytes(bits))


def write_png(path, rows):
    h, w = len(rows), len(rows[0])
    raw = b''.join(b'\0' + b''.join(bytes(p) for p in row) for row in rows)

    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
    ihdr = struct.pack('>IIBBBBB', w, h, 8, 6, 0, 0, 0)
    with open(path, 'wb') as f:
        f.write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', ihdr) + chunk(b'IDAT', zlib.compress(raw, 9)) +
                chunk(b'IEND', b''))


def mark(d, kind):
    """A d x d round badge: red with "!" for errors, blue with bars for pause."""
    c = (d - 1) / 2.0
    rows = []
    for y in range(d):
        row = []
        for x in range(d):
            dist = math.hypot(x - c, y - c)
            a = max(0.0, min(1.0, d / 2.0 - dist + 0.5))
            col = (200, 30, 30) if kind == 'error' else (40, 90, 200)
            u, v = x / d, y / d
            if kind == 'error':
                white = 0.42 <= u <= 0.58 and (0.18 <= v <= 0.58 or 0.68 <= v <= 0.82)
            else:
                white = (0.28 <= u <= 0.42 or 0.58 <= u <= 0.72) and 0.25 <= v <= 0.75
            if white and a > 0.5:
                col = (255, 255, 255)
            row.append((*col, int(round(a * 255))))
        rows.append(row)
    return rows


def main():
    for n, name in ((16, 'anim_small.bmp'), (32, 'anim_large.bmp')):
        rows = []
        for k in range(FRAMES):
            rows += frame(n, k)
        write_bmp8(name, rows)
    write_png('mark_error16.png', mark(16, 'error'))
    write_png('mark_error8.png', mark(8, 'error'))
    write_png('mark_pause8.png', mark(8, 'pause'))
    write_png('mark_pause16.png', mark(16, 'pause'))


if __name__ == '__main__':
    main()
