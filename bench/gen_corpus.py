#!/usr/bin/env python3
"""Writes a deterministic benchmark corpus of text files.

    gen_corpus.py a DIR      200 files of about 1 MB each, Windows-1252, CR LF
    gen_corpus.py a-lf DIR   the same files with LF line ends
    gen_corpus.py u DIR      200 files of about 1 MB each, UTF-8, LF, about 5% of lines
                             with accented letters
    gen_corpus.py b DIR      20,000 files of about 4 KB each, Windows-1252, CR LF

Lines are about 60 characters of pseudo-random words, some with accented letters; about 1%
of lines hold the word "Dozida" in a random mix of upper and lower case.
"""

import os
import random
import sys

SEED = 20240611
WORDS_PER_POOL = 4000
MARKER = "dozida"
MARKER_RATE = 0.01
LINE_LENGTH = 60


def word_pool(rng, encoding="cp1252", accent_rate=0.05):
    letters = b"abcdefghijklmnopqrstuvwxyz"
    accented = [c.encode(encoding) for c in "éèàüöçšÉŠ"]
    pool = []
    while len(pool) < WORDS_PER_POOL:
        word = bytearray(rng.choice(letters) for _ in range(rng.randint(2, 10)))
        if rng.random() < accent_rate:
            at = rng.randrange(len(word))
            word[at:at + 1] = rng.choice(accented)
        if rng.random() < 0.1:
            word[0:1] = word[0:1].upper()
        if MARKER.encode() not in bytes(word).lower():
            pool.append(bytes(word))
    return pool


def mixed_case_marker(rng):
    return bytes(
        (ord(c.upper()) if rng.random() < 0.5 else ord(c)) for c in MARKER
    )


def make_lines(rng, pool, count):
    """Returns count lines, each without its line end."""
    lines = []
    for _ in range(count):
        words = []
        length = 0
        target = rng.randint(LINE_LENGTH - 20, LINE_LENGTH + 20)
        while length < target:
            word = rng.choice(pool)
            words.append(word)
            length += len(word) + 1
        if rng.random() < MARKER_RATE:
            words[rng.randrange(len(words))] = mixed_case_marker(rng)
        lines.append(b" ".join(words))
    return lines


def write_corpus(directory, files, file_size, line_end=b"\r\n", encoding="cp1252",
                 accent_rate=0.05):
    rng = random.Random(SEED)
    pool = word_pool(rng, encoding, accent_rate)
    os.makedirs(directory, exist_ok=True)
    # A large block of lines is made once and files are cut from it at random line offsets;
    # making every line afresh would take minutes for the large corpus.
    block = make_lines(rng, pool, max(40000, file_size // 50))
    lines_per_file = max(1, file_size // (LINE_LENGTH + 2))
    width = len(str(files))
    for index in range(files):
        start = rng.randrange(len(block))
        chosen = [block[(start + k) % len(block)] for k in range(lines_per_file)]
        # A few fresh lines per file keep files from being plain slices of one another.
        chosen[rng.randrange(len(chosen))] = make_lines(rng, pool, 1)[0]
        name = os.path.join(directory, "file%0*d.txt" % (width, index))
        with open(name, "wb") as out:
            out.write(line_end.join(chosen) + line_end)


def main(argv):
    if len(argv) != 3 or argv[1] not in ("a", "a-lf", "u", "b"):
        sys.stderr.write(__doc__)
        return 2
    if argv[1] == "a":
        write_corpus(argv[2], 200, 1_000_000)
    elif argv[1] == "a-lf":
        write_corpus(argv[2], 200, 1_000_000, line_end=b"\n")
    elif argv[1] == "u":
        write_corpus(argv[2], 200, 1_000_000, line_end=b"\n", encoding="utf-8",
                     accent_rate=0.005)
    else:
        write_corpus(argv[2], 20_000, 4_000)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
