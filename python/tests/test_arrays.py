"""Arrays out of and into collections: they equal what `cxc export` writes
for the same file, survive the round trip through a file, and follow the
layouts and axes of `cxc import`."""
import subprocess

import numpy as np
import pytest

import megcxc
from conftest import random_cross


def test_arrays_equal_what_cxc_export_writes(cxc, demo_file, tmp_path):
    out = tmp_path / "export"
    subprocess.run([cxc, "export", str(demo_file), "-o", str(out)], check=True, capture_output=True)
    coll = megcxc.load(demo_file)
    for key in ("active", "control"):
        ds = coll[key]
        np.testing.assert_array_equal(ds.complex(), np.load(out / f"{key}_cross.npy"))
        np.testing.assert_array_equal(ds.power, np.load(out / f"{key}_power.npy"))
        np.testing.assert_array_equal(ds.freqs, np.load(out / f"{key}_freqs.npy"))
        np.testing.assert_array_equal(ds.times, np.load(out / f"{key}_times.npy"))


def test_numpy_collection_file_numpy_round_trip(tmp_path):
    cross = random_cross((3, 3, 5, 7))
    freqs = np.geomspace(4.0, 40.0, 7)
    times = np.arange(5) * 10.0 + 250.0
    ds = megcxc.Dataset.from_numpy(cross, freqs=freqs, times=times / 500.0, name="subject 1", sfreq=500.0)
    coll = megcxc.Collection(name="round trip")
    coll.active = ds
    assert ds.collection is coll and ds.spctm_class == "active"
    coll.save(tmp_path / "r.cxc")
    back = megcxc.load(tmp_path / "r.cxc").active
    np.testing.assert_array_equal(back.complex(), cross)
    np.testing.assert_array_equal(back.raw_real, cross.real)
    np.testing.assert_array_equal(back.raw_imag, cross.imag)
    np.testing.assert_allclose(back.freqs, freqs, rtol=1e-12)
    np.testing.assert_array_equal(back.times, times)
    assert back.name == "subject 1"
    assert back.sfreq == 500.0
    np.testing.assert_allclose(back.times_s, times / 500.0)
    back.channel_names = ["MEG0111", "MEG0112", "MEG0113"]
    back.value_unit = "T²/Hz"
    back.collection.save(tmp_path / "r.cxc")
    again = megcxc.load(tmp_path / "r.cxc").active
    assert again.channel_names == (["MEG0111", "MEG0112", "MEG0113"],) * 2
    assert again.value_unit == "T²/Hz"
    with pytest.raises(megcxc.Error, match="2 row and 2 column names for 3 x 3 sensors"):
        again.channel_names = ["a", "b"]
    back.sfreq = None
    with pytest.raises(megcxc.Error, match="records no sampling rate"):
        back.times_s

    # Large enough for the gather to split its rows over worker threads.
    big = random_cross((40, 36, 12, 25), seed=3)
    ds = megcxc.Dataset.from_numpy(big)
    np.testing.assert_array_equal(ds.complex(), big)
    np.testing.assert_array_equal(ds.imag, big.imag)


def test_sft_layout_is_mne_order_and_real_data_has_no_imaginary_plane():
    cross = random_cross((2, 2, 3, 4))
    stf = megcxc.Dataset.from_numpy(cross)
    sft = megcxc.Dataset.from_numpy(np.ascontiguousarray(cross.transpose(0, 1, 3, 2)), layout="sft")
    np.testing.assert_array_equal(sft.complex(), stf.complex())
    real = megcxc.Dataset.from_numpy(cross.real.astype(np.float32))
    np.testing.assert_array_equal(real.real, cross.real.astype(np.float32).astype(np.float64))
    assert real.planes == {"real": 4, "imag": 0, "power": 0}
    with pytest.raises(megcxc.Error, match="the active dataset has no imag plane"):
        real.imag
    np.testing.assert_array_equal(real.freqs, np.arange(4.0))  # no axis: point k is k Hz


def test_assigning_a_dataset_of_another_collection_copies_it(demo):
    other = megcxc.Collection()
    other["control"] = demo.active
    demo.active.scale(2.0)
    np.testing.assert_array_equal(other.control.real * 2.0, demo.active.real)
    assert demo.active.valid


def test_description_is_what_cxc_info_prints(cxc, demo_file):
    info = subprocess.run([cxc, "info", str(demo_file)], check=True, capture_output=True, text=True).stdout
    assert repr(megcxc.load(demo_file)) == info
    coll = megcxc.load(demo_file)
    assert coll.info["datasets"][0]["sensors"] == [8, 8]
    assert coll.current_class == "active"
    assert list(coll) == ["active", "control"] and len(coll) == 2 and "act-ctl" not in coll


def test_selection_and_current_pair_are_clamped_into_the_grid(demo):
    ds = demo.active
    ds.selection = (1, 99, 2, 3)
    assert ds.selection == (1, 3, 2, 3)
    ds.current_pair = (5, 100)
    assert ds.current_pair == (5, 7)


def test_to_xarray_has_named_dims_and_axes_in_hz_and_seconds(demo):
    xr = pytest.importorskip("xarray")
    a = demo.active.to_xarray()
    assert isinstance(a, xr.DataArray)
    assert a.dims == ("row", "col", "time", "freq")
    np.testing.assert_array_equal(a.coords["freq"], demo.active.freqs)
    np.testing.assert_allclose(a.coords["time"], demo.active.times / 250.0)
    np.testing.assert_array_equal(a.values, demo.active.complex())
    demo.active.sfreq = None
    np.testing.assert_array_equal(demo.active.to_xarray().coords["time"], demo.active.times)


