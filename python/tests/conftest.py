"""Shared fixtures: a small demo collection saved to a file, the cxc binary."""
import os
import shutil

import numpy as np
import pytest

import megcxc


@pytest.fixture
def demo():
    """An 8-sensor demo collection (active and control, real and imaginary
    planes), 4 time x 6 frequency points."""
    return megcxc.demo(sensors=8, time=4, freq=6)


@pytest.fixture
def demo_file(tmp_path, demo):
    path = tmp_path / "demo.cxc"
    demo.magnitude()
    demo.save(path)
    return path


@pytest.fixture
def cxc():
    """The cxc binary of this build (MEGCXC_CXC, set by ctest), or skip."""
    path = os.environ.get("MEGCXC_CXC") or shutil.which("cxc")
    if not path or not os.path.exists(path):
        pytest.skip("cxc binary not available (set MEGCXC_CXC)")
    return path


def random_cross(shape, seed=1):
    """Complex values of the given shape, fixed per seed."""
    rng = np.random.default_rng(seed)
    return rng.standard_normal(shape) + 1j * rng.standard_normal(shape)
