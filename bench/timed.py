#!/usr/bin/env python3
"""Runs a command several times, its output to a file, and prints the median wall-clock and
CPU seconds (user + system, from the kernel's accounting of the child) to the millisecond.

Usage: timed.py RUNS OUTPUT COMMAND [ARGUMENT...]
"""
import os
import statistics
import subprocess
import sys
import time


def main():
    runs, output, command = int(sys.argv[1]), sys.argv[2], sys.argv[3:]
    walls, cpus = [], []
    for _ in range(runs):
        with open(output, "wb") as sink:
            start = time.perf_counter()
            child = subprocess.Popen(command, stdout=sink, stderr=subprocess.DEVNULL)
            _, _, usage = os.wait4(child.pid, 0)
            walls.append(time.perf_counter() - start)
            cpus.append(usage.ru_utime + usage.ru_stime)
    print(f"{statistics.median(walls):.3f} {statistics.median(cpus):.3f}")


if __name__ == "__main__":
    main()
