#!/usr/bin/env python3
"""Draws Freebolt's images (the phase arrow, the two button glyphs and the
window icon) and writes them as PNG files next to this script. Shapes are
sampled 4 x 4 times per pixel for smooth edges. Run it again after a change
and commit the PNG files."""

import math
import os
import struct
import zlib

SS = 4  # samples per pixel and axis


def png(path, width, height, pixels):
    """pixels: rows of (r, g, b, a) tuples."""
    raw = b"".join(b"\x00" + bytes(c for px in row for c in px) for row in pixels)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


def inside_polygon(x, y, pts):
    n, hit = len(pts), False
    for i in range(n):
        (x1, y1), (x2, y2) = pts[i], pts[(i + 1) % n]
        if (y1 > y) != (y2 > y) and x < (x2 - x1) * (y - y1) / (y2 - y1) + x1:
            hit = not hit
    return hit


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r_out, r_in):
    return lambda x, y: r_in * r_in <= (x - cx) ** 2 + (y - cy) ** 2 <= r_out * r_out


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def polygon(pts):
    return lambda x, y: inside_polygon(x, y, pts)


def segment(x0, y0, x1, y1, half_width):
    def test(x, y):
        dx, dy = x1 - x0, y1 - y0
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy)))
        return math.hypot(x - (x0 + t * dx), y - (y0 + t * dy)) <= half_width
    return test


def arc_top(cx, cy, r_out, r_in):
    """The upper half of a ring: a padlock's shackle."""
    return lambda x, y: y <= cy and r_in * r_in <= (x - cx) ** 2 + (y - cy) ** 2 <= r_out * r_out


def render(width, height, layers):
    """layers: (shape, (r, g, b)) painted in order; later layers cover earlier ones."""
    rows = []
    for py in range(height):
        row = []
        for px in range(width):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SS):
                for sx in range(SS):
                    x, y = px + (sx + 0.5) / SS, py + (sy + 0.5) / SS
                    colour = None
                    for shape, rgb in layers:
                        if shape(x, y):
                            colour = rgb
                    if colour:
                        acc[0] += colour[0]
                        acc[1] += colour[1]
                        acc[2] += colour[2]
                        acc[3] += 1
            n = acc[3]
            if n == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append((round(acc[0] / n), round(acc[1] / n), round(acc[2] / n), round(255 * n / (SS * SS))))
        rows.append(row)
    return rows


def padlock(size, body, shackle, keyhole, open_shackle):
    s = size / 16.0
    layers = []
    if open_shackle:
        layers.append((arc_top(10.5 * s, 6.5 * s, 4.0 * s, 2.4 * s), shackle))
        layers.append((rect(12.9 * s, 6.5 * s, 14.5 * s, 8.0 * s), shackle))
    else:
        layers.append((arc_top(8 * s, 6.5 * s, 4.0 * s, 2.4 * s), shackle))
        layers.append((rect(4.0 * s, 6.5 * s, 5.6 * s, 8.0 * s), shackle))
        layers.append((rect(10.4 * s, 6.5 * s, 12.0 * s, 8.0 * s), shackle))
    layers.append((rect(2.0 * s, 7.5 * s, 12.5 * s if open_shackle else 14.0 * s, 15.0 * s), body))
    cx = 7.25 * s if open_shackle else 8 * s
    layers.append((circle(cx, 10.5 * s, 1.3 * s), keyhole))
    layers.append((rect(cx - 0.6 * s, 10.5 * s, cx + 0.6 * s, 13.2 * s), keyhole))
    return layers


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    navy, gold, brown, dark = (16, 52, 120), (232, 176, 40), (120, 84, 20), (60, 60, 60)
    red, white, green = (200, 36, 36), (255, 255, 255), (30, 140, 60)

    # The phase arrow: a solid triangle pointing right, 7 x 11.
    png(os.path.join(here, "arrow.png"), 7, 11,
        render(7, 11, [(polygon([(0.5, 0.5), (6.8, 5.5), (0.5, 10.5)]), navy)]))

    # "Clear Locks": an open padlock with a green tick.
    lock = padlock(16, gold, dark, brown, True)
    lock.append((segment(9.2, 11.5, 11.2, 13.8, 1.1), green))
    lock.append((segment(11.2, 13.8, 15.0, 8.8, 1.1), green))
    png(os.path.join(here, "clear_locks.png"), 16, 16, render(16, 16, lock))

    # "Cancel": a white cross on a red disc.
    png(os.path.join(here, "cancel.png"), 16, 16, render(16, 16, [
        (circle(8, 8, 7.3), red),
        (segment(5.2, 5.2, 10.8, 10.8, 1.15), white),
        (segment(10.8, 5.2, 5.2, 10.8, 1.15), white),
    ]))

    # The window icon: a closed padlock crossed by a lightning bolt, 32 x 32.
    icon = [(circle(16, 16, 15.5), navy), (ring(16, 16, 15.5, 14.3), (90, 130, 200))]
    for shape, rgb in padlock(22, gold, (220, 220, 230), brown, False):
        icon.append(((lambda s: (lambda x, y: s(x - 5, y - 4)))(shape), rgb))
    icon.append((polygon([(19.5, 9), (13, 18.5), (16.8, 18.5), (13.5, 27), (21, 16.2), (17.2, 16.2), (21.5, 9)]),
                 (255, 240, 120)))
    png(os.path.join(here, "freebolt.png"), 32, 32, render(32, 32, icon))


if __name__ == "__main__":
    main()
