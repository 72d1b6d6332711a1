#!/usr/bin/env python3
"""`cxc compute` beside mne-connectivity on the same epochs, method by method.

    PYTHONPATH=/path/to/mne-connectivity /usr/bin/python3 bench/compare_mne_connectivity.py \\
        --cxc build/tools/cxc [--channels 64 --epochs 50 --samples 500] [--methods coh plv]

The default case: 64 channels, 50 epochs of 500 samples at 250 Hz (seeded
Gaussian noise), wavelets at 4, 6, ..., 40 Hz with 5 cycles and zero mean,
every time point. mne-connectivity runs spectral_connectivity_epochs(mode=
"cwt_morlet", n_jobs=1) with its default indices (the lower triangle);
cxc computes every ordered pair and the diagonal into a dataset with raw
backups. Times: wall and process CPU seconds of the computation (for cxc the
figures it reports, without reading the .npy and writing the file). With
--check, the lower triangle of both results is compared (needs the export).
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile
import time

import numpy as np

METHODS = ["csd", "cohy", "coh", "imcoh", "plv", "ciplv", "ppc", "pli", "wpli", "wpli2_debiased"]


def run_mne(x, args, freqs, method):
    from mne_connectivity import spectral_connectivity_epochs
    wall, cpu = time.perf_counter(), time.process_time()
    con = spectral_connectivity_epochs(x, method=method, sfreq=args.sfreq, mode="cwt_morlet", cwt_freqs=freqs,
                                       cwt_n_cycles=args.cycles, fmin=freqs[0], fmax=freqs[-1], n_jobs=1,
                                       verbose="error")
    return time.perf_counter() - wall, time.process_time() - cpu, con


def run_cxc(args, epochs_path, out_dir, method):
    out = os.path.join(out_dir, f"{method}.cxc")
    cmd = [args.cxc, "--threads", str(args.threads), "compute", "-o", out, "--active", epochs_path, "--sfreq",
           str(args.sfreq), "--freqs", f"{args.fmin}:{args.fmax}:{args.fstep}", "--n-cycles", str(args.cycles),
           "--zero-mean", "--method", method]
    done = subprocess.run(cmd, capture_output=True, text=True, check=True)
    m = re.search(r" in ([0-9.]+) s \(cpu ([0-9.]+) s\)", done.stdout)
    peak = re.search(r"peak memory (\d+) MB", done.stdout)
    return float(m.group(1)), float(m.group(2)), int(peak.group(1)), out


def check(args, cxc_file, con, method):
    folder = cxc_file + ".export"
    subprocess.run([args.cxc, "export", cxc_file, "-o", folder], capture_output=True, check=True)
    name = "active_cross.npy" if method in ("csd", "cohy") else "active_real.npy"
    ours = np.load(os.path.join(folder, name), mmap_mode="r")  # r, c, t, f
    theirs = con.get_data(output="dense")  # r, c, f, t (lower triangle)
    rows, cols = np.tril_indices(args.channels, -1)
    a = np.asarray(ours[rows, cols]).transpose(0, 2, 1)
    b = theirs[rows, cols]
    diff = np.abs(a - b)
    bound = np.maximum(1e-9 * np.abs(b), 1e-12)
    return float(np.nanmax(diff / np.maximum(np.abs(b), 1e-300))), bool(np.all((diff <= bound) | np.isnan(b)))


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--cxc", default="build/tools/cxc")
    p.add_argument("--channels", type=int, default=64)
    p.add_argument("--epochs", type=int, default=50)
    p.add_argument("--samples", type=int, default=500)
    p.add_argument("--sfreq", type=float, default=250.0)
    p.add_argument("--fmin", type=float, default=4.0)
    p.add_argument("--fmax", type=float, default=40.0)
    p.add_argument("--fstep", type=float, default=2.0)
    p.add_argument("--cycles", type=float, default=5.0)
    p.add_argument("--threads", type=int, default=0, help="cxc worker threads (0: one per core)")
    p.add_argument("--methods", nargs="+", default=METHODS, choices=METHODS)
    p.add_argument("--skip-mne", action="store_true", help="time cxc only")
    p.add_argument("--check", action="store_true", help="compare the results too (exports each cxc result)")
    args = p.parse_args()

    rng = np.random.default_rng(20240517)
    x = rng.standard_normal((args.epochs, args.channels, args.samples))
    freqs = np.arange(args.fmin, args.fmax + args.fstep / 2, args.fstep)
    print(f"{args.channels} channels, {args.epochs} epochs x {args.samples} samples at {args.sfreq:g} Hz, "
          f"{len(freqs)} frequencies {freqs[0]:g}-{freqs[-1]:g} Hz, {args.cycles:g} cycles, every time point; "
          f"load average {os.getloadavg()[0]:.1f} on {os.cpu_count()} cores")
    print(f"{'method':>15} {'mne wall':>9} {'mne cpu':>8} {'cxc wall':>9} {'cxc cpu':>8} {'wall x':>7} {'cpu x':>6} "
          f"{'cxc peak MB':>11}" + ("  max rel diff" if args.check else ""))
    with tempfile.TemporaryDirectory(dir=os.environ.get("MEGCXC_BENCH_DIR", "/tmp")) as tmp:
        path = os.path.join(tmp, "epochs.npy")
        np.save(path, x)
        for method in args.methods:
            c_wall, c_cpu, peak, out = run_cxc(args, path, tmp, method)
            row = f"{method:>15} "
            con = None
            if args.skip_mne or method == "csd":  # csd is not an mne-connectivity method
                row += f"{'-':>9} {'-':>8} "
            else:
                m_wall, m_cpu, con = run_mne(x, args, freqs, method)
                row += f"{m_wall:9.2f} {m_cpu:8.2f} "
            row += f"{c_wall:9.2f} {c_cpu:8.2f} "
            row += f"{m_wall / c_wall:7.1f} {m_cpu / c_cpu:6.1f} " if con is not None else f"{'-':>7} {'-':>6} "
            row += f"{peak:11d}"
            if args.check and con is not None:
                rel, ok = check(args, out, con, method)
                row += f"  {rel:.1e} {'ok' if ok else 'DIFFERS'}"
            print(row, flush=True)
            for name in os.listdir(tmp):
                if name.startswith(method + ".cxc"):
                    target = os.path.join(tmp, name)
                    subprocess.run(["rm", "-rf", target], check=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
