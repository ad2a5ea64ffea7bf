#!/usr/bin/env python3
"""Start-up of the real program under Wine + Xvfb, beside Wine's own notepad.exe: time from the process start to
its window painted and answering, the program's own CPU time by then and the peak working set, with an empty
document and with a generated data file of 20,000 elements; then Ctrl+S on that file, and a few starts with 200,000
elements, reported. The median of a few starts each; one run of the tool.

    startup_bench.py --build DIR --program EXE --driver EXE --browser EXE [--runs N] [--huge-runs N]

Floors: the empty start within 1.5x notepad's; the large file within 2.5x the empty start, its CPU within 1.6x the
empty start's, and 150 MB working set. Exit code 1 when a floor is missed.
"""

import argparse
import os
import statistics
import sys
from pathlib import Path

# Nothing written into the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tests" / "blackbox"))
from harness import PROGRAM, CheckFailed, Session, Tools, document_text, prepare_template  # noqa: E402

ELEMENTS = 20000
HUGE_ELEMENTS = 200000


def large_document(elements=ELEMENTS):
    """The elements in the document root: per group of four a comment, a sign, a logic frame with caption and
    content, and a second comment, each after a line of text."""
    signs = ["Star", "Information", "Question", "Important", "Stop", "Ready"]
    lines = []
    for i in range(elements // 4):
        lines.append(f'<Chars Value="Line {i}: "/>')
        lines.append("<Comment>")
        lines.append(f'\t<Chars Value="Comment {i} with a few words of text"/><Br/>')
        lines.append("</Comment>")
        lines.append(f"<{signs[i % len(signs)]}/>")
        lines.append("<LogicFrame>")
        lines.append("\t<Content>")
        lines.append(f'\t\t<Chars Value="Body of frame {i}"/><Br/>')
        lines.append("\t</Content>")
        lines.append("\t<Caption>")
        lines.append(f'\t\t<Chars Value="Frame {i}"/><Br/>')
        lines.append("\t</Caption>")
        lines.append("</LogicFrame>")
        lines.append("<Comment>")
        lines.append(f'\t<Chars Value="Second comment {i}"/><Br/>')
        lines.append("</Comment><Br/>")
    return document_text(lines)


def program_pid(session):
    """The host process of the program started in the session's prefix."""
    prefix = f"WINEPREFIX={session.prefix.folder.resolve() / 'prefix'}".encode()
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            if b"Quillbox.exe" in (entry / "cmdline").read_bytes() and \
                    prefix in (entry / "environ").read_bytes().split(b"\0"):
                return int(entry.name)
        except OSError:
            continue
    raise CheckFailed("the program's host process was not found")


def cpu_ms(pid):
    """User and system time of the host process so far."""
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) * 1000 / os.sysconf("SC_CLK_TCK")


def measure_start(session, window_class, command):
    out = session.driver("start-measure", window_class, *command, timeout=120)
    values = dict(line.split(" ", 1) for line in out.splitlines() if " " in line)
    if "first-paint-ms" not in values:
        raise CheckFailed(f"no start figure for {command}: {out}")
    return float(values["first-paint-ms"]), int(values["peak-working-set"]), float(values["window-ms"])


def start_program(session, data):
    """A first start (no session file, so the window shows) with the data file given or none."""
    for path in (session.session_file(), session.settings_file(), session.data_file()):
        file = session.prefix.unix(path)
        if file.exists():
            file.unlink()
    backup = session.prefix.unix(session.data_folder() + "QuillboxBackup.qbx")
    if backup.exists():
        backup.unlink()
    if data is not None:
        session.write(session.data_file(), data)
    # The program's own CPU once its window is painted and the first idle moments passed.
    return measure_start(session, "TMainForm", [PROGRAM]) + (cpu_ms(program_pid(session)),)


def medians(rounds):
    """Medians of the paint and window times, the largest peak, and the median CPU (when measured) of one kind of
    start."""
    return (statistics.median(r[0] for r in rounds), max(r[1] for r in rounds),
            statistics.median(r[2] for r in rounds), statistics.median(r[-1] for r in rounds))


