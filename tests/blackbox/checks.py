#!/usr/bin/env python3
"""Black-box checks of the real program under Wine: one check a run, named on the command line.

    checks.py --build DIR --program EXE --driver EXE --browser EXE prepare|CHECK
"""

import argparse
import os
import re
import shutil
import struct
import subprocess
import sys
import time
import traceback
import zlib

# Nothing written into the source tree.
sys.dont_write_bytecode = True
from harness import (BROWSER, HANG, PRINTER, PRINTER_PORT, PROGRAM, AppInfoServer, CheckFailed, Session,  # noqa: E402
                     Tools, TrickleServer, browser_log, document_text, expect, prepare_template, wait_until)

# The main window's fixed WM_COMMAND ids.
FILE_EXIT_COMMAND = 0x0104
TOOLS_SETTINGS_COMMAND = 0x0300
HELP_CHECK_UPDATES_COMMAND = 0x0501
HELP_PROGRAM_PAGE_COMMAND = 0x0502
HELP_ABOUT_COMMAND = 0x0505
STAY_ON_TOP_COMMAND = 0x0600

# The edit window shows its log sheet (a second sheet form) only while the log holds messages.
SHEET_FORM = "TSheetForm"


def visible_sheets(session):
    return sum(1 for _, cls, visible in session.children() if cls == SHEET_FORM and visible)


def stamp(session, path):
    """What changes when the file is written or replaced; None while it is missing."""
    unix = session.prefix.unix(path)
    try:
        info = unix.stat()
    except FileNotFoundError:
        return None
    return info.st_mtime_ns, info.st_ino, info.st_size


def saved_bytes(session, path, before, timeout=HANG):
    """The file's bytes once its stamp differs from before."""
    expect(wait_until(lambda: stamp(session, path) not in (None, before), timeout),
           f"{path} was not written: {session.describe()}")
    session.idle()
    return session.read(path)


def save(session, path):
    """Ctrl+S, which writes also an unchanged document: the file's bytes once it was replaced."""
    before = stamp(session, path)
    session.keys("ctrl+s")
    return saved_bytes(session, path, before)


def dismiss(session):
    """Closes the one message box with its OK (or only) button."""
    box = session.boxes()[0]
    ids = [ident for cls, ident, _ in box[1] if cls == "Button"]
    session.driver("press", "#32770", str(1 if 1 in ids or not ids else ids[0]))
    expect(wait_until(lambda: not session.boxes()), f"the box stays: {box}")


# -- the editor ----------------------------------------------------------------------------------------------------

def restart_shown(session):
    """A later start stays in the notification area: the wake-up a second instance posts shows the window."""
    session.start(wait_shown=False)
    session.wait_hidden_main()
    session.driver("post", "TMainForm", "0x402")
    session.wait_window()


def check_typing_saves(session):
    """Keys typed into the document, then Ctrl+S, put the text in the data file; Ctrl+Z then Ctrl+S gives the
    earlier bytes back."""
    data = session.data_file()
    session.start()
    session.focus()
    session.keys("t:Hello world")
    first = save(session, data)
    expect(b'Value="Hello world' in first, f"the typed text is not in the file: {first!r}")
    # More than the typing merge's 800 ms later: a step of its own.
    time.sleep(1.0)
    session.keys("t: and more")
    second = save(session, data)
    expect(b'Value="Hello world and more' in second, f"the second typing is not in the file: {second!r}")
    session.keys("ctrl+z")
    undone = save(session, data)
    expect(undone == first, f"undo did not give the earlier bytes back:\n{undone!r}\n{first!r}")
    expect(session.close() == 0, "the program did not end cleanly")


def check_ctrl_typing_inserts(session):
    """Holding Ctrl and typing a palette item's shortcut (L, the logic frame) inserts that element."""
    data = session.data_file()
    session.start()
    session.focus()
    session.keys("t:Frame here: ")
    session.keys("+ctrl", "l", "sleep:100", "-ctrl")
    session.idle()
    # The run is posted: saved again until it has run.
    saved = b""

    def framed():
        nonlocal saved
        saved = save(session, data)
        return b"<LogicFrame" in saved

    expect(wait_until(framed), f"no logic frame in the saved file: {saved!r}")
    expect(b'Value="Frame here: ' in saved, f"the text before it is missing: {saved!r}")
    expect(saved.index(b'Value="Frame here: ') < saved.index(b"<LogicFrame"),
           f"the frame is not at the caret: {saved!r}")
    expect(b'<Chars Value="Frame here: "/>' in saved, f"the shortcut's letter reached the text: {saved!r}")
    expect(session.close() == 0, "the program did not end cleanly")


CLICKED = [
    '<Chars Value="Keep "/>',
    '<Comment>',
    '\t<Chars Value="C"/><Br/>',
    '</Comment>',
    '<Chars Value="me "/>',
    '<Table>',
    '\t<Row>',
    '\t\t<Cell>',
    '\t\t\t<Chars Value="t"/><Br/>',
    '\t\t</Cell>',
    '\t\t<Cell/>',
    '\t</Row>',
    '</Table>',
    '<Chars Value="end"/><Br/>',
]
# Where CLICKED's one row puts its parts, from the document sheet's top-left corner (the built-in theme and font):
# the row's middle, the comment's "C", the first cell's "t", and far right of the row's end.
CLICKED_ROW_Y = 30
CLICKED_COMMENT_X = 64
CLICKED_CELL_X = 104
CLICKED_END_X = 400


def document_sheet(session):
    """The screen rectangle (left, top, width, height) of the document's sheet: the topmost visible range box."""
    boxes = []
    for line in session.driver("children", "TMainForm").splitlines():
        parts = line.split()
        if len(parts) >= 3 and parts[0] == "TRangeBox" and parts[1] == "visible":
            boxes.append(tuple(int(n) for n in parts[2].split(",")))
    expect(boxes, f"no visible sheet: {session.children()}")
    return min(boxes, key=lambda box: box[1])


