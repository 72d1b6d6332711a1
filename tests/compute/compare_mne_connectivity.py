#!/usr/bin/env python3
"""Live check of `cxc compute` against mne-connectivity (run by ctest when
mne_connectivity can be imported): fresh random epochs, every method, every
ordered pair and the diagonal, to 1e-9 relative (1e-12 absolute near 0).

    python3 tests/compute/compare_mne_connectivity.py --cxc build/tools/cxc
"""
import argparse
import os
import subprocess
import sys
import tempfile

import numpy as np
from mne_connectivity import spectral_connectivity_epochs

METHODS = ["coh", "cohy", "imcoh", "plv", "ciplv", "ppc", "pli", "wpli", "wpli2_debiased"]


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--cxc", required=True)
    p.add_argument("--seed", type=int, default=7)
    args = p.parse_args()
    rng = np.random.default_rng(args.seed)
    n_epochs, n_channels, n_times, sfreq = 5, 5, 90, 120.0
    x = rng.standard_normal((n_epochs, n_channels, n_times))
    x[:, 1] += 0.8 * np.roll(x[:, 0], 3, axis=-1)
    freqs = np.array([9.0, 13.5, 20.25, 30.375])  # constant ratio
    cycles = np.array([2.0, 2.5, 3.0, 4.0])
    rows, cols = np.meshgrid(np.arange(n_channels), np.arange(n_channels), indexing="ij")
    cons = spectral_connectivity_epochs(
        x, method=METHODS, indices=(rows.ravel(), cols.ravel()), sfreq=sfreq, mode="cwt_morlet", cwt_freqs=freqs,
        cwt_n_cycles=cycles, fmin=0.0, fmax=np.inf, tmin=0.05, tmax=0.7, verbose="error")
    failures = 0
    with tempfile.TemporaryDirectory() as tmp:
        np.save(os.path.join(tmp, "x.npy"), x)
        np.save(os.path.join(tmp, "cycles.npy"), cycles)
        np.save(os.path.join(tmp, "freqs.npy"), freqs)
        for method, con in zip(METHODS, cons):
            out = os.path.join(tmp, method + ".cxc")
            subprocess.run([args.cxc, "compute", "-o", out, "--active", os.path.join(tmp, "x.npy"), "--sfreq",
                            str(sfreq), "--freqs", os.path.join(tmp, "freqs.npy"), "--n-cycles",
                            os.path.join(tmp, "cycles.npy"), "--zero-mean", "--tmin", "0.05", "--tmax", "0.7",
                            "--method", method], check=True, capture_output=True)
            subprocess.run([args.cxc, "export", out, "-o", out + ".d"], check=True, capture_output=True)
            name = "active_cross.npy" if method == "cohy" else "active_real.npy"
            ours = np.load(os.path.join(out + ".d", name)).transpose(0, 1, 3, 2)
            ref = con.get_data().reshape(n_channels, n_channels, len(freqs), -1)
            diff = np.abs(ours - ref)
            ok = (diff <= np.maximum(1e-9 * np.abs(ref), 1e-12)) | (np.isnan(ref) & np.isnan(ours))
            rel = np.max(diff[np.abs(ref) > 1e-6] / np.abs(ref[np.abs(ref) > 1e-6]))
            print(f"{method:>15}: max relative difference {rel:.1e} {'ok' if ok.all() else 'DIFFERS'}")
            failures += int(not ok.all())
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
