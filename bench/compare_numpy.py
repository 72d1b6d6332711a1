#!/usr/bin/python3
"""megcxc beside NumPy on the same data, and beside the machine's limit.

Runs `megcxc-bench --json` and the same operations in NumPy on an identical
complex128 array of shape (sensors, sensors, time, frequency), then prints one
table per size: operation, megcxc time, NumPy time, megcxc / NumPy,
megcxc / limit (memcpy, or a plain write / read of the archive's bytes), the
memory megcxc touched for the first time (page faults), megcxc against the
limit plus writing that much new memory, and whether both produced the same
figures. Exits with status 1 when a step's result differs between the two.

    /usr/bin/python3 bench/compare_numpy.py                      # 64 and 306 sensors
    /usr/bin/python3 bench/compare_numpy.py --sensors 64 --repeat 3
    /usr/bin/python3 bench/compare_numpy.py --memory --markdown  # + peak memory

Needs Debian's python3-numpy (run with /usr/bin/python3) and a built
`megcxc-bench` (default: build/bench/megcxc-bench beside this folder; --bench
PATH otherwise).
"""

import os
import sys

# OpenBLAS reads these when NumPy is imported; a value meant for another
# machine can make it crash or run badly. Drop them for this process only: the
# script starts itself again without them and hands the original values back
# to every other program it runs.
_OPENBLAS_VARS = ("OPENBLAS_CORETYPE", "OPENBLAS_L2_SIZE")
_SAVED = "CXC_COMPARE_SAVED_OPENBLAS"
if any(v in os.environ for v in _OPENBLAS_VARS):
    import json as _json

    _env = dict(os.environ)
    _env[_SAVED] = _json.dumps({v: _env.pop(v) for v in _OPENBLAS_VARS if v in _env})
    os.execve(sys.executable, [sys.executable] + sys.argv, _env)

import argparse
import ctypes
import io
import json
import re
import resource
import shutil
import statistics
import subprocess
import tempfile
import time

import numpy as np

# The cell formula of `megcxc-bench` (see bench/megcxc_bench_main.cpp): cell
# k = t * F + f of pair (r, c) is
#   real = (((7 r + 3 c + k) mod 17) - 8.25) * 0.37
#   imag = (((r + 5 c + k) mod 13) - 6.5) * 0.21
SCALE_FACTOR = 1.5
# Results agree when their relative difference is below this (sums over
# millions of cells taken in different orders).
AGREE = 1e-9

STEPS = [
    "init_fill", "magnitude", "phase", "scale", "accumulate_time", "class_summary", "act_ctl",
    "rms_normalise", "freq_report", "save_memory", "load_memory", "save_file", "load_file",
]


def child_env():
    """The environment this script was started with."""
    env = dict(os.environ)
    saved = env.pop(_SAVED, None)
    if saved:
        env.update(json.loads(saved))
    return env


def trim_malloc():
    """malloc_trim(0) of glibc, where there is one."""
    global _libc
    if _libc is None:
        try:
            _libc = ctypes.CDLL("libc.so.6")
            _libc.malloc_trim.argtypes = [ctypes.c_size_t]
        except (OSError, AttributeError):
            _libc = False
    if _libc:
        _libc.malloc_trim(0)


_libc = None


def build_array(sensors, time_pt, freq_pt):
    """The complex128 array of `megcxc-bench`, built one sensor row at a time so
    no temporary the size of the array is needed."""
    k = np.arange(time_pt * freq_pt).reshape(time_pt, freq_pt)
    re_pat = ((np.arange(17)[:, None, None] + k) % 17 - 8.25) * 0.37
    im_pat = ((np.arange(13)[:, None, None] + k) % 13 - 6.5) * 0.21
    a = np.empty((sensors, sensors, time_pt, freq_pt), dtype=np.complex128)
    c = np.arange(sensors)
    for r in range(sensors):
        a[r].real = re_pat[(7 * r + 3 * c) % 17]
        a[r].imag = im_pat[(r + 5 * c) % 13]
    return a


def complex_sum(x):
    return float(x.real.sum() + x.imag.sum())


