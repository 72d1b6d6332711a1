#!/usr/bin/env python3
"""Markdown tables from the JSON output of the benchmark programs.

Usage: tables.py RESULT.json [RESULT.json ...]

Reads the aggregates that --benchmark_repetitions writes (the *_median rows
are used) and prints one table per program: the operation's wall time, its
reference (memcpy for passes, fwrite/fread for archives), the wall ratio and
the CPU-time ratio, per sensor count.
"""
import json
import sys


def rows(path):
    with open(path) as f:
        data = json.load(f)
    for b in data["benchmarks"]:
        if b.get("aggregate_name") != "median":
            continue
        name = b["run_name"].replace("/real_time", "")
        base, _, sensors = name.rpartition("/")
        yield base.removeprefix("BM_"), sensors, b


def table(path):
    out = []
    header = "| operation | sensors | ms | reference ms | x ref (wall) | x ref (CPU) |"
    extra = False
    for op, sensors, b in rows(path):
        if "memcpy_ms" in b:
            extra = True
        ref = b.get("ref_ms")
        if ref is None:
            out.append(f"| {op} | {sensors} | {b['real_time']:.2f} | | | |")
            continue
        line = (f"| {op} | {sensors} | {b['ms']:.2f} | {ref:.2f} | {b['x_ref']:.2f} | "
                f"{b['cpu_x_ref']:.2f} |")
        if "memcpy_ms" in b:
            line += f" {b['MB']:.1f} | {b['memcpy_ms']:.2f} |"
        out.append(line)
    if extra:
        header += " MB | memcpy to fresh memory ms |"
    sep = "|" + "---|" * (header.count("|") - 1)
    return "\n".join([header, sep] + out)


def main(paths):
    for path in paths:
        print(f"### {path}\n")
        print(table(path))
        print()


if __name__ == "__main__":
    main(sys.argv[1:])
