#!/usr/bin/python3
"""Draws the resource library's plain schematic art and lists it in the bundle.

Usage: makeres.py [DATA_RESOURCES_DIR]

Writes art/bmp/<id>.bmp (24-bit), art/icon/<id>.png and art/cursor/<id>.png
under the folder, and rewrites the [BITMAP], [ICON] and [CURSOR] sections at
the end of NEVORES.DLL. Rules the drivers rely on:
- pure red (255, 0, 0) is transparent;
- the text pictures' ink areas are exactly black (colour A) or grey 128
  (colour B), nothing else is;
- the image pictures are grey ramps (level 0 full ink, 255 none);
- the layout picture's layers (405, 521-553) are 142 x 142.
"""
import os
import sys

from PIL import Image, ImageDraw

RED = (255, 0, 0)
WHITE = (255, 255, 255)
BLACK = (0, 0, 0)
GREY = (128, 128, 128)
FACE = (240, 240, 240)
SIDE = 142
INK_W, INK_H = 70, 56

LAYOUT_LAYERS = [405] + list(range(521, 554))
TEXT_PICTURES = list(range(3661, 3688)) + list(range(3706, 3742))
IMAGE_PICTURES = list(range(420, 457))
DIRECTION = list(range(559, 577))


def bitmap_ids():
    ids = [402, 403, 404, 405] + IMAGE_PICTURES + list(range(460, 520)) + list(range(521, 580))
    ids += list(range(3661, 3742))
    return sorted(set(ids))


# ---- layout layers ----

def page(d, box, number, fill=WHITE):
    d.rectangle(box, fill=fill, outline=(60, 60, 60))
    cx, cy = (box[0] + box[2]) // 2, (box[1] + box[3]) // 2
    d.text((cx - 3, cy - 5), str(number), fill=(60, 60, 60))


def sheet_box(o):
    """The sheet outline of orientation o (0 portrait, 1 landscape)."""
    return (36, 16, 106, 126) if o == 0 else (16, 36, 126, 106)


