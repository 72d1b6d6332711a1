"""Bad inputs and damaged files raise the package's exceptions with clear
texts; the library's messages become warnings; a dataset or an array never
reaches freed memory."""
import gc
import warnings

import numpy as np
import pytest

import megcxc
from conftest import random_cross


@pytest.mark.parametrize("data, kwargs, error, text", [
    (np.zeros((2, 2, 3)), {}, megcxc.Error, r"data: expected a 4-D array sensors x sensors x time x frequency, found shape \(2, 2, 3\)"),
    (np.zeros((2, 2, 0, 3)), {}, megcxc.Error, r"has an empty dimension"),
    (np.array([["a"]]), {}, TypeError, "expected a float or complex array"),
    (np.zeros((1, 1, 2, 3)), {"freqs": [1.0, np.nan, 3.0]}, megcxc.Error, "freqs: frequencies value 1 is not finite"),
    (np.zeros((1, 1, 2, 3)), {"freqs": [1.0, 2.0]}, megcxc.Error, r"freqs: expected 3 frequencies \(one per point\), found shape \(2,\)"),
    (np.zeros((1, 1, 2, 3)), {"freqs": [3.0, 2.0, 1.0]}, megcxc.Error, "not strictly increasing at index 1"),
    (np.zeros((1, 1, 2, 3)), {"times": [0.0, 0.004]}, megcxc.Error, "not a whole sample position"),
    (np.zeros((1, 1, 2, 3)), {"times": [0.0, 0.0031], "sfreq": 1000.0}, megcxc.Error, "is not on a sample of"),
    (np.zeros((1, 1, 2, 3)), {"sfreq": 0.5}, megcxc.Error, "the sampling rate must be above 1 Hz"),
    (np.zeros((1, 1, 2, 3)), {"times": ["x", "y"]}, TypeError, "times: expected real numbers"),
    (np.zeros((1, 1, 2, 3)), {"layout": "fts"}, ValueError, "layout must be"),
    (np.zeros((1, 1, 2, 3)), {"computation": "FFT"}, ValueError, "unknown computation"),
])
def test_bad_arrays_are_refused_with_the_import_texts(data, kwargs, error, text):
    with pytest.raises(error, match=text):
        megcxc.Dataset.from_numpy(data, **kwargs)


def test_a_refused_import_leaves_the_slot_as_it_was(demo):
    before = demo.active
    with pytest.raises(megcxc.Error):
        demo.import_array("active", np.zeros((8, 8, 4)))
    assert before.valid


def test_truncated_and_missing_files(tmp_path, demo_file):
    data = demo_file.read_bytes()
    cut = tmp_path / "cut.cxc"
    cut.write_bytes(data[: len(data) - 1000])
    with pytest.raises(megcxc.ArchiveError, match=r"truncated or damaged file \(ends at byte") as e:
        megcxc.load(cut)
    assert len(data) - 1000 - 200 < e.value.offset <= len(data) - 1000
    assert str(cut) in str(e.value)
    with pytest.raises(megcxc.Error, match="cannot open"):  # other damage: host_files_test.cpp
        megcxc.load(tmp_path / "missing.cxc")


def test_refused_steps_name_the_reason(demo):
    lone = megcxc.Dataset.from_numpy(random_cross((2, 2, 2, 2)))
    with pytest.raises(megcxc.Error, match="needs both an active and a control dataset"):
        lone.collection.compute_act_ctl("-", collapse_control=True)
    with pytest.raises(megcxc.Error, match="the collection holds no dataset"):
        megcxc.Collection().summaries()
    with pytest.raises(megcxc.Error, match="have no power plane"):
        demo.active.log()
    with pytest.raises(megcxc.Error, match="has no power plane"):
        demo.active.power
    for key in ("act-ctl", "passive"):
        with pytest.raises(KeyError):
            demo[key]


