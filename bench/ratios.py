#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
"""Turns layer_bench's JSON (run with repetitions) into tables of medians and their ratios."""
import json
import sys

THREADS = {1: "1", 0: "auto"}


def medians(report):
    """{(benchmark, n, threads): median aggregate entry}"""
    result = {}
    for entry in report["benchmarks"]:
        if entry.get("aggregate_name") != "median":
            continue
        name, *args = entry["run_name"].split("/")
        fields = dict(arg.split(":") for arg in args if ":" in arg)
        result[(name, int(fields["n"]), int(fields["threads"]))] = entry
    return result


def main(path):
    with open(path) as f:
        m = medians(json.load(f))
    sizes = sorted({n for (_, n, _) in m})

    print("Layer, raw oneTBB and serial loop timed side by side (medians of repetitions):\n")
    print("| body | threads | N | layer / raw oneTBB | layer / serial | layer ns/item | raw ns/item | serial ns/item |")
    print("|---|---|---|---|---|---|---|---|")
    for body, label in (("BM_Trivial", "trivial"), ("BM_Adding", "adds 1 per 100")):
        for threads in (1, 0):
            for n in sizes:
                e = m[(body, n, threads)]
                print(f"| {label} | {THREADS[threads]} | {n:,} | {e['layer_over_raw']:.3f} "
                      f"| {e['layer_over_serial']:.1f} | {e['layer_ns']:.1f} | {e['raw_ns']:.1f} "
                      f"| {e['serial_ns']:.1f} |")

    print("\nCost per item of the layer, largest N over smallest N (1.00 = flat):\n")
    print("| body | threads | ns/item at N=10^3 | at N=10^6 | ratio |")
    print("|---|---|---|---|---|")
    for body, label in (("BM_Trivial", "trivial"), ("BM_Adding", "adds 1 per 100")):
        for threads in (1, 0):
            small, large = (m[(body, n, threads)]["layer_ns"] for n in (sizes[0], sizes[-1]))
            print(f"| {label} | {THREADS[threads]} | {small:.1f} | {large:.1f} | {large / small:.2f} |")

    print("\nThe program's stream and body (with their locks), items per second (median):\n")
    print("| N | 1 thread | auto threads | auto / 1 thread |")
    print("|---|---|---|---|")
    for n in sizes:
        one, auto = (m[("BM_ProgramBody", n, th)]["items_per_second"] for th in (1, 0))
        print(f"| {n:,} | {one / 1e6:.2f} M/s | {auto / 1e6:.2f} M/s | {auto / one:.2f} |")


if __name__ == "__main__":
    main(sys.argv[1])