def check_clicks_leave_esc_hiding(session):
    """A click into a comment and one into a table cell, each followed by a click into the main text: typing then
    goes into the main text, and Esc still hides the main window (it does not while an element holds the mouse)."""
    data = session.data_file()
    session.write(data, document_text(CLICKED))
    session.start()
    session.focus()
    left, top = document_sheet(session)[:2]
    for x in (CLICKED_COMMENT_X, CLICKED_END_X, CLICKED_CELL_X, CLICKED_END_X):
        session.driver("click", str(left + x), str(top + CLICKED_ROW_Y))
        session.idle()
    session.keys("t:X")
    saved = save(session, data)
    expected = document_text([line.replace('"end"', '"endX"') for line in CLICKED])
    expect(saved == expected, f"the typing did not go into the main text:\n{saved!r}\n{expected!r}")
    session.keys("esc")
    expect(wait_until(lambda: session.driver("style", "TMainForm").startswith("hidden")), "Esc did not hide")
    expect(session.close() == 0, "the program did not end cleanly")


UNKNOWN = document_text([
    '<Chars Value="before"/>',
    '<Widget Size="3" Colour="red">',
    '\t<Part Name="a"/>',
    '</Widget>',
    '<Chars Value="after"/><Br/>',
])
KNOWN = document_text(['<Chars Value="plain"/><Br/>'])


def check_unknown_element_kept(session):
    """A data file holding an element the program does not know starts with the log pane shown and is written
    back unchanged; a file without one starts without the log pane."""
    data = session.data_file()
    session.write(data, KNOWN)
    session.start()
    session.idle()
    expect(visible_sheets(session) == 1, f"a clean file shows the log pane: {session.children()}")
    expect(session.close() == 0, "the program did not end cleanly")

    session.write(data, UNKNOWN)
    restart_shown(session)
    session.idle()
    expect(visible_sheets(session) == 2, f"the log pane is not shown: {session.children()}")
    session.focus()
    saved = save(session, data)
    expect(saved == UNKNOWN, f"the unknown element was not written back unchanged:\n{saved!r}\n{UNKNOWN!r}")
    expect(session.close() == 0, "the program did not end cleanly")


def check_alt_keys_open_menus(session):
    """Alt+S, T pressed in a document with text opens the settings dialog through the Service menu, in English and
    in German (Alt+X, E: each language has its own mnemonics); the document gets neither letter."""
    data = session.data_file()
    session.write(data, KNOWN)
    for language, chord in (("ENU", ("alt+s", "t")), ("DEU", ("alt+x", "e"))):
        session.seed_settings([("Language", language)])
        restart_shown(session)
        session.focus()
        session.keys(*chord)
        session.wait_window("TSettingsForm")
        expect(session.read(data) == KNOWN, f"the data file changed ({language})")
        # A loaded machine may show the dialog before the system makes it active: Esc goes to the active window.
        session.driver("idle", "TSettingsForm")
        session.driver("foreground", "TSettingsForm")
        session.keys("esc")
        session.driver("wait-gone", "TSettingsForm", "10000")
        session.focus()
        saved = save(session, data)
        expect(saved == KNOWN, f"the document changed ({language}):\n{saved!r}\n{KNOWN!r}")
        expect(session.close() == 0, "the program did not end cleanly")


def png_file(width, height, depth, colour_type, rows, level=-1):
    """A PNG of one IDAT chunk holding the filtered rows as given."""
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    header = struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, level))
            + chunk(b"IEND", b""))


def png(width, height, rgb):
    """An opaque PNG of one colour."""
    return png_file(width, height, 8, 2, b"".join(b"\0" + bytes(rgb) * width for _ in range(height)))


def check_planted_editing_file_not_run(session):
    """A picture whose editing file names a program planted beside the data file: clicking it and pressing Enter
    runs nothing of it; the picture is edited afresh in a file of its own type and the program stays alive."""
    folder = session.data_folder()
    planted = folder + "File1.exe"
    marker = folder + "browser.log"
    # The recorder as the planted program: started, it would leave browser.log beside itself.
    session.prefix.unix(planted).parent.mkdir(parents=True, exist_ok=True)
    shutil.copy2(session.tools.browser, session.prefix.unix(planted))
    # Pictures open in the recorder too: what the sound edit starts is seen in C:\qb\browser.log.
    for key, value in (("HKCR\\.png", "QbPicture"),
                       ("HKCR\\QbPicture\\shell\\edit\\command", f'"{BROWSER}" "%1"')):
        session.prefix.run(["reg", "add", key, "/ve", "/t", "REG_SZ", "/d", value, "/f"])
    picture = png(120, 80, (200, 60, 40)).hex().upper()
    session.write(session.data_file(), document_text(
        [f'<Image Type="png" Value="{picture}" ExternalEditingFileName="{planted}"/>', '<Chars Value="after"/><Br/>']))
    session.start()
    session.focus()
    left, top, _, _ = document_sheet(session)
    session.driver("click", str(left + 40), str(top + 30))
    session.idle()
    session.keys("enter")
    session.idle()
    expect(wait_until(lambda: session.exists(marker) or browser_log(session)),
           f"Enter started nothing: {session.describe()}")
    # Both would have started by now.
    time.sleep(1.0)
    expect(not session.exists(marker), f"the planted program ran: {session.read(marker)!r}")
    opened = browser_log(session)
    expect(len(opened) == 1 and opened[0].endswith(f'"{folder}File1.png"'), f"not the picture's own file: {opened}")
    expect(session.process.poll() is None, "the program ended")
    session.idle()
    expect(session.close() == 0, "the program did not end cleanly")


