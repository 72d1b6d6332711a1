#!/usr/bin/env python3
"""Writes the reference figures of the compute tests into tests/compute/data/.

Run with mne-connectivity 0.5 (and MNE-Python) importable:
    PYTHONPATH=/path/to/mne-connectivity python3 tests/compute/make_fixtures.py

Two runs on the same synthetic epochs (6 epochs, 4 channels, 64 samples at
100 Hz; channel 1 follows channel 0 by 2 samples, channel 3 leads channel 2
by 1 sample, with independent noise):
  a: frequencies 8, 12, 16 Hz with 2, 3, 3 cycles, every sample, all methods;
  b: frequencies 10, 15, 22.5 Hz (constant ratio) with 2 cycles, tmin 0.1 s,
     tmax 0.55 s, coh, cohy and wpli.
Every pair (r, c) is asked for, the diagonal included, and stored as
con_<run>_<method>.npy, channels x channels x frequencies x times. csd is
not an mne-connectivity method: its reference is the mean over epochs of
W_r conj(W_c) from MNE's own cwt() and morlet(). wavelets_*.npy hold MNE's
morlet() wavelets with and without zero mean (zero-padded to one length,
the length in wavelet_lengths.npy).
"""
import os

import numpy as np
from mne.time_frequency import morlet
from mne.time_frequency.tfr import cwt
from mne_connectivity import spectral_connectivity_epochs

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "data")
SFREQ = 100.0
METHODS = ["coh", "cohy", "imcoh", "plv", "ciplv", "ppc", "pli", "wpli", "wpli2_debiased"]


def epochs():
    rng = np.random.default_rng(20240517)
    n_epochs, n_channels, n_times = 6, 4, 64
    t = np.arange(n_times + 4) / SFREQ
    x = np.empty((n_epochs, n_channels, n_times))
    for e in range(n_epochs):
        a = np.sin(2 * np.pi * 11 * t + rng.uniform(0, 2 * np.pi)) + 0.5 * rng.standard_normal(t.size)
        b = np.sin(2 * np.pi * 14 * t + rng.uniform(0, 2 * np.pi)) + 0.5 * rng.standard_normal(t.size)
        x[e, 0] = a[2:2 + n_times]
        x[e, 1] = a[0:n_times] + 0.6 * rng.standard_normal(n_times)
        x[e, 2] = b[1:1 + n_times] + 0.3 * rng.standard_normal(n_times)
        x[e, 3] = b[2:2 + n_times]
    return x


def all_pairs(n):
    rows, cols = np.meshgrid(np.arange(n), np.arange(n), indexing="ij")
    return rows.ravel(), cols.ravel()


def run(x, name, freqs, cycles, methods, tmin=None, tmax=None):
    n = x.shape[1]
    cons = spectral_connectivity_epochs(
        x, method=methods, indices=all_pairs(n), sfreq=SFREQ, mode="cwt_morlet", cwt_freqs=np.asarray(freqs),
        cwt_n_cycles=cycles, fmin=0.0, fmax=np.inf, tmin=tmin, tmax=tmax, verbose="error")
    for method, con in zip(methods, cons):
        data = con.get_data()  # (pairs, freqs, times)
        np.save(os.path.join(OUT, f"con_{name}_{method}.npy"), data.reshape(n, n, *data.shape[1:]))
    return cons


def csd(x, freqs, cycles):
    ws = morlet(SFREQ, freqs, n_cycles=cycles, zero_mean=True)
    w = np.stack([cwt(epoch, ws, use_fft=True, mode="same") for epoch in x])  # epochs, ch, freqs, times
    return np.einsum("erft,ecft->rcft", w, w.conj()) / x.shape[0]


def main():
    os.makedirs(OUT, exist_ok=True)
    x = epochs()
    np.save(os.path.join(OUT, "epochs.npy"), x)
    freqs_a, cycles_a = [8.0, 12.0, 16.0], [2.0, 3.0, 3.0]
    run(x, "a", freqs_a, np.asarray(cycles_a), METHODS)
    np.save(os.path.join(OUT, "con_a_csd.npy"), csd(x, freqs_a, np.asarray(cycles_a)))
    run(x, "b", [10.0, 15.0, 22.5], 2.0, ["coh", "cohy", "wpli"], tmin=0.1, tmax=0.55)

    ws = []
    for zero_mean in (False, True):
        ws += morlet(SFREQ, [5.0, 12.0, 31.0], n_cycles=np.array([3.0, 7.0, 4.5]), zero_mean=zero_mean)
    longest = max(w.size for w in ws)
    padded = np.zeros((len(ws), longest), dtype=np.complex128)
    for k, w in enumerate(ws):
        padded[k, :w.size] = w
    np.save(os.path.join(OUT, "wavelets.npy"), padded)
    np.save(os.path.join(OUT, "wavelet_lengths.npy"), np.array([w.size for w in ws], dtype=np.float64))


if __name__ == "__main__":
    main()
