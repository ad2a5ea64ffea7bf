#!/usr/bin/env python3
"""The string tables against each other and against the code.

Reads every app/resources/strings*.rc (one LANGUAGE block per interface language; strings.rc is English) and the
string identifiers the sources declare ("IdName = 1234", the one shape reserved for them), and fails when
- an identifier the code declares has no English text, or a call passes a bare number instead of a named one;
- a script is not UTF-8 with one LANGUAGE block of an interface language, or is missing from
  QB_PROGRAM_RESOURCES;
- a language whose script exists lacks an identifier English has, or has one English lacks (the deliberate
  English fallbacks below excepted), or 2011 is not the language's own name, or 4000 is not "Quillbox";
- a text is empty, or differs from English in its placeholders, its CR LF count or the hot key it names;
- an English fallback written in the code differs from the English table;
- two items of one menu or dialog page share an accelerator letter in a language.

Usage: check_strings.py ROOT   |   check_strings.py --self-test
"""

import os
import re
import sys
import tempfile

ENGLISH = 1033

# The interface languages: identifier, abbreviation, own name (string 2011).
LANGUAGES = {
    1031: ("DEU", "Deutsch"),
    1033: ("ENU", "English"),
    1034: ("ESP", "Español"),
    1036: ("FRA", "Français"),
    1040: ("ITA", "Italiano"),
    1041: ("JPN", "日本語"),
    1043: ("NLD", "Nederlands"),
    1045: ("PLK", "Polski"),
    1046: ("PTB", "Português (Brasil)"),
    1049: ("RUS", "Русский"),
    2052: ("CHS", "简体中文"),
}

# Identifiers that exist only in these languages; the others show the English text through the fallback.
ONLY_IN = {}
ONLY_IN.update({i: {1033, 1049} for i in range(2405, 2411)})  # the text element's Format items
ONLY_IN.update({i: {1033} for i in range(65284, 65287)})  # the transfer routines' programming errors

# Menus and dialog pages whose items must not share an accelerator letter. Identifiers a language lacks are
# skipped, so a group may name items that are still to come.
DIALOG_BUTTONS = [2012, 2013, 2015]
ACCELERATOR_GROUPS = [
    ("menu bar", [2023, 2035, 2045, 2043, 2048, 4006]),
    ("File menu", [4004, 4005, 2032, 2033, 2034]),
    ("Edit menu", [2036, 2037, 2038, 2039, 2940, 2040, 2041, 2042, 2941, 2942, 2943]),
    ("Service menu", [2046]),
    ("View menu", [2947, 2948]),
    ("Help menu", [2049, 2050, 2051, 2052, 2053, 2054, 2058]),
    ("settings, General page", DIALOG_BUTTONS + [4162, 4168, 4160, 4163, 4164, 4165, 4166, 4167]),
    ("settings, Palette page", DIALOG_BUTTONS + [4171, 4172, 4173]),
    ("settings, Editor page", DIALOG_BUTTONS + [4176, 4178, 4177, 4180, 4181, 4182, 4183, 4184]),
    ("settings, Sounds page", DIALOG_BUTTONS + [4201]),
    ("settings, Print page", DIALOG_BUTTONS + [4176, 4178, 4177, 4203]),
]

PLACEHOLDER = re.compile(r"%(?:\d+|s|d)")
HOT_KEY = "Ctrl+Shift+E"
SOURCE_DIRS = ("foundation", "framework", "graphics", "document", "controls", "app")
LOCALIZED_CALLS = ("GetLocStr", "FormatLocStr", "FormatLocStrOr", "LoadStringForLanguage")

DECLARATION = re.compile(r"\b(Id[A-Z]\w*)\s*=\s*(\d+)\b")
BARE_CALL = re.compile(r"\b(%s)\(\s*(\d+)\s*[,)]" % "|".join(LOCALIZED_CALLS))
CXX_LITERALS = r"((?:u\"(?:[^\"\\\n]|\\.)*\"\s*)+)"
FALLBACK_CALL = re.compile(r"\bFormatLocStrOr\(\s*(Id\w+)\s*,\s*" + CXX_LITERALS)
FALLBACK_CASE = re.compile(r"\bcase\s+(Id\w+)\s*:\s*return\s+" + CXX_LITERALS + r"\s*;")
LANGUAGE_LINE = re.compile(r"^\s*LANGUAGE\s+(0x[0-9A-Fa-f]+|\d+)\s*,\s*(0x[0-9A-Fa-f]+|\d+)\s*$")
STRING_LINE = re.compile(r"^\s*(\d+)\s*,\s*\"((?:[^\"]|\"\")*)\"\s*$")

