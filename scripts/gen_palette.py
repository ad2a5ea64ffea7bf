#!/usr/bin/python3
"""Draws the four bitmaps of the palette form as 24-bit BMP files (compared byte for byte with --check).

    scripts/gen_palette.py [--check] [output folder]    (default: app/resources)

PaletteBackground fills the form: a light vertical gradient. PaletteGroup is a group panel: the same gradient with
a separator line at its right edge (its nine-grid keeps the right 3 pixels). PaletteButtonHot and
PaletteButtonPressed are the button states: a rounded frame around a soft fill, 3 pixels of border kept unstretched.
"""

import os

from PIL import Image, ImageDraw

from qbpictures import bmp_outputs, run


def gradient(width, height, top, bottom):
    picture = Image.new("RGB", (width, height))
    draw = ImageDraw.Draw(picture)
    for y in range(height):
        t = y / max(height - 1, 1)
        colour = tuple(round(a + (b - a) * t) for a, b in zip(top, bottom))
        draw.line([(0, y), (width - 1, y)], fill=colour)
    return picture


def background():
    return gradient(8, 96, (250, 251, 253), (228, 233, 242))


def group():
    picture = gradient(16, 96, (250, 251, 253), (228, 233, 242))
    draw = ImageDraw.Draw(picture)
    draw.line([(13, 4), (13, 91)], fill=(200, 207, 220))
    draw.line([(14, 4), (14, 91)], fill=(255, 255, 255))
    return picture


def button(frame, top, bottom):
    picture = gradient(24, 24, top, bottom)
    draw = ImageDraw.Draw(picture)
    draw.rounded_rectangle([(0, 0), (23, 23)], radius=2, outline=frame)
    return picture


def build(folder):
    return bmp_outputs(folder, {
        "PaletteBackground": background(),
        "PaletteGroup": group(),
        "PaletteButtonHot": button((170, 190, 225), (252, 244, 215), (246, 226, 160)),
        "PaletteButtonPressed": button((140, 160, 200), (238, 206, 140), (250, 230, 175)),
    })


if __name__ == "__main__":
    run(build, os.path.join("app", "resources"))
