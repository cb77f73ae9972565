#!/usr/bin/python3
"""Composes the expected setting pictures from the bundle's BMP files.

Usage: pictures_peer.py ART_DIR CASES OUT_DIR
CASES has one case a line: name, then key=value fields. For each case the
peer writes OUT_DIR/<name>-layout.rgb, -text.rgb and -image.rgb (raw RGB rows,
top-down), or nothing for a picture that is not drawn.
"""
import os
import sys

from PIL import Image

LAYOUT = [[521, 523, 525, 527, 528, 531, 532, 533, 534, 539, 540, 541, 542],
          [522, 524, 526, 529, 530, 535, 536, 537, 538, 539, 540, 541, 542]]
BINDING = [[543, 547, 544, 548], [546, 550, 545, 549]]
TEXT = [[3679, 3670, 3661, 3685, 3676, 3667, 3682, 3673, 3664],
        [3680, 3671, 3662, 3686, 3677, 3668, 3683, 3674, 3665],
        [3681, 3672, 3663, 3687, 3678, 3669, 3684, 3675, 3666],
        [3730, 3718, 3706, 3738, 3726, 3714, 3734, 3722, 3710],
        [3732, 3720, 3708, 3740, 3728, 3716, 3736, 3724, 3712],
        [3731, 3719, 3707, 3739, 3727, 3715, 3735, 3723, 3711],
        [3733, 3721, 3709, 3741, 3729, 3717, 3737, 3725, 3713]]
PAIRS0 = {0: (420, 420), 1: (420, 420), 2: (421, 422), 3: (423, 424), 4: (425, 426), 5: (422, 421), 6: (424, 423),
          7: (426, 425), 8: (436, 437), 9: (437, 436), 10: (438, 439), 11: (439, 438), 12: (440, 441),
          13: (441, 440), 14: (442, 443), 15: (443, 442), 16: (442, 443), 17: (443, 442)}
PAIRS1 = {m: (a + 8 if a < 427 else a + 10, b + 8 if b < 427 else b + 10) for m, (a, b) in PAIRS0.items()}
INKS = ([(1, 1, 1), (0, 0, 0), (2, 2, 2), (255, 48, 0), (0, 80, 208), (160, 32, 32), (0, 176, 0), (255, 255, 0),
         (128, 128, 128), (208, 208, 208), (0, 0, 128), (48, 0, 192), (224, 0, 48), (192, 0, 64), (128, 0, 176),
         (144, 0, 80), (0, 128, 128), (255, 0, 208), (128, 255, 128), (255, 144, 0), (0, 128, 96), (208, 176, 80),
         (255, 80, 96), (192, 32, 0)] + [(1, 1, 1)] * 9 + [(0, 0, 0)] + [(0, 0, 255)] * 4 + [(255, 0, 0)] * 4
        + [(0, 255, 0)] * 3 + [(255, 255, 0)] * 2 + [(160, 48, 48)] * 2 + [(128, 0, 176)] * 2
        + [(128, 128, 128)] * 2 + [(208, 208, 208)] * 2 + [(255, 144, 0)] * 2 + [(224, 160, 48)] * 2
        + [(160, 160, 144)] * 2 + [(255, 0, 255)] * 2 + [(3, 3, 3)])
assert len(INKS) == 64


def load(art, i):
    return Image.open(os.path.join(art, "bmp", f"{i}.bmp")).convert("RGB")


def layout_column(c):
    mode, sub, kind = c["mode"], c["sub"], c["kind"]
    if mode == 1:
        return 2 if sub == 2 else 1
    if mode == 2:
        if sub == 2:
            return {6: 8, 5: 7, 4: 6}.get(kind, 5)
        return 4 if kind == 2 else 3
    if mode == 3:
        return 10 if kind == 8 else 9
    if mode == 4:
        return 12 if kind == 8 else 11
    return 0


def layout_ids(c):
    o = 1 if c["landscape"] else 0
    if c["width"] > c["length"]:
        o ^= 1
    layers = []  # top first; None is an empty slot
    if c["rotate"]:
        layers.append(551)
    binding_slot = margin_slot = None
    if c["duplex"]:
        binding_slot = len(layers)
        layers.append(None)
    if c["margin"]:
        margin_slot = len(layers)
        layers.append(None)
    layers.append(LAYOUT[o][layout_column(c)])
    if c["mode"] in (1, 2) and c["sub"] != 2:
        o ^= 1
    if c["mode"] <= 2:
        if binding_slot is not None:
            p = c["binding"]
            if (o == 0 and c["duplex"] == 1) or (o == 1 and c["duplex"] == 2):
                index = p - 1 if p in (1, 2) else 0
            else:
                index = p - 1 if p in (3, 4) else 2
            layers[binding_slot] = BINDING[o][index]
        if margin_slot is not None:
            layers[margin_slot] = 553 if o else 552
    layers.append(405)
    return layers


