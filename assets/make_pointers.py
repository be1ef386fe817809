#!/usr/bin/env python3
"""Draws Lumbrex's own pointer files: HAND-M.CUR (a pointing hand) and drag.ico (a grip).

Both are 32 x 32, 32-bit colour with an AND mask, in the .cur/.ico container. Run it to
regenerate assets/program/HAND-M.CUR and assets/program/drag.ico.
"""
import os
import struct

HAND = [
    "......##........................",
    ".....#..#.......................",
    ".....#..#.......................",
    ".....#..#.......................",
    ".....#..#.......................",
    ".....#..###.....................",
    ".....#..#..###..................",
    ".....#..#..#..##................",
    "..##.#..#..#..#.#...............",
    ".#..##........#..#..............",
    ".#...#...........#..............",
    "..#..............#..............",
    "..#..............#..............",
    "...#.............#..............",
    "...#............#...............",
    "....#...........#...............",
    "....#..........#................",
    ".....#.........#................",
    ".....##########.................",
]

GRIP = [
    "................................",
    "...........##########...........",
    "...........#........#...........",
    "...........#.##..##.#...........",
    "...........#........#...........",
    "...........#.##..##.#...........",
    "...........#........#...........",
    "...........#.##..##.#...........",
    "...........#........#...........",
    "...........##########...........",
]


def fill_inside(rows):
    """Returns the picture with the inside of each outline filled ('o')."""
    grid = [list(r.ljust(32, ".")) for r in rows] + [["."] * 32 for _ in range(32 - len(rows))]
    outside = set()
    stack = [(0, 0)]
    while stack:
        x, y = stack.pop()
        if not (0 <= x < 32 and 0 <= y < 32) or (x, y) in outside or grid[y][x] != ".":
            continue
        outside.add((x, y))
        stack += [(x + 1, y), (x - 1, y), (x, y + 1), (x, y - 1)]
    for y in range(32):
        for x in range(32):
            if grid[y][x] == "." and (x, y) not in outside:
                grid[y][x] = "o"
    return grid


def image(rows, cursor, hotspot):
    grid = fill_inside(rows)
    pixels = b""
    mask = b""
    for y in reversed(range(32)):  # bottom-up rows
        bits = 0
        for x in range(32):
            c = grid[y][x]
            if c == "#":
                pixels += struct.pack("<BBBB", 0, 0, 0, 255)
            elif c == "o":
                pixels += struct.pack("<BBBB", 255, 255, 255, 255)
            else:
                pixels += struct.pack("<BBBB", 0, 0, 0, 0)
                bits |= 1 << (31 - x)
        mask += struct.pack(">I", bits)
    header = struct.pack("<IiiHHIIiiII", 40, 32, 64, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    data = header + pixels + mask
    kind = 2 if cursor else 1
    a, b = hotspot if cursor else (1, 32)
    directory = struct.pack("<HHH", 0, kind, 1)
    entry = struct.pack("<BBBBHHII", 32, 32, 0, 0, a, b, len(data), 6 + 16)
    return directory + entry + data


here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "program")
os.makedirs(here, exist_ok=True)
with open(os.path.join(here, "HAND-M.CUR"), "wb") as f:
    f.write(image(HAND, True, (6, 0)))
with open(os.path.join(here, "drag.ico"), "wb") as f:
    f.write(image(GRIP, False, None))
