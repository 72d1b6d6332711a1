"""Every processing step against a NumPy reference computed from the arrays
before the step."""
import numpy as np
import pytest

import megcxc
from conftest import random_cross

SHAPE = (3, 3, 4, 5)


@pytest.fixture
def ds():
    """A standalone dataset with real, imaginary and magnitude planes."""
    return megcxc.Dataset.from_numpy(random_cross(SHAPE), freqs=np.linspace(2, 10, 5)).magnitude()


def test_magnitude_phase_and_polarity(ds):
    z = ds.complex()
    np.testing.assert_allclose(ds.power, np.abs(z), rtol=1e-15)
    np.testing.assert_allclose(ds.phase().power, np.angle(z), rtol=1e-15, atol=1e-15)
    np.testing.assert_allclose(ds.magnitude("real-sign").power, np.where(z.real < 0, -1, 1) * np.abs(z), rtol=1e-15)
    with pytest.raises(ValueError):
        ds.magnitude("loud")


def test_log_scale_and_chaining_return_the_dataset(ds):
    p = ds.power
    assert ds.log().scale(3.0) is ds
    np.testing.assert_allclose(ds.power, 3.0 * np.log(p), rtol=1e-14)
    re = ds.real
    ds.log("real")  # negative cells give NaN, as np.log does
    np.testing.assert_array_equal(np.isnan(ds.real), re < 0)


@pytest.mark.parametrize("axis, axes", [("time", (2,)), ("freq", (3,)), ("both", (2, 3))])
def test_accumulate_is_the_mean_over_the_axis(ds, axis, axes):
    z, p = ds.complex(), ds.power
    ds.accumulate(axis)
    np.testing.assert_allclose(ds.complex(), z.mean(axis=axes, keepdims=True), rtol=1e-13)
    np.testing.assert_allclose(ds.power, p.mean(axis=axes, keepdims=True), rtol=1e-13)


def test_root_strip_divides_each_frequency_by_its_baseline(ds):
    p = ds.power
    ds.root_strip(1, 3, factor=100.0)
    np.testing.assert_allclose(ds.power, p / p[:, :, 1:3, :].mean(axis=2, keepdims=True) * 100.0, rtol=1e-13)


def test_rms_normalise_divides_real_and_imaginary_planes_by_their_own_rms(ds):
    z = ds.complex()
    ds.rms_normalise()
    np.testing.assert_allclose(ds.real, z.real / np.sqrt(np.mean(z.real**2)), rtol=1e-12)
    np.testing.assert_allclose(ds.imag, z.imag / np.sqrt(np.mean(z.imag**2)), rtol=1e-12)


def test_cuts_overwrite_values_out_of_range_and_boxes(ds):
    p, re = ds.power, ds.real
    ds.cut_values(0.5, 1.5, fill=-1.0)
    np.testing.assert_array_equal(ds.power, np.where((p < 0.5) | (p > 1.5), -1.0, p))
    ds.cut_time(1, 2, fill=9.0, plane="real")
    expected = re.copy()
    expected[:, :, 1:3, :] = 9.0
    np.testing.assert_array_equal(ds.real, expected)
    ds.cut_freq(3, None, fill=7.0, plane="real")
    expected[:, :, :, 3:] = 7.0
    np.testing.assert_array_equal(ds.real, expected)
    ds.cut_box(time=(0, 0), freq=(0, 1), fill=5.0, plane="real")
    expected[:, :, 0, 0:2] = 5.0
    np.testing.assert_array_equal(ds.real, expected)


def test_nan_to_zero_zero_diagonal_and_restore_raw(ds):
    z = ds.complex()
    ds.log("real").nan_to_zero()
    assert np.all(np.isfinite(ds.real)) and np.all(ds.real[z.real < 0] == 0.0)
    ds.restore_raw()
    np.testing.assert_array_equal(ds.complex(), z)
    ds.zero_diagonal()
    expected = z.copy()
    for k in range(3):
        expected[k, k] = 0
    np.testing.assert_array_equal(ds.complex(), expected)


def test_act_ctl_subtracts_the_control_collapsed_over_time(demo):
    demo.magnitude()
    a, c = demo.active.power, demo.control.power
    with pytest.raises(megcxc.Error, match="collapsing it over time was declined"):
        demo.compute_act_ctl("-", collapse_control=False)
    assert demo.act_ctl is None and demo.control.shape[2] == 4
    result = demo.compute_act_ctl("-", collapse_control=True)
    np.testing.assert_allclose(result.power, a - c.mean(axis=2, keepdims=True), rtol=1e-12, atol=1e-12)
    assert result.name == "Act-Ctl CxC"
    np.testing.assert_array_equal(result.freqs, demo.active.freqs)
    demo.compute_act_ctl("/", collapse_control=True)  # a single time point now: no question
    expected = a / c.mean(axis=2, keepdims=True)[:, :, :1, :1]
    np.testing.assert_allclose(demo.act_ctl.power, expected, rtol=1e-12)
    with pytest.raises(ValueError):
        demo.compute_act_ctl("%", collapse_control=True)
    with pytest.raises(TypeError):
        demo.compute_act_ctl("-")  # the question is never answered by a default


def test_summaries_are_per_cell_figures_over_the_pairs(demo):
    demo.magnitude().summaries()
    p = demo.active.power
    s = demo.active.summary("power")
    cells = dict(zip(s["cells_names"], s["cells"]))
    np.testing.assert_array_equal(cells["min"], p.min(axis=(0, 1)))
    np.testing.assert_array_equal(cells["max"], p.max(axis=(0, 1)))
    np.testing.assert_allclose(cells["mean"], p.mean(axis=(0, 1)), rtol=1e-12)
    np.testing.assert_allclose(cells["rms"], np.sqrt((p**2).mean(axis=(0, 1))), rtol=1e-12)
    assert s["pairs"] == 64
    assert s["max"] == pytest.approx(p.max())


def test_steps_of_the_collection_reach_every_dataset(demo):
    z = {k: demo[k].complex() for k in demo}
    demo.scale(2.0)
    for k in demo:
        np.testing.assert_array_equal(demo[k].complex(), 2.0 * z[k])
    demo.restore_raw()
    for k in demo:
        np.testing.assert_array_equal(demo[k].complex(), z[k])
