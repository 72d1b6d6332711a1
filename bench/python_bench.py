#!/usr/bin/python3
"""Figures of the Python package beside plain NumPy and the C++ steps.

1. load: megcxc.load(file).active.real on a demo collection (default 306
   sensors, 5 x 40 points) against np.load of a .npy file of the same size
   in bytes as the archive, both read from the page cache (each file is read
   once before the runs), and the load and the gather timed alone.
2. steps: each processing step through the package on a 64-sensor dataset,
   beside the same step on a 1 x 1 dataset of one cell, which is the cost of
   the call itself (argument translation, GIL release, lock, message
   handler, exception check). With --bench PATH, megcxc-bench's time for the
   same C++ call is shown too.

    PYTHONPATH=build/python /usr/bin/python3 bench/python_bench.py [--bench build/bench/megcxc-bench]

Benchmark, not a test: the figures depend on the machine and its load.
"""
import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np

import megcxc


def median_time(fn, repeat, clock=time.perf_counter):
    runs = []
    for _ in range(repeat):
        t0 = clock()
        fn()
        runs.append(clock() - t0)
    return statistics.median(runs)


def load_figures(folder, sensors, timept, freqpt, repeat):
    coll = megcxc.demo(sensors=sensors, time=timept, freq=freqpt)
    path = os.path.join(folder, "bench.cxc")
    coll.save(path)
    del coll
    size = os.path.getsize(path)
    npy = os.path.join(folder, "same_size.npy")
    np.save(npy, np.zeros(size // 8))
    for p in (path, npy):  # into the page cache
        with open(p, "rb") as f:
            while f.read(1 << 24):
                pass
    # Alternating runs share whatever else the machine is doing; the CPU time
    # of the process (both loads use one thread) is what a loaded machine
    # disturbs least.
    out = {"archive_mb": size / 1e6}
    # The two parts of the package's figure, wall time, median.
    loads, gathers = [], []
    for _ in range(repeat):
        t0 = time.perf_counter()
        coll = megcxc.load(path)
        t1 = time.perf_counter()
        coll.active.real
        gathers.append(time.perf_counter() - t1)
        loads.append(t1 - t0)
        del coll
    out["parts"] = {"megcxc.load(f)": (statistics.median(loads), None),
                    ".active.real": (statistics.median(gathers), None)}
    for clock_name, clock in (("wall", time.perf_counter), ("cpu", time.process_time)):
        ours, theirs = [], []
        for _ in range(repeat):
            # The results are freed after the clock stops on both sides: the
            # figure is the load and the first array, not the clean-up.
            kept = []

            def load_and_read():
                coll = megcxc.load(path)
                kept.extend((coll, coll.active.real))

            ours.append(median_time(load_and_read, 1, clock))
            kept.clear()
            theirs.append(median_time(lambda: kept.append(np.load(npy)), 1, clock))
            kept.clear()
        out[clock_name] = (statistics.median(ours), statistics.median(theirs),
                           statistics.median([a / b for a, b in zip(ours, theirs)]))
    return out


STEPS = {
    # name: (call on a Dataset, megcxc-bench step id)
    "magnitude": (lambda d: d.magnitude(), "magnitude"),
    "phase": (lambda d: d.phase(), "phase"),
    "scale": (lambda d: d.scale(1.0), "scale"),
    "log": (lambda d: d.log("real"), None),
    "nan_to_zero": (lambda d: d.nan_to_zero(), None),
    "cut_values": (lambda d: d.cut_values(-1e300, 1e300), None),
    "restore_raw": (lambda d: d.restore_raw(), None),
}


def step_figures(sensors, timept, freqpt, repeat, bench):
    rng = np.random.default_rng(1)
    shape = (sensors, sensors, timept, freqpt)
    big = megcxc.Dataset.from_numpy(rng.standard_normal(shape) + 1j * rng.standard_normal(shape))
    tiny = megcxc.Dataset.from_numpy(np.ones((1, 1, 1, 1), dtype=complex))
    cxx = {}
    if bench:
        out = subprocess.run([bench, "--sensors", str(sensors), "--time", str(timept), "--freq", str(freqpt),
                              "--repeat", str(repeat), "--json", "--no-limit"],
                             check=True, capture_output=True, text=True).stdout
        cxx = {s["id"]: s["seconds"] for s in json.loads(out)["steps"]}
    rows = []
    for name, (call, bench_id) in STEPS.items():
        big.magnitude()
        tiny.magnitude()
        t_big = median_time(lambda: call(big), repeat)
        t_tiny = median_time(lambda: call(tiny), max(repeat, 200))
        rows.append({"step": name, "python_s": t_big, "call_overhead_s": t_tiny,
                     "overhead_pct": 100.0 * t_tiny / t_big, "cpp_bench_s": cxx.get(bench_id)})
    return rows


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--sensors", type=int, default=306)
    ap.add_argument("--time", type=int, default=5)
    ap.add_argument("--freq", type=int, default=40)
    ap.add_argument("--step-sensors", type=int, default=64)
    ap.add_argument("--repeat", type=int, default=5)
    ap.add_argument("--bench", help="megcxc-bench binary, for the C++ figures of the same steps")
    ap.add_argument("--load-only", action="store_true", help="only the load figures")
    args = ap.parse_args()
    with tempfile.TemporaryDirectory() as folder:
        lf = load_figures(folder, args.sensors, args.time, args.freq, args.repeat)
    print(f"load: {args.sensors} sensors, {args.time} x {args.freq}, archive {lf['archive_mb']:.0f} MB")
    for clock_name in ("wall", "cpu"):
        ours, theirs, ratio = lf[clock_name]
        print(f"  {clock_name:4s} megcxc.load(f).active.real {ours:.3f} s   np.load same size {theirs:.3f} s   "
              f"ratio {ratio:.2f} (median of the runs' ratios)")
    for part, (ours, theirs) in lf["parts"].items():
        print(f"  {part:22s} {ours:.3f} s")
    if args.load_only:
        return 0
    print(f"steps: {args.step_sensors} sensors, {args.time} x {args.freq} (median of {args.repeat})")
    print(f"  {'step':12s} {'python':>10s} {'C++ bench':>10s} {'call cost':>10s} {'overhead':>9s}")
    for r in step_figures(args.step_sensors, args.time, args.freq, args.repeat, args.bench):
        cpp = f"{r['cpp_bench_s'] * 1e3:8.2f}ms" if r["cpp_bench_s"] is not None else f"{'-':>10s}"
        print(f"  {r['step']:12s} {r['python_s'] * 1e3:8.2f}ms {cpp} {r['call_overhead_s'] * 1e6:8.1f}us "
              f"{r['overhead_pct']:8.2f}%")
    return 0


if __name__ == "__main__":
    sys.exit(main())