def test_library_messages_become_warnings_or_join_the_error(demo):
    demo.control.accumulate("time")
    with pytest.raises(megcxc.Error) as e:
        demo.control.accumulate("time")
    assert "the library said: Spectral data have only 1 time-slice!?" in str(e.value)
    zero = megcxc.Dataset.from_numpy(np.zeros((2, 2, 2, 2), dtype=complex))
    with pytest.raises(megcxc.Error, match="is smaller than zero"):
        zero.rms_normalise()


def test_a_dataset_keeps_its_collection_alive():
    ds = megcxc.demo(sensors=4, time=2, freq=3).active
    gc.collect()
    assert ds.real.shape == (4, 4, 2, 3)


def test_an_array_outlives_its_collection():
    coll = megcxc.demo(sensors=4, time=2, freq=3)
    real = coll.active.real
    expected = real.copy()
    del coll
    gc.collect()
    np.testing.assert_array_equal(real, expected)


def test_a_dataset_replaced_in_its_slot_raises_instead_of_reading_freed_memory(tmp_path, demo_file):
    coll = megcxc.load(demo_file)
    old = coll.active
    coll.import_array("active", random_cross((2, 2, 1, 1)))
    with pytest.raises(megcxc.Error, match="the dataset was removed from its collection"):
        old.real
    with pytest.raises(megcxc.Error, match="removed"):
        old.magnitude()
    assert not old.valid and "removed" in repr(old)
    kept = coll.control
    del coll["control"]
    with pytest.raises(megcxc.Error, match="removed"):
        kept.freqs
    fresh = coll.active
    coll.load(demo_file)
    with pytest.raises(megcxc.Error, match="removed"):
        fresh.name
    assert coll.active.shape == (8, 8, 4, 6)


def test_a_moved_dataset_follows_its_new_slot():
    ds = megcxc.Dataset.from_numpy(random_cross((2, 2, 2, 2)))
    coll = megcxc.Collection()
    coll["control"] = ds
    coll["act-ctl"] = ds  # a copy: ds stays in the control slot
    assert ds.spctm_class == "control" and ds.valid
    np.testing.assert_array_equal(coll.act_ctl.complex(), ds.complex())