def main():
    parser = argparse.ArgumentParser()
    for option in ("build", "program", "driver", "browser"):
        parser.add_argument(f"--{option}", required=True)
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--huge-runs", type=int, default=3)
    args = parser.parse_args()
    tools = Tools(args.build, args.program, args.driver, args.browser)
    prepare_template(tools)
    session = Session(tools, "startup_bench")
    large = large_document()

    def close_program():
        session.driver("close-wait", "TMainForm", "60000", timeout=90)

    try:
        # A start of each first: Wine's own start-up files are then in the page cache for all of them alike.
        measure_start(session, "Notepad", ["notepad.exe"])
        session.driver("close-wait", "Notepad")
        start_program(session, None)
        close_program()

        # Round by round, so that the three kinds of start meet the machine in the same state: its load drifts.
        rounds = {"notepad": [], "empty": [], "big": []}
        for _ in range(args.runs):
            rounds["notepad"].append(measure_start(session, "Notepad", ["notepad.exe"]))
            session.driver("close-wait", "Notepad")
            rounds["empty"].append(start_program(session, None))
            close_program()
            rounds["big"].append(start_program(session, large))
            close_program()
        notepad, empty, big = (medians(rounds[kind]) for kind in ("notepad", "empty", "big"))

        start_program(session, large)
        saves = []
        for _ in range(args.runs):
            out = session.driver("save-measure", "TMainForm", session.data_file(), timeout=120)
            saves.append(float(out.split()[-1]))
        peak_after_save = int(session.driver("peak", "TMainForm").strip())
        close_program()
        # Written back byte for byte: every element was loaded, none was left out.
        round_trip = session.read(session.data_file()) == large

        huge_document = large_document(HUGE_ELEMENTS)
        huge = []
        for _ in range(args.huge_runs):
            huge.append(start_program(session, huge_document))
            close_program()
    finally:
        session.finish()

    mb = 1024 * 1024
    print(f"startup_bench: median of {args.runs} starts each (first paint, peak working set; the main window made)")
    print(f"  notepad.exe              {notepad[0]:8.1f} ms  {notepad[1] / mb:7.1f} MB   (window {notepad[2]:.1f} ms)")
    print(f"  Quillbox, empty          {empty[0]:8.1f} ms  {empty[1] / mb:7.1f} MB   (window {empty[2]:.1f} ms; "
          f"{empty[0] / notepad[0]:.2f}x notepad; CPU {empty[3]:.0f} ms)")
    print(f"  Quillbox, {ELEMENTS} elements {big[0]:8.1f} ms  {big[1] / mb:7.1f} MB   (window {big[2]:.1f} ms; "
          f"{big[0] / empty[0]:.2f}x empty; CPU {big[3]:.0f} ms, {big[3] / empty[3]:.2f}x empty)")
    print(f"  Ctrl+S, {ELEMENTS} elements   {statistics.median(saves):8.1f} ms  "
          f"(file {len(large) / 1024:.0f} KB; peak working set after the saves {peak_after_save / mb:.1f} MB)")
    print(f"  the saved file {'equals' if round_trip else 'differs from'} the generated one")
    if huge:
        times = sorted(r[0] for r in huge)
        print(f"  Quillbox, {HUGE_ELEMENTS} elements {statistics.median(times):8.1f} ms  "
              f"{max(r[1] for r in huge) / mb:7.1f} MB   (median of {len(huge)}: {times[0]:.1f}-{times[-1]:.1f} ms; "
              f"file {len(huge_document) / 1024:.0f} KB)")
    # Each round's own ratio, its starts having met the machine in the same state: the spread shows the load.
    ratios = sorted(e[0] / n[0] for n, e in zip(rounds["notepad"], rounds["empty"]))
    print(f"  empty / notepad by round: median {statistics.median(ratios):.2f}x, {ratios[0]:.2f}x-{ratios[-1]:.2f}x")
    failed = []
    if empty[0] > 1.5 * notepad[0]:
        failed.append("the empty start is above 1.5x notepad's")
    if big[0] > 2.5 * empty[0]:
        failed.append("the large file's start is above 2.5x the empty start")
    if big[3] > 1.6 * empty[3]:
        failed.append("the large file's start takes above 1.6x the empty start's CPU")
    if max(big[1], peak_after_save) > 150 * mb:
        failed.append("the large file's working set is above 150 MB")
    for line in failed:
        print(f"  floor missed: {line}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