def layout_layer(i):
    img = Image.new("RGB", (SIDE, SIDE), RED)
    d = ImageDraw.Draw(img)
    # Columns 0..12 by row; 539-542 are shared by both rows.
    rows = {0: [521, 523, 525, 527, 528, 531, 532, 533, 534, 539, 540, 541, 542],
            1: [522, 524, 526, 529, 530, 535, 536, 537, 538]}
    o = 1 if i in rows[1] else 0
    col = rows[o].index(i)
    # Two pages on a sheet, and booklets, turn the sheet.
    x0, y0, x1, y1 = sheet_box(1 - o if col in (1, 3, 4) or col >= 9 else o)
    d.rectangle((x0, y0, x1, y1), fill=WHITE, outline=(40, 40, 40))
    if col == 0:
        d.line((x0 + 10, y0 + 14, x1 - 10, y0 + 14), fill=(90, 90, 90), width=3)
        for k in range(4):
            yy = y0 + 30 + k * 12
            d.line((x0 + 10, yy, x1 - 10, yy), fill=(150, 150, 150), width=2)
        return img
    if col in (1, 3, 4):  # two pages
        if (x1 - x0) > (y1 - y0):
            halves = [(x0 + 4, y0 + 4, (x0 + x1) // 2 - 2, y1 - 4), ((x0 + x1) // 2 + 2, y0 + 4, x1 - 4, y1 - 4)]
        else:
            halves = [(x0 + 4, y0 + 4, x1 - 4, (y0 + y1) // 2 - 2), (x0 + 4, (y0 + y1) // 2 + 2, x1 - 4, y1 - 4)]
        numbers = [1, 1] if col == 1 else ([1, 2] if col == 3 else [2, 1])
        for b, n in zip(halves, numbers):
            page(d, b, n, (230, 240, 255))
        return img
    if col in (2, 5, 6, 7, 8):  # four pages
        mx, my = (x0 + x1) // 2, (y0 + y1) // 2
        quads = [(x0 + 4, y0 + 4, mx - 2, my - 2), (mx + 2, y0 + 4, x1 - 4, my - 2),
                 (x0 + 4, my + 2, mx - 2, y1 - 4), (mx + 2, my + 2, x1 - 4, y1 - 4)]
        orders = {2: [1, 1, 1, 1], 5: [1, 2, 3, 4], 6: [2, 1, 4, 3], 7: [1, 3, 2, 4], 8: [3, 1, 4, 2]}
        for b, n in zip(quads, orders[col]):
            page(d, b, n, (230, 255, 230))
        return img
    # Booklets: a folded sheet with its spine.
    mx = (x0 + x1) // 2
    fill = (255, 240, 220) if col in (9, 10) else (255, 225, 240)
    page(d, (x0 + 4, y0 + 4, mx - 1, y1 - 4), 4 if col in (9, 11) else 1, fill)
    page(d, (mx + 1, y0 + 4, x1 - 4, y1 - 4), 1 if col in (9, 11) else 4, fill)
    d.line((mx, y0, mx, y1), fill=(40, 40, 40), width=3)
    return img


def frame():
    img = Image.new("RGB", (SIDE, SIDE), FACE)
    d = ImageDraw.Draw(img)
    d.rectangle((0, 0, SIDE - 1, SIDE - 1), outline=(160, 160, 160))
    return img


def overlay(i):
    img = Image.new("RGB", (SIDE, SIDE), RED)
    d = ImageDraw.Draw(img)
    bar = (0, 90, 200)
    if i in range(543, 551):
        # Binding edge: left, top, right or bottom of the sheet.
        table = {543: (0, "L"), 547: (0, "T"), 544: (0, "R"), 548: (0, "B"),
                 546: (1, "L"), 550: (1, "T"), 545: (1, "R"), 549: (1, "B")}
        o, edge = table[i]
        x0, y0, x1, y1 = sheet_box(o)
        boxes = {"L": (x0 - 8, y0, x0 - 3, y1), "R": (x1 + 3, y0, x1 + 8, y1),
                 "T": (x0, y0 - 8, x1, y0 - 3), "B": (x0, y1 + 3, x1, y1 + 8)}
        d.rectangle(boxes[edge], fill=bar)
    elif i == 551:
        d.arc((4, 4, 34, 34), 200, 520, fill=(200, 60, 0), width=3)
        d.polygon([(30, 6), (36, 16), (26, 16)], fill=(200, 60, 0))
    elif i in (552, 553):
        x0, y0, x1, y1 = sheet_box(0 if i == 552 else 1)
        d.rectangle((x0 + 2, y0 + 2, x1 - 2, y1 - 2), outline=(0, 150, 0), width=2)
    return img


# ---- ink pictures ----

def text_picture(i):
    """Text in black (colour A) and graphics in grey 128 (colour B) on white."""
    img = Image.new("RGB", (INK_W, INK_H), WHITE)
    d = ImageDraw.Draw(img)
    k = TEXT_PICTURES.index(i)
    weight = 1 + k % 3
    for r in range(4):
        y = 6 + r * 8
        d.line((5, y, 38 - (r % 2) * 8, y), fill=BLACK, width=weight)
    style = (k // 3) % 3
    if style == 0:
        d.ellipse((42, 6, 64, 28), fill=GREY)
    elif style == 1:
        d.rectangle((42, 6, 64, 28), fill=GREY)
    else:
        d.polygon([(53, 5), (65, 28), (41, 28)], fill=GREY)
    d.rectangle((5, 40, 64, 50), fill=GREY if k % 2 else BLACK)
    return img


def image_picture(i):
    """A grey ramp: level 0 is full ink, 255 none."""
    img = Image.new("RGB", (INK_W, INK_H), WHITE)
    k = i - 420
    px = img.load()
    for y in range(INK_H):
        for x in range(INK_W):
            t = x / (INK_W - 1)
            u = y / (INK_H - 1)
            kind = k % 8
            if kind == 0:
                v = t
            elif kind == 1:
                v = 1 - t
            elif kind == 2:
                v = u
            elif kind == 3:
                v = 1 - u
            elif kind == 4:
                v = min(1.0, ((x - 35) ** 2 + (y - 28) ** 2) ** 0.5 / 40)
            elif kind == 5:
                v = 1 - min(1.0, ((x - 35) ** 2 + (y - 28) ** 2) ** 0.5 / 40)
            elif kind == 6:
                v = (t + u) / 2
            else:
                v = 1 - (t + u) / 2
            level = int(round(v * 255))
            px[x, y] = (level, level, level)
    return img


# ---- small pictures, direction pictures and the rest ----

def arrow(d, cx, cy, dx, dy, colour):
    d.line((cx, cy, cx + dx, cy + dy), fill=colour, width=3)
    d.ellipse((cx + dx - 3, cy + dy - 3, cx + dx + 3, cy + dy + 3), fill=colour)


def direction(i):
    """559 + 6 s + 3 v + h: side s, vertical shift v, horizontal h (left, none, right)."""
    img = Image.new("RGB", (50, 50), RED)
    d = ImageDraw.Draw(img)
    k = i - 559
    s, v, h = k // 6, (k % 6) // 3, k % 3
    d.rectangle((8, 4, 42, 46), fill=WHITE, outline=(40, 40, 40))
    colours = [(0, 90, 200), (0, 150, 0), (160, 0, 160)]
    dx = (-12, 0, 12)[h]
    dy = 12 if v else 0
    d.rectangle((17 + dx // 2, 12 + dy // 2, 33 + dx // 2, 28 + dy // 2), fill=colours[s])
    if dx or dy:
        arrow(d, 25, 20, dx, dy, (40, 40, 40))
    return img


def small(i, size):
    img = Image.new("RGB", size, RED)
    d = ImageDraw.Draw(img)
    w, h = size
    d.rectangle((1, 1, w - 2, h - 2), fill=WHITE, outline=(40, 40, 40))
    if i == 403:
        d.line((3, h // 2, w - 4, h // 2), fill=(0, 90, 200), width=2)
    elif i == 404:
        d.line((3, 4, w - 4, 4), fill=(40, 40, 40))
        d.line((3, h - 5, w - 4, h - 5), fill=(40, 40, 40))
    elif i == 577:
        d.line((8, 8, w - 9, h - 9), fill=(200, 0, 0), width=3)
        d.line((w - 9, 8, 8, h - 9), fill=(200, 0, 0), width=3)
    elif i == 579:
        d.rectangle((3, 3, w - 4, h - 4), fill=(180, 180, 180))
    else:
        d.line((3, 3, w - 4, h - 4), fill=(0, 90, 200))
    return img


def generic(i, size=(32, 32)):
    img = Image.new("RGB", size, WHITE)
    d = ImageDraw.Draw(img)
    d.rectangle((0, 0, size[0] - 1, size[1] - 1), outline=(90, 90, 90))
    d.text((3, size[1] // 2 - 6), str(i), fill=(40, 40, 40))
    return img


def bitmap(i):
    if i == 405:
        return frame()
    if i in range(521, 543):
        return layout_layer(i)
    if i in range(543, 554):
        return overlay(i)
    if i in TEXT_PICTURES:
        return text_picture(i)
    if i in IMAGE_PICTURES:
        return image_picture(i)
    if i in DIRECTION:
        return direction(i)
    sizes = {402: (15, 15), 403: (15, 14), 404: (15, 27), 577: (50, 50), 578: (14, 13), 579: (14, 13)}
    if i in sizes:
        return small(i, sizes[i])
    return generic(i)


# Icons: the ink colours of the colour list (101-122) and three more.
ICON_COLOURS = {
    101: (1, 1, 1), 102: (0, 0, 0), 103: (0, 0, 255), 104: (0, 0, 128), 105: (208, 208, 208), 106: (255, 48, 0),
    107: (192, 0, 64), 108: (0, 176, 0), 109: (0, 128, 96), 110: (255, 80, 96), 111: (160, 32, 32),
    112: (255, 0, 208), 113: (208, 176, 80), 114: (255, 255, 0), 115: (128, 0, 176), 117: (128, 128, 128),
    118: (208, 208, 208), 120: (255, 144, 0), 121: (255, 0, 255), 122: (0, 80, 208), 116: (0, 128, 128),
    119: (160, 160, 144), 123: (0, 120, 215), 124: (0, 150, 0), 125: (200, 0, 0),
}


def icon(i):
    img = Image.new("RGBA", (16, 16), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    d.ellipse((1, 1, 14, 14), fill=ICON_COLOURS[i] + (255,), outline=(40, 40, 40, 255))
    return img


def cursor():
    img = Image.new("RGBA", (32, 32), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    d.rectangle((10, 2, 14, 18), fill=WHITE + (255,), outline=BLACK + (255,))
    d.rounded_rectangle((6, 14, 24, 30), radius=4, fill=WHITE + (255,), outline=BLACK + (255,))
    return img


def write_bmp(img, path):
    img.convert("RGB").save(path, format="BMP")


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..", "data", "resources")
    root = os.path.abspath(root)
    for sub in ("art/bmp", "art/icon", "art/cursor"):
        os.makedirs(os.path.join(root, sub), exist_ok=True)
    bitmaps = bitmap_ids()
    for i in bitmaps:
        write_bmp(bitmap(i), os.path.join(root, "art/bmp", f"{i}.bmp"))
    icons = list(range(101, 126))
    for i in icons:
        icon(i).save(os.path.join(root, "art/icon", f"{i}.png"))
    cursor().save(os.path.join(root, "art/cursor", "400.png"))

    bundle = os.path.join(root, "NEVORES.DLL")
    with open(bundle, encoding="utf-8") as f:
        text = f.read()
    marker = "# Art drawn by tools/makeres.\n"
    if marker in text:
        text = text[:text.index(marker)]
    lines = [marker, "[BITMAP]\n"] + [f"{i}\tart/bmp/{i}.bmp\n" for i in bitmaps]
    lines += ["[ICON]\n"] + [f"{i}\tart/icon/{i}.png\n" for i in icons]
    lines += ["[CURSOR]\n", "400\tart/cursor/400.png\t11\t2\n"]
    with open(bundle, "w", encoding="utf-8") as f:
        f.write(text.rstrip("\n") + "\n" + "".join(lines))


if __name__ == "__main__":
    main()
