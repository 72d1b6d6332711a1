"""Group statistics across subjects: the serial and the Dask run agree to the
bit, the permutation test finds a planted effect and keeps the family-wise
error near alpha on null data, and subjects that do not fit are named."""
import numpy as np
import pytest

import megcxc
from megcxc import group

SHAPE = (3, 3, 2, 4)  # sensors x sensors x time x frequency
FREQS = np.array([4.0, 6.0, 8.0, 10.0])
EFFECT = (0, 2, 1, 3)  # row, column, time, frequency of the planted effect


def subject_maps(n, effect=0.0, seed=0):
    rng = np.random.default_rng(seed)
    maps = rng.standard_normal((n,) + SHAPE)
    maps[(slice(None),) + EFFECT] += effect
    return maps


def write_subjects(folder, maps, spctm_class="act-ctl"):
    paths = []
    for i, values in enumerate(maps):
        coll = megcxc.Collection(name=f"subject {i}")
        coll.import_array(spctm_class, values, FREQS, np.array([0.0, 0.1]), sfreq=10.0)
        path = folder / f"s{i:02d}.cxc"
        coll.save(path)
        paths.append(path)
    return paths


def test_statistics_equal_numpy_and_the_output_collection_carries_them(tmp_path):
    maps = subject_maps(6, effect=3.0, seed=1)
    paths = write_subjects(tmp_path, maps)
    result = group.group_statistics(paths, "act-ctl", "real", n_permutations=31, seed=5)
    assert result.n == 6
    np.testing.assert_allclose(result.mean, maps.mean(axis=0), rtol=1e-12, atol=1e-14)
    np.testing.assert_allclose(result.std, maps.std(axis=0, ddof=1), rtol=1e-10)
    t = maps.mean(axis=0) / (maps.std(axis=0, ddof=1) / np.sqrt(6))
    np.testing.assert_allclose(result.t, t, rtol=1e-9)
    # The in-memory test uses the same signs, sums and p-values.
    t_mem, p_mem, max_mem = group.sign_flip_test(maps, 31, seed=5)
    assert np.array_equal(result.t, t_mem) and np.array_equal(result.p_corrected, p_mem)
    assert np.array_equal(result.max_t, max_mem)
    np.testing.assert_allclose(result.times_s, [0.0, 0.1])

    out = tmp_path / "group.cxc"
    assert group.main([str(out)] + [str(p) for p in paths] + ["--plane", "real"]) == 0
    back = megcxc.load(out)
    np.testing.assert_allclose(back.act_ctl.real, result.t, rtol=1e-12)
    np.testing.assert_allclose(back.active.real, result.mean, rtol=1e-12)
    assert back.act_ctl.sfreq == 10.0


def test_paired_active_minus_control_equals_the_one_sample_test_of_the_differences(tmp_path):
    active = subject_maps(5, effect=2.0, seed=2)
    control = subject_maps(5, seed=3)
    paths = []
    for i in range(5):
        coll = megcxc.Collection()
        coll.import_array("active", active[i], FREQS, np.array([0.0, 1.0]))
        coll.import_array("control", control[i], FREQS, np.array([0.0, 1.0]))
        paths.append(tmp_path / f"p{i}.cxc")
        coll.save(paths[-1])
    result = group.group_statistics(paths, plane="real", paired=True)
    diff = active - control
    np.testing.assert_allclose(result.t, diff.mean(0) / (diff.std(0, ddof=1) / np.sqrt(5)), rtol=1e-9)


def test_subjects_that_do_not_fit_are_named(tmp_path):
    paths = write_subjects(tmp_path, subject_maps(3))
    other = megcxc.Collection()
    other.import_array("act-ctl", np.zeros((2, 2, 2, 4)), FREQS, np.array([0.0, 0.1]), sfreq=10.0)
    odd = tmp_path / "odd.cxc"
    other.save(odd)
    with pytest.raises(megcxc.Error, match="odd.cxc: sensors and grid"):
        group.group_statistics(paths + [odd], plane="real")
    with pytest.raises(megcxc.Error, match="holds no active dataset"):
        group.group_statistics(paths, "active", "real")
    with pytest.raises(megcxc.Error, match="at least 2 subjects"):
        group.group_statistics(paths[:1], plane="real")


def test_the_planted_effect_is_found_and_the_familywise_error_stays_near_alpha():
    t, p, _ = group.sign_flip_test(subject_maps(12, effect=2.5, seed=7), 199, seed=1)
    assert p[EFFECT] <= 0.05
    assert np.argmax(np.abs(t)) == np.ravel_multi_index(EFFECT, SHAPE)
    # Null data: the chance that any cell of a map is called is alpha.
    simulations, alpha = 200, 0.05
    hits = sum(bool((group.sign_flip_test(subject_maps(10, seed=100 + k), 99, seed=k)[1] <= alpha).any())
               for k in range(simulations))
    # Binomial(200, 0.05): mean 10, standard deviation about 3.1.
    assert 2 <= hits <= 20, hits


def test_a_dask_cluster_gives_exactly_the_serial_result(tmp_path):
    distributed = pytest.importorskip("distributed")
    paths = write_subjects(tmp_path, subject_maps(5, effect=2.0, seed=9))
    serial = group.group_statistics(paths, plane="real", n_permutations=15, seed=3, batch=4)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as client:
        remote = group.group_statistics(paths, plane="real", n_permutations=15, seed=3, batch=4, client=client)
    for name in ("mean", "std", "t", "p_corrected", "max_t"):
        assert np.array_equal(getattr(serial, name), getattr(remote, name)), name
