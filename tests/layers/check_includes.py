#!/usr/bin/env python3
"""Fails when a source file includes a folder above its own in the layers of src/.

Each folder may include itself, the folders below it and platform/; the engine includes no
Qt header at all. Prints every offending line as file:line: include."""

import pathlib
import re
import sys

ALLOWED = {
    "engine": {"engine"},
    "platform": {"platform", "engine"},
    "run": {"run", "platform", "engine"},
    "filelist": {"filelist", "run", "platform", "engine"},
    "results": {"results", "run", "platform", "engine"},
    "shell": {"shell", "filelist", "results", "run", "platform", "engine"},
    "cli": {"cli", "filelist", "results", "run", "platform", "engine"},
    "app": {"app", "cli", "shell", "filelist", "results", "run", "platform", "engine"},
}
FOLDER_INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z]+)/')
QT_INCLUDE = re.compile(r"^\s*#\s*include\s+<Q")


def main() -> int:
    src = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "src")
    faults = []
    for path in sorted(src.rglob("*")):
        if path.suffix not in {".h", ".cpp"}:
            continue
        folder = path.relative_to(src).parts[0]
        allowed = ALLOWED.get(folder)
        if allowed is None:
            faults.append(f"{path}: folder {folder} has no place in the layers")
            continue
        for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
            found = FOLDER_INCLUDE.match(line)
            if found and found.group(1) not in allowed:
                faults.append(f"{path}:{number}: {line.strip()}")
            if folder == "engine" and QT_INCLUDE.match(line):
                faults.append(f"{path}:{number}: {line.strip()} (the engine uses no Qt)")
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