CXX_ESCAPES = {"n": "\n", "r": "\r", "t": "\t", "\\": "\\", "\"": "\"", "'": "'", "0": "\0"}
RC_ESCAPES = {"n": "\n", "r": "\r", "t": "\t", "\\": "\\"}


def decode_cxx(literals):
    text = []
    for body in re.findall(r"u\"((?:[^\"\\\n]|\\.)*)\"", literals):
        i = 0
        while i < len(body):
            c = body[i]
            if c == "\\":
                e = body[i + 1]
                if e == "u":
                    text.append(chr(int(body[i + 2:i + 6], 16)))
                    i += 6
                    continue
                text.append(CXX_ESCAPES.get(e, e))
                i += 2
                continue
            text.append(c)
            i += 1
    return "".join(text)


def decode_rc(body):
    text = []
    i = 0
    while i < len(body):
        c = body[i]
        if c == "\"":  # a doubled quote, the only form STRING_LINE lets through
            text.append("\"")
            i += 2
        elif c == "\\" and i + 1 < len(body):
            text.append(RC_ESCAPES.get(body[i + 1], body[i + 1]))
            i += 2
        else:
            text.append(c)
            i += 1
    return "".join(text)


def read_script(name, lines, tables, scripts, errors):
    if not lines or lines[0].strip() != "#pragma code_page(65001)":
        errors.append("[script] %s: must begin with #pragma code_page(65001)" % name)
    language, in_table = None, False
    for number, line in enumerate(lines, 1):
        where = "%s:%d" % (name, number)
        m = LANGUAGE_LINE.match(line)
        if m:
            if language is not None:
                errors.append("[script] %s: a second LANGUAGE block; each language has a script of its own" % where)
                return
            language = int(m.group(2), 0) << 10 | int(m.group(1), 0)
            if language not in LANGUAGES:
                errors.append("[unknown-language] %s: 0x%04X is not an interface language" % (where, language))
            elif language in scripts:
                errors.append("[unknown-language] %s: 0x%04X has a table in %s already"
                              % (where, language, scripts[language]))
            scripts[language] = name
            tables.setdefault(language, {})
            continue
        stripped = line.strip()
        if stripped == "STRINGTABLE":
            in_table = True
        elif stripped == "END":
            in_table = False
        elif in_table and stripped not in ("BEGIN", "") and not stripped.startswith("//"):
            m = STRING_LINE.match(line)
            if not m or language is None:
                errors.append("[unreadable] %s: not one string on one line" % where)
                continue
            ident = int(m.group(1))
            if ident in tables[language]:
                errors.append("[duplicate] %s: %d twice" % (where, ident))
            tables[language][ident] = decode_rc(m.group(2))


def read_scripts(resources, errors):
    """{language: {id: text}} and {language: script name} from every strings*.rc."""
    tables, scripts = {}, {}
    for name in sorted(os.listdir(resources)):
        if name.startswith("strings") and name.endswith(".rc"):
            try:
                with open(os.path.join(resources, name), encoding="utf-8") as f:
                    lines = f.readlines()
            except UnicodeDecodeError as e:
                errors.append("[script] %s: not UTF-8 (%s)" % (name, e.reason))
                continue
            read_script(name, lines, tables, scripts, errors)
    return tables, scripts


def source_files(root):
    for top in SOURCE_DIRS:
        for folder, _, names in os.walk(os.path.join(root, top)):
            for name in sorted(names):
                if name.endswith((".h", ".cpp")):
                    yield os.path.join(folder, name)


def read_sources(root, errors):
    """The declared identifiers {name: {value: [files]}}, and the fallbacks [(file, name, english)]."""
    declared, fallbacks = {}, []
    for path in source_files(root):
        with open(path, encoding="utf-8") as f:
            text = f.read()
        rel = os.path.relpath(path, root)
        for name, value in DECLARATION.findall(text):
            declared.setdefault(name, {}).setdefault(int(value), []).append(rel)
        for m in BARE_CALL.finditer(text):
            line = text.count("\n", 0, m.start()) + 1
            errors.append("[bare-number] %s:%d: %s(%s, ...) names no identifier" % (rel, line, m.group(1), m.group(2)))
        for pattern in (FALLBACK_CALL, FALLBACK_CASE):
            for m in pattern.finditer(text):
                fallbacks.append((rel, text.count("\n", 0, m.start()) + 1, m.group(1), decode_cxx(m.group(2))))
    return declared, fallbacks


def value_of(name, rel, declared):
    """The value a name has in a file: its own declaration first, else the one value the tree gives it."""
    values = declared.get(name, {})
    own = [v for v, files in values.items() if rel in files]
    if len(own) == 1:
        return own[0]
    return next(iter(values)) if len(values) == 1 else None


def accelerator(text):
    i = 0
    while i < len(text) - 1:
        if text[i] == "&":
            if text[i + 1] != "&":
                return text[i + 1].lower()
            i += 1
        i += 1
    return None


