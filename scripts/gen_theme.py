#!/usr/bin/python3
"""Generates the built-in appearance theme: its knot description and its 150 x 129 PNG atlas.

    scripts/gen_theme.py [--check] [output folder]    (default: document/model/resources)

Writes RavelwrightDefaultTheme.txt and RavelwrightDefaultTheme.png. Each element's picture is an SVG in
document/model/theme, rendered at the size of its cut and placed there; the colours the description names are
single swatch pixels along the bottom row. Both outputs are committed; run this again after changing a source and
commit the results together. With --check nothing is written; the committed outputs are compared with what the
sources give.
"""

import os

from PIL import Image

from qbpictures import ROOT, Outputs, render, run

SOURCES = os.path.join(ROOT, "document", "model", "theme")

WIDTH, HEIGHT = 150, 129

# Colours that the description names by the atlas pixel holding them: one row of swatches at the bottom.
SWATCHES = [
    ("ElementFont", (31, 41, 51, 255)),
    ("CodeFont", (36, 76, 140, 255)),
    ("FixedFont", (51, 51, 51, 255)),
    ("ArtFont", (94, 60, 140, 255)),
    ("CommentFont", (62, 110, 62, 255)),
    ("ArtFontShadow", (205, 196, 226, 255)),
    ("DisableColor", (220, 220, 220, 190)),
    ("SelectColor", (95, 143, 216, 130)),
    ("SelectInactiveColor", (237, 237, 230, 185)),
]
SWATCH_Y = HEIGHT - 1


def swatch(name):
    for i, (n, _) in enumerate(SWATCHES):
        if n == name:
            return "%d,%d" % (i * 2, SWATCH_Y)
    raise KeyError(name)


class Element:
    """One theme element: where it sits in the atlas and how it stretches."""

    def __init__(self, name, cut, zone=(0, 0, 0, 0), padding=None, margins=None, transparent=None, fill=None,
                 colour_over=None):
        self.name, self.cut, self.zone = name, cut, zone
        self.padding, self.margins, self.transparent = padding, margins, transparent
        self.fill, self.colour_over = fill, colour_over

    def knot(self):
        l, t, w, h = self.cut
        attrs = [("Cut", "%d,%d,%d,%d" % (l, t, l + w - 1, t + h - 1))]
        if self.colour_over:
            attrs.append(("ColorOver", self.colour_over))
        for key, value in (("MouseTransparent", self.transparent), ("Margins", self.margins),
                           ("Padding", self.padding), ("Zone", self.zone)):
            if value and any(value):
                attrs.append((key, ",".join(str(v) for v in value)))
        if self.fill:
            for key, value in zip(("FillModeLeft", "FillModeTop", "FillModeRight", "FillModeBottom",
                                   "FillModeClient"), self.fill):
                if value:
                    attrs.append((key, str(value)))
        return "\t<%s %s/>" % (self.name, " ".join('%s="%s"' % kv for kv in attrs))


# Where each element sits in the atlas (left, top, width, height) and how it stretches; its picture is
# document/model/theme/NAME.svg, drawn at the size of its cut.
FRAME = dict(zone=(4, 4, 4, 4), padding=(5, 3, 5, 3), margins=(2, 2, 2, 2))
FIELD = dict(zone=(3, 3, 3, 3), padding=(3, 1, 3, 1), margins=(1, 1, 1, 1))
BUTTON = dict(margins=(1, 1, 2, 1))
CHECK = dict(margins=(1, 1, 3, 1))
ELEMENTS = [
    Element("Sheet", (0, 0, 8, 8), padding=(10, 10, 10, 10)),
    Element("Element", (8, 0, 16, 16), **FRAME),
    Element("ElementCommand", (24, 0, 16, 16), **FRAME),
    Element("ElementTechnical", (40, 0, 16, 16), **FRAME),
    Element("ElementExpression", (56, 0, 16, 16), **FRAME),
    Element("Description", (72, 0, 16, 16), **FRAME),
    Element("Comment", (88, 0, 16, 16), **FRAME),
    Element("LogicFrame", (104, 0, 16, 16), zone=(5, 5, 5, 5), padding=(7, 5, 7, 5), margins=(2, 3, 2, 3)),
    Element("Unaccepted", (120, 0, 16, 16), zone=(3, 3, 3, 3), padding=(4, 3, 4, 3), margins=(2, 2, 2, 2),
            fill=(1, 1, 1, 1, 0)),
    Element("Container", (136, 0, 8, 8), margins=(2, 1, 2, 1), fill=(2, 2, 2, 2, 2)),
    Element("Field", (0, 16, 12, 12), **FIELD),
    Element("Name", (12, 16, 12, 12), **FIELD),
    Element("NamePrivate", (24, 16, 12, 12), **FIELD),
    Element("NamePublic", (36, 16, 12, 12), **FIELD),
    Element("CheckBox", (48, 16, 12, 12), **FIELD),
    Element("ImageContainer", (60, 16, 12, 12), zone=(1, 1, 1, 1), padding=(2, 2, 2, 2), margins=(1, 1, 1, 1),
            fill=(1, 1, 1, 1, 2)),
    Element("Substitution", (72, 16, 12, 12), **FIELD),
    Element("SubstitutionBegin", (84, 16, 12, 12), zone=(3, 3, 3, 3), padding=(3, 1, 0, 1)),
    Element("SubstitutionContinue", (96, 16, 12, 12), zone=(3, 3, 3, 3), padding=(0, 1, 0, 1)),
    Element("SubstitutionEnd", (108, 16, 12, 12), zone=(3, 3, 3, 3), padding=(0, 1, 3, 1)),
    Element("FrameDot", (120, 16, 12, 12), zone=(1, 1, 1, 1), fill=(1, 1, 1, 1, 2)),
    Element("FrameSingle", (132, 16, 12, 12), zone=(1, 1, 1, 1), fill=(0, 0, 0, 0, 2)),
    Element("Mark", (0, 32, 12, 12), zone=(2, 2, 2, 2)),
    Element("ExternalEditingMode", (12, 32, 16, 16), fill=(1, 1, 1, 1, 1)),
    Element("ImageChess", (28, 32, 8, 8), fill=(1, 1, 1, 1, 1)),
    Element("Line", (44, 32, 12, 5), margins=(0, 2, 0, 2)),
    Element("Collapsed", (56, 32, 9, 9), **BUTTON),
    Element("CollapsedData", (66, 32, 9, 9), **BUTTON),
    Element("Expanded", (76, 32, 9, 9), **BUTTON),
    Element("ExpandedData", (86, 32, 9, 9), **BUTTON),
    Element("CheckBoxChecked", (96, 32, 12, 12), **CHECK),
    Element("CheckBoxUnchecked", (108, 32, 12, 12), **CHECK),
    Element("Error", (120, 32, 12, 12)),
    Element("NeedValue", (132, 32, 12, 12)),
    Element("Referenced", (0, 48, 10, 10)),
]


