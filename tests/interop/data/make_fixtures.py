"""Writes the mne-connectivity files the interop tests read.

Run with Debian's python3 (python3-mne, python3-xarray, python3-h5netcdf) and
mne-connectivity 0.5 on PYTHONPATH, from this folder:

    PYTHONPATH=/path/to/mne-connectivity-0.5 /usr/bin/python3 make_fixtures.py

cwt_cohy.nc / cwt_coh.nc: spectral_connectivity_epochs(mode='cwt_morlet') of
three sensors, four frequencies and five time points, all-to-all (indices
stored as 'n/a'); their values are kept beside them as cwt_cohy.npy /
cwt_coh.npy (the raveled array, complex128 / float64).

sym_coh.nc / pairs_imcoh.nc: SpectroTemporalConnectivity built directly, with
'symmetric' and explicit (seeds, targets) indices; value of connection c at
frequency f and time t is 100 c + 10 f + t (pairs: plus -(c + 1) j).

dense_coh.nc: the full (n_nodes, n_nodes, n_freqs, n_times) form, which
mne-connectivity 0.5 does not write (it refuses 4-D data for this class):
saved through xarray and h5netcdf the way Connectivity.save saves, with the
attributes save adds; value of (row, col, f, t) is 100 (3 row + col) + 10 f + t.
"""
import warnings

import mne
import numpy as np
import xarray as xr
from mne_connectivity import SpectroTemporalConnectivity, spectral_connectivity_epochs

warnings.simplefilter('ignore')
mne.set_log_level('ERROR')

rng = np.random.default_rng(20130524)
sfreq = 100.0
info = mne.create_info(['MEG 0111', 'MEG 0121', 'MEG 0131'], sfreq, 'mag')
epochs = mne.EpochsArray(rng.standard_normal((4, 3, 40)), info, tmin=0.0)
for method in ('cohy', 'coh'):
    con = spectral_connectivity_epochs(
        epochs, method=method, mode='cwt_morlet', cwt_freqs=np.array([20.0, 25.0, 30.0, 35.0]),
        cwt_n_cycles=2.0, fmin=10.0, tmin=0.15, tmax=0.19, verbose=False)
    con.save(f'cwt_{method}.nc')
    np.save(f'cwt_{method}.npy', con.get_data(output='raveled'))

freqs = [8.0, 10.0, 12.5, 16.0]
times = [-0.1, 0.0, 0.1, 0.2, 0.3]
c, f, t = np.meshgrid(np.arange(6), np.arange(4), np.arange(5), indexing='ij')
SpectroTemporalConnectivity(
    data=(100.0 * c + 10.0 * f + t), freqs=freqs, times=times, n_nodes=3,
    names=['Fz', 'Cz', 'Pz\u00b0'], indices='symmetric', method='coh',
    spec_method='cwt_morlet', n_epochs_used=12).save('sym_coh.nc')

c, f, t = np.meshgrid(np.arange(3), np.arange(4), np.arange(5), indexing='ij')
SpectroTemporalConnectivity(
    data=(100.0 * c + 10.0 * f + t) - 1j * (c + 1), freqs=freqs, times=times, n_nodes=4,
    names=['MEG 0111', 'MEG 0121', 'MEG 0131', 'MEG 0141'], indices=([0, 0, 2], [1, 3, 3]),
    method='imcoh', n_epochs_used=7, sfreq=250.0, subject='s01').save('pairs_imcoh.nc')

r, k, f, t = np.meshgrid(np.arange(3), np.arange(3), np.arange(2), np.arange(2), indexing='ij')
xr.DataArray(
    data=100.0 * (3 * r + k) + 10.0 * f + t, dims=['node_in', 'node_out', 'freqs', 'times'],
    coords={'node_in': ['0', '1', '2'], 'node_out': ['0', '1', '2'], 'freqs': [10.0, 20.0], 'times': [0.0, 0.5]},
    attrs={'spec_method': 'n/a', 'n_epochs_used': 'n/a', 'node_names': ['a', 'b', 'c'], 'method': 'coh',
           'indices': 'all', 'n_nodes': 3, 'events': np.empty((0, 3)), 'data_structure': 'SpectroTemporalConnectivity',
           'metadata': '[]'}).to_netcdf('dense_coh.nc', mode='w', format='NETCDF4', engine='h5netcdf', invalid_netcdf=True)