class NumpyBench:
    """The operations of `megcxc-bench` as a NumPy user writes them. Each
    step has an untimed preparation, the timed operation and a check figure
    that `megcxc-bench` computes the same way."""

    def __init__(self, sensors, time_pt, freq_pt, repeat, folder, cpu=False):
        self.repeat = repeat
        # Processor time (--cpu) or wall time, as megcxc-bench's cpu_seconds / seconds.
        self.clock = time.process_time if cpu else time.perf_counter
        self.path = os.path.join(folder, "bench.npy")
        self.a = build_array(sensors, time_pt, freq_pt)
        self.orig = self.a.copy()
        self.freq_hz = 2.0 + np.arange(freq_pt) * ((40.0 - 2.0) / (freq_pt - 1) if freq_pt > 1 else 1.0)
        self.m = self.c = self.buf = self.out = None

    def restore(self):
        np.copyto(self.a, self.orig)

    def magnitude_plane(self):
        self.out = None
        self.m = np.abs(self.a)

    def run(self, step):
        prep, op, check = getattr(self, "step_" + step)()
        runs = []
        for _ in range(self.repeat):
            if prep:
                prep()
            # The rule megcxc-bench follows: each run starts cold, so it pays
            # for the new pages it takes. Without it glibc keeps a freed array
            # of up to 32 MiB on its heap (its mmap threshold rises to the
            # size of the last one freed) and NumPy's 64-sensor steps reuse
            # pages that megcxc's must take anew.
            trim_malloc()
            t0 = self.clock()
            op()
            runs.append(self.clock() - t0)
        result = check()
        self.out = None
        return statistics.median(runs), result

    def step_magnitude(self):
        def op():
            self.out = np.abs(self.a)
        return (lambda: setattr(self, "out", None)), op, lambda: float(self.out.sum())

    def step_phase(self):
        def op():
            self.out = np.angle(self.a)
        return (lambda: setattr(self, "out", None)), op, lambda: float(self.out.sum())

    def step_scale(self):
        def op():
            self.a *= SCALE_FACTOR

        def check():
            s = complex_sum(self.a)
            self.restore()
            return s
        return self.restore, op, check

    def step_accumulate_time(self):
        def op():
            self.c = self.a.mean(axis=2, keepdims=True)
        return None, op, lambda: complex_sum(self.c)

    def step_class_summary(self):
        def op():
            m = self.m
            self.out = (m.min(axis=(0, 1)), m.mean(axis=(0, 1)), m.max(axis=(0, 1)),
                        np.sqrt(np.mean(m * m, axis=(0, 1))))
        return self.magnitude_plane, op, lambda: float(sum(x.sum() for x in self.out))

    def step_act_ctl(self):
        def prep():
            self.m = self.out = None
            if self.c is None:
                self.c = self.a.mean(axis=2, keepdims=True)

        def op():
            self.out = self.a - self.c[..., :1, :]
        return prep, op, lambda: float((self.out.real ** 2).sum() + (self.out.imag ** 2).sum())

    def step_rms_normalise(self):
        def op():
            a = self.a
            rms_re = np.sqrt(np.mean(a.real ** 2))
            rms_im = np.sqrt(np.mean(a.imag ** 2))
            a.real /= rms_re
            a.imag /= rms_im

        def check():
            s = complex_sum(self.a)
            self.restore()
            return s
        return self.restore, op, check

    def step_freq_report(self):
        # Per frequency over every pair and time point: minimum, mean, maximum,
        # mean absolute value and the report's RMS (root of the mean over rows
        # of each row's RMS), one text line each.
        def op():
            m = self.m
            low = m.min(axis=(0, 1, 2))
            high = m.max(axis=(0, 1, 2))
            mean = m.mean(axis=(0, 1, 2))
            absmean = np.abs(m).mean(axis=(0, 1, 2))
            rms = np.sqrt(np.sqrt(np.mean(m * m, axis=2).mean(axis=1)).mean(axis=0))
            text = "".join("bench: Freq:%f Min:%f\tMean:%f Max:%f AbsSum:%f RmsSum:%f \n" % row
                           for row in zip(self.freq_hz, low, mean, high, absmean, rms))
            self.out = (mean, text)
        return self.magnitude_plane, op, lambda: float(self.out[0].sum())

    def step_save_memory(self):
        def prep():
            self.m = self.c = self.buf = None

        def op():
            self.buf = io.BytesIO()
            np.save(self.buf, self.a)
        return prep, op, lambda: None

    def step_load_memory(self):
        def prep():
            self.out = None
            if self.buf is None:
                self.buf = io.BytesIO()
                np.save(self.buf, self.a)
            self.buf.seek(0)

        def op():
            self.out = np.load(self.buf)
        return prep, op, lambda: complex_sum(self.out)

    def step_save_file(self):
        def prep():
            self.buf = None
            if os.path.exists(self.path):
                os.unlink(self.path)

        def op():
            np.save(self.path, self.a)
        return prep, op, lambda: None

    def step_load_file(self):
        def prep():
            self.out = None
            if not os.path.exists(self.path):
                np.save(self.path, self.a)

        def op():
            self.out = np.load(self.path)
        return prep, op, lambda: complex_sum(self.out)


