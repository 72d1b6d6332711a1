"""The mne-connectivity side of the interop test (mne_python_test.cpp).

    mne_check.py read FILE OUTDIR   read FILE with read_connectivity; save what
                                    it gives as .npy and info.txt in OUTDIR
    mne_check.py write FILE         save a SpectroTemporalConnectivity of 3
                                    nodes whose value at connection c,
                                    frequency f, time t is 100 c + 10 f + t
                                    - (c + 1) j
"""
import json
import sys
import warnings

import numpy as np

warnings.simplefilter('ignore')
from mne_connectivity import SpectroTemporalConnectivity, read_connectivity  # noqa: E402


def read(path, out):
    conn = read_connectivity(path)
    if isinstance(conn.indices, str):
        # 0.5 reads explicit indices back as an array, which its dense
        # output does not take.
        np.save(f'{out}/dense.npy', np.ascontiguousarray(conn.get_data(output='dense')))
    np.save(f'{out}/raveled.npy', np.ascontiguousarray(conn.get_data(output='raveled')))
    np.save(f'{out}/freqs.npy', np.asarray(conn.freqs, dtype=np.float64))
    np.save(f'{out}/times.npy', np.asarray(conn.times, dtype=np.float64))
    indices = conn.indices
    if isinstance(indices, np.ndarray) or isinstance(indices, tuple):
        indices = np.asarray(indices).tolist()
    method = conn.method
    if isinstance(method, np.ndarray):
        method = method.tolist()
    sfreq = conn.attrs.get('sfreq')
    lines = [
        ('class', type(conn).__name__),
        ('names', conn.names if isinstance(conn.names, list) else list(conn.names)),
        ('method', method),
        ('indices', indices),
        ('n_nodes', int(conn.n_nodes)),
        ('n_epochs_used', None if conn.n_epochs_used is None else int(conn.n_epochs_used)),
        ('sfreq', None if sfreq is None else float(sfreq)),
        ('subject', conn.attrs.get('subject')),
    ]
    with open(f'{out}/info.txt', 'w', encoding='utf-8') as f:
        for key, value in lines:
            f.write(f'{key}\t{json.dumps(value, ensure_ascii=False)}\n')


def write(path):
    c, f, t = np.meshgrid(np.arange(9), np.arange(4), np.arange(2), indexing='ij')
    SpectroTemporalConnectivity(
        data=(100.0 * c + 10.0 * f + t) - 1j * (c + 1), freqs=[4.0, 6.5, 9.0, 11.5], times=[-0.2, -0.15],
        n_nodes=3, names=['a', 'b', 'c'], indices='all', method='cohy', n_epochs_used=5,
        sfreq=1000.0).save(path)


if __name__ == '__main__':
    if sys.argv[1] == 'read':
        read(sys.argv[2], sys.argv[3])
    else:
        write(sys.argv[2])
