#!/usr/bin/python3
"""Renders the 16-pixel strip "unMenuImages" of the pictures of the menus and actions from their SVG sources.

    scripts/gen_menu_images.py [--check] [output folder]    (default: app/resources)

Sources live in app/resources/images, drawn on a 16-unit grid. The strip holds, left to right, the order of
TMenuImage (app/unMenuImages.h): the File menu (import, export, page set-up, print, exit), the Edit menu (undo,
redo, cut, copy, copy as text, paste, delete, find, find next, replace, select all), Settings, the View menu
(palette, non-printing characters), the Help menu (online help, check for updates, home page, forum, contact,
about) and the program itself (the tray icon's picture) for the tray menu. With --check nothing is written; the
committed strip is compared with what the sources render to.
"""

import os

from qbpictures import ROOT, Outputs, run, strip

SOURCES = os.path.join(ROOT, "app", "resources", "images")
PICTURES = [
    "import", "export", "page-setup", "print", "exit",
    "undo", "redo", "cut", "copy", "copy-text", "paste", "delete", "find", "find-next", "replace", "select-all",
    "settings", "palette", "non-printing-characters",
    "online-help", "check-updates", "program-page", "forum", "send-message", "about",
    "tray",
]


def build(folder):
    outputs = Outputs()
    outputs.picture(os.path.join(folder, "unMenuImages.png"), strip(SOURCES, PICTURES, 16))
    return outputs


if __name__ == "__main__":
    run(build, os.path.join("app", "resources"))