def peak_rss_bytes():
    """Peak resident memory of this process image (VmHWM)."""
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) * 1024
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024


def run_bench(bench, args):
    proc = subprocess.run([bench] + args, env=child_env(), capture_output=True, text=True)
    if proc.returncode != 0:
        sys.exit("compare_numpy: %s %s failed:\n%s" % (bench, " ".join(args), proc.stderr))
    return proc.stdout


def max_rss_kb(command):
    """Peak resident memory of `command` as /usr/bin/time -v reports it."""
    proc = subprocess.run(["/usr/bin/time", "-v"] + command, env=child_env(), capture_output=True, text=True)
    if proc.returncode != 0:
        sys.exit("compare_numpy: %s failed:\n%s" % (" ".join(command), proc.stderr))
    found = re.search(r"Maximum resident set size \(kbytes\): (\d+)", proc.stderr)
    return int(found.group(1)) if found else None


def agree(a, b):
    """"yes", "NO (...)", or "-" when NumPy has no figure to compare."""
    if b is None:
        return "-"
    if a is None:
        return "NO (megcxc-bench gave none)"
    scale = max(abs(a), abs(b), 1e-300)
    return "yes" if abs(a - b) / scale < AGREE else "NO (%.3g vs %.3g)" % (a, b)


def fmt_ms(seconds):
    if seconds is None:
        return "-"
    ms = seconds * 1e3
    return "%.1f" % ms if ms >= 10 else "%.2f" % ms if ms >= 0.1 else "%.4f" % ms


def fmt_ratio(x):
    return "-" if x is None else "%.2f" % x


def print_table(rows, markdown):
    head = ["operation", "megcxc ms", "NumPy ms", "megcxc / NumPy", "megcxc / limit", "limit", "new MB",
            "megcxc / (limit + new)", "same result"]
    if markdown:
        print("| " + " | ".join(head) + " |")
        print("|" + "|".join(["---"] + ["---:"] * 4 + ["---"] + ["---:"] * 2 + ["---"]) + "|")
        for r in rows:
            print("| " + " | ".join(r) + " |")
        return
    widths = [max(len(str(x)) for x in col) for col in zip(head, *rows)]
    for r in [head] + rows:
        print("  ".join(str(x).ljust(w) if i in (0, 5, 8) else str(x).rjust(w)
                        for i, (x, w) in enumerate(zip(r, widths))))


def compare(bench_path, sensors, time_pt, freq_pt, repeat, markdown, memory, cpu=False):
    """Prints the table of one size; returns the labels of the steps whose
    results differ."""
    report = json.loads(run_bench(bench_path, ["--sensors", str(sensors), "--time", str(time_pt), "--freq",
                                               str(freq_pt), "--repeat", str(repeat), "--json"]))
    steps = {s["id"]: s for s in report["steps"]}
    plane_mb = report["plane_bytes"] / 1e6
    with tempfile.TemporaryDirectory(prefix="cxc-numpy-") as folder:
        bench = NumpyBench(sensors, time_pt, freq_pt, repeat, folder, cpu)
        numpy_result = {"init_fill": (None, complex_sum(bench.a))}
        for step in STEPS[1:]:
            numpy_result[step] = bench.run(step)
        del bench
    numpy_peak = peak_rss_bytes()

    page_mb = os.sysconf("SC_PAGESIZE") / 1e6
    rows = []
    for step in STEPS:
        s = dict(steps[step])
        if cpu:
            s["seconds"] = s["cpu_seconds"]
        t_np, check_np = numpy_result[step]
        if s["id"] in ("save_memory", "save_file"):
            check_np = None  # different formats: nothing to compare
        rows.append([s["label"], fmt_ms(s["seconds"]), fmt_ms(t_np),
                     fmt_ratio(s["seconds"] / t_np if t_np else None), fmt_ratio(s["x_limit"]), s["limit"],
                     "%.0f" % (s["new_pages"] * page_mb), fmt_ratio(s["x_limit_with_new_pages"]),
                     agree(s["check"], check_np)])

    print()
    print("%d x %d sensor pairs, %d time x %d frequency points: one plane %.1f MB, complex array %.1f MB; "
          "median of %d runs (%s); load average %.2f when megcxc-bench started"
          % (sensors, sensors, time_pt, freq_pt, plane_mb, 2 * plane_mb, repeat,
             "processor time; limits in wall time" if cpu else "wall time", report["load_average"][0]))
    print()
    print_table(rows, markdown)
    slow = [r[0] for r in rows if r[3] != "-" and float(r[3]) >= 1.0]
    print()
    print("megcxc slower than NumPy: %s" % (", ".join(slow) if slow else "none"))
    same = [r for r in rows if r[8] != "-"]
    print("same result: %d of %d steps compared" % (sum(r[8] == "yes" for r in same), len(same)))
    print("peak resident memory of the whole run: megcxc-bench %.1f MB (with its memcpy buffers), "
          "NumPy process %.1f MB"
          % (report["peak_rss_bytes"] / 1e6, numpy_peak / 1e6))

    if memory:
        # One dataset held, nothing else: what a host pays to keep the data.
        cxc_kb = max_rss_kb([bench_path, "--sensors", str(sensors), "--time", str(time_pt), "--freq", str(freq_pt),
                             "--repeat", "1", "--only", "init_fill", "--no-limit", "--json"])
        cxc_base = max_rss_kb([bench_path, "--sensors", "2", "--time", "2", "--freq", "1", "--repeat", "1",
                               "--only", "init_fill", "--no-limit", "--json"])
        np_kb = max_rss_kb([sys.executable, os.path.abspath(__file__), "--hold-array", str(sensors), str(time_pt),
                            str(freq_pt)])
        np_base = max_rss_kb([sys.executable, os.path.abspath(__file__), "--hold-array", "2", "2", "1"])
        need_cxc = 4 * report["plane_bytes"]
        need_np = 2 * report["plane_bytes"]
        print("peak memory holding one dataset (/usr/bin/time -v, minus the empty process):")
        print("  megcxc: %.1f MB for %.1f MB of working + raw real/imaginary planes: %.3f x (empty process %.1f MB)"
              % ((cxc_kb - cxc_base) * 1024 / 1e6, need_cxc / 1e6, (cxc_kb - cxc_base) * 1024 / need_cxc,
                 cxc_base * 1024 / 1e6))
        print("  NumPy : %.1f MB for %.1f MB of complex128 array: %.3f x (empty process %.1f MB)"
              % ((np_kb - np_base) * 1024 / 1e6, need_np / 1e6, (np_kb - np_base) * 1024 / need_np,
                 np_base * 1024 / 1e6))
    return [r[0] for r in rows if r[8].startswith("NO")]