def compose_layout(art, c):
    out = Image.new("RGB", (142, 142), (0, 0, 0))
    for i in reversed(layout_ids(c)):
        if i is None:
            continue
        layer = load(art, i).resize((142, 142), Image.NEAREST)
        r, g, b = layer.split()
        # Opaque wherever the pixel is not pure red.
        key = Image.eval(r, lambda v: 255 if v == 255 else 0)
        for channel, want in ((g, 0), (b, 0)):
            key = Image.composite(key, Image.new("L", key.size, 0), Image.eval(channel, lambda v, w=want: 255 if v == w else 0))
        out.paste(layer, (0, 0), Image.eval(key, lambda v: 255 - v))
    return out


def ink(code, image):
    if image:
        return (255, 255, 255) if code is None or code == 1000 or not 1000 <= code <= 1063 else INKS[code - 1000]
    if code is None or not 1000 <= code <= 1063:
        code = 1000
    return INKS[code - 1000]


def text_picture(art, c):
    if c["textproc"] > 2:
        return None
    mode = c["modea"]
    row = 0
    if c["colormode"] != 1 and c["duplex"] == 0 and c["seihan"] == 2:
        row = {2: 1, 4: 1, 3: 2, 5: 2, 6: 3, 7: 3, 8: 4, 9: 4, 10: 5, 11: 5, 12: 6, 13: 6}.get(mode, 0)
    col = c["textproc"] + (0 if c["vola"] == 1 else 3 if c["volb"] == 1 else 6)
    a = b = None
    d1, d2 = c["drum1"], c["drum2"]
    if c["colormode"] == 1:
        a = c["oneink"]
    elif c["duplex"] or c["seihan"] == 0:
        a = d1
    elif c["seihan"] == 1:
        a = d2
    elif mode == 0:
        a = d1
    elif mode == 1:
        a = d2
    elif mode in (2, 3, 6, 8, 10, 12):
        a, b = d2, d1
    elif mode in (4, 5, 7, 9, 11, 13):
        a, b = d1, d2
    ca, cb = ink(a, False), ink(b, False)
    img = load(art, TEXT[row][col])
    px = img.load()
    for y in range(img.height):
        for x in range(img.width):
            if px[x, y] == (0, 0, 0):
                px[x, y] = ca
            elif px[x, y] == (128, 128, 128):
                px[x, y] = cb
    return img


def image_picture(art, c):
    mode = c["modeb"]
    if mode > 17:
        return None
    pairs = PAIRS1 if c["photo"] else PAIRS0
    plain = c["colormode"] == 1 or c["seihan"] < 2 or mode < 2 or c["duplex"]
    ia, ib = pairs[0] if plain else pairs[mode]
    a = b = None
    d1, d2 = c["drum1"], c["drum2"]
    if c["colormode"] == 1:
        a = c["oneink"]
    elif c["duplex"] or c["seihan"] == 0:
        a = d1
    elif c["seihan"] == 1:
        b = d2
    elif mode == 0:
        a = d1
    elif mode == 1:
        b = d2
    else:
        a, b = d1, d2
    ca, cb = ink(a, True), ink(b, True)

    def ramp(colour, level):
        return tuple(255 - (255 - v) * (255 - level) // 255 for v in colour)

    first, second = load(art, ia), load(art, ib)
    p1, p2 = first.load(), second.load()
    # The first byte of a BMP pixel is blue.
    for y in range(first.height):
        for x in range(first.width):
            ra, rb = ramp(ca, p1[x, y][2]), ramp(cb, p2[x, y][2])
            p1[x, y] = tuple(min(u, v) for u, v in zip(ra, rb))
    return first


def main():
    art, cases, out = sys.argv[1:4]
    for line in open(cases):
        fields = line.split()
        if not fields:
            continue
        name = fields[0]
        c = {k: int(v) for k, v in (f.split("=") for f in fields[1:])}
        pictures = {"layout": compose_layout(art, c), "text": text_picture(art, c), "image": image_picture(art, c)}
        for kind, img in pictures.items():
            if img is not None:
                with open(os.path.join(out, f"{name}-{kind}.rgb"), "wb") as f:
                    f.write(img.tobytes())


if __name__ == "__main__":
    main()