def test_statistics_without_pandas_are_a_structured_array(demo, monkeypatch):
    monkeypatch.setitem(__import__("sys").modules, "pandas", None)
    demo.magnitude()
    table = demo.active.statistics("power", by="time")
    assert isinstance(table, np.ndarray)
    assert table.dtype.names == ("time", "min", "mean", "max", "abs_mean", "rms")
    np.testing.assert_allclose(table["time"], demo.active.times_s, rtol=1e-12)
    np.testing.assert_allclose(table["mean"], demo.active.power.mean(axis=(0, 1, 3)), rtol=1e-12)


# -- mne-connectivity objects and files --------------------------------------

@pytest.fixture
def mnec():
    return pytest.importorskip("mne_connectivity")


def assert_same_dataset(a, b):
    assert a.shape == b.shape and a.planes == b.planes
    for plane in ("real", "imag", "power"):
        if a.planes[plane]:
            np.testing.assert_array_equal(a.plane(plane), b.plane(plane))
    np.testing.assert_array_equal(a.freqs, b.freqs)
    np.testing.assert_array_equal(a.times, b.times)
    assert a.sfreq == b.sfreq and a.channel_names == b.channel_names
    assert a.info["cxc_type"] == b.info["cxc_type"]


def test_connectivity_arrays_and_files_round_trip_without_mne_connectivity(tmp_path):
    # Reading mne-connectivity's own files: tests/interop/mne_fixture_test.cpp.
    out = megcxc.demo(sensors=4, time=3, freq=5).active
    out.channel_names = ["a", "b", "c", "d"]
    parts = out._ref.to_mne()
    np.testing.assert_array_equal(parts["data"].reshape(4, 4, 5, 3), out.complex().transpose(0, 1, 3, 2))
    back = megcxc.Collection()
    back._core.import_mne(0, parts["data"], list(parts["freqs"]), list(parts["times"]), 4, parts["names"],
                          [parts["method"]], "all", parts["sfreq"])
    assert_same_dataset(back.active, out)
    out.save_mne_connectivity(tmp_path / "out.nc")
    assert_same_dataset(megcxc.Collection().import_mne_connectivity("active", tmp_path / "out.nc"), out)
    with pytest.raises(megcxc.Error, match=r"shape \(15, 5, 3\) does not match the nodes, .* \(16, 5, 3\)"):
        back._core.import_mne(0, parts["data"][:15], list(parts["freqs"]), list(parts["times"]), 4, [], [], "all", None)


def test_a_dataset_goes_to_a_connectivity_object_and_back(mnec, tmp_path):
    ds = megcxc.demo(sensors=5, time=4, freq=6).active
    ds.channel_names = [f"MEG{k:04d}" for k in range(5)]
    conn = ds.to_mne_connectivity()
    assert isinstance(conn, mnec.SpectroTemporalConnectivity) and conn.indices == "all"
    assert conn.names == ds.channel_names[0] and conn.method == ds.info["cxc_type"]
    assert conn.attrs["sfreq"] == ds.sfreq
    np.testing.assert_array_equal(conn.freqs, ds.freqs)
    np.testing.assert_array_equal(conn.times, ds.times_s)
    np.testing.assert_array_equal(conn.get_data(output="dense"), ds.complex().transpose(0, 1, 3, 2))
    back = megcxc.from_mne_connectivity(conn)
    assert_same_dataset(back, ds)
    conn.save(tmp_path / "conn.nc")
    assert_same_dataset(megcxc.Collection().import_mne_connectivity("control", tmp_path / "conn.nc"), back)


@pytest.mark.parametrize("method", ["cohy", "imcoh"])
def test_spectral_connectivity_epochs_imports_as_its_saved_file(mnec, tmp_path, method):
    rng = np.random.default_rng(5)
    conn = mnec.spectral_connectivity_epochs(rng.standard_normal((3, 4, 120)), method=method, mode="cwt_morlet",
                                             sfreq=100.0, cwt_freqs=np.array([10.0, 20.0, 30.0]), cwt_n_cycles=2.0,
                                             names=["A1", "A2", "B1", "B2"], verbose=False)
    ds = megcxc.from_mne_connectivity(conn)
    conn.save(tmp_path / "sce.nc")
    assert_same_dataset(ds, megcxc.Collection().import_mne_connectivity("active", tmp_path / "sce.nc"))
    values = ds.complex() if method == "cohy" else ds.real
    np.testing.assert_array_equal(values[1, 3], -values[3, 1] if method == "imcoh" else np.conj(values[3, 1]))
    assert ds.channel_names[0] == ["A1", "A2", "B1", "B2"] and ds.info["cxc_type"] == method


def test_without_mne_connectivity_the_object_functions_say_what_is_missing(monkeypatch, demo):
    import sys

    monkeypatch.setitem(sys.modules, "mne_connectivity", None)
    with pytest.raises(ImportError, match="need the mne-connectivity package"):
        demo.active.to_mne_connectivity()
    with pytest.raises(TypeError, match="SpectroTemporalConnectivity"):
        megcxc.from_mne_connectivity(np.zeros((4, 2, 2)))
