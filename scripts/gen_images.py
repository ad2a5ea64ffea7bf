#!/usr/bin/python3
"""Renders the element image strips of the document engine at 12, 16 and 32 pixels from their SVG sources.

    scripts/gen_images.py [--check] [output folder]    (default: document/model/resources)

Sources live in document/model/images: one NAME.svg drawn on a 16-unit grid serves every size, and NAME-12.svg,
when present, is the same picture redrawn on the 12-pixel grid so its lines stay sharp. Each strip holds, left to
right: an element (a framed block), Disabled (a barred circle), Other (three dots); the 12-pixel strip goes on with
the collapsed and expanded glyphs of drop-down list branches, which exist only at that size. The log's 9-pixel
strip "diLogImages" (hint, warning, error) is drawn in document/elements/images on a 9-unit grid, and so are the
table's strips "diTableElementSmallImages" and "diTableElementLargeImages" (insert a column, insert a row, a table)
on the 16-unit grid. With --check
nothing is written; the committed strips are compared with what the sources render to.
"""

import os

from qbpictures import ROOT, Outputs, run, strip

SOURCES = os.path.join(ROOT, "document", "model", "images")
LOG_SOURCES = os.path.join(ROOT, "document", "elements", "images")
PICTURES = ["element", "disabled", "other"]
STRIPS = [
    ("diClassesCharImages", SOURCES, 12, PICTURES + ["collapsed", "expanded"]),
    ("diClassesSmallImages", SOURCES, 16, PICTURES),
    ("diClassesLargeImages", SOURCES, 32, PICTURES),
    ("diLogImages", LOG_SOURCES, 9, ["log-hint", "log-warning", "log-error"]),
]
TABLE_PICTURES = ["table-insert-column", "table-insert-row", "table"]
STRIPS += [
    ("diTableElementSmallImages", LOG_SOURCES, 16, TABLE_PICTURES),
    ("diTableElementLargeImages", LOG_SOURCES, 32, TABLE_PICTURES),
]


def build(folder):
    outputs = Outputs()
    for name, sources, size, pictures in STRIPS:
        outputs.picture(os.path.join(folder, name + ".png"), strip(sources, pictures, size))
    return outputs


if __name__ == "__main__":
    run(build, os.path.join("document", "model", "resources"))