def check(root):
    errors = []
    resources = os.path.join(root, "app", "resources")
    tables, scripts = read_scripts(resources, errors)
    english = tables.get(ENGLISH)
    if not english:
        return errors + ["[missing-english] strings.rc holds no English table"]

    with open(os.path.join(root, "app", "CMakeLists.txt"), encoding="utf-8") as f:
        cmake = f.read()
    listed = re.search(r"set\(QB_PROGRAM_RESOURCES(.*?)\)", cmake, re.S)
    for name in sorted(set(scripts.values())):
        if not listed or "resources/" + name not in listed.group(1):
            errors.append("[not-linked] %s is not in QB_PROGRAM_RESOURCES" % name)

    declared, fallbacks = read_sources(root, errors)
    for name, values in sorted(declared.items()):
        for value, files in sorted(values.items()):
            if value not in english:
                errors.append("[missing-english] %s = %d (%s) has no English text" % (name, value, files[0]))

    for rel, line, name, text in fallbacks:
        value = value_of(name, rel, declared)
        if value is None:
            errors.append("[fallback] %s:%d: %s is not one declared identifier" % (rel, line, name))
        elif value in english and english[value] != text:
            errors.append("[fallback] %s:%d: %s (%d) falls back to %r, the table says %r"
                          % (rel, line, name, value, text, english[value]))

    for language, table in sorted(tables.items()):
        script = scripts[language]
        for ident, text in sorted(table.items()):
            if not text:
                errors.append("[empty] %s: %d is empty" % (script, ident))
        if language != ENGLISH and language in LANGUAGES:
            expected = {i for i in english if language in ONLY_IN.get(i, {language})}
            expected |= {i for i, holders in ONLY_IN.items() if language in holders}
            for ident in sorted(expected - table.keys()):
                errors.append("[missing] %s: lacks %d" % (script, ident))
            for ident in sorted(table.keys() - expected):
                errors.append("[extra] %s: holds %d, which it must not" % (script, ident))
            for ident in sorted(expected & table.keys() & english.keys()):
                mine, theirs = table[ident], english[ident]
                if sorted(PLACEHOLDER.findall(mine)) != sorted(PLACEHOLDER.findall(theirs)):
                    errors.append("[placeholders] %s: %d has %s, English %s"
                                  % (script, ident, PLACEHOLDER.findall(mine), PLACEHOLDER.findall(theirs)))
                if mine.count("\r\n") != theirs.count("\r\n"):
                    errors.append("[line-breaks] %s: %d has %d CR LF, English %d"
                                  % (script, ident, mine.count("\r\n"), theirs.count("\r\n")))
                if mine.count(HOT_KEY) != theirs.count(HOT_KEY):
                    errors.append("[hot-key] %s: %d must name %s as English does" % (script, ident, HOT_KEY))
        if language in LANGUAGES and table.get(2011) != LANGUAGES[language][1]:
            errors.append("[own-name] %s: 2011 must be %r" % (script, LANGUAGES[language][1]))
        if table.get(4000, "Quillbox") != "Quillbox":
            errors.append("[own-name] %s: 4000 must be 'Quillbox'" % script)
        for group, idents in ACCELERATOR_GROUPS:
            seen = {}
            for ident in idents:
                key = accelerator(table.get(ident, ""))
                if key and key in seen and seen[key] != ident:
                    errors.append("[accelerator] %s, %s: %d and %d share '&%s'" % (script, group, seen[key], ident, key))
                seen.setdefault(key, ident)
    return errors


# ---------------------------------------------------------------------------------------------------------------
# Self-test: a small tree that passes, then one planted fault of each kind, each caught as exactly its kind.

