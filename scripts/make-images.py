#!/usr/bin/env python3
"""Draws the program's bitmaps, icons and cursors into resources/images/.

Standard library only. Run it again after changing a picture and commit the
results together with this script:
    python3 scripts/make-images.py

Toolbar bitmaps use RGB(192,192,192) as their transparent colour and the tree
bitmaps use white, so neither colour appears inside a picture of that kind.
"""

import os
import struct

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "resources", "images")

TOOLBAR_MASK = (192, 192, 192)
TREE_MASK = (255, 255, 255)

BLACK = (0, 0, 0)
DARK = (64, 64, 64)
GREY = (128, 128, 128)
MID = (160, 160, 160)
SILVER = (208, 208, 208)
PAPER = (250, 250, 246)
LINE = (150, 160, 176)
RED = (200, 30, 30)
DARK_RED = (128, 0, 0)
GREEN = (20, 150, 40)
DARK_GREEN = (0, 96, 0)
BLUE = (40, 90, 200)
DARK_BLUE = (16, 48, 128)
NAVY = (0, 0, 128)
GOLD = (232, 176, 32)
DARK_GOLD = (140, 96, 0)
FOLDER = (255, 214, 96)
FOLDER_EDGE = (168, 120, 16)
FOLDER_BACK = (232, 180, 60)
CHANGED = (242, 124, 110)
CHANGED_EDGE = (150, 24, 24)
CHANGED_BACK = (214, 88, 76)
ALONE = (128, 176, 240)
ALONE_EDGE = (24, 64, 150)
ALONE_BACK = (96, 144, 216)
IGNORED = (218, 218, 218)
IGNORED_EDGE = (128, 128, 128)


