#!/usr/bin/env python3
"""The real program under Wine + Xvfb used as a person would: started on startup_bench's generated data file of 0,
20,000 and 200,000 elements, a click into the text, keys typed, the pointer moved over the text and left resting
there. Its own CPU time (user and system, read from the host's process table) per key, per pointer move and per
second at rest, each size beside the empty document; the sizes take turns round by round, and each figure is the
median of the rounds.

    interaction_bench.py --build DIR --program EXE --driver EXE --browser EXE [--rounds N] [--keys N] [--rest S]

Floors: a key at 200,000 elements within 1.5x the empty document's, at 20,000 within 1.2x; a second at rest at
200,000 elements within 2x the empty document's. Exit code 1 when a floor is missed.
"""

import argparse
import os
import statistics
import sys
import time
from pathlib import Path

# Nothing written into the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tests" / "blackbox"))
sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "startup_bench"))
from harness import CheckFailed, Session, Tools, prepare_template  # noqa: E402
from startup_bench import cpu_ms, large_document, program_pid, start_program  # noqa: E402

SIZES = (0, 20000, 200000)
MOVES = 40


def text_area(session):
    """The screen rectangle (left, top, width, height) of the document's sheet: the topmost visible range box."""
    boxes = []
    for line in session.driver("children", "TMainForm").splitlines():
        parts = line.split()
        if len(parts) >= 3 and parts[0] == "TRangeBox" and parts[1] == "visible":
            boxes.append(tuple(int(n) for n in parts[2].split(",")))
    if not boxes:
        raise CheckFailed(f"no visible sheet: {session.describe()}")
    return min(boxes, key=lambda box: box[1])


def settle(session):
    session.driver("settle", "TMainForm", "120000", timeout=150)


def measure(session, data, keys, rest):
    """One start on DATA: CPU ms per key, per pointer move and per second at rest."""
    start_program(session, data)
    try:
        pid = program_pid(session)
        session.focus()
        left, top, width, height = text_area(session)
        # Into the first line of the text, near its start; the pointer then stays over the text.
        x, y = left + 60, top + 12
        session.driver("click", str(x), str(y))
        settle(session)
        before = cpu_ms(pid)
        session.keys("t:" + "abcdefghij" * (keys // 10))
        settle(session)
        per_key = (cpu_ms(pid) - before) / keys
        # Saved now, so that the save the keys owe falls in no later figure: the moves and the rest measure those
        # alone.
        session.keys("ctrl+s")
        settle(session)
        before = cpu_ms(pid)
        for i in range(MOVES):
            session.driver("move", str(x + 40 + 8 * (i % 20)), str(y + 60 + 4 * (i % 10)))
        settle(session)
        per_move = (cpu_ms(pid) - before) / MOVES
        # The rest: the pointer still over the text, nothing happening for REST seconds.
        before, clock = cpu_ms(pid), time.monotonic()
        time.sleep(rest)
        per_second = (cpu_ms(pid) - before) / (time.monotonic() - clock)
    finally:
        session.driver("close-wait", "TMainForm", "120000", timeout=150)
    return per_key, per_move, per_second


def load():
    return os.getloadavg()[0]


def main():
    parser = argparse.ArgumentParser()
    for option in ("build", "program", "driver", "browser"):
        parser.add_argument(f"--{option}", required=True)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--keys", type=int, default=100)
    parser.add_argument("--rest", type=float, default=5.0)
    parser.add_argument("--sizes", type=int, nargs="*", default=list(SIZES))
    args = parser.parse_args()
    tools = Tools(args.build, args.program, args.driver, args.browser)
    prepare_template(tools)
    session = Session(tools, "interaction_bench")
    documents = {size: large_document(size) for size in args.sizes}
    results = {size: [] for size in args.sizes}
    loads = [load()]
    try:
        # The sizes take turns, so that each meets the machine's drifting load alike.
        for _ in range(args.rounds):
            for size in args.sizes:
                results[size].append(measure(session, documents[size], args.keys, args.rest))
            loads.append(load())
    finally:
        session.finish()

    print(f"interaction_bench: the program's own CPU, median of {args.rounds} rounds "
          f"({args.keys} keys, {MOVES} pointer moves, {args.rest:.0f} s at rest; "
          f"load {min(loads):.1f}-{max(loads):.1f})")
    medians = {size: [statistics.median(r[i] for r in results[size]) for i in range(3)] for size in args.sizes}
    empty = medians.get(0)
    for size in args.sizes:
        key, move, second = medians[size]
        line = f"  {size:7d} elements  {key:7.2f} ms a key  {move:7.2f} ms a move  {second:7.1f} ms a second at rest"
        if empty and size:
            line += f"   ({key / empty[0]:.2f}x, {move / empty[1]:.2f}x, {second / empty[2]:.2f}x empty)"
        print(line)
    failed = []
    if empty:
        floors = {200000: (1.5, 2.0), 20000: (1.2, None)}
        for size, (key_floor, rest_floor) in floors.items():
            if size not in medians:
                continue
            if medians[size][0] > key_floor * empty[0]:
                failed.append(f"a key at {size} elements is above {key_floor}x the empty document's")
            if rest_floor and medians[size][2] > rest_floor * empty[2]:
                failed.append(f"a second at rest at {size} elements is above {rest_floor}x the empty document's")
    for line in failed:
        print(f"  floor missed: {line}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
