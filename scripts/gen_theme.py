#!/usr/bin/env python3
"""Generates the built-in appearance theme: its knot description and its 150 x 129 PNG atlas.

    python3 scripts/gen_theme.py [output folder]    (default: document/model/resources)

Writes RavelwrightDefaultTheme.txt and RavelwrightDefaultTheme.png. Both outputs are committed; run this again after
changing the look and commit the results together.
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from qbraster import Canvas  # noqa: E402

WIDTH, HEIGHT = 150, 129

# One calm palette for the whole sheet: cool greys with a blue accent, soft tints per element family.
INK = (31, 41, 51, 255)
WHITE = (255, 255, 255, 255)
BORDER = (184, 196, 212, 255)
ACCENT = (74, 125, 191, 255)
COMMAND = (108, 150, 206, 255)
TECHNICAL = (160, 168, 178, 255)
EXPRESSION = (150, 120, 196, 255)
DESCRIPTION_BORDER = (226, 210, 150, 255)
DESCRIPTION_FILL = (255, 251, 230, 255)
COMMENT_BORDER = (176, 208, 160, 255)
COMMENT_FILL = (242, 249, 237, 255)
ERROR = (214, 69, 65, 255)
WARNING = (232, 150, 30, 255)

# Colours that the description names by the atlas pixel holding them: one row of swatches at the bottom.
SWATCHES = [
    ("ElementFont", INK),
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


def framed(c, cell, radius, border, fill, width=1):
    l, t, w, h = cell
    c.round_rect(l, t, l + w, t + h, radius, border)
    c.round_rect(l + width, t + width, l + w - width, t + h - width, max(radius - width, 0), fill)


def draw(c):
    elements = {}

    def add(e):
        elements[e.name] = e

    # Sheet background: plain white, stretched.
    c.fill_rect(0, 0, 8, 8, WHITE)
    add(Element("Sheet", (0, 0, 8, 8), padding=(10, 10, 10, 10)))

    # Element frames, 16 x 16 with a 3-pixel radius: nine-grid borders of 4.
    frames = [
        ("Element", (8, 0, 16, 16), BORDER, WHITE),
        ("ElementCommand", (24, 0, 16, 16), COMMAND, (243, 247, 253, 255)),
        ("ElementTechnical", (40, 0, 16, 16), TECHNICAL, (246, 247, 248, 255)),
        ("ElementExpression", (56, 0, 16, 16), EXPRESSION, (248, 244, 252, 255)),
        ("Description", (72, 0, 16, 16), DESCRIPTION_BORDER, DESCRIPTION_FILL),
        ("Comment", (88, 0, 16, 16), COMMENT_BORDER, COMMENT_FILL),
    ]
    for name, cell, border, fill in frames:
        framed(c, cell, 3, border, fill)
        add(Element(name, cell, zone=(4, 4, 4, 4), padding=(5, 3, 5, 3), margins=(2, 2, 2, 2)))

    # The logic frame: a stronger two-pixel rounded border around grouped data.
    framed(c, (104, 0, 16, 16), 4, ACCENT, (246, 249, 253, 255), width=2)
    add(Element("LogicFrame", (104, 0, 16, 16), zone=(5, 5, 5, 5), padding=(7, 5, 7, 5), margins=(2, 3, 2, 3)))

    # An element this editor cannot show: pale red with a dashed border.
    c.fill_rect(121, 1, 135, 15, (253, 240, 240, 255))
    c.pattern_frame(120, 0, 136, 16, ERROR, 3, 5)
    add(Element("Unaccepted", (120, 0, 16, 16), zone=(3, 3, 3, 3), padding=(4, 3, 4, 3), margins=(2, 2, 2, 2),
                fill=(1, 1, 1, 1, 0)))

    # The text container inside a title: borderless, no look of its own beyond its margins.
    c.fill_rect(136, 0, 144, 8, (0, 0, 0, 0))
    add(Element("Container", (136, 0, 8, 8), margins=(2, 1, 2, 1), fill=(2, 2, 2, 2, 2)))

    # Fields, 12 x 12 with a 2-pixel radius: borders of 3.
    fields = [
        ("Field", (0, 16, 12, 12), (200, 206, 214, 255), WHITE),
        ("Name", (12, 16, 12, 12), (197, 211, 230, 255), (238, 243, 250, 255)),
        ("NamePrivate", (24, 16, 12, 12), (224, 196, 196, 255), (250, 240, 240, 255)),
        ("NamePublic", (36, 16, 12, 12), (190, 218, 190, 255), (239, 248, 239, 255)),
        ("CheckBox", (48, 16, 12, 12), (138, 150, 166, 255), WHITE),
        ("Substitution", (72, 16, 12, 12), (224, 176, 112, 255), (255, 245, 226, 255)),
    ]
    for name, cell, border, fill in fields:
        framed(c, cell, 2, border, fill)
        add(Element(name, cell, zone=(3, 3, 3, 3), padding=(3, 1, 3, 1), margins=(1, 1, 1, 1)))

    # Image container: a dashed grey frame around a picture, inside left empty.
    c.pattern_frame(60, 16, 72, 28, (150, 160, 172, 255), 2, 4)
    add(Element("ImageContainer", (60, 16, 12, 12), zone=(1, 1, 1, 1), padding=(2, 2, 2, 2), margins=(1, 1, 1, 1),
                fill=(1, 1, 1, 1, 2)))

    # A substitution split over rows: begin (open right side), continue (open both sides), end (open left side).
    sub_border, sub_fill = (224, 176, 112, 255), (255, 245, 226, 255)

    def open_columns(x0, x1):
        c.fill_rect(x0, 16, x1, 17, sub_border)
        c.fill_rect(x0, 27, x1, 28, sub_border)
        for y in range(17, 27):
            for x in range(x0, x1):
                c.set(x, y, sub_fill)

    framed(c, (84, 16, 12, 12), 2, sub_border, sub_fill)
    open_columns(93, 96)
    add(Element("SubstitutionBegin", (84, 16, 12, 12), zone=(3, 3, 3, 3), padding=(3, 1, 0, 1)))
    open_columns(96, 108)
    add(Element("SubstitutionContinue", (96, 16, 12, 12), zone=(3, 3, 3, 3), padding=(0, 1, 0, 1)))
    framed(c, (108, 16, 12, 12), 2, sub_border, sub_fill)
    open_columns(108, 111)
    add(Element("SubstitutionEnd", (108, 16, 12, 12), zone=(3, 3, 3, 3), padding=(0, 1, 3, 1)))

    # Focus-like frames: dotted and single, their inside left empty.
    c.pattern_frame(120, 16, 132, 28, (96, 106, 118, 255), 1, 2)
    add(Element("FrameDot", (120, 16, 12, 12), zone=(1, 1, 1, 1), fill=(1, 1, 1, 1, 2)))
    c.pattern_frame(132, 16, 144, 28, (150, 160, 172, 255), 1, 1)
    add(Element("FrameSingle", (132, 16, 12, 12), zone=(1, 1, 1, 1), fill=(0, 0, 0, 0, 2)))

    # Search mark: a translucent amber veil with a firmer edge.
    c.round_rect(0, 32, 12, 44, 2, (255, 196, 0, 150))
    for y in range(33, 43):
        for x in range(1, 11):
            c.set(x, y, (255, 224, 102, 88))
    add(Element("Mark", (0, 32, 12, 12), zone=(2, 2, 2, 2)))

    # External editing: diagonal stripes that tile over the element.
    for y in range(32, 48):
        for x in range(12, 28):
            if (x - 12 + y - 32) % 8 < 3:
                c.set(x, y, (74, 125, 191, 60))
    add(Element("ExternalEditingMode", (12, 32, 16, 16), fill=(1, 1, 1, 1, 1)))

    # Checkerboard behind transparent pictures.
    for y in range(32, 48):
        for x in range(28, 44):
            light = ((x - 28) // 4 + (y - 32) // 4) % 2 == 0
            c.set(x, y, (255, 255, 255, 255) if light else (226, 230, 235, 255))
    add(Element("ImageChess", (28, 32, 8, 8), fill=(1, 1, 1, 1, 1)))

    # A horizontal rule that stretches sideways only.
    c.fill_rect(44, 34, 56, 35, BORDER)
    add(Element("Line", (44, 32, 12, 5), margins=(0, 2, 0, 2)))

    # Expand buttons, 9 x 9: boxed plus and minus for elements, triangles for data.
    def box_button(x, y, plus):
        framed(c, (x, y, 9, 9), 2, (150, 160, 172, 255), (250, 251, 252, 255))
        c.fill_rect(x + 2, y + 4, x + 7, y + 5, INK)
        if plus:
            c.fill_rect(x + 4, y + 2, x + 5, y + 7, INK)

    box_button(56, 32, True)
    add(Element("Collapsed", (56, 32, 9, 9), margins=(1, 1, 2, 1)))
    box_button(76, 32, False)
    add(Element("Expanded", (76, 32, 9, 9), margins=(1, 1, 2, 1)))
    c.polygon([(67.5, 33.5), (73.5, 36.5), (67.5, 39.5)], (96, 106, 118, 255))
    add(Element("CollapsedData", (66, 32, 9, 9), margins=(1, 1, 2, 1)))
    c.polygon([(86.5, 34.5), (92.5, 34.5), (89.5, 40.5)], (96, 106, 118, 255))
    add(Element("ExpandedData", (86, 32, 9, 9), margins=(1, 1, 2, 1)))

    # Check boxes, 12 x 12.
    framed(c, (96, 32, 12, 12), 2, (138, 150, 166, 255), WHITE)
    c.line(98.8, 38.2, 101.2, 40.6, 1.6, ACCENT)
    c.line(101.2, 40.6, 105.4, 35.0, 1.6, ACCENT)
    add(Element("CheckBoxChecked", (96, 32, 12, 12), margins=(1, 1, 3, 1)))
    framed(c, (108, 32, 12, 12), 2, (138, 150, 166, 255), WHITE)
    add(Element("CheckBoxUnchecked", (108, 32, 12, 12), margins=(1, 1, 3, 1)))

    # Problem signs, 12 x 12: a red disc for errors, an amber triangle for missing values.
    c.circle(126, 38, 5.6, ERROR)
    c.fill_rect(125, 34, 127, 39, WHITE)
    c.fill_rect(125, 40, 127, 42, WHITE)
    add(Element("Error", (120, 32, 12, 12)))
    c.polygon([(138.0, 32.6), (143.6, 43.2), (132.4, 43.2)], WARNING)
    c.fill_rect(137, 36, 139, 40, WHITE)
    c.fill_rect(137, 41, 139, 42, WHITE)
    add(Element("NeedValue", (132, 32, 12, 12)))

    # Referenced: a small arrow pointing up and right.
    c.line(1.5, 56.5, 7.5, 50.5, 1.4, ACCENT)
    c.polygon([(3.6, 49.4), (8.6, 49.4), (8.6, 54.4)], ACCENT)
    add(Element("Referenced", (0, 48, 10, 10)))

    # Swatches for the colours the description names.
    for i, (_, colour) in enumerate(SWATCHES):
        c.set(i * 2, SWATCH_Y, colour)
        c.set(i * 2 + 1, SWATCH_Y, colour)
    return elements


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


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "document", "model",
                                                             "resources")
    c = Canvas(WIDTH, HEIGHT)
    elements = draw(c)
    missing = [n for n in ORDER if n not in elements]
    if missing:
        raise SystemExit("theme elements not drawn: %s" % ", ".join(missing))
    c.save_png(os.path.join(out, "RavelwrightDefaultTheme.png"))
    with open(os.path.join(out, "RavelwrightDefaultTheme.txt"), "w", encoding="utf-8", newline="") as f:
        f.write("\ufeff" + description(elements))


if __name__ == "__main__":
    main()