def atlas():
    sheet = Image.new("RGBA", (WIDTH, HEIGHT))
    for e in ELEMENTS:
        l, t, w, h = e.cut
        sheet.alpha_composite(render(os.path.join(SOURCES, e.name + ".svg"), w, h), (l, t))
    for i, (_, colour) in enumerate(SWATCHES):
        sheet.putpixel((i * 2, SWATCH_Y), colour)
        sheet.putpixel((i * 2 + 1, SWATCH_Y), colour)
    return sheet


ORDER = ["Sheet", "Line", "Unaccepted", "Element", "ElementCommand", "ElementTechnical", "ElementExpression",
         "Description", "Collapsed", "CollapsedData", "Expanded", "ExpandedData", "Field", "Name", "NamePrivate",
         "NamePublic", "CheckBox", "CheckBoxChecked", "CheckBoxUnchecked", "Container", "ImageContainer",
         "Substitution", "SubstitutionBegin", "SubstitutionContinue", "SubstitutionEnd", "Comment", "Error",
         "NeedValue", "Referenced", "FrameDot", "FrameSingle", "Mark", "ExternalEditingMode", "LogicFrame",
         "ImageChess"]

FONTS = [
    ("ElementFont", "Tahoma,Segoe UI,Arial", 8, "", "ElementFont", None),
    ("CodeFont", "Consolas,Courier New", 9, "", "CodeFont", None),
    ("FixedFont", "Courier New,Consolas", 8, "", "FixedFont", None),
    ("ArtFont", "Georgia,Times New Roman", 10, "Bold", "ArtFont", "ArtFontShadow"),
    ("CommentFont", "Tahoma,Segoe UI,Arial", 8, "Italic", "CommentFont", None),
]

IMAGES = [("CharImages", (1, 0, 1, 0)), ("SmallImages", (2, 1, 2, 1)), ("LargeImages", (3, 2, 3, 2))]


def description(elements):
    lines = ['<ThemeInfo DisableColor="%s" SelectColor="%s" SelectInactiveColor="%s">'
             % (swatch("DisableColor"), swatch("SelectColor"), swatch("SelectInactiveColor"))]
    for name, faces, size, style, colour, second in FONTS:
        attrs = 'Name="%s" Size="%d"' % (faces, size)
        if style:
            attrs += ' %s="1"' % style
        attrs += ' Color="%s"' % swatch(colour)
        if second:
            attrs += ' SecondColor="%s"' % swatch(second)
        lines.append("\t<%s %s/>" % (name, attrs))
    for name in ORDER:
        lines.append(elements[name].knot())
    for name, margins in IMAGES:
        lines.append('\t<%s Margins="%s"/>' % (name, ",".join(str(v) for v in margins)))
    lines.append("</ThemeInfo>")
    return "\r\n".join(lines) + "\r\n"


def build(folder):
    elements = {e.name: e for e in ELEMENTS}
    missing = [n for n in ORDER if n not in elements]
    if missing:
        raise SystemExit("theme elements without a place: %s" % ", ".join(missing))
    outputs = Outputs()
    outputs.picture(os.path.join(folder, "RavelwrightDefaultTheme.png"), atlas())
    outputs.file(os.path.join(folder, "RavelwrightDefaultTheme.txt"),
                 ("\ufeff" + description(elements)).encode("utf-8"))
    return outputs


if __name__ == "__main__":
    run(build, os.path.join("document", "model", "resources"))
