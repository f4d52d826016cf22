#!/usr/bin/env python3
"""Checks every module's include lines against the module table of docs/ARCHITECTURE.md.

A module may include its own headers and those of the modules its row allows; an include of
any other module's header fails the check, and so does a source folder the table does not name.
Usage: check_module_dependencies.py SOURCE_DIR
"""
import pathlib
import re
import sys

TABLE_ROW = re.compile(r"^\|\s*`(\w+)/`\s*\|[^|]*\|([^|]*)\|\s*$")
FOLDER = re.compile(r"`(\w+)/`")
INCLUDE = re.compile(r'^\s*#\s*include\s+"(\w+)/[^"]*"', re.MULTILINE)
SOURCE_SUFFIXES = {".h", ".cpp", ".in", ".rc"}
EVERY_MODULE = "every module"


def read_table(document):
    """module -> set of modules it may use, or None for "every module"."""
    table = {}
    for line in document.read_text(encoding="utf-8").splitlines():
        row = TABLE_ROW.match(line)
        if row:
            module, may_use = row.group(1), row.group(2)
            table[module] = None if EVERY_MODULE in may_use else set(FOLDER.findall(may_use))
    return table


def sources(folder):
    return sorted(p for p in folder.rglob("*") if p.is_file() and p.suffix in SOURCE_SUFFIXES)


def main():
    root = pathlib.Path(sys.argv[1])
    table = read_table(root / "docs" / "ARCHITECTURE.md")
    problems = []
    if len(table) < 2:
        problems.append("docs/ARCHITECTURE.md: no module table found")
    for folder in sorted(p for p in root.iterdir() if p.is_dir() and not p.name.startswith(".")):
        if folder.name == "build" or not sources(folder):
            continue
        if folder.name not in table:
            problems.append(f"{folder.name}/: not in the module table of docs/ARCHITECTURE.md")
            continue
        allowed = table[folder.name]
        if allowed is None:
            continue
        for path in sources(folder):
            text = path.read_text(encoding="utf-8", errors="replace")
            for match in INCLUDE.finditer(text):
                used = match.group(1)
                if used != folder.name and used in table and used not in allowed:
                    line = text.count("\n", 0, match.start()) + 1
                    problems.append(f"{path.relative_to(root)}:{line}: {folder.name}/ may not "
                                    f"use {used}/: {match.group(0).strip()}")
    for problem in problems:
        print(problem)
    print(f"{len(problems)} forbidden include(s)" if problems else "module dependencies: ok")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
