#!/usr/bin/python3
"""Renders the about box's logo from its SVG source.

    scripts/gen_logo.py [--check] [output folder]    (default: app/resources)

The logo is drawn at its own size, 200 x 48, with a transparent background: the about box lays it on the
dialog's colour. With --check nothing is written; the committed picture is compared with what the source gives.
"""

import os

from qbpictures import ROOT, Outputs, render, run

SOURCE = os.path.join(ROOT, "app", "resources", "images", "logo.svg")
WIDTH, HEIGHT = 200, 48


def build(folder):
    outputs = Outputs()
    outputs.picture(os.path.join(folder, "logo.png"), render(SOURCE, WIDTH, HEIGHT))
    return outputs


if __name__ == "__main__":
    run(build, os.path.join("app", "resources"))
