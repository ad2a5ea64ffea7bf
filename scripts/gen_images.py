#!/usr/bin/env python3
"""Generates the element image strips of the document engine at 12, 16 and 32 pixels.

    python3 scripts/gen_images.py [output folder]    (default: document/model/resources)

Each strip holds, left to right: an element (a framed block), Disabled (a barred circle), Other (three dots).
The same pictures are drawn at every size from one description so the three lists stay alike.
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from qbraster import Canvas  # noqa: E402

INK = (64, 76, 92, 255)
ACCENT = (74, 125, 191, 255)
ACCENT_FILL = (226, 236, 250, 255)
STOP = (214, 69, 65, 255)


def element(c, x0, s):
    k = s / 16.0
    c.round_rect(x0 + 2 * k, 3 * k, x0 + 14 * k, 13 * k, 2 * k, ACCENT)
    c.round_rect(x0 + 2 * k + max(1, k), 3 * k + max(1, k), x0 + 14 * k - max(1, k), 13 * k - max(1, k), k,
                 ACCENT_FILL)
    c.line(x0 + 4.5 * k, 6.5 * k, x0 + 11.5 * k, 6.5 * k, max(1.0, k), ACCENT)
    c.line(x0 + 4.5 * k, 9.5 * k, x0 + 9.5 * k, 9.5 * k, max(1.0, k), ACCENT)


def disabled(c, x0, s):
    k = s / 16.0
    w = max(1.4, 1.6 * k)
    c.ring(x0 + 8 * k, 8 * k, 6.2 * k, w, STOP)
    c.line(x0 + 3.9 * k, 12.1 * k, x0 + 12.1 * k, 3.9 * k, w, STOP)


def other(c, x0, s):
    k = s / 16.0
    for cx in (4, 8, 12):
        c.circle(x0 + cx * k, 8 * k, 1.4 * k + 0.3, INK)


PICTURES = [element, disabled, other]
STRIPS = [("diClassesCharImages", 12), ("diClassesSmallImages", 16), ("diClassesLargeImages", 32)]


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "document", "model",
                                                             "resources")
    for name, size in STRIPS:
        c = Canvas(size * len(PICTURES), size)
        for i, draw in enumerate(PICTURES):
            draw(c, i * size, size)
        c.save_png(os.path.join(out, name + ".png"))


if __name__ == "__main__":
    main()
