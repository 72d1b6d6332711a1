"""The mne-connectivity side of mne_python_test.cpp: mne_check.py read FILE
OUTDIR reads FILE with read_connectivity and saves the dense data, the axes
(.npy) and info.txt in OUTDIR."""
import json
import sys
import warnings

import numpy as np

warnings.simplefilter('ignore')
from mne_connectivity import read_connectivity  # noqa: E402


def read(path, out):
    conn = read_connectivity(path)
    np.save(f'{out}/dense.npy', np.ascontiguousarray(conn.get_data(output='dense')))
    np.save(f'{out}/freqs.npy', np.asarray(conn.freqs, dtype=np.float64))
    np.save(f'{out}/times.npy', np.asarray(conn.times, dtype=np.float64))
    lines = [('class', type(conn).__name__), ('names', list(conn.names)), ('indices', conn.indices),
             ('n_epochs_used', int(conn.n_epochs_used)), ('sfreq', float(conn.attrs['sfreq']))]
    with open(f'{out}/info.txt', 'w', encoding='utf-8') as f:
        for key, value in lines:
            f.write(f'{key}\t{json.dumps(value, ensure_ascii=False)}\n')


if __name__ == '__main__':
    read(sys.argv[2], sys.argv[3])
