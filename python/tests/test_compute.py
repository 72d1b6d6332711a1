"""megcxc.compute: the same connectivity as cxc compute, from arrays or an
mne.Epochs-like object, with the channel names kept."""
import numpy as np
import pytest

import megcxc


def epochs(n=4, channels=3, samples=64, seed=3):
    rng = np.random.default_rng(seed)
    return rng.standard_normal((n, channels, samples))


def test_arrays_give_a_complete_collection_and_the_cli_figures(tmp_path, cxc):
    import subprocess

    data = epochs()
    coll = megcxc.compute(data, sfreq=100.0, freqs=[20.0, 30.0], n_cycles=3, method="cohy", zero_mean=True,
                          ch_names=["a", "b", "c"])
    ds = coll.active
    assert ds.shape == (3, 3, 64, 2)
    assert ds.channel_names[0] == ["a", "b", "c"]
    assert ds.sfreq == 100.0
    c = ds.complex()
    np.testing.assert_allclose(c[1, 0], np.conj(c[0, 1]), rtol=1e-12, atol=1e-15)

    np.save(tmp_path / "e.npy", data)
    out = tmp_path / "e.cxc"
    subprocess.run([cxc, "compute", "-o", str(out), "--active", str(tmp_path / "e.npy"), "--sfreq", "100",
                    "--freqs", "20,30", "--n-cycles", "3", "--method", "cohy", "--zero-mean"], check=True,
                   capture_output=True)
    # FFTW may pick another plan in another process: equal to rounding.
    np.testing.assert_allclose(megcxc.load(out).active.complex(), c, rtol=1e-10, atol=1e-13)


def test_an_epochs_object_brings_its_rate_and_names_and_bad_input_is_refused():
    class FakeEpochs:
        info = {"sfreq": 100.0}
        ch_names = ["x", "y", "z"]

        def get_data(self):
            return epochs(seed=5)

    coll = megcxc.compute(FakeEpochs(), freqs=[25.0], n_cycles=2.0, method="coh")
    assert coll.active.channel_names[0] == ["x", "y", "z"]
    assert coll.control is None
    with pytest.raises(ValueError, match="sfreq"):
        megcxc.compute(epochs(), freqs=[25.0])
    with pytest.raises(ValueError, match="unknown method"):
        megcxc.compute(epochs(), sfreq=100.0, freqs=[25.0], method="bogus")
    with pytest.raises(ValueError, match="3 dimensions"):
        megcxc.compute(epochs()[0], sfreq=100.0, freqs=[25.0])
    with pytest.raises(megcxc.Error, match="2 channel names for 3 channels"):
        megcxc.compute(epochs(), sfreq=100.0, freqs=[25.0], n_cycles=2.0, ch_names=["a", "b"])


def test_float32_and_strided_epochs_are_read_as_their_values():
    data = epochs(n=3, channels=4, samples=80, seed=9)
    ref = megcxc.compute(data, sfreq=100.0, freqs=[20.0], n_cycles=2.0, method="plv").active.real
    wide = np.zeros((3, 8, 80))
    wide[:, ::2] = data  # every other channel: not C-contiguous
    np.testing.assert_array_equal(megcxc.compute(wide[:, ::2], sfreq=100.0, freqs=[20.0], n_cycles=2.0,
                                                 method="plv").active.real, ref)
    single = megcxc.compute(data.astype(np.float32), sfreq=100.0, freqs=[20.0], n_cycles=2.0, method="plv")
    np.testing.assert_allclose(single.active.real, ref, rtol=1e-5, atol=1e-6)
