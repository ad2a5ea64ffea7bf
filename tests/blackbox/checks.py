#!/usr/bin/env python3
"""Black-box checks of the real program under Wine: one check a run, named on the command line.

    checks.py --build DIR --program EXE --driver EXE --browser EXE prepare|CHECK
"""

import argparse
import os
import subprocess
import sys
import time
import traceback

# Nothing written into the source tree.
sys.dont_write_bytecode = True
from harness import (PRINTER, PRINTER_PORT, AppInfoServer, CheckFailed, Session, Tools,  # noqa: E402
                     browser_log, document_text, expect, prepare_template, wait_until)

# The main window's fixed WM_COMMAND ids.
TOOLS_SETTINGS_COMMAND = 0x0300
HELP_CHECK_UPDATES_COMMAND = 0x0501
HELP_PROGRAM_PAGE_COMMAND = 0x0502
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


def saved_bytes(session, path, before, timeout=15):
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
    expect(wait_until(lambda: not session.boxes(), 10), f"the box stays: {box}")


# -- the editor ----------------------------------------------------------------------------------------------------

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
    # The run is posted: a moment for it before the save.
    time.sleep(0.5)
    saved = save(session, data)
    expect(b"<LogicFrame" in saved, f"no logic frame in the saved file: {saved!r}")
    expect(b'Value="Frame here: ' in saved, f"the text before it is missing: {saved!r}")
    expect(saved.index(b'Value="Frame here: ') < saved.index(b"<LogicFrame"),
           f"the frame is not at the caret: {saved!r}")
    expect(b'<Chars Value="Frame here: "/>' in saved, f"the shortcut's letter reached the text: {saved!r}")
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
    session.start(wait_shown=False)
    session.wait_hidden_main()
    session.driver("post", "TMainForm", "0x402")
    session.wait_window()
    session.idle()
    expect(visible_sheets(session) == 2, f"the log pane is not shown: {session.children()}")
    session.focus()
    saved = save(session, data)
    expect(saved == UNKNOWN, f"the unknown element was not written back unchanged:\n{saved!r}\n{UNKNOWN!r}")
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

    session.start(wait_shown=False)
    session.wait_hidden_main()
    session.driver("post", "TMainForm", "0x402")
    session.wait_window()
    session.focus()
    session.keys("ctrl+end", "t:beta")
    second = save(session, name)
    expect(b"alpha" in second and b"beta" in second, f"the restart did not load {name}: {second!r}")
    expect(session.close() == 0, "the program did not end cleanly")
    settings = session.read(session.settings_file())
    expect(name.encode("utf-8") in settings or settings == settings_before,
           f"the settings lost the data file's name: {settings!r}")


def check_locked_data_file(session):
    """A data file locked at start gives a report and an exit, and no file is written."""
    data = session.data_file()
    session.write(data, KNOWN)
    holder = session.driver_spawn("hold", data, str(session.prefix.unix("C:\\release")), "60000")
    try:
        expect(wait_until(lambda: b"held" in (session.folder / "driver.log").read_bytes()
                          if (session.folder / "driver.log").exists() else False, 20), "the file was not locked")
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
    holder = session.driver_spawn("hold", data, str(session.prefix.unix("C:\\release")), "90000")
    try:
        expect(wait_until(lambda: (session.folder / "driver.log").exists()
                          and b"held" in (session.folder / "driver.log").read_bytes(), 20), "the file was not locked")
        session.keys("t:typed ")
        # The auto-save runs 10 s after the change; two more intervals must not bring a second box.
        session.wait_window("#32770", timeout=20)
        time.sleep(21)
        boxes = session.boxes()
        expect(len(boxes) == 1, f"not exactly one report: {boxes}")
        expect(session.read(data) == KNOWN, "the locked file changed")
    finally:
        session.write("C:\\release", b"")
        holder.wait(timeout=30)
    before = stamp(session, data)
    dismiss(session)
    saved = saved_bytes(session, data, before, timeout=25)
    expect(b'Value="typed ' in saved, f"the freed file did not get the change: {saved!r}")
    expect(len(session.boxes()) == 0, f"another report came: {session.boxes()}")
    expect(session.close() == 0, "the program did not end cleanly")


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

    session.start(wait_shown=False)
    session.wait_hidden_main()
    session.driver("post", "TMainForm", "0x402")
    session.wait_window()
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
    expect(wait_until(lambda: out.exists() and b"%%EOF" in out.read_bytes(), 30),
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
        expect(wait_until(lambda: ("topmost" in session.driver("style", "TMainForm")) == on_top, 10),
               f"the window is not {'on top' if on_top else 'back to normal'}")
        expect(session.driver("probe", "hotkey", "").strip() == "held", "the hot key was lost")
        session.focus()
        session.keys("esc")
        expect(wait_until(lambda: session.driver("style", "TMainForm").startswith("hidden"), 10), "Esc did not hide")
        session.keys("ctrl+shift+e")
        expect(wait_until(lambda: session.driver("style", "TMainForm").startswith("visible"), 10),
               "the hot key did not bring the window back")
    expect(session.close() == 0, "the program did not end cleanly")
    for kind, name in (("atom", "QuillboxHotKey"), ("hotkey", "")):
        expect(session.driver("probe", kind, name).strip() == "free", f"{kind} {name} is still held after the end")


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
        expect(wait_until(lambda: browser_log(session), 20), f"no browser was started: {session.describe()}")
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
        expect(wait_until(lambda: len(browser_log(session)) == 2, 20), f"no download page: {browser_log(session)}")
        expect(browser_log(session)[-1].endswith('"http://home.test/download"'),
               f"not the download page: {browser_log(session)}")
        expect(server.requests == [("/appinfo.xml", "AppWeb")] * 3, f"not three requests: {server.requests}")
    finally:
        server.close()
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