BASE = {
    "app/CMakeLists.txt": "set(QB_PROGRAM_RESOURCES\n  ${D}/resources/strings.rc\n  ${D}/resources/strings-de.rc\n"
                          "  CACHE INTERNAL \"\")\n",
    "app/resources/strings.rc": "#pragma code_page(65001)\nLANGUAGE 0x09, 0x01\nSTRINGTABLE\nBEGIN\n"
                                "  2011, \"English\"\n  2023, \"&File\"\n  2035, \"&Edit\"\n"
                                "  2066, \"File not found: %1\"\n  2405, \"Bold\"\n  4000, \"Quillbox\"\n"
                                "  4165, \"Show by Ctrl+Shift+E\"\n  4169, \"One.\\r\\nTwo \"\"%s\"\".\"\nEND\n",
    "app/resources/strings-de.rc": "#pragma code_page(65001)\nLANGUAGE 0x07, 0x01\nSTRINGTABLE\nBEGIN\n"
                                   "  2011, \"Deutsch\"\n  2023, \"&Datei\"\n  2035, \"&Bearbeiten\"\n"
                                   "  2066, \"Datei nicht gefunden: %1\"\n  4000, \"Quillbox\"\n"
                                   "  4165, \"Mit Ctrl+Shift+E anzeigen\"\n  4169, \"Eins.\\r\\nZwei „%s“.\"\nEND\n",
    "foundation/cuFiles.cpp": "constexpr int IdFileNotFound = 2066;  // \"File not found: %1\"\n"
                              "void RaiseFileNotFound(const std::u16string& A) {\n"
                              "  throw EFileError(FormatLocStrOr(IdFileNotFound, u\"File not \"\n"
                              "                                 u\"found: %1\", {A}), 2);\n}\n",
    "app/unit.cpp": "enum : int {\n  IdFileMenu = 2023,\n  IdEditMenu = 2035,\n};\n"
                    "std::u16string_view EnglishText(int A) {\n  switch (A) {\n"
                    "    case IdEditMenu: return u\"&Edit\";\n    default: return {};\n  }\n}\n",
}


def replace(path, old, new):
    def plant(files):
        assert old in files[path], (path, old)
        files[path] = files[path].replace(old, new, 1)
    return plant


PLANTED = [
    ("missing-english", replace("app/unit.cpp", "IdEditMenu = 2035,", "IdEditMenu = 2035,\n  IdViewMenu = 2043,")),
    ("bare-number", replace("app/unit.cpp", "default: return {};", "default: return Localization->GetLocStr(2023);")),
    ("missing", replace("app/resources/strings-de.rc", "  2035, \"&Bearbeiten\"\n", "")),
    ("extra", replace("app/resources/strings-de.rc", "  4000,", "  2099, \"Zusatz\"\n  4000,")),
    ("extra", replace("app/resources/strings-de.rc", "  4000,", "  2405, \"Fett\"\n  4000,")),
    ("empty", replace("app/resources/strings-de.rc", "\"&Bearbeiten\"", "\"\"")),
    ("placeholders", replace("app/resources/strings-de.rc", "gefunden: %1", "gefunden: %2")),
    ("placeholders", replace("app/resources/strings-de.rc", "Zwei „%s“", "Zwei")),
    ("line-breaks", replace("app/resources/strings-de.rc", "Eins.\\r\\nZwei", "Eins. Zwei")),
    ("hot-key", replace("app/resources/strings-de.rc", "Mit Ctrl+Shift+E", "Mit Strg+Umschalt+E")),
    ("fallback", replace("foundation/cuFiles.cpp", "u\"found: %1\"", "u\"found: %2\"")),
    ("fallback", replace("app/unit.cpp", "return u\"&Edit\"", "return u\"Edit\"")),
    ("accelerator", replace("app/resources/strings-de.rc", "&Bearbeiten", "&dokument")),
    ("accelerator", replace("app/resources/strings.rc", "\"&File\"", "\"&Edit file\"")),
    ("not-linked", replace("app/CMakeLists.txt", "  ${D}/resources/strings-de.rc\n", "")),
    ("own-name", replace("app/resources/strings-de.rc", "\"Deutsch\"", "\"German\"")),
    ("script", replace("app/resources/strings-de.rc", "#pragma code_page(65001)\n", "")),
    ("script", replace("app/resources/strings-de.rc", "END\n", "END\nLANGUAGE 0x19, 0x01\n")),
    ("duplicate", replace("app/resources/strings-de.rc", "  4000,", "  2066, \"Datei fehlt: %1\"\n  4000,")),
    ("unknown-language", replace("app/resources/strings-de.rc", "LANGUAGE 0x07, 0x01", "LANGUAGE 0x07, 0x03")),
    ("unreadable", replace("app/resources/strings-de.rc", "  4000,", "  2050 \"Ohne Komma\"\n  4000,")),
]


def run_case(plant):
    files = dict(BASE)
    if plant:
        plant(files)
    with tempfile.TemporaryDirectory() as root:
        for rel, text in files.items():
            path = os.path.join(root, rel)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)
        return check(root)


def self_test():
    failures = []
    clean = run_case(None)
    if clean:
        failures.append("the clean tree reports: %s" % clean)
    for kind, plant in PLANTED:
        errors = run_case(plant)
        kinds = {e[1:e.index("]")] for e in errors}
        if kinds != {kind}:
            failures.append("planted %s, reported %s" % (kind, errors or "nothing"))
    for failure in failures:
        print(failure)
    print("%d planted faults, %d not caught as their kind" % (len(PLANTED), len(failures)))
    return 1 if failures else 0


def main():
    if sys.argv[1:] == ["--self-test"]:
        return self_test()
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    errors = check(sys.argv[1])
    for e in errors:
        print(e)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
