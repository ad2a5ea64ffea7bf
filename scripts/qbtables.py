"""The shared end of the Unicode table generators: write the derived table, or with --check compare it with the
committed one."""

import sys
import unicodedata


def run(output, text):
    if "--check" in sys.argv[1:]:
        with open(output, encoding="utf-8") as f:
            committed = f.read()
        if committed != text:
            first = committed.splitlines()[0] if committed else ""
            raise SystemExit("%s differs from what this Python derives (committed: %s; this Python: Unicode %s)"
                             % (output, first, unicodedata.unidata_version))
        return
    with open(output, "w", encoding="utf-8") as f:
        f.write(text)
