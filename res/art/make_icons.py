#!/usr/bin/env python3
"""Draws the plug-in's button icon (an envelope under a watch-tower light)
and writes it as a multi-size 32-bit .ico. Run by hand when the art changes;
the result is committed."""
import struct, sys, math

def draw(size):
    px = [[(0, 0, 0, 0)] * size for _ in range(size)]
    s = size / 32.0
    def put(x, y, c):
        if 0 <= x < size and 0 <= y < size:
            px[y][x] = c
    # envelope body
    x0, y0, x1, y1 = int(3 * s), int(10 * s), int(29 * s), int(27 * s)
    for y in range(y0, y1):
        for x in range(x0, x1):
            edge = x in (x0, x1 - 1) or y in (y0, y1 - 1)
            put(x, y, (40, 60, 120, 255) if edge else (250, 245, 230, 255))
    # flap: two lines from the top corners to the middle
    mx, my = (x0 + x1 - 1) / 2.0, y0 + (y1 - y0) * 0.55
    steps = size * 4
    for i in range(steps + 1):
        t = i / steps
        for (ax, ay) in ((x0, y0), (x1 - 1, y0)):
            x = ax + (mx - ax) * t
            y = ay + (my - ay) * t
            put(int(round(x)), int(round(y)), (40, 60, 120, 255))
    # a warm light above the envelope
    cx, cy, r = 24 * s, 7 * s, 5 * s
    for y in range(size):
        for x in range(size):
            d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
            if d <= r:
                a = 255 if d <= r - 1 else int(255 * (r - d))
                put(x, y, (255, 190, 40, max(a, 0)))
    return px

def dib(size):
    px = draw(size)
    hdr = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    data = bytearray()
    for y in range(size - 1, -1, -1):
        for (r, g, b, a) in px[y]:
            data += bytes((b, g, r, a))
    row = ((size + 31) // 32) * 4
    mask = bytearray(row * size)
    for y in range(size - 1, -1, -1):
        bits = bytearray(row)
        for x in range(size):
            if px[y][x][3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask[(size - 1 - y) * row:(size - y) * row] = bits
    return hdr + bytes(data) + bytes(mask)

def main(out):
    sizes = [16, 24, 32, 48]
    images = [dib(n) for n in sizes]
    head = struct.pack('<HHH', 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    entries = b''
    for n, img in zip(sizes, images):
        entries += struct.pack('<BBBBHHII', n % 256, n % 256, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    with open(out, 'wb') as f:
        f.write(head + entries + b''.join(images))

if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'postwarden.ico')
