#!/usr/bin/env python3
"""Peer of the image adjustment previews.

make DIR: writes the 60 preview pictures 460-519 (24-bit BMP, each its own
pattern with white and grey ramps) and a white canvas 9999 into DIR.
expect DIR ID CONTRAST BRIGHTNESS OUT: maps picture ID by the rule the
previews follow and writes its bytes as BGR rows, top row first, to OUT.
"""
import sys

from PIL import Image

WIDTH, HEIGHT = 23, 11  # rows of 69 bytes, padded to 72 in the BMP
SCALE = [0.5, 2.0 / 3.0, 0.8, 1.0, 1.25, 1.5, 2.0]
OFFSET = [90, 60, 30, 0, -30, -60, -90]


def picture(ident):
    image = Image.new("RGB", (WIDTH, HEIGHT))
    for y in range(HEIGHT):
        for x in range(WIDTH):
            if x == 0:
                image.putpixel((x, y), (255, 255, 255))  # white stays white
            else:
                v = (x * 11 + y * 17 + ident * 7) % 256
                image.putpixel((x, y), (v, (v + 85) % 256, (255 - v)))
    return image


def tone(x, contrast, brightness):
    if x == 255:
        return 255
    toned = min(255, max(0, round(128 + (x - 128) * SCALE[contrast - 1])))
    return min(255, max(0, toned - OFFSET[brightness - 1]))


def main():
    if sys.argv[1] == "make":
        folder = sys.argv[2]
        for ident in range(460, 520):
            picture(ident).save(f"{folder}/{ident}.bmp")
        Image.new("RGB", (WIDTH, HEIGHT), (255, 255, 255)).save(f"{folder}/9999.bmp")
        return
    ident, contrast, brightness, out = sys.argv[3:7]
    image = picture(int(ident))
    rows = bytearray()
    for y in range(HEIGHT):
        for x in range(WIDTH):
            r, g, b = image.getpixel((x, y))
            rows += bytes(tone(c, int(contrast), int(brightness)) for c in (b, g, r))
    with open(out, "wb") as f:
        f.write(rows)


if __name__ == "__main__":
    main()
