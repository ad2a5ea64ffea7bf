#!/usr/bin/python3
"""Renders the 16-pixel strip "diCommonElementsSmallImages" of comments, logic frames and signs.

    scripts/gen_common_images.py [--check] [output folder]    (default: document/model/resources)

Sources live in document/elements/images, drawn on a 16-unit grid. The strip holds, left to right, the palette
pictures of the comment and the logic frame, then the signs in the order their classes add to the strip's first
index: star, information, question, important, ready, stop. With --check nothing is written; the committed strip is
compared with what the sources render to.
"""

import os

from qbpictures import ROOT, Outputs, run, strip

SOURCES = os.path.join(ROOT, "document", "elements", "images")
PICTURES = ["comment", "logic-frame", "star", "information", "question", "important", "ready", "stop"]


def build(folder):
    outputs = Outputs()
    outputs.picture(os.path.join(folder, "diCommonElementsSmallImages.png"), strip(SOURCES, PICTURES, 16))
    return outputs


if __name__ == "__main__":
    run(build, os.path.join("document", "model", "resources"))
