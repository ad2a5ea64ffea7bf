#!/usr/bin/python3
"""Renders the data element's strips "diDataElementLargeImages" (32 pixels) and "diDataElementSmallImages" (16).

    scripts/gen_data_images.py [--check] [output folder]    (default: document/model/resources)

Sources live in document/elements/images, drawn on a 16-unit grid. Both strips hold, left to right, the palette
pictures of Edit, Apply, Cancel, the format items (one picture for all six), Load from File, Save to File, data of
any other type and the Image element. With --check nothing is written; the committed strips are compared with what
the sources render to.
"""

import os

from qbpictures import ROOT, Outputs, run, strip

SOURCES = os.path.join(ROOT, "document", "elements", "images")
PICTURES = ["data-edit", "data-apply", "data-cancel", "data-format", "data-load", "data-save", "data", "image"]


def build(folder):
    outputs = Outputs()
    outputs.picture(os.path.join(folder, "diDataElementLargeImages.png"), strip(SOURCES, PICTURES, 32))
    outputs.picture(os.path.join(folder, "diDataElementSmallImages.png"), strip(SOURCES, PICTURES, 16))
    return outputs


if __name__ == "__main__":
    run(build, os.path.join("document", "model", "resources"))
