#!/usr/bin/python3
"""Draws the two image strips of the edit window's log button as 24-bit BMP files (compared byte for byte with
--check).

    scripts/gen_logbutton.py [--check] [output folder]    (default: app/resources)

LogButton is the button's background, 58 x 18: a soft pill with a thin frame. LogClear holds four 14 x 13 clear
signs, one per worst message kind of the log (information, hint, warning, error): a cross in the kind's colour.
Magenta, the colour of each tile's bottom-left pixel, is transparent.
"""

import io
import os

from PIL import Image, ImageDraw

from qbpictures import Outputs, run

KEY = (255, 0, 255)


def background():
    picture = Image.new("RGB", (58, 18), KEY)
    draw = ImageDraw.Draw(picture)
    for y in range(18):
        t = y / 17
        colour = tuple(round(a + (b - a) * t) for a, b in zip((252, 253, 255), (214, 222, 236)))
        draw.line([(1, y), (56, y)], fill=colour)
    mask = Image.new("L", (58, 18), 0)
    ImageDraw.Draw(mask).rounded_rectangle([(0, 0), (57, 17)], radius=4, fill=255)
    result = Image.new("RGB", (58, 18), KEY)
    result.paste(picture, (0, 0), mask)
    ImageDraw.Draw(result).rounded_rectangle([(0, 0), (57, 17)], radius=4, outline=(150, 163, 188))
    return result


def clear_signs():
    colours = [(120, 128, 140), (52, 110, 200), (222, 140, 20), (204, 40, 40)]
    picture = Image.new("RGB", (14 * len(colours), 13), KEY)
    draw = ImageDraw.Draw(picture)
    for index, colour in enumerate(colours):
        left = index * 14
        draw.line([(left + 3, 2), (left + 10, 9)], fill=colour, width=2)
        draw.line([(left + 3, 9), (left + 10, 2)], fill=colour, width=2)
    return picture


def build(folder):
    outputs = Outputs()
    for name, picture in {"LogButton": background(), "LogClear": clear_signs()}.items():
        data = io.BytesIO()
        picture.save(data, "BMP")
        outputs.file(os.path.join(folder, name + ".bmp"), data.getvalue())
    return outputs


if __name__ == "__main__":
    run(build, os.path.join("app", "resources"))