def default_bench():
    here = os.path.dirname(os.path.abspath(__file__))
    built = os.path.join(os.path.dirname(here), "build", "bench", "megcxc-bench")
    return built if os.access(built, os.X_OK) else (shutil.which("megcxc-bench") or built)


def main():
    if len(sys.argv) == 5 and sys.argv[1] == "--hold-array":
        build_array(int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]))
        return
    p = argparse.ArgumentParser(description="Compare megcxc-bench with NumPy on the same complex array.")
    p.add_argument("--bench", default=default_bench(), help="the megcxc-bench binary (default: %(default)s)")
    # The former name of --bench, from when the timer was `cxc bench`.
    p.add_argument("--cxc", dest="bench", help=argparse.SUPPRESS)
    p.add_argument("--sensors", type=int, nargs="+", default=[64, 306], help="sensor counts (default: 64 306)")
    p.add_argument("--time", type=int, default=5, help="time points (default: 5)")
    p.add_argument("--freq", type=int, default=40, help="frequency points (default: 40)")
    p.add_argument("--repeat", type=int, default=5, help="runs per step; the median is shown (default: 5)")
    p.add_argument("--markdown", action="store_true", help="print the tables as Markdown")
    p.add_argument("--memory", action="store_true", help="also measure peak memory with /usr/bin/time -v")
    p.add_argument("--cpu", action="store_true",
                   help="compare processor time (user + system, all threads) instead of wall time: "
                        "steadier on a loaded machine; megcxc's threaded steps count every thread")
    a = p.parse_args()
    if not os.access(a.bench, os.X_OK):
        sys.exit("compare_numpy: no megcxc-bench at %s (build it, or pass --bench PATH)" % a.bench)
    if a.memory and not os.access("/usr/bin/time", os.X_OK):
        sys.exit("compare_numpy: --memory needs /usr/bin/time (Debian package 'time')")
    print("NumPy %s, Python %s, %s; load average %.2f %.2f %.2f"
          % (np.__version__, sys.version.split()[0], a.bench, *os.getloadavg()))
    differ = []
    for sensors in a.sensors:
        differ += ["%s at %d sensors" % (label, sensors)
                   for label in compare(a.bench, sensors, a.time, a.freq, a.repeat, a.markdown, a.memory, a.cpu)]
    if differ:
        sys.exit("compare_numpy: megcxc-bench and NumPy differ: %s" % ", ".join(differ))


if __name__ == "__main__":
    main()
