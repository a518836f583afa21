#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
"""Times whole processes, spawn to exit, in interleaved rounds; prints ratios of medians.

Each round runs every program once, the first one rotating from round to round, so that the
machine's drift affects all alike. Prints each program's median wall time and quartiles, and the
ratio of the medians of each pair.

  process_bench.py [--rounds N] PROGRAM PROGRAM...

`make bench` runs it on the program and bench/onetbb_floor; given two builds of the program and
the floor, it compares all three in one session."""
import argparse
import os
import statistics
import sys
import time


def run_once(program):
    """Wall time in seconds of one run, its output discarded; a failed run stops the benchmark."""
    actions = [(os.POSIX_SPAWN_OPEN, 1, os.devnull, os.O_WRONLY, 0)]
    start = time.perf_counter()
    pid = os.posix_spawn(program, [program], os.environ, file_actions=actions)
    _, status = os.waitpid(pid, 0)
    elapsed = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"{program}: exit status {os.waitstatus_to_exitcode(status)}")
    return elapsed


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=80, help="runs of each program (80)")
    parser.add_argument("programs", nargs="+", metavar="PROGRAM")
    args = parser.parse_args()
    if len(args.programs) < 2 or args.rounds < 2:
        parser.error("give two programs or more, and two rounds or more")
    programs = [os.path.abspath(p) for p in args.programs]

    for program in programs:  # untimed: loads every library into the page cache
        run_once(program)
    times = {p: [] for p in programs}
    for r in range(args.rounds):
        for k in range(len(programs)):
            program = programs[(r + k) % len(programs)]
            times[program].append(run_once(program))

    median = {p: statistics.median(t) for p, t in times.items()}
    print(f"\nWhole processes, spawn to exit, {args.rounds} interleaved rounds:\n")
    print("| program | median ms | quartiles ms |")
    print("|---|---|---|")
    for given, p in zip(args.programs, programs):
        low, _, high = statistics.quantiles(times[p], n=4)
        print(f"| {given} | {median[p] * 1e3:.2f} | {low * 1e3:.2f} to {high * 1e3:.2f} |")
    print("\n| ratio of medians | value |")
    print("|---|---|")
    for i, a in enumerate(programs):
        for j in range(i + 1, len(programs)):
            b = programs[j]
            print(f"| {args.programs[i]} / {args.programs[j]} | {median[a] / median[b]:.3f} |")


if __name__ == "__main__":
    main()