def test_calls_from_several_threads_take_turns_with_progress_callbacks():
    import threading

    results, errors = [], []

    def work(seed):
        try:
            seen = []
            coll = megcxc.demo(sensors=6, time=2, freq=3, seed=seed, progress=lambda d, t: seen.append(d))
            results.append((seed, coll.active.complex(progress=lambda d, t: seen.append(d)), len(seen)))
        except Exception as e:  # pragma: no cover - reported below
            errors.append(e)

    threads = [threading.Thread(target=work, args=(s,)) for s in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join(60)
    assert not errors and len(results) == 4
    for seed, cross, calls in results:
        np.testing.assert_array_equal(cross, megcxc.demo(sensors=6, time=2, freq=3, seed=seed).active.complex())
        assert calls == 12 + 6


def test_a_damaged_companion_file_is_a_warning_not_an_error(tmp_path, demo):
    demo.active.channel_names = [f"MEG{k:04d}" for k in range(8)]
    demo.save(tmp_path / "c.cxc")
    (tmp_path / "c.cxc.meta.json").write_text("{ not json")
    with pytest.warns(megcxc.LibraryMessage):
        coll = megcxc.load(tmp_path / "c.cxc")
    assert coll.active.channel_names is None


# -- progress and the GIL in long operations ----------------------------------

def test_loads_saves_and_steps_report_rising_progress_ending_at_the_total(tmp_path):
    # Over 256 KiB: the file's worker thread moves the bytes in blocks.
    demo = megcxc.demo(sensors=24, time=4, freq=40)

    def recorder():
        seen = []
        return seen, lambda done, total: seen.append((done, total))

    def rising_to_the_end(seen, total):
        assert seen and all(t == total for _, t in seen), seen
        assert [d for d, _ in seen] == sorted(d for d, _ in seen) and seen[-1][0] == total

    saved, report = recorder()
    demo.save(tmp_path / "p.cxc", progress=report)
    size = (tmp_path / "p.cxc").stat().st_size
    rising_to_the_end(saved, size)
    loaded, report = recorder()
    coll = megcxc.load(tmp_path / "p.cxc", progress=report)
    rising_to_the_end(loaded, size)
    np.testing.assert_array_equal(coll.active.complex(), demo.active.complex())

    rows, report = recorder()
    coll.compute_act_ctl("-", collapse_control=True, progress=report)
    rising_to_the_end(rows, 24)


def test_a_raising_progress_callback_stops_a_load_or_save_and_reaches_the_caller(tmp_path, demo):
    demo.save(tmp_path / "keep.cxc")
    before = (tmp_path / "keep.cxc").read_bytes()
    other = megcxc.demo(sensors=24, time=4, freq=40)  # saved and loaded in blocks

    def stop(done, total):
        raise ValueError(f"stopped at {done} of {total}")

    with pytest.raises(ValueError, match="stopped at"):
        other.save(tmp_path / "keep.cxc", progress=stop)
    assert (tmp_path / "keep.cxc").read_bytes() == before
    assert [p.name for p in tmp_path.iterdir()] == ["keep.cxc"]  # no temporary file left

    ds = other.active
    other.save(tmp_path / "big.cxc")
    with pytest.raises(ValueError, match="stopped at"):
        other.load(tmp_path / "big.cxc", progress=stop)
    assert ds.valid and other.active.shape == (24, 24, 4, 40)

    # A step is not left half done: it finishes, then the exception comes.
    expected = np.abs(other.active.complex())
    with pytest.raises(ValueError, match="stopped at"):
        other.active.magnitude(progress=stop)
    np.testing.assert_allclose(other.active.power, expected, rtol=1e-15)


def test_a_progress_callback_that_calls_megcxc_gets_an_error_instead_of_a_hang(tmp_path):
    # In a child process: the call would otherwise wait for itself forever.
    import os
    import subprocess
    import sys
    import textwrap

    code = textwrap.dedent("""
        import numpy as np, pytest, megcxc
        c = megcxc.demo(sensors=6, time=2, freq=3)
        with pytest.raises(megcxc.Error, match="from a progress callback"):
            c.save("c.cxc", progress=lambda done, total: c.describe())
        c.save("c.cxc")
        with pytest.raises(megcxc.Error, match="from a progress callback"):
            megcxc.load("c.cxc", progress=lambda done, total: c.control.complex())
        expected = np.abs(c.active.complex())
        with pytest.raises(megcxc.Error, match="from a progress callback"):
            c.active.magnitude(progress=lambda done, total: c.control.magnitude())
        # The step finished and the library is free for the next call.
        np.testing.assert_allclose(c.active.power, expected, rtol=1e-15)
        assert c.control.planes["power"] == 0
        print("done")
    """)
    env = dict(os.environ, PYTHONPATH=os.path.dirname(os.path.dirname(os.path.abspath(megcxc.__file__))))
    run = subprocess.run([sys.executable, "-c", code], cwd=tmp_path, env=env, capture_output=True, text=True,
                         timeout=120)
    assert run.returncode == 0 and run.stdout == "done\n", run.stdout + run.stderr


def test_other_python_threads_run_while_a_file_loads(tmp_path):
    import threading
    import time

    megcxc.demo(sensors=40, time=10, freq=20).save(tmp_path / "big.cxc")
    ticks, stop = [], threading.Event()

    def count():
        while not stop.is_set():
            ticks.append(time.perf_counter())

    thread = threading.Thread(target=count)
    thread.start()
    try:
        while not ticks:
            time.sleep(0.001)
        start = time.perf_counter()
        megcxc.load(tmp_path / "big.cxc")
        end = time.perf_counter()
    finally:
        stop.set()
        thread.join()
    # Holding the GIL through the read would leave the counter no turn
    # between the first and the last few milliseconds of the load.
    inside = [t for t in ticks if start + 0.1 * (end - start) < t < end - 0.1 * (end - start)]
    assert len(inside) > 10, (end - start, len(inside))