def one_bit_png(side):
    """A side x side one-bit grey PNG, all black: each row deflates to almost nothing."""
    return png_file(side, side, 1, 0, (b"\0" + bytes((side + 7) // 8)) * side, 9)


def icon_file(frames):
    """An icon whose directory lists each frame (sides 0, that is 256), the frames one after another in its order."""
    directory = struct.pack("<HHH", 0, 1, len(frames))
    offset = 6 + 16 * len(frames)
    for frame in frames:
        directory += struct.pack("<BBBBHHII", 0, 0, 0, 0, 1, 32, len(frame), offset)
        offset += len(frame)
    return directory + b"".join(frames)


def packbits_tiff(side, appended):
    """A side x side one-bit white TIFF in one PackBits strip, with the (tag, type, value) entries appended to its
    directory after its own."""
    row = (side + 7) // 8
    strip = (b"".join(bytes((257 - min(128, row - i), 0)) for i in range(0, row, 128))) * side
    entries = [(256, 4, side), (257, 4, side), (258, 3, 1), (259, 3, 32773), (262, 3, 0), (273, 4, 0),
               (277, 3, 1), (278, 4, side), (279, 4, len(strip))] + list(appended)
    start = 8 + 2 + 12 * len(entries) + 4
    directory = struct.pack("<H", len(entries))
    for tag, kind, value in entries:
        value = start if tag == 273 else value
        directory += struct.pack("<HHI", tag, kind, 1) + (struct.pack("<HH", value, 0) if kind == 3
                                                          else struct.pack("<I", value))
    return b"II*\0" + struct.pack("<I", 8) + directory + struct.pack("<I", 0) + strip


def open_hostile_picture(session, type_name, picture):
    """A data file holding the picture opens without it being decoded: the program's peak working set stays under
    100 MB, it answers, the log tells the picture is too large, and a save keeps the bytes."""
    data = session.data_file()
    value = picture.hex().upper()
    session.write(data, document_text([f'<Image Type="{type_name}" Value="{value}"/>']))
    session.start()
    session.idle()
    peak = int(session.driver("peak", "TMainForm").strip())
    expect(0 < peak < 100 * 2**20, f"the peak working set is {peak / 2**20:.0f} MB")
    expect(wait_until(lambda: visible_sheets(session) == 2, 10), f"no message in the log: {session.children()}")
    session.focus()
    saved = save(session, data)
    expect(value.encode("ascii") in saved, "the picture's bytes were not written back")
    expect(session.close() == 0, "the program did not end cleanly")


def check_huge_picture_not_decoded(session):
    """A 16384 x 16384 one-bit PNG: 32 KB, yet 1 GB as 32-bit pixels."""
    open_hostile_picture(session, "png", one_bit_png(16384))


def check_many_frame_icon_not_decoded(session):
    """An icon listing sixteen copies of a 4096 x 4096 one-bit PNG frame (34 KB): each frame is within the pixel
    limit, all of them together are four times beyond it."""
    open_hostile_picture(session, "ico", icon_file([one_bit_png(4096)] * 16))


def check_repeated_size_tags_not_decoded(session):
    """A 9000 x 9000 one-bit PackBits TIFF (162 KB) whose directory states its sides again as 64 x 64."""
    open_hostile_picture(session, "tif", packbits_tiff(9000, [(256, 4, 64), (257, 4, 64)]))


LINKS = document_text([
    '<Chars Value="file:///C:/qb/evil.bat"/><Br/>',
    '<Chars Value="https://example.test/page"/><Br/>',
])
EVIL = "C:\\qb\\evil.bat"
MARKER = "C:\\qb\\marker.txt"


def check_link_starts_no_program(session):
    """Ctrl+Enter on a data file's link to a batch file starts nothing and names the link in a box; on an https
    link it opens the default browser (here a recorder)."""
    session.write(EVIL, f"@echo ran> {MARKER}\r\n".encode("ascii"))
    session.write(session.data_file(), LINKS)
    session.start()
    session.focus()
    session.keys("ctrl+home", "right", "ctrl+enter")
    expect(wait_until(lambda: session.boxes() or session.exists(MARKER)), f"nothing came: {session.describe()}")
    # A batch file that was started needs a moment to write its marker.
    time.sleep(2)
    expect(not session.exists(MARKER), "the linked batch file ran")
    boxes = session.boxes()
    expected = 'The link "file:///C:/qb/evil.bat" was not opened: only web links (http and https) are opened.'
    expect(len(boxes) == 1 and any(text == expected for _, _, text in boxes[0][1]), f"not the link's box: {boxes}")
    dismiss(session)
    expect(browser_log(session) == [], f"the file link reached the browser: {browser_log(session)}")
    session.focus()
    session.keys("down", "ctrl+enter")
    expect(wait_until(lambda: browser_log(session)), f"no browser was started: {session.describe()}")
    expect(len(browser_log(session)) == 1 and browser_log(session)[0].endswith('"https://example.test/page"'),
           f"not the https link: {browser_log(session)}")
    expect(not session.boxes(), f"a box after the https link: {session.boxes()}")
    expect(session.close() == 0, "the program did not end cleanly")


# -- the resident program ------------------------------------------------------------------------------------------

def check_logoff_writes(session):
    """Log-off (WM_QUERYENDSESSION then WM_ENDSESSION to every top-level window, then the process ends) after
    typing writes the data and the session before the end."""
    data, sessionfile = session.data_file(), session.session_file()
    session.start()
    session.focus()
    session.keys("t:Written at log-off")
    session.idle()
    expect(session.read(data) is None, "the data file was written before the log-off")
    out = session.driver("logoff", "TMainForm", check=False)
    session.wait_exit()
    saved = session.read(data)
    expect(saved is not None and b'Value="Written at log-off' in saved,
           f"the typed text was not written at log-off ({out}): {saved!r}")
    state = session.read(sessionfile)
    expect(state is not None and b"<MainForm" in state, f"the session was not written at log-off: {state!r}")


def check_unicode_data_folder(session):
    """A DataFileName in Cyrillic and CJK folders survives a restart: the file is written there, loaded again,
    and the settings keep the name."""
    name = session.places()["Documents"] + "\\Заметки\\笔记本\\записи 日本.qbx"
    session.seed_settings([("DataFileName", name)])
    settings_before = session.read(session.settings_file())
    session.start()
    session.focus()
    session.keys("t:alpha")
    first = save(session, name)
    expect(b'Value="alpha' in first, f"the text is not in {name}: {first!r}")
    expect(session.close() == 0, "the program did not end cleanly")

    restart_shown(session)
    session.focus()
    session.keys("ctrl+end", "t:beta")
    second = save(session, name)
    expect(b"alpha" in second and b"beta" in second, f"the restart did not load {name}: {second!r}")
    expect(session.close() == 0, "the program did not end cleanly")
    settings = session.read(session.settings_file())
    expect(name.encode("utf-8") in settings or settings == settings_before,
           f"the settings lost the data file's name: {settings!r}")


def check_data_file_named_like_temp(session):
    """A data file named like a save's temporary file (Rplc1.tmp) survives a start and a close without edits, and
    the next start shows its text and saves it in place."""
    data = session.data_folder() + "Rplc1.tmp"
    session.seed_settings([("DataFileName", data)])
    session.write(data, KNOWN)
    session.start()
    session.idle()
    expect(session.read(data) == KNOWN, f"the start removed or changed the data file: {session.read(data)!r}")
    expect(session.close() == 0, "the program did not end cleanly")
    expect(session.read(data) == KNOWN, f"the close removed or changed the data file: {session.read(data)!r}")

    restart_shown(session)
    session.focus()
    saved = save(session, data)
    expect(saved == KNOWN, f"the restart did not load the data file:\n{saved!r}\n{KNOWN!r}")
    expect(session.close() == 0, "the program did not end cleanly")
    folder = session.prefix.unix(session.data_folder())
    names = sorted(p.name for p in folder.iterdir())
    expect(names == ["Rplc1.tmp", "Rplc1Backup.qbx"], f"not the data file and its backup: {names}")


def check_locked_data_file(session):
    """A data file locked at start gives a report and an exit, and no file is written."""
    data = session.data_file()
    session.write(data, KNOWN)
    holder = session.driver_spawn("hold", data, str(session.prefix.unix("C:\\release")), "300000")
    try:
        expect(wait_until(lambda: b"held" in (session.folder / "driver.log").read_bytes()
                          if (session.folder / "driver.log").exists() else False), "the file was not locked")
        session.start(wait_shown=False)
        session.wait_window("#32770")
        boxes = session.boxes()
        expect(len(boxes) == 1 and any(data in text for _, _, text in boxes[0][1]),
               f"not one report naming the file: {boxes}")
        dismiss(session)
        code = session.wait_exit()
        expect(code is not None, "the program did not end")
        expect("TMainForm" not in session.driver("windows"), "the main window is still there")
    finally:
        session.write("C:\\release", b"")
        holder.wait(timeout=30)
    expect(session.read(data) == KNOWN, "the locked data file changed")
    folder = session.prefix.unix(session.data_folder())
    expect(sorted(p.name for p in folder.iterdir()) == ["Quillbox.qbx"],
           f"files were written beside the data file: {list(folder.iterdir())}")
    for path in (session.settings_file(), session.session_file()):
        expect(not session.exists(path), f"{path} was written")


def check_autosave_failure(session):
    """An auto-save that cannot write shows one box, not one a tick, and saves once the file is free."""
    data = session.data_file()
    session.write(data, KNOWN)
    session.start()
    session.focus()
    holder = session.driver_spawn("hold", data, str(session.prefix.unix("C:\\release")), "300000")
    try:
        expect(wait_until(lambda: (session.folder / "driver.log").exists()
                          and b"held" in (session.folder / "driver.log").read_bytes()), "the file was not locked")
        session.keys("t:typed ")
        # The auto-save runs 10 s after the change; two more intervals must not bring a second box.
        session.wait_window("#32770")
        time.sleep(21)
        boxes = session.boxes()
        expect(len(boxes) == 1, f"not exactly one report: {boxes}")
        expect(session.read(data) == KNOWN, "the locked file changed")
    finally:
        session.write("C:\\release", b"")
        holder.wait(timeout=30)
    before = stamp(session, data)
    dismiss(session)
    saved = saved_bytes(session, data, before)
    expect(b'Value="typed ' in saved, f"the freed file did not get the change: {saved!r}")
    expect(len(session.boxes()) == 0, f"another report came: {session.boxes()}")
    expect(session.close() == 0, "the program did not end cleanly")


def check_print_to_file_printer(session):
    """Printing through the print dialog to the PostScript printer whose port writes a file."""
    out = session.folder / "printed.ps"
    session.prefix.run(["reg", "add", "HKCU\\Software\\Wine\\Printing\\Spooler", "/v", PRINTER_PORT, "/t", "REG_SZ",
                        "/d", str(out), "/f"])
    session.write(session.data_file(), document_text(['<Chars Value="A printed page"/><Br/>']))
    session.start()
    session.focus()
    session.keys("ctrl+p")
    session.wait_window("#32770")
    boxes = session.boxes()
    expect(len(boxes) == 1 and any(text == PRINTER for _, _, text in boxes[0][1]),
           f"not the print dialog with the test printer: {boxes}")
    session.driver("press", "#32770", "1")
    expect(wait_until(lambda: out.exists() and b"%%EOF" in out.read_bytes()),
           f"nothing printed: {session.describe()}")
    pages = out.read_bytes().count(b"%%Page:")
    expect(pages == 1, f"a short document printed {pages} pages")
    session.idle()
    expect(len(session.boxes()) == 0, f"a box after printing: {session.boxes()}")
    # The document came back from the print sheet: it is edited and saved as before.
    session.focus()
    session.keys("ctrl+end", "t: and more")
    saved = save(session, session.data_file())
    expected = document_text(['<Chars Value="A printed page and more"/><Br/>'])
    expect(saved == expected, f"the document did not come back:\n{saved!r}\n{expected!r}")
    expect(session.close() == 0, "the program did not end cleanly")


def check_stay_on_top_keeps_hot_key(session):
    """The program holds its mutexes, atom and hot key; switching "Always on Top" on and off re-creates the window,
    and each time the hot key stays held and brings the hidden window back."""
    session.start()
    for kind, name in (("mutex", "Quillbox"), ("mutex", "QuillboxMutex"), ("mutex", "Global\\QuillboxMutex"),
                       ("atom", "QuillboxHotKey"), ("hotkey", "")):
        expect(session.driver("probe", kind, name).strip() == "held", f"{kind} {name} is not held")
    for on_top in (True, False):
        session.driver("post", "TMainForm", "WM_COMMAND", str(STAY_ON_TOP_COMMAND))
        session.idle()
        expect(wait_until(lambda: ("topmost" in session.driver("style", "TMainForm")) == on_top),
               f"the window is not {'on top' if on_top else 'back to normal'}")
        expect(session.driver("probe", "hotkey", "").strip() == "held", "the hot key was lost")
        session.focus()
        session.keys("esc")
        expect(wait_until(lambda: session.driver("style", "TMainForm").startswith("hidden")), "Esc did not hide")
        session.keys("ctrl+shift+e")
        expect(wait_until(lambda: session.driver("style", "TMainForm").startswith("visible")),
               "the hot key did not bring the window back")
    expect(session.close() == 0, "the program did not end cleanly")
    for kind, name in (("atom", "QuillboxHotKey"), ("hotkey", "")):
        expect(session.driver("probe", kind, name).strip() == "free", f"{kind} {name} is still held after the end")


def front(session, classes):
    """The class of the foreground window, and which of the classes are shown, from the top of the z-order down."""
    lines = session.driver("front").split()
    return lines[0], [c for c in lines[1:] if c in classes]


def stacked(session, names):
    """Which of the window names the X server stacks, from the top down: what the user sees of the z-order (Wine
    keeps one of its own). Each window shown in the virtual desktop is an X window inside the desktop's."""
    display = ":" + (session.folder / "xvfb.display").read_text().strip()
    tree = subprocess.run(["xwininfo", "-display", display, "-root", "-tree"], capture_output=True, text=True,
                          check=True, timeout=30).stdout
    order = []
    for line in tree.splitlines():
        # A named window of more than a pixel: the program's hidden helper windows are 1x1.
        found = re.match(r'\s*0x[0-9a-f]+ "(.*)": \(.*\)\s+(\d+)x(\d+)\+', line)
        if found and found.group(1) in names and (found.group(2), found.group(3)) != ("1", "1"):
            order.append(found.group(1))
    return order


def caption(session, window_class):
    for line in session.driver("windows").splitlines():
        parts = line.split(" ", 4)
        if len(parts) == 5 and parts[2] == "visible" and parts[3] == window_class:
            return parts[4][1:-1]
    raise CheckFailed(f"no visible {window_class}: {session.describe()}")


def check_box_comes_back_above_its_window(session):
    """In a virtual desktop, with the About box or the settings dialog open and another program's window in front,
    the hot key, a click on the tray icon and a second start each bring the box back as the active window, above
    the main window it belongs to, and both above the other program's window."""
    for key, name, data in (("HKCU\\Software\\Wine\\Explorer", "Desktop", "Default"),
                            ("HKCU\\Software\\Wine\\Explorer\\Desktops", "Default", "1024x768")):
        session.prefix.run(["reg", "add", key, "/v", name, "/t", "REG_SZ", "/d", data, "/f"])
    session.start()
    other = session.prefix.spawn(["notepad.exe"])
    try:
        session.wait_window("Notepad")
        for box, command in (("TAboutForm", HELP_ABOUT_COMMAND), ("TSettingsForm", TOOLS_SETTINGS_COMMAND)):
            session.driver("post", "TMainForm", "WM_COMMAND", str(command))
            session.wait_window(box)
            shown = [caption(session, window_class) for window_class in (box, "TMainForm", "Notepad")]
            triggers = (("the hot key", lambda: session.keys("ctrl+shift+e")),
                        ("a tray click", lambda: session.driver("post", "TMainForm", "0x401", "0", "0x201")),
                        ("a second start", lambda: session.prefix.run([PROGRAM])))
            for name, trigger in triggers:
                session.driver("foreground", "Notepad")
                trigger()
                expect(wait_until(lambda: front(session, [])[0] != "Notepad", 30), f"{name} with {box}: nothing came")
                session.idle()
                active, order = front(session, [box, "TMainForm", "Notepad"])
                expect(active == box and order == [box, "TMainForm", "Notepad"],
                       f"{name} with {box}: {active} is active, the order is {order}")
                seen = stacked(session, shown)
                expect(seen == shown, f"{name} with {box}: the screen stacks {seen}")
            session.driver("post", box, "WM_CLOSE")
            session.driver("wait-gone", box, "30000")
    finally:
        other.kill()
    expect(session.close() == 0, "the program did not end cleanly")


def appinfo(versions):
    return ("<AppInfo>\r\n"
            "\t<Applications>\r\n"
            f'\t\t<Quillbox ActualVersions="{versions}" HomePage="http://home.test/%lang%/start/%lang%"'
            ' DownloadPage="http://home.test/download"/>\r\n'
            "\t</Applications>\r\n"
            '\t<AppLangToWebLang DefaultWebLang="xx">\r\n'
            '\t\t<Map AppLang="ENU" WebLang="en"/>\r\n'
            "\t</AppLangToWebLang>\r\n"
            "</AppInfo>\r\n").encode("utf-8")


def check_web_commands(session):
    """The Help menu's commands ask the update server (here a loopback one) and open its addresses in the default
    browser (here a recorder); the update check reports the running version as current."""
    version = session.places()["ProductVersion"]
    server = AppInfoServer(appinfo(f"0.0.1, {version.upper()} "))
    session.env["QUILLBOX_UPDATE_SERVER"] = server.address
    try:
        session.start()
        session.driver("post", "TMainForm", "WM_COMMAND", str(HELP_PROGRAM_PAGE_COMMAND))
        expect(wait_until(lambda: browser_log(session)), f"no browser was started: {session.describe()}")
        expect(browser_log(session)[-1].endswith('"http://home.test/en/start/en"'),
               f"not the localized home page: {browser_log(session)}")
        session.driver("post", "TMainForm", "WM_COMMAND", str(HELP_CHECK_UPDATES_COMMAND))
        session.wait_window("#32770")
        boxes = session.boxes()
        expect(len(boxes) == 1 and any(text == "Excellent! You have the latest version of the program."
                                       for _, _, text in boxes[0][1]), f"not the latest-version box: {boxes}")
        dismiss(session)
        expect(len(browser_log(session)) == 1, f"the update check opened a page: {browser_log(session)}")
        # A newer version on the server: OK goes to the download page.
        server.body = appinfo("9.9.9")
        session.driver("post", "TMainForm", "WM_COMMAND", str(HELP_CHECK_UPDATES_COMMAND))
        session.wait_window("#32770")
        boxes = session.boxes()
        expected = (f"The newer version of the program is available: 9.9.9. You currently use the version: {version}."
                    "\r\n\r\nPress OK to go on the program download page.")
        expect(len(boxes) == 1 and any(text == expected for _, _, text in boxes[0][1]),
               f"not the newer-version box: {boxes}")
        session.driver("press", "#32770", "1")
        expect(wait_until(lambda: len(browser_log(session)) == 2), f"no download page: {browser_log(session)}")
        expect(browser_log(session)[-1].endswith('"http://home.test/download"'),
               f"not the download page: {browser_log(session)}")
        expect(server.requests == [("/appinfo.xml", "AppWeb")] * 3, f"not three requests: {server.requests}")
    finally:
        server.close()
    expect(session.close() == 0, "the program did not end cleanly")


def virtual_desktop(session):
    """The program's windows open in a Wine desktop window of the prefix: with no window manager on the display,
    Wine waits 2 s for each window shown in the X session to be withdrawn when it hides."""
    for key, name, value in (("HKCU\\Software\\Wine\\Explorer", "Desktop", "Default"),
                             ("HKCU\\Software\\Wine\\Explorer\\Desktops", "Default", "1280x800")):
        session.prefix.run(["reg", "add", key, "/v", name, "/t", "REG_SZ", "/d", value, "/f"])


def serves_posted_command(session):
    """The About command posted to the main window opens its box within a second; the box is closed again."""
    session.driver("post", "TMainForm", "WM_COMMAND", str(HELP_ABOUT_COMMAND))
    out = session.driver("wait-window", "TAboutForm", "1000", check=False)
    expect("qbdriver:" not in out, f"a posted command waited over a second: {session.describe()}")
    session.driver("post", "TAboutForm", "WM_CLOSE")
    session.driver("wait-gone", "TAboutForm", "10000")


def check_stalled_update_check(session):
    """An update server that sends its status line and then a header a byte at a time without end: the update check
    reports the time-out at its deadline, a command posted before and after that is served within a second, and
    File > Exit posted during a second such check ends the program within a second, leaving no process."""
    server = TrickleServer()
    session.env["QUILLBOX_UPDATE_SERVER"] = server.address
    virtual_desktop(session)
    try:
        session.start()
        session.driver("post", "TMainForm", "WM_COMMAND", str(HELP_CHECK_UPDATES_COMMAND))
        posted = time.monotonic()
        expect(wait_until(lambda: server.requests == 1, 20), f"the server was not asked: {session.describe()}")
        # Until the report at the download's deadline (6 s, later by the time a box shown meanwhile stays open); the
        # server trickles without end, so a check that missed its deadline would never report.
        while not session.boxes():
            expect(time.monotonic() < posted + HANG, f"no report at the deadline: {session.describe()}")
            serves_posted_command(session)
        boxes = session.boxes()
        expect(len(boxes) == 1 and any(text.startswith(f"Can't open URL: {server.address}appinfo.xml") and
                                       "timed out" in text for _, _, text in boxes[0][1]),
               f"not the time-out's report: {boxes}")
        dismiss(session)
        serves_posted_command(session)
        session.driver("post", "TMainForm", "WM_COMMAND", str(HELP_CHECK_UPDATES_COMMAND))
        expect(wait_until(lambda: server.requests == 2, 20), f"the server was not asked again: {session.describe()}")
        serves_posted_command(session)
        out = session.driver("close-wait", "TMainForm", "1000", str(FILE_EXIT_COMMAND), check=False)
        expect("qbdriver:" not in out, f"Exit did not end the program within a second: {out}{session.describe()}")
        expect(session.wait_exit(10) == 0, "the program did not end cleanly")
    finally:
        server.close()


def answers(session):
    """The program runs and its window's thread has handled what came before."""
    out = session.driver("idle", "TMainForm", check=False)
    return "qbdriver:" not in out and session.process.poll() is None


FRAME_AND_TABLE = document_text([
    '<Chars Value="start"/><Br/>',
    '<LogicFrame><Description><Chars Value="desc"/><Br/></Description><Content><Chars Value="inside"/><Br/></Content>'
    '<Caption><Chars Value="cap"/><Br/></Caption></LogicFrame><Br/>',
    '<Table><Row><Cell><Chars Value="a"/><Br/></Cell><Cell><Chars Value="needle"/><Br/></Cell></Row></Table><Br/>',
    '<Chars Value="end"/><Br/>',
])


def check_find_through_elements(session):
    """The caret walks with Right through a logic frame (its expand button, caption, content and description, where
    typing goes) and with Down past a table; Find, searching up from the end, reaches the word in a table cell and
    selects it, so typing replaces it; the program lives on and the data file holds what was typed."""
    data = session.data_file()
    session.write(data, FRAME_AND_TABLE)
    session.start()
    session.focus()
    # "start" and its line end, the expand button, "cap", "inside": then the caret stands at the start of "desc".
    session.keys("ctrl+home", *["right"] * 19)
    session.keys("right", "right", "right", "right", "t:ription")
    # Right at the description's end leaves the frame; Down goes past the table to the last line's end.
    session.keys("right", "down", "down", "t: typed")
    expect(answers(session), f"the program died on the way: {session.describe()}")
    session.keys("ctrl+f")
    session.wait_window("#32770")
    session.driver("foreground", "#32770")
    session.keys("t:needle", "alt+u", "enter")
    expect(answers(session), f"the program died in the search: {session.describe()}")
    boxes = session.boxes()
    expect(len(boxes) == 1 and boxes[0][0] == "Find", f"not only the find dialog: {boxes}")
    session.keys("esc")
    expect(wait_until(lambda: not session.boxes()), f"the find dialog stays: {session.boxes()}")
    session.focus()
    session.keys("t:found")
    saved = save(session, data)
    for piece in (b'<Chars Value="description"/>', b'<Chars Value="found"/>', b'<Chars Value="end typed"/>',
                  b'<Chars Value="inside"/>', b'<Chars Value="cap"/>'):
        expect(piece in saved, f"{piece!r} is not in the saved file: {saved!r}")
    expect(b"needle" not in saved, f"the found word was not replaced: {saved!r}")
    table = saved[saved.index(b"<Table>"):saved.index(b"</Table>")]
    expect(b'Value="found"' in table, f"the replacement is not in the table: {saved!r}")
    expect(session.close() == 0, "the program did not end cleanly")


def table_document(rows):
    """A line "Shopping", a table of the rows given (lists of cell texts, "" for an empty cell) and a line "end"."""
    lines = ['<Chars Value="Shopping"/><Br/>', '<Table>']
    for row in rows:
        lines.append('\t<Row>')
        for cell in row:
            if cell:
                lines += ['\t\t<Cell>', f'\t\t\t<Chars Value="{cell}"/><Br/>', '\t\t</Cell>']
            else:
                lines.append('\t\t<Cell/>')
        lines.append('\t</Row>')
    lines += ['</Table><Br/>', '<Chars Value="end"/><Br/>']
    return document_text(lines)


def check_arrows_type_across_cells(session):
    """Right from the line before a table enters its first cell; words typed with Right between them fill the cells
    of a row and of the next, as the saved file shows; every letter typed is undone by Ctrl+Z and redone by Ctrl+Y,
    each giving the earlier file back byte for byte."""
    data = session.data_file()
    session.write(data, table_document([[""] * 4, [""] * 4]))
    session.start()
    session.focus()
    empty = save(session, data)
    # The end of "Shopping", the start of the table's line, the first cell.
    session.keys("ctrl+home", "end", "right", "right")
    for index, word in enumerate(["Item", "Qty", "Shop", "Note", "Milk", "2"]):
        session.keys(*(["right"] if index else []), f"t:{word}")
    typed = save(session, data)
    expected = table_document([["Item", "Qty", "Shop", "Note"], ["Milk", "2", "", ""]])
    expect(typed == expected, f"the words did not land in the cells:\n{typed!r}\n{expected!r}")
    # More presses than letters: the history holds nothing older than the typing.
    session.keys(*["ctrl+z"] * 20)
    undone = save(session, data)
    expect(undone == empty, f"undo did not empty the cells:\n{undone!r}\n{empty!r}")
    session.keys(*["ctrl+y"] * 20)
    redone = save(session, data)
    expect(redone == typed, f"redo did not give the typing back:\n{redone!r}\n{typed!r}")
    expect(session.close() == 0, "the program did not end cleanly")


def check_damaged_load_keeps_copies(session):
    """A data file cut in half beside an intact backup: after typing and Ctrl+S the backup is unchanged and the cut
    file is kept, byte for byte, under its kept-copy name beside them."""
    data, folder = session.data_file(), session.data_folder()
    backup, kept = folder + "QuillboxBackup.qbx", folder + "QuillboxDamaged.qbx"
    whole = document_text([f'<Chars Value="paragraph {i}"/><Br/>' for i in range(1, 307)])
    cut = whole[:len(whole) // 2]
    session.write(backup, whole)
    session.write(data, cut)
    session.start()
    session.focus()
    session.keys("ctrl+end", "t:typed after the cut")
    saved = save(session, data)
    expect(b'Value="typed after the cut' in saved, f"the typing is not in the file: {saved!r}")
    backup_now, kept_now = session.read(backup), session.read(kept)
    expect(backup_now == whole, f"the backup changed: {len(whole)} bytes, now {backup_now and len(backup_now)}")
    expect(kept_now == cut, f"the cut file was not kept as it was: {len(cut)} bytes, kept {kept_now and len(kept_now)}")
    expect(session.close() == 0, "the program did not end cleanly")


def check_folder_at_data_file(session):
    """A folder where the data file belongs is reported like an unreadable file: one report naming it, an exit
    before the window shows, and nothing written."""
    data = session.data_file()
    session.prefix.unix(data).mkdir(parents=True)
    session.start(wait_shown=False)
    session.wait_window("#32770")
    boxes = session.boxes()
    expect(len(boxes) == 1 and any(data in text and "not found" not in text for _, _, text in boxes[0][1]),
           f"not one report naming the folder as there but unreadable: {boxes}")
    expect("TMainForm" not in session.driver("windows"), "the main window came")
    dismiss(session)
    expect(session.wait_exit() is not None, "the program did not end")
    folder = session.prefix.unix(session.data_folder())
    expect([p.relative_to(folder).as_posix() for p in folder.rglob("*")] == ["Quillbox.qbx"],
           f"files were written beside or into the folder: {list(folder.rglob('*'))}")
    for path in (session.settings_file(), session.session_file()):
        expect(not session.exists(path), f"{path} was written")


def child_rect(session, window_class, child_class):
    """The screen rectangle (left, top, width, height) of the first visible descendant of child_class."""
    for line in session.driver("children", window_class).splitlines():
        parts = line.split()
        if len(parts) >= 3 and parts[0] == child_class and parts[1] == "visible":
            return tuple(int(n) for n in parts[2].split(","))
    raise CheckFailed(f"no visible {child_class} in {window_class}: {session.describe()}")


def check_data_file_move(session):
    """A data file name two folders deep, typed into the settings dialog: OK writes the document there at once,
    the settings keep the name, and a restart loads it from the new folder."""
    moved = session.data_folder() + "moved\\deeper\\notes.qbx"
    session.start()
    session.focus()
    session.keys("t:moved text")
    session.driver("post", "TMainForm", "WM_COMMAND", str(TOOLS_SETTINGS_COMMAND))
    session.wait_window("TSettingsForm")
    session.idle()
    left, top, width, height = child_rect(session, "TSettingsForm", "TEdit")
    session.driver("click", str(left + width // 2), str(top + height // 2))
    session.keys("end", "shift+home", "del", "t:moved\\deeper\\notes.qbx", "enter")
    session.driver("wait-gone", "TSettingsForm", "10000")
    expect(not session.boxes(), f"a box after OK: {session.boxes()}")
    first = session.read(moved)
    expect(first is not None and b'Value="moved text' in first, f"the document was not written to {moved}: {first!r}")
    expect(session.close() == 0, "the program did not end cleanly")
    settings = session.read(session.settings_file())
    expect(moved.encode("utf-8") in settings, f"the settings lost the new name: {settings!r}")

    restart_shown(session)
    session.focus()
    session.keys("ctrl+end", "t: and more")
    second = save(session, moved)
    expect(b'Value="moved text and more' in second, f"the restart did not load {moved}: {second!r}")
    expect(session.close() == 0, "the program did not end cleanly")


def set_writable(folder, writable):
    """A folder nobody can write into, or writable again: the mode bits, and for root, who writes past them, the
    immutable attribute."""
    if writable and os.geteuid() == 0:
        subprocess.run(["chattr", "-i", str(folder)], check=True)
    folder.chmod(0o755 if writable else 0o555)
    if not writable and os.geteuid() == 0:
        subprocess.run(["chattr", "+i", str(folder)], check=True)


def check_close_save_fails(session):
    """A close whose save fails (the data folder read-only for the moment) writes the session and settings, shows
    one report and keeps the window with its text; once the folder is writable again the close saves and ends."""
    data = session.data_file()
    folder = session.prefix.unix(session.data_folder())
    session.start()
    session.focus()
    session.keys("t:unsaved words")
    session.idle()
    expect(not session.exists(session.session_file()), "the session file was there before the close")
    set_writable(folder, False)
    try:
        session.driver("post", "TMainForm", "WM_CLOSE")
        session.wait_window("#32770")
        boxes = session.boxes()
        expect(len(boxes) == 1, f"not one report: {boxes}")
        state = session.read(session.session_file())
        expect(state is not None and b"<MainForm" in state, f"the session was not written: {state!r}")
        expect(session.exists(session.settings_file()), "the settings were not written")
        dismiss(session)
        session.idle()
        expect(session.driver("style", "TMainForm").startswith("visible"), "the window did not stay")
        expect(session.read(data) is None, "the data file was written into the read-only folder")
    finally:
        set_writable(folder, True)
    expect(session.close() == 0, "the program did not end cleanly")
    saved = session.read(data)
    expect(saved is not None and b'Value="unsaved words' in saved, f"the text was not saved at last: {saved!r}")


# A first line to type into, above rows of comments, signs and frames that a wrap of it moves down.
WRAPPING = document_text(['<Chars Value="Typed here: "/><Br/>'] + [
    line for i in range(12) for line in (
        f'<Chars Value="Line {i}: "/><Comment><Chars Value="Comment {i}"/><Br/></Comment><Star/>',
        f'<LogicFrame><Content><Chars Value="Body {i}"/><Br/></Content><Caption><Chars Value="Frame {i}"/><Br/>'
        '</Caption></LogicFrame><Br/>')])


def screen_pixels(session, box):
    """The screen's pixels (RGB rows) of a box (left, top, width, height)."""
    left, top, width, height = box
    display = ":" + (session.prefix.folder / "xvfb.display").read_text().strip().lstrip(":")
    shot = subprocess.run(["import", "-display", display, "-window", "root", "-crop",
                           f"{width}x{height}+{left}+{top}", "rgb:-"], capture_output=True, check=True).stdout
    return [shot[y * width * 3:(y + 1) * width * 3] for y in range(height)]


def rows_apart(first, second):
    """The rows where two pictures differ by more than the carets they may show, a few pixels wide each."""
    apart = []
    for y, (a, b) in enumerate(zip(first, second)):
        if sum(a[x:x + 3] != b[x:x + 3] for x in range(0, len(a), 3)) > 6:
            apart.append(y)
    return apart


def check_wrapping_scrolls_below(session):
    """Typing into the first line until it wraps onto more rows and back moves the picture of what lies below it:
    after each batch of keys the view shows what a repaint of all of it shows (the view scrolled away and back),
    but for the caret."""
    session.write(session.data_file(), WRAPPING)
    session.start()
    session.focus()
    box = document_sheet(session)
    left, top = box[:2]
    session.keys("ctrl+end", "ctrl+home")
    session.driver("settle", "TMainForm", "120000", timeout=HANG)
    first = screen_pixels(session, box)
    moved = False
    for batch in range(10):
        session.driver("click", str(left + 60), str(top + 12))
        session.keys("t:" + "abcdefghij" * 2)
        session.driver("settle", "TMainForm", "120000", timeout=HANG)
        typed = screen_pixels(session, box)
        session.keys("ctrl+end")
        session.driver("settle", "TMainForm", "120000", timeout=HANG)
        session.keys("ctrl+home")
        session.driver("settle", "TMainForm", "120000", timeout=HANG)
        repainted = screen_pixels(session, box)
        apart = rows_apart(typed, repainted)
        expect(not apart, f"batch {batch}: rows {apart[:10]} of the view differ from a full repaint")
        moved = moved or rows_apart(first[box[3] // 2:], repainted[box[3] // 2:]) != []
    expect(moved, "the typed line never wrapped")
    expect(session.close() == 0, "the program did not end cleanly")


CHECKS = {name[len("check_"):]: f for name, f in globals().items() if name.startswith("check_")}


def main():
    parser = argparse.ArgumentParser()
    for option in ("build", "program", "driver", "browser"):
        parser.add_argument(f"--{option}", required=True)
    parser.add_argument("check", choices=["prepare"] + sorted(CHECKS))
    args = parser.parse_args()
    tools = Tools(args.build, args.program, args.driver, args.browser)
    if args.check == "prepare":
        prepare_template(tools)
        return 0
    session = Session(tools, args.check)
    try:
        CHECKS[args.check](session)
    except CheckFailed as failure:
        print(f"FAILED {args.check}: {failure}")
        return 1
    except Exception:
        traceback.print_exc()
        return 1
    finally:
        session.finish()
    print(f"passed {args.check}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
