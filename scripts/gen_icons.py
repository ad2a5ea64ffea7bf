#!/usr/bin/python3
"""Renders the program's icons from their SVG sources.

    scripts/gen_icons.py [--check] [output folder]    (default: app/resources)

quillbox.ico (the resource "MAINICON") and tray.ico ("TrayIcon") each hold 32-bit images of 16, 32 and 48 pixels;
a size drawn apart has its own source (name-SIZE.svg). With --check nothing is written; the committed icons are
compared, image by image, with what the sources give.
"""

import io
import os
import struct

from PIL import Image

from qbpictures import ROOT, Outputs, differing_pixels, render, run, source_for

IMAGES = os.path.join(ROOT, "app", "resources", "images")
ICONS = {"quillbox.ico": "icon", "tray.ico": "tray"}
SIZES = (16, 32, 48)


def icon_bytes(pictures):
    """An .ico file of 32-bit images with their AND masks (set where the alpha shows nothing)."""
    header = struct.pack("<HHH", 0, 1, len(pictures))
    entries, bodies = b"", b""
    offset = len(header) + 16 * len(pictures)
    for picture in pictures:
        width, height = picture.size
        dib = io.BytesIO()
        picture.save(dib, "DIB")
        dib = bytearray(dib.getvalue())
        struct.pack_into("<i", dib, 8, height * 2)  # colour rows, then mask rows
        row_bytes = (width + 31) // 32 * 4
        alpha = picture.getchannel("A")
        mask = bytearray()
        for y in range(height - 1, -1, -1):
            row = bytearray(row_bytes)
            for x in range(width):
                if alpha.getpixel((x, y)) == 0:
                    row[x // 8] |= 0x80 >> (x % 8)
            mask += row
        body = bytes(dib) + bytes(mask)
        entries += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(body), offset)
        bodies += body
        offset += len(body)
    return header + entries + bodies


def decoded_icon(path):
    """The images of a committed 32-bit .ico file, or None when it is missing or not 32-bit."""
    if not os.path.exists(path):
        return None
    with open(path, "rb") as f:
        data = f.read()
    pictures = []
    for i in range(struct.unpack_from("<H", data, 4)[0]):
        width, height, _, _, _, bits, _, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        if bits != 32:
            return None
        width, height = width or 256, height or 256
        start = offset + struct.unpack_from("<I", data, offset)[0]
        pixels = data[start:start + width * height * 4]
        pictures.append(Image.frombytes("RGBA", (width, height), pixels, "raw", "BGRA", 0, -1))
    return pictures


class IconOutputs(Outputs):
    def __init__(self):
        super().__init__()
        self.icons = {}

    def icon(self, path, pictures):
        self.icons[path] = pictures

    def write(self):
        super().write()
        for path, pictures in self.icons.items():
            with open(path, "wb") as f:
                f.write(icon_bytes(pictures))

    def check(self):
        faults = super().check()
        for path, pictures in self.icons.items():
            committed = decoded_icon(path)
            if committed is None or len(committed) != len(pictures):
                faults.append("%s: missing, not 32-bit or not %d images" % (path, len(pictures)))
                continue
            for picture, image in zip(pictures, committed):
                if picture.size != image.size or (n := differing_pixels(picture, image)):
                    faults.append("%s: the %d-pixel image differs from its source" % (path, picture.size[0]))
        return faults


def build(folder):
    outputs = IconOutputs()
    for file, name in ICONS.items():
        outputs.icon(os.path.join(folder, file), [render(source_for(IMAGES, name, size), size, size) for size in SIZES])
    return outputs


if __name__ == "__main__":
    run(build, os.path.join("app", "resources"))
