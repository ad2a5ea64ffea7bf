#!/usr/bin/python3
"""Renders the titled elements' resources: the 32-pixel strip "diTitledLargeImages" (Collapsed, Description), the
expand button's cursor "diExpandButtonCursor" and the two expand sounds.

    scripts/gen_titled_resources.py [--check] [output folder]    (default: document/model/resources)

Pictures are drawn in document/elements/images on a 16-unit grid; the cursor there at 32 pixels with its hot spot
given here. The sounds share the voice of scripts/gen_sounds.py: collapsing falls, expanding rises. With --check
nothing is written; the committed outputs are compared with what the sources give.
"""

import io
import os
import struct
import wave

from gen_sounds import RATE, silence, tone
from qbpictures import ROOT, Outputs, render, run, strip

SOURCES = os.path.join(ROOT, "document", "elements", "images")
STRIP = ("diTitledLargeImages", 32, ["collapsed", "description"])
CURSOR = ("expand-button-cursor", "diExpandButtonCursor", 32, (10, 3))
SOUNDS = {
    "diExpandButtonCollapseSound": lambda: tone(880, 50, 0.26, 6.0, glide=-0.3) + silence(10)
    + tone(587, 60, 0.24, 6.0),
    "diExpandButtonExpandSound": lambda: tone(587, 50, 0.24, 6.0, glide=0.3) + silence(10)
    + tone(880, 60, 0.26, 6.0),
}


def wav_bytes(samples):
    """16-bit mono PCM, as gen_sounds.py writes it."""
    out = io.BytesIO()
    with wave.open(out, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(b"".join(struct.pack("<h", int(max(-1.0, min(1.0, s)) * 32767)) for s in samples))
    return out.getvalue()


def build(folder):
    outputs = Outputs()
    name, size, pictures = STRIP
    outputs.picture(os.path.join(folder, name + ".png"), strip(SOURCES, pictures, size))
    source, name, size, hotspot = CURSOR
    outputs.cursor(os.path.join(folder, name + ".cur"), render(os.path.join(SOURCES, source + ".svg"), size, size),
                   hotspot)
    for name, make in SOUNDS.items():
        outputs.file(os.path.join(folder, name + ".wav"), wav_bytes(make()))
    return outputs


if __name__ == "__main__":
    run(build, os.path.join("document", "model", "resources"))
