#!/usr/bin/python3
"""Renders the program's cursors from their SVG sources as 32-bit .cur files.

    scripts/gen_cursors.py [--check] [root folder]    (default: the source tree)

Each cursor is one SVG drawn at its size, with the hot spot given here. With --check nothing is written; the
committed cursors are compared with what the sources render to.
"""

import os

from qbpictures import ROOT, Outputs, render, run

# Source and output (both relative to the tree), size in pixels, hot spot.
CURSORS = [
    ("tests/framework/resources/probe.svg", "tests/framework/resources/probe.cur", 32, (3, 4)),
]

# The text cursors: drawn in document/text/cursors, loaded from the document engine's resources by these names.
TEXT_CURSORS = [
    ("field-beam", "crTextorFieldBeam", (16, 16)),
    ("field-elements-beam", "crTextorFieldElementsBeam", (16, 16)),
    ("field-drop-down-beam", "crTextorFieldDropDownBeam", (16, 16)),
    ("container-beam", "crTextorContainerBeam", (16, 16)),
    ("container-text-beam", "crTextorContainerTextBeam", (16, 16)),
    ("left-zone", "crTextorLeftZone", (28, 4)),
    ("drag-move", "crTextorDragMove", (3, 4)),
    ("drag-copy", "crTextorDragCopy", (3, 4)),
]
CURSORS += [("document/text/cursors/%s.svg" % source, "document/model/resources/%s.cur" % name, 32, hotspot)
            for source, name, hotspot in TEXT_CURSORS]

# The table cursors: drawn in document/elements/cursors, loaded from the engine's resources by these names.
TABLE_CURSORS = [
    ("columns-beam", "crTableColumnsBeam", (16, 16)),
    ("rows-beam", "crTableRowsBeam", (16, 16)),
    ("table-drag-move", "crTableDragMove", (3, 4)),
    ("table-drag-copy", "crTableDragCopy", (3, 4)),
]
CURSORS += [("document/elements/cursors/%s.svg" % source, "document/model/resources/%s.cur" % name, 32, hotspot)
            for source, name, hotspot in TABLE_CURSORS]


def build(folder):
    outputs = Outputs()
    for source, output, size, hotspot in CURSORS:
        outputs.cursor(os.path.join(folder, output), render(os.path.join(ROOT, source), size, size), hotspot)
    return outputs


if __name__ == "__main__":
    run(build, ".")