class Canvas:
    def __init__(self, width, height, background):
        self.width = width
        self.height = height
        self.pixels = [[background] * width for _ in range(height)]

    def set(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def get(self, x, y):
        return self.pixels[y][x]

    def fill(self, x0, y0, x1, y1, colour):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.set(x, y, colour)

    def box(self, x0, y0, x1, y1, edge, inside=None):
        if inside is not None:
            self.fill(x0 + 1, y0 + 1, x1 - 1, y1 - 1, inside)
        self.line(x0, y0, x1, y0, edge)
        self.line(x0, y1, x1, y1, edge)
        self.line(x0, y0, x0, y1, edge)
        self.line(x1, y0, x1, y1, edge)

    def line(self, x0, y0, x1, y1, colour):
        dx, dy = abs(x1 - x0), -abs(y1 - y0)
        sx, sy = (1 if x0 < x1 else -1), (1 if y0 < y1 else -1)
        err = dx + dy
        while True:
            self.set(x0, y0, colour)
            if x0 == x1 and y0 == y1:
                return
            e2 = 2 * err
            if e2 >= dy:
                err += dy
                x0 += sx
            if e2 <= dx:
                err += dx
                y0 += sy

    def polygon(self, points, colour):
        """Fills a polygon by scan lines through pixel centres."""
        ys = [p[1] for p in points]
        for y in range(min(ys), max(ys) + 1):
            cy = y + 0.5
            xs = []
            for i in range(len(points)):
                (x0, y0), (x1, y1) = points[i], points[(i + 1) % len(points)]
                if (y0 <= cy < y1) or (y1 <= cy < y0):
                    xs.append(x0 + (cy - y0) * (x1 - x0) / (y1 - y0))
            xs.sort()
            for a, b in zip(xs[0::2], xs[1::2]):
                for x in range(int(round(a)), int(round(b))):
                    self.set(x, y, colour)

    def disc(self, cx, cy, r, colour):
        for y in range(int(cy - r) - 1, int(cy + r) + 2):
            for x in range(int(cx - r) - 1, int(cx + r) + 2):
                if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r:
                    self.set(x, y, colour)

    def ring(self, cx, cy, r, width, colour):
        for y in range(int(cy - r) - 1, int(cy + r) + 2):
            for x in range(int(cx - r) - 1, int(cx + r) + 2):
                d = ((x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2) ** 0.5
                if r - width <= d <= r:
                    self.set(x, y, colour)

    def paste(self, other, ox, oy, transparent):
        for y in range(other.height):
            for x in range(other.width):
                c = other.get(x, y)
                if c != transparent:
                    self.set(ox + x, oy + y, c)

    def recolour(self, old, new):
        for row in self.pixels:
            for i, c in enumerate(row):
                if c == old:
                    row[i] = new


# Pictures of 16 x 16 pixels, each drawn on the given background.

def folder(c, fill, edge, back, open_):
    if not open_:
        c.polygon([(1, 3), (6, 3), (7, 4), (14, 4), (14, 13), (1, 13)], fill)
        c.line(1, 3, 6, 3, edge)
        c.line(6, 3, 7, 4, edge)
        c.line(7, 4, 14, 4, edge)
        c.line(1, 3, 1, 13, edge)
        c.line(14, 4, 14, 13, edge)
        c.line(1, 13, 14, 13, edge)
        c.line(2, 6, 13, 6, back)
    else:
        c.polygon([(1, 3), (6, 3), (7, 4), (13, 4), (13, 7), (1, 7)], back)
        c.line(1, 3, 6, 3, edge)
        c.line(6, 3, 7, 4, edge)
        c.line(7, 4, 13, 4, edge)
        c.line(13, 4, 13, 7, edge)
        c.line(1, 3, 1, 13, edge)
        c.polygon([(4, 7), (16, 7), (13, 14), (1, 14)], fill)
        c.line(4, 7, 15, 7, edge)
        c.line(15, 7, 12, 13, edge)
        c.line(1, 13, 12, 13, edge)
        c.line(4, 7, 1, 13, edge)


def sheet(c, fill=PAPER, edge=GREY, lines=LINE, x0=3, x1=12):
    c.polygon([(x0, 1), (x1 - 3, 1), (x1 + 1, 5), (x1 + 1, 15), (x0, 15)], fill)
    c.line(x0, 1, x1 - 3, 1, edge)
    c.line(x1 - 3, 1, x1, 4, edge)
    c.line(x0, 1, x0, 14, edge)
    c.line(x1, 4, x1, 14, edge)
    c.line(x0, 14, x1, 14, edge)
    c.line(x1 - 3, 1, x1 - 3, 4, edge)
    c.line(x1 - 3, 4, x1, 4, edge)
    if lines is not None:
        for y in (6, 8, 10, 12):
            c.line(x0 + 2, y, x1 - 2, y, lines)


def badge_minus(c, colour):
    c.fill(8, 9, 15, 14, colour)
    c.line(10, 11, 13, 11, PAPER)
    c.line(10, 12, 13, 12, PAPER)


def badge_plus(c, colour):
    c.fill(8, 8, 15, 15, colour)
    c.line(10, 11, 13, 11, PAPER)
    c.line(10, 12, 13, 12, PAPER)
    c.line(11, 10, 11, 13, PAPER)
    c.line(12, 10, 12, 13, PAPER)


def badge_changed(c):
    c.disc(12, 12, 3.6, CHANGED_EDGE)
    c.disc(12, 12, 2.6, CHANGED)
    c.line(12, 10, 12, 12, PAPER)
    c.set(12, 14, PAPER)


def key(c):
    """A small gold key in the lower left corner, cut free from the picture below it."""
    shape = set()
    for y in range(10, 16):
        for x in range(0, 6):
            if (x - 2.5) ** 2 + (y - 12.5) ** 2 <= 2.6 ** 2:
                shape.add((x, y))
    shape.update((x, y) for x in range(5, 8) for y in (12, 13))
    shape.update({(6, 14), (7, 14)})
    for x, y in shape:
        for dx in (-1, 0, 1):
            for dy in (-1, 0, 1):
                c.set(x + dx, y + dy, TREE_MASK)
    for x, y in shape:
        c.set(x, y, DARK_GOLD)
    c.disc(2.5, 12.5, 1.6, GOLD)
    c.set(2, 12, DARK_GOLD)
    c.line(5, 12, 6, 12, GOLD)


def tree_images():
    images = []
    for fill, edge, back in ((FOLDER, FOLDER_EDGE, FOLDER_BACK), (CHANGED, CHANGED_EDGE, CHANGED_BACK),
                             (ALONE, ALONE_EDGE, ALONE_BACK)):
        for open_ in (False, True):
            c = Canvas(16, 16, TREE_MASK)
            folder(c, fill, edge, back, open_)
            images.append(c)
    c = Canvas(16, 16, TREE_MASK)
    sheet(c)
    images.append(c)  # 6 the same
    c = Canvas(16, 16, TREE_MASK)
    sheet(c, lines=(232, 140, 130))
    badge_changed(c)
    images.append(c)  # 7 changed
    c = Canvas(16, 16, TREE_MASK)
    sheet(c)
    badge_minus(c, RED)
    images.append(c)  # 8 deleted
    c = Canvas(16, 16, TREE_MASK)
    sheet(c)
    badge_plus(c, GREEN)
    images.append(c)  # 9 added
    for state in range(1, 5):
        c = Canvas(16, 16, TREE_MASK)
        sheet(c, fill=IGNORED, edge=IGNORED_EDGE, lines=(176, 176, 176))
        if state == 1:
            c.line(5, 7, 10, 12, DARK)
            c.line(10, 7, 5, 12, DARK)
        elif state == 2:
            c.fill(5, 6, 10, 12, MID)
            c.box(5, 6, 10, 12, DARK)
        elif state == 3:
            c.disc(8, 9.5, 2.8, DARK_RED)
        else:
            c.ring(8, 9.5, 3.6, 1.2, DARK_RED)
            c.disc(8, 9.5, 1.5, DARK_RED)
        images.append(c)  # 10-13 ignored
    for i in range(10):
        c = Canvas(16, 16, TREE_MASK)
        c.paste(images[i], 0, 0, TREE_MASK)
        key(c)
        images.append(c)  # 14-23 key children
    assert len(images) == 24
    return images


def arrow(c, down, colour, edge, x_offset=0):
    cx = 8 + x_offset
    if down:
        pts = [(cx - 2, 2), (cx + 2, 2), (cx + 2, 8), (cx + 5, 8), (cx, 14), (cx - 5, 8), (cx - 2, 8)]
    else:
        pts = [(cx - 2, 14), (cx + 2, 14), (cx + 2, 8), (cx + 5, 8), (cx, 2), (cx - 5, 8), (cx - 2, 8)]
    c.polygon(pts, colour)
    for i in range(len(pts)):
        (x0, y0), (x1, y1) = pts[i], pts[(i + 1) % len(pts)]
        c.line(x0, y0, x1, y1, edge)


def level_mark(c):
    c.fill(0, 7, 3, 8, BLACK)
    c.fill(0, 10, 3, 11, BLACK)


def floppy(c):
    c.polygon([(1, 1), (14, 1), (15, 2), (15, 15), (1, 15)], BLUE)
    c.box(1, 1, 15, 15, DARK_BLUE)
    c.fill(4, 2, 12, 7, PAPER)
    c.line(5, 3, 11, 3, LINE)
    c.line(5, 5, 11, 5, LINE)
    c.fill(4, 10, 12, 14, SILVER)
    c.fill(9, 11, 10, 13, DARK_BLUE)


def magnifier(c):
    c.ring(6.5, 6.5, 5.5, 1.6, DARK)
    c.disc(6.5, 6.5, 4.0, (200, 228, 250))
    c.set(5, 4, PAPER)
    c.set(4, 5, PAPER)
    for i in range(4):
        c.line(10 + i, 11 + i, 11 + i, 10 + i, DARK_GOLD)
        c.line(10 + i, 12 + i, 12 + i, 10 + i, DARK_GOLD)


def toolbar_images():
    images = []
    c = Canvas(16, 16, TOOLBAR_MASK)  # 0 compare files
    sheet(c, x0=0, x1=8)
    sheet(c, x0=6, x1=14)
    c.fill(3, 6, 5, 6, BLUE)
    c.fill(3, 8, 5, 8, BLUE)
    c.line(8, 8, 12, 8, RED)
    c.line(8, 10, 12, 10, RED)
    images.append(c)
    c = Canvas(16, 16, TOOLBAR_MASK)  # 1 compare elements
    c.box(0, 2, 6, 8, DARK_BLUE, ALONE)
    c.box(9, 2, 15, 8, CHANGED_EDGE, CHANGED)
    c.fill(5, 11, 10, 11, BLACK)
    c.fill(5, 13, 10, 13, BLACK)
    images.append(c)
    for down in (True, False):  # 2, 3 differences
        c = Canvas(16, 16, TOOLBAR_MASK)
        arrow(c, down, CHANGED, CHANGED_EDGE)
        images.append(c)
    for down in (True, False):  # 4, 5 deleted or added
        c = Canvas(16, 16, TOOLBAR_MASK)
        arrow(c, down, (96, 196, 96), DARK_GREEN)
        images.append(c)
    c = Canvas(16, 16, TOOLBAR_MASK)  # 6 find
    magnifier(c)
    images.append(c)
    c = Canvas(16, 16, TOOLBAR_MASK)  # 7 save
    floppy(c)
    images.append(c)
    c = Canvas(16, 16, TOOLBAR_MASK)  # 8 view in the editor
    sheet(c, x0=1, x1=11)
    c.line(15, 5, 8, 12, DARK_GOLD)
    c.line(14, 4, 7, 11, GOLD)
    c.line(15, 4, 8, 11, GOLD)
    c.set(7, 12, BLACK)
    images.append(c)
    c = Canvas(16, 16, TOOLBAR_MASK)  # 9 ignore elements
    sheet(c)
    for d in (0, 1):
        c.line(4 + d, 5, 11 + d, 12, RED)
        c.line(11 + d, 5, 4 + d, 12, RED)
    images.append(c)
    c = Canvas(16, 16, TOOLBAR_MASK)  # 10 ignore a particular element
    sheet(c)
    c.ring(8, 9, 5, 1.6, RED)
    c.line(5, 12, 11, 6, RED)
    c.line(5, 11, 10, 6, RED)
    images.append(c)
    for i in range(4):  # 11-14: 2-5 on the same level
        c = Canvas(16, 16, TOOLBAR_MASK)
        colour, edge = ((CHANGED, CHANGED_EDGE) if i < 2 else ((96, 196, 96), DARK_GREEN))
        arrow(c, i % 2 == 0, colour, edge, x_offset=3)
        level_mark(c)
        images.append(c)
    assert len(images) == 15
    return images


def open_image():
    c = Canvas(16, 16, TOOLBAR_MASK)
    folder(c, FOLDER, FOLDER_EDGE, FOLDER_BACK, True)
    return c


def app_icon(size):
    c = Canvas(size, size, None)
    s = size / 32.0

    def sx(v):
        return int(round(v * s))

    def page(x0, y0, x1, y1, head):
        c.fill(sx(x0), sx(y0), sx(x1), sx(y1), PAPER)
        c.box(sx(x0), sx(y0), sx(x1), sx(y1), DARK)
        c.fill(sx(x0) + 1, sx(y0) + 1, sx(x1) - 1, sx(y0) + max(2, sx(4)), head)
        step = max(2, sx(4))
        for y in range(sx(y0) + max(2, sx(4)) + step, sx(y1) - 1, step):
            c.line(sx(x0) + max(1, sx(3)), y, sx(x1) - max(1, sx(3)), y, LINE)

    page(1, 2, 18, 29, BLUE)
    page(13, 5, 30, 31, RED)
    # "</>" on the front page.
    m = sx(21.5)
    h = max(2, sx(4))
    gap = max(2, sx(3))
    yc = sx(19)
    for d in range(max(1, sx(1.5))):
        c.line(m - gap - d, yc - h, m - gap - h - d, yc, NAVY)
        c.line(m - gap - h - d, yc, m - gap - d, yc + h, NAVY)
        c.line(m + gap + d, yc - h, m + gap + h + d, yc, NAVY)
        c.line(m + gap + h + d, yc, m + gap + d, yc + h, NAVY)
    if size >= 32:
        c.line(m + 1, yc - h, m - 1, yc + h, NAVY)
    return c


def tip_icon():
    """32 x 32 pixels: a lit bulb with its screw base and a few rays; None is transparent."""
    c = Canvas(32, 32, None)
    glass = (255, 236, 120)
    glow = (255, 250, 200)
    # Rays behind the bulb.
    for x0, y0, x1, y1 in ((16, 0, 16, 2), (4, 4, 6, 6), (28, 4, 26, 6), (1, 13, 3, 13), (31, 13, 29, 13)):
        c.line(x0, y0, x1, y1, GOLD)
    c.disc(16, 13, 9.5, DARK_GOLD)
    c.disc(16, 13, 8.5, glass)
    c.disc(13.5, 10.5, 3, glow)
    # The neck narrows into the base.
    c.polygon([(10, 18), (22, 18), (20, 23), (12, 23)], glass)
    c.line(10, 18, 12, 23, DARK_GOLD)
    c.line(22, 18, 20, 23, DARK_GOLD)
    c.line(14, 15, 16, 20, DARK_GOLD)
    c.line(18, 15, 16, 20, DARK_GOLD)
    c.box(12, 23, 20, 28, DARK, MID)
    c.line(13, 25, 19, 25, SILVER)
    c.line(13, 27, 19, 27, SILVER)
    c.fill(14, 29, 18, 30, DARK)
    return c


def splitter_cursor(vertical):
    """32 x 32 pixels: a double bar with two arrows, black with a white outline; None is transparent."""
    shape = set()
    for y in range(8, 24):
        shape.update({(12, y), (13, y), (18, y), (19, y)})
    for x in range(4, 28):
        shape.update({(x, 15), (x, 16)})
    for i in range(5):
        for y in range(15 - i, 17 + i):
            shape.update({(3 + i, y), (28 - i, y)})
    if not vertical:
        shape = {(y, x) for x, y in shape}
    c = Canvas(32, 32, None)
    for x, y in shape:
        for dx in (-1, 0, 1):
            for dy in (-1, 0, 1):
                c.set(x + dx, y + dy, PAPER)
    for x, y in shape:
        c.set(x, y, BLACK)
    return c


def close_image():
    """16 x 16 pixels: the close button of the XML element window, a dark cross on the button face."""
    c = Canvas(16, 16, TOOLBAR_MASK)
    for i in range(4, 12):
        for d in (0, 1):
            c.set(i + d, i, DARK)
            c.set(15 - i - d, i, DARK)
    return c


def bmp_bytes(canvas):
    row_size = (canvas.width * 3 + 3) & ~3
    data = bytearray()
    for y in range(canvas.height - 1, -1, -1):
        row = bytearray()
        for x in range(canvas.width):
            r, g, b = canvas.get(x, y)
            row += bytes((b, g, r))
        row += b"\0" * (row_size - len(row))
        data += row
    header = struct.pack("<IiiHHIIiiII", 40, canvas.width, canvas.height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    file_header = struct.pack("<2sIHHI", b"BM", 14 + len(header) + len(data), 0, 0, 14 + len(header))
    return file_header + header + data


def strip(images, background):
    c = Canvas(16 * len(images), 16, background)
    for i, image in enumerate(images):
        c.paste(image, 16 * i, 0, None)
    return c


def icon_image(canvas):
    """One 32-bit image with alpha and its AND mask, as stored in .ico files."""
    w, h = canvas.width, canvas.height
    xor = bytearray()
    for y in range(h - 1, -1, -1):
        for x in range(w):
            c = canvas.get(x, y)
            xor += bytes((0, 0, 0, 0)) if c is None else bytes((c[2], c[1], c[0], 255))
    mask_row = ((w + 31) // 32) * 4
    mask = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray(mask_row)
        for x in range(w):
            if canvas.get(x, y) is None:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += row
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + xor + mask


def cursor_image(canvas):
    """A monochrome image: a two-colour palette, the XOR bits and the AND bits."""
    w, h = canvas.width, canvas.height
    row_bytes = ((w + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for y in range(h - 1, -1, -1):
        xr = bytearray(row_bytes)
        ar = bytearray(row_bytes)
        for x in range(w):
            c = canvas.get(x, y)
            if c is None:
                ar[x // 8] |= 0x80 >> (x % 8)
            elif c != BLACK:
                xr[x // 8] |= 0x80 >> (x % 8)
        xor += xr
        mask += ar
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 1, 0, len(xor) + len(mask), 0, 0, 2, 0)
    palette = bytes((0, 0, 0, 0, 255, 255, 255, 0))
    return header + palette + xor + mask


def icon_file(canvases):
    images = [icon_image(c) for c in canvases]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for c, data in zip(canvases, images):
        out += struct.pack("<BBBBHHII", c.width % 256, c.height % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def cursor_file(canvas, hot_x, hot_y):
    data = cursor_image(canvas)
    out = struct.pack("<HHH", 0, 2, 1)
    out += struct.pack("<BBBBHHII", canvas.width, canvas.height, 2, 0, hot_x, hot_y, len(data), 22)
    return out + data


def write(name, data):
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)


def main():
    os.makedirs(OUT, exist_ok=True)
    for i, image in enumerate(tree_images()):
        write("tree%02d.bmp" % i, bmp_bytes(image))
    write("main-toolbar.bmp", bmp_bytes(strip(toolbar_images(), TOOLBAR_MASK)))
    write("file-toolbar.bmp", bmp_bytes(open_image()))
    write("verdalt.ico", icon_file([app_icon(32), app_icon(16)]))
    write("verdalt-small.ico", icon_file([app_icon(16)]))
    write("tip.ico", icon_file([tip_icon()]))
    write("split-vertical.cur", cursor_file(splitter_cursor(True), 16, 16))
    write("split-horizontal.cur", cursor_file(splitter_cursor(False), 16, 16))
    write("close-editor.bmp", bmp_bytes(close_image()))


if __name__ == "__main__":
    main()
