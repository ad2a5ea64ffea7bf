"""Renders the program's pictures from their SVG sources and writes or checks the committed outputs.

Pictures are drawn by rsvg-convert (librsvg2-bin) and put together with Pillow (python3-pil). A generator builds
every output in memory; `--check` compares them with the committed files instead of writing them, so a test can
tell when a source changed and its output was not regenerated (or the other way round). The generators run under
/usr/bin/python3, the interpreter Debian's python3-pil is installed for.
"""

import io
import os
import struct
import subprocess
import sys

from PIL import Image

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))

# Two librsvg builds may round an antialiased edge one step apart; an edited source moves far more than that.
TOLERANCE = 2


def render(svg, width, height):
    """The SVG drawn to width x height pixels, as straight-alpha RGBA."""
    png = subprocess.run(["rsvg-convert", "--width", str(width), "--height", str(height), svg],
                         check=True, capture_output=True).stdout
    picture = Image.open(io.BytesIO(png)).convert("RGBA")
    if picture.size != (width, height):
        raise SystemExit("%s drew %d x %d, not %d x %d" % (svg, *picture.size, width, height))
    return picture


def source_for(folder, name, size):
    """A picture's source for one size: name-SIZE.svg when that size is drawn apart, else name.svg."""
    sized = os.path.join(folder, "%s-%d.svg" % (name, size))
    return sized if os.path.exists(sized) else os.path.join(folder, name + ".svg")


def strip(folder, names, size):
    """Pictures of one size side by side, left to right in the order given."""
    sheet = Image.new("RGBA", (size * len(names), size))
    for i, name in enumerate(names):
        sheet.alpha_composite(render(source_for(folder, name, size), size, size), (i * size, 0))
    return sheet


def bmp_outputs(folder, pictures):
    """Outputs holding one .bmp file in folder per named picture."""
    outputs = Outputs()
    for name, picture in pictures.items():
        data = io.BytesIO()
        picture.save(data, "BMP")
        outputs.file(os.path.join(folder, name + ".bmp"), data.getvalue())
    return outputs


def png_bytes(picture):
    out = io.BytesIO()
    picture.save(out, "PNG", optimize=True)
    return out.getvalue()


def directory_bytes(kind, frames):
    """An icon (kind 1) or cursor (kind 2) file of 32-bit frames; frames are (picture, (a, b)), where a and b are the
    entry's planes and bit count for an icon, its hot spot for a cursor. The AND mask is set where the alpha shows
    nothing, for systems that draw with the mask."""
    header = struct.pack("<HHH", 0, kind, len(frames))
    entries, bodies = b"", b""
    offset = len(header) + 16 * len(frames)
    for picture, (field_a, field_b) in frames:
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
        entries += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, field_a, field_b, len(body), offset)
        bodies += body
        offset += len(body)
    return header + entries + bodies


def cursor_bytes(frames):
    """A .cur file of 32-bit frames; frames are (picture, (hot x, hot y))."""
    return directory_bytes(2, frames)


def icon_bytes(pictures):
    """An .ico file of 32-bit images."""
    return directory_bytes(1, [(picture, (1, 32)) for picture in pictures])


def decoded(path):
    """The pixels of a committed picture file, or None when it is missing."""
    if not os.path.exists(path):
        return None
    with Image.open(path) as picture:
        return picture.convert("RGBA")


def decoded_cursor(path):
    """The first frame of a committed 32-bit .cur file and its hot spot, or None when it is missing."""
    if not os.path.exists(path):
        return None
    with open(path, "rb") as f:
        data = f.read()
    width, height, _, _, hot_x, hot_y, _, offset = struct.unpack_from("<BBBBHHII", data, 6)
    width, height = width or 256, height or 256
    header_size, bits = struct.unpack_from("<I", data, offset)[0], struct.unpack_from("<H", data, offset + 14)[0]
    if bits != 32:
        return None
    start = offset + header_size
    pixels = data[start:start + width * height * 4]
    return Image.frombytes("RGBA", (width, height), pixels, "raw", "BGRA", 0, -1), (hot_x, hot_y)


def premultiplied(picture):
    r, g, b, a = picture.split()
    scale = [[(v * alpha + 127) // 255 for v in range(256)] for alpha in range(256)]
    pixels = []
    for (pr, pg, pb, pa) in zip(r.getdata(), g.getdata(), b.getdata(), a.getdata()):
        row = scale[pa]
        pixels.append((row[pr], row[pg], row[pb], pa))
    return pixels


def differing_pixels(expected, actual):
    """How many pixels differ beyond the tolerance; colour under full transparency does not count."""
    if expected.size != actual.size:
        return expected.size[0] * expected.size[1]
    return sum(1 for e, a in zip(premultiplied(expected), premultiplied(actual))
               if max(abs(x - y) for x, y in zip(e, a)) > TOLERANCE)


class Outputs:
    """What a generator produces: pictures (compared by pixels), cursors (by pixels and hot spot) and exact bytes."""

    def __init__(self):
        self.pictures, self.cursors, self.files = {}, {}, {}

    def picture(self, path, picture):
        self.pictures[path] = picture

    def cursor(self, path, picture, hotspot):
        self.cursors[path] = (picture, hotspot)

    def file(self, path, data):
        self.files[path] = data

    def write(self):
        for path, picture in self.pictures.items():
            with open(path, "wb") as f:
                f.write(png_bytes(picture))
        for path, frame in self.cursors.items():
            with open(path, "wb") as f:
                f.write(cursor_bytes([frame]))
        for path, data in self.files.items():
            with open(path, "wb") as f:
                f.write(data)

    def check(self):
        """Lists every committed output that is not what its sources give; an empty list means all agree."""
        faults = []
        for path, picture in self.pictures.items():
            committed = decoded(path)
            if committed is None:
                faults.append("%s: missing" % path)
            elif (n := differing_pixels(picture, committed)):
                faults.append("%s: %d pixel(s) differ from its sources" % (path, n))
        for path, (picture, hotspot) in self.cursors.items():
            committed = decoded_cursor(path)
            if committed is None:
                faults.append("%s: missing or not 32-bit" % path)
                continue
            if (n := differing_pixels(picture, committed[0])):
                faults.append("%s: %d pixel(s) differ from its source" % (path, n))
            if committed[1] != hotspot:
                faults.append("%s: hot spot is not %d,%d" % (path, *hotspot))
        for path, data in self.files.items():
            if not os.path.exists(path):
                faults.append("%s: missing" % path)
                continue
            with open(path, "rb") as f:
                if f.read() != data:
                    faults.append("%s: differs from what its generator writes" % path)
        return faults


def run(build, default_folder):
    """Command line of a generator: [--check] [output folder]. build(folder) returns the Outputs."""
    args = [a for a in sys.argv[1:] if a != "--check"]
    folder = args[0] if args else os.path.join(ROOT, default_folder)
    outputs = build(folder)
    if "--check" not in sys.argv[1:]:
        outputs.write()
        return
    faults = outputs.check()
    for fault in faults:
        print(fault, file=sys.stderr)
    if faults:
        print("regenerate with: %s" % os.path.relpath(sys.argv[0], ROOT), file=sys.stderr)
        sys.exit(1)
