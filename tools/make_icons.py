#!/usr/bin/env python3
"""Draws the program's icons into resources/icons/ (run again after a change)."""
import math
import os
import struct
import zlib

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources", "icons")


def png(path, width, height, pixel):
    rows = bytearray()
    for y in range(height):
        rows.append(0)
        for x in range(width):
            rows.extend(bytes(max(0, min(255, int(c))) for c in pixel(x + 0.5, y + 0.5)))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    data += chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b"")
    with open(os.path.join(OUT, path), "wb") as f:
        f.write(data)


def clear(*_):
    return (0, 0, 0, 0)


def cover(d):
    """Coverage of a shape at signed distance d (negative inside), one pixel of antialiasing."""
    return max(0.0, min(1.0, 0.5 - d))


def over(top, bottom):
    a = top[3] / 255.0
    b = bottom[3] / 255.0
    out = a + b * (1 - a)
    if out == 0:
        return (0, 0, 0, 0)
    rgb = [(top[i] * a + bottom[i] * b * (1 - a)) / out for i in range(3)]
    return (*rgb, out * 255)


def segment_distance(x, y, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(x - ax - t * dx, y - ay - t * dy)


def shape(colour, distance):
    return lambda x, y: (*colour[:3], colour[3] * cover(distance(x, y)) if len(colour) > 3 else 255 * cover(distance(x, y)))


def layers(*parts):
    def pixel(x, y):
        result = (0, 0, 0, 0)
        for part in parts:
            result = over(part(x, y), result)
        return result
    return pixel


def rounded_rect(x0, y0, x1, y1, r):
    def d(x, y):
        qx = max(x0 + r - x, 0, x - (x1 - r))
        qy = max(y0 + r - y, 0, y - (y1 - r))
        inside = min(max(x0 + r - x, x - (x1 - r), y0 + r - y, y - (y1 - r)), 0)
        return math.hypot(qx, qy) + inside - r
    return d


def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def stroke(points, width):
    def d(x, y):
        return min(segment_distance(x, y, *points[i], *points[i + 1]) for i in range(len(points) - 1)) - width / 2
    return d


def triangle(ax, ay, bx, by, cx, cy):
    def d(x, y):
        edges = ((ax, ay, bx, by), (bx, by, cx, cy), (cx, cy, ax, ay))
        s = [(ex - sx) * (y - sy) - (ey - sy) * (x - sx) for sx, sy, ex, ey in edges]
        inside = all(v >= 0 for v in s) or all(v <= 0 for v in s)
        dist = min(segment_distance(x, y, *e) for e in edges)
        return -dist if inside else dist
    return d


# Capital letters as strokes through points of a unit box (x right, y down).
LETTERS = {
    "I": [[(0, 0), (0, 1)]],
    "P": [[(0, 1), (0, 0), (0.7, 0), (1, 0.2), (1, 0.35), (0.7, 0.5), (0, 0.5)]],
    "S": [[(1, 0.12), (0.75, 0), (0.25, 0), (0, 0.15), (0, 0.33), (0.25, 0.48), (0.75, 0.52), (1, 0.67),
           (1, 0.85), (0.75, 1), (0.25, 1), (0, 0.88)]],
    "C": [[(1, 0.15), (0.75, 0), (0.25, 0), (0, 0.2), (0, 0.8), (0.25, 1), (0.75, 1), (1, 0.85)]],
    "A": [[(0, 1), (0.5, 0), (1, 1)], [(0.22, 0.62), (0.78, 0.62)]],
    "N": [[(0, 1), (0, 0), (1, 1), (1, 0)]],
    "E": [[(1, 0), (0, 0), (0, 1), (1, 1)], [(0, 0.5), (0.75, 0.5)]],
    "R": [[(0, 1), (0, 0), (0.7, 0), (1, 0.2), (1, 0.35), (0.7, 0.5), (0, 0.5)], [(0.55, 0.5), (1, 1)]],
}


def word(text, x, y, height, width, gap, line):
    """White strokes that spell text, its first letter's top left at (x, y)."""
    parts = []
    for letter in text:
        if letter == " ":
            x += width
            continue
        w = 0 if letter == "I" else width
        for points in LETTERS[letter]:
            parts.append(shape((255, 255, 255, 255), stroke([(x + px * w, y + py * height) for px, py in points], line)))
        x += w + gap
    return parts


WHITE = (255, 255, 255, 255)
STATES = {"normal": (255, 255, 255, 0), "hover": (255, 255, 255, 60), "pressed": (0, 0, 0, 60)}


def title_buttons():
    for state, back in STATES.items():
        base = shape(back, rounded_rect(1, 1, 27, 23, 3))
        png(f"close-{state}.png", 28, 24, layers(base, shape(WHITE, stroke([(9, 7), (19, 17)], 2)),
                                               shape(WHITE, stroke([(19, 7), (9, 17)], 2))))
        png(f"min-{state}.png", 28, 24, layers(base, shape(WHITE, stroke([(9, 16), (19, 16)], 2))))
        png(f"max-{state}.png", 28, 24, layers(base, shape(WHITE, lambda x, y: abs(rounded_rect(9, 6, 19, 16, 0)(x, y)) - 1)))
        png(f"restore-{state}.png", 28, 24, layers(base, shape(WHITE, lambda x, y: abs(rounded_rect(11, 5, 20, 14, 0)(x, y)) - 0.8),
                                                 shape(back, rounded_rect(7, 9, 17, 19, 0)) if back[3] else clear,
                                                 shape(WHITE, lambda x, y: abs(rounded_rect(8, 10, 16, 18, 0)(x, y)) - 0.8)))
        png(f"about-{state}.png", 28, 24, layers(base, shape(WHITE, lambda x, y: abs(math.hypot(x - 14, y - 12) - 7) - 1),
                                               shape(WHITE, circle(14, 8.5, 1.3)),
                                               shape(WHITE, stroke([(14, 11), (14, 16)], 2))))


def page_tabs():
    # The tab's body fills the upper part; the style sheet keeps the text out of
    # the lower part (padding-bottom), where the current tab points at its page.
    # The disabled tab is dark and grey, so that the style sheet's disabled
    # text (#999999) stays readable on it: a contrast of about 3.5:1.
    colours = {"normal": (70, 85, 110, 255), "hover": (90, 110, 140, 255),
               "pressed": (46, 136, 196, 255), "disable": (60, 66, 76, 255)}
    for state, colour in colours.items():
        body = shape(colour, rounded_rect(1, 1, 95, 44, 4))
        if state == "pressed":
            png(f"page-tab-{state}.png", 96, 64, layers(body, shape(colour, triangle(38, 43, 58, 43, 48, 55))))
        else:
            png(f"page-tab-{state}.png", 96, 64, body)


def toolbar():
    def pixel(x, y):
        t = y / 64.0
        return (40 + 20 * t, 58 + 25 * t, 84 + 30 * t, 255)
    png("toolbar.png", 8, 64, pixel)


def logos():
    ring = shape((46, 136, 196, 255), lambda x, y: abs(math.hypot(x - 20, y - 20) - 14) - 3)
    lens = shape((255, 255, 255, 255), circle(20, 20, 6))
    png("logo.png", 40, 40, layers(ring, lens))
    # The small mark and the product's word mark beside it.
    blue = (46, 136, 196, 255)
    png("logo_sub.png", 120, 24, layers(shape(blue, lambda x, y: abs(math.hypot(x - 12, y - 12) - 8) - 2),
                                        shape(WHITE, circle(12, 12, 3)),
                                        *word("IP SCANNER", 28, 6, 12, 7, 3, 1.7)))
    png("about-logo.png", 64, 64, layers(shape((46, 136, 196, 255), lambda x, y: abs(math.hypot(x - 32, y - 32) - 24) - 5),
                                         shape((46, 136, 196, 255), circle(32, 32, 10))))


def message_icons():
    warn = triangle(16, 3, 30, 29, 2, 29)
    png("warning.png", 32, 32, layers(shape((240, 180, 30, 255), warn),
                                      shape(WHITE, stroke([(16, 11), (16, 20)], 3)),
                                      shape(WHITE, circle(16, 25, 1.7))))
    png("information.png", 32, 32, layers(shape((46, 136, 196, 255), circle(16, 16, 14)),
                                          shape(WHITE, circle(16, 9, 2)),
                                          shape(WHITE, stroke([(16, 14), (16, 24)], 3))))
    png("down.png", 12, 8, shape((80, 90, 110, 255), triangle(1, 1, 11, 1, 6, 7)))


if __name__ == "__main__":
    os.makedirs(OUT, exist_ok=True)
    title_buttons()
    page_tabs()
    toolbar()
    logos()
    message_icons()
