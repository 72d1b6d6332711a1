"""megcxc: time-frequency cross-spectra between every pair of MEG sensors.

A :class:`Collection` holds up to three class datasets (``"active"``,
``"control"``, ``"act-ctl"``); each :class:`Dataset` is a sensors x sensors
matrix of channel pairs, each pair a time x frequency grid with a real, an
imaginary and a power/phase plane plus a raw backup.

Arrays come out as NumPy arrays of shape (row sensor, column sensor, time,
frequency). They are copies gathered from the pairs (the library keeps every
pair's plane in a block of its own), so an array stays valid whatever happens
to the collection afterwards. A :class:`Dataset` keeps its collection alive;
once the dataset has left its collection (replaced by an import, a load or an
assignment, or deleted), using it raises :class:`Error` instead of touching
freed memory.

Library messages: a refused operation raises :class:`Error` with the reason
and the library's own messages; other messages the library shows arrive as
:class:`LibraryMessage` warnings. The one Yes/No question (collapse the
control over time before A-C) is answered by a keyword argument.
Damaged or truncated files raise :class:`ArchiveError` (an ``OSError``) with
the byte ``offset`` where reading failed.

Long operations release the GIL, so other Python threads run meanwhile, and
accept an optional ``progress(done, total)`` callable: loads and saves in
bytes of the file, processing steps, imports and plane gathering in sensor
rows (a library pass that does a whole dataset at once reports when it is
done). The reports never decrease and end with done == total. An exception
the callable raises is raised by the operation: a load or save stops at once
(the collection or the old file unchanged); other operations finish first,
as a half-done step would leave mixed data.
"""

from __future__ import annotations

import json as _json
import os as _os
from typing import Callable, Dict, Iterator, Optional, Tuple

import numpy as np

from . import _megcxc as _core

Error = _core.Error
ArchiveError = _core.ArchiveError
LibraryMessage = _core.LibraryMessage

__all__ = [
    "Collection",
    "Dataset",
    "Error",
    "ArchiveError",
    "LibraryMessage",
    "load",
    "demo",
    "small_demo",
    "compute",
    "from_mne_connectivity",
    "set_worker_threads",
    "CLASSES",
]

#: The class keys in slot order.
CLASSES = ("active", "control", "act-ctl")

_PLANES = ("real", "imag", "power")

Progress = Optional[Callable[[int, int], object]]


def _class_code(key) -> int:
    if isinstance(key, str):
        code = _core.class_from_key(key.replace("_", "-"))
        if code >= 0:
            return code
    raise KeyError(f"unknown class {key!r} (one of {', '.join(CLASSES)})")


def _plane_code(plane: str) -> int:
    code = _core.data_type_from_key(plane)
    if code < 0:
        raise ValueError(f"unknown plane {plane!r} (one of {', '.join(_PLANES)})")
    return code


def _report_table(figures, time_report: bool):
    label, mn, mean, mx, absmean, rms = figures
    first = "time" if time_report else "freq"
    table = np.zeros(len(label), dtype=[(first, "f8"), ("min", "f8"), ("mean", "f8"), ("max", "f8"),
                                        ("abs_mean", "f8"), ("rms", "f8")])
    for name, values in zip(table.dtype.names, (label, mn, mean, mx, absmean, rms)):
        table[name] = values
    try:
        import pandas as pd
    except ImportError:
        return table
    return pd.DataFrame(table).set_index(first)


def set_worker_threads(threads: int) -> int:
    """Threads of the per-cell passes (0: one per core, 1: none besides the
    caller's); returns the previous setting. Results do not depend on it."""
    return _core.set_worker_threads(int(threads))


class Dataset:
    """One class dataset of a collection: a sensors x sensors matrix of
    channel pairs on one time x frequency grid.

    Obtain one from a collection (``coll.active``, ``coll["control"]``) or
    make one with :meth:`from_numpy`. Processing methods change the dataset in
    place and return it, so steps chain::

        coll.active.magnitude().log().scale(10.0)
    """

    __slots__ = ("_coll", "_ref")

    def __init__(self, collection: "Collection", ref):
        self._coll = collection
        self._ref = ref

    # -- creation ---------------------------------------------------------

    @classmethod
    def from_numpy(cls, data, freqs=None, times=None, *, layout: str = "stf",
                   computation: Optional[str] = None, name: Optional[str] = None,
                   sfreq: Optional[float] = None, tmin: Optional[float] = None,
                   progress: Progress = None) -> "Dataset":
        """A new dataset from a 4-D array, with the checks and messages of
        ``cxc import``.

        data: float64 or complex128 (other float types are converted) of shape
        (sensors, sensors, time, freq) for layout "stf" or (sensors, sensors,
        freq, time) for "sft" (MNE-Python's order). freqs: the frequency of
        each point in Hz, linear or geometric (without it point k is k Hz).
        times: each time point, evenly spaced: sample positions, or seconds
        when sfreq is given (e.g. ``epochs.times``); without it 0, 1, 2 ...
        samples, or from tmin (seconds) with sfreq. sfreq: the sampling rate
        in Hz, recorded in the dataset. computation: "CWT" (default) or "GBT".

        The dataset belongs to no collection until it is assigned to one
        (``coll.active = ds``), which moves it there.
        """
        coll = Collection()
        coll.import_array("active", data, freqs, times, layout=layout, computation=computation,
                          sfreq=sfreq, tmin=tmin, progress=progress)
        ds = coll.active
        if name is not None:
            ds.name = name
        coll._detached = True
        return ds

    # -- identity ---------------------------------------------------------

    @property
    def collection(self) -> "Collection":
        """The collection holding the dataset."""
        return self._coll

    @property
    def spctm_class(self) -> str:
        """The class key of the slot holding the dataset."""
        return CLASSES[self._ref.spctm_class]

    @property
    def valid(self) -> bool:
        """False once the dataset has left its collection slot."""
        return self._ref.valid

    def _info(self) -> dict:
        return self._ref.info()

    @property
    def name(self) -> str:
        return self._info()["name"]

    @name.setter
    def name(self, value: str) -> None:
        self._ref.set_name(str(value))

    @property
    def channel_names(self):
        """(row names, column names) of the sensors, or None when unknown.
        Set a list (the same names for rows and columns) or a pair of lists.
        Saved in the collection's companion file ("<file>.meta.json")."""
        return self._ref.channel_names

    @channel_names.setter
    def channel_names(self, names) -> None:
        if names is None:
            rows, cols = [], []
        elif len(names) == 2 and not isinstance(names[0], str):
            rows, cols = list(names[0]), list(names[1])
        else:
            rows = cols = [str(n) for n in names]
        self._ref.channel_names = ([str(n) for n in rows], [str(n) for n in cols])

    @property
    def value_unit(self) -> str:
        """The unit of the plane values ("" when unknown); saved beside the file."""
        return self._ref.value_unit

    @value_unit.setter
    def value_unit(self, unit: str) -> None:
        self._ref.value_unit = str(unit)

    @property
    def shape(self) -> Tuple[int, int, int, int]:
        """(row sensors, column sensors, time points, frequency points)."""
        i = self._info()
        return i["sensors"] + i["grid"]

    @property
    def planes(self) -> Dict[str, int]:
        """How many pairs hold each working plane ("real", "imag", "power")."""
        return dict(self._info()["planes"])

    @property
    def raw_planes(self) -> Dict[str, int]:
        """How many pairs hold each plane of the raw backup."""
        return dict(self._info()["raw_planes"])

    @property
    def info(self) -> dict:
        """Everything the dataset records about itself: name, computation,
        store type, axes, selection, current pair, plane census."""
        return self._info()

    def __repr__(self) -> str:
        if not self.valid:
            return "<megcxc.Dataset (removed from its collection)>"
        i = self._info()
        r, c = i["sensors"]
        t, f = i["grid"]
        planes = ", ".join(k for k, n in i["planes"].items() if n) or "none"
        return (f"<megcxc.Dataset {self.spctm_class} {i['name']!r}: {r} x {c} sensors, "
                f"{t} time x {f} frequency points, planes: {planes}>")

    # -- axes ---------------------------------------------------------------

    @property
    def freqs(self) -> np.ndarray:
        """The frequency of each point in Hz."""
        return self._ref.axes()[0]

    @property
    def times(self) -> np.ndarray:
        """The sample position of each time point (float64)."""
        return self._ref.axes()[1]

    @property
    def sfreq(self) -> Optional[float]:
        """The sampling rate in Hz the dataset records, or None. Setting it
        (None forgets it) makes times_s and the time report read in seconds;
        it is saved with the dataset."""
        return self._info()["sfreq"]

    @sfreq.setter
    def sfreq(self, value: Optional[float]) -> None:
        self._ref.set_sampling_rate(0.0 if value is None else float(value))

    @property
    def times_s(self) -> np.ndarray:
        """The time of each point in seconds; Error when the dataset records
        no sampling rate."""
        if self.sfreq is None:
            raise Error("the dataset records no sampling rate: set ds.sfreq or import with sfreq=")
        return self._ref.axes()[2]

    @property
    def selection(self) -> Tuple[int, int, int, int]:
        """The selected box: (first time, last time, first freq, last freq)
        point indices, inclusive. Setting clamps into the grid."""
        return self._info()["selection"]

    @selection.setter
    def selection(self, box) -> None:
        t0, t1, f0, f1 = (int(v) for v in box)
        self._ref.set_selection(t0, t1, f0, f1)

    @property
    def current_pair(self) -> Tuple[int, int]:
        """(row sensor, column sensor) of the pair shown; setting clamps."""
        return self._info()["current_pair"]

    @current_pair.setter
    def current_pair(self, pair) -> None:
        r, c = (int(v) for v in pair)
        self._ref.set_current_pair(r, c)

    # -- arrays -------------------------------------------------------------

    def plane(self, plane: str = "real", *, raw: bool = False, progress: Progress = None) -> np.ndarray:
        """One plane of every pair as a new float64 array (rows, cols, time,
        freq). Error when pairs lack it or differ in extents."""
        return self._ref.plane(_plane_code(plane), raw, progress)

    @property
    def real(self) -> np.ndarray:
        """The real plane, (rows, cols, time, freq) float64 copy."""
        return self._ref.plane(0, False)

    @property
    def imag(self) -> np.ndarray:
        """The imaginary plane, (rows, cols, time, freq) float64 copy."""
        return self._ref.plane(1, False)

    @property
    def power(self) -> np.ndarray:
        """The power/phase plane (magnitude or phase, whichever was computed
        last), (rows, cols, time, freq) float64 copy."""
        return self._ref.plane(2, False)

    @property
    def raw_real(self) -> np.ndarray:
        """The real plane of the raw backup."""
        return self._ref.plane(0, True)

    @property
    def raw_imag(self) -> np.ndarray:
        """The imaginary plane of the raw backup."""
        return self._ref.plane(1, True)

    def complex(self, *, raw: bool = False, progress: Progress = None) -> np.ndarray:
        """Real and imaginary planes as one complex128 array (rows, cols,
        time, freq), as ``cxc export`` writes ``<class>_cross.npy``."""
        return self._ref.complex(raw, progress)

    def to_xarray(self, plane: str = "complex", *, raw: bool = False):
        """The plane (or "complex") as an ``xarray.DataArray`` with dims
        row, col, time, freq; coordinates freq in Hz, time in seconds when
        the sampling rate is known (else samples) and sample positions in
        ``sample``. Needs xarray."""
        import xarray as xr

        values = self.complex(raw=raw) if plane == "complex" else self.plane(plane, raw=raw)
        times = self.times
        seconds = self._ref.axes()[2]
        if raw and values.shape[2] != len(times):
            times = np.arange(values.shape[2], dtype=float)
            seconds = times / self.sfreq if self.sfreq else times
        names = self.channel_names
        coords = {
            "row": names[0] if names and names[0] else np.arange(values.shape[0]),
            "col": names[1] if names and names[1] else np.arange(values.shape[1]),
            "freq": self.freqs if values.shape[3] == len(self.freqs) else np.arange(values.shape[3], dtype=float),
            "sample": ("time", times),
        }
        coords["time"] = seconds if self.sfreq else times
        attrs = {"class": self.spctm_class, "name": self.name, "plane": plane, "value_unit": self.value_unit,
                 "time_units": "s" if self.sfreq else "samples", "freq_units": "Hz"}
        return xr.DataArray(values, dims=("row", "col", "time", "freq"), coords=coords, attrs=attrs)

    def to_mne_connectivity(self):
        """The dataset as an ``mne_connectivity.SpectroTemporalConnectivity``,
        the object ``cxc export --format mne-connectivity`` writes to a file:
        the full sensor matrix as n^2 connections (indices "all"), complex
        when the dataset has real and imaginary planes, freqs in Hz, times in
        seconds (sample positions without a sampling rate), the channel names
        as node names, the CxC type as method, sfreq when known. Error when
        the dataset is not a complete square sensor matrix on one grid.
        Needs mne-connectivity."""
        mc = _mne_connectivity()
        got = self._ref.to_mne()
        extra = {} if got["sfreq"] is None else {"sfreq": got["sfreq"]}
        return mc.SpectroTemporalConnectivity(got["data"], freqs=got["freqs"], times=got["times"],
                                              n_nodes=got["n_nodes"], names=got["names"], indices="all",
                                              method=got["method"], **extra)

    def save_mne_connectivity(self, path) -> None:
        """Write what to_mne_connectivity gives as the file its ``save``
        would write (``cxc export --format mne-connectivity``), atomically;
        needs no mne-connectivity. read_connectivity reads it back."""
        self._ref.save_mne(_os.fspath(path))

    # -- processing steps -----------------------------------------------------

    def _step(self, progress, kind, *, data_type=2, code=0, values=(0.0, 0.0, 0.0), box=(0, 0, 0, 0)) -> "Dataset":
        self._ref.apply(kind, data_type, code, tuple(values), tuple(box), progress)
        return self

    def magnitude(self, polarity: str = "plain", *, progress: Progress = None) -> "Dataset":
        """Power/phase plane = |real + i imag|; polarity "real-sign" or
        "imag-sign" gives it the sign of that part."""
        mode = _core.magnitude_mode_from_key(polarity)
        if mode < 0:
            raise ValueError(f"unknown polarity {polarity!r} (plain, real-sign, imag-sign)")
        return self._step(progress, _core.StepKind.magnitude, code=mode)

    def phase(self, *, progress: Progress = None) -> "Dataset":
        """Power/phase plane = the phase in radians."""
        return self._step(progress, _core.StepKind.phase)

    def log(self, plane: str = "power", *, progress: Progress = None) -> "Dataset":
        """Natural logarithm of a plane."""
        return self._step(progress, _core.StepKind.log, data_type=_plane_code(plane))

    def scale(self, factor: float, *, progress: Progress = None) -> "Dataset":
        """Every plane times `factor`."""
        return self._step(progress, _core.StepKind.scale, values=(float(factor), 0.0, 0.0))

    def zero_diagonal(self, *, progress: Progress = None) -> "Dataset":
        """The pairs of a sensor with itself become 0."""
        return self._step(progress, _core.StepKind.zero_diagonal)

    def accumulate(self, axis: str = "time", *, progress: Progress = None) -> "Dataset":
        """Collapse every pair by its mean over "time", "freq" or "both"."""
        code = _core.axis_from_key(axis)
        if code < 0:
            raise ValueError(f"unknown axis {axis!r} (time, freq, both)")
        return self._step(progress, _core.StepKind.accumulate, code=code)

    def root_strip(self, begin: int, end: int, factor: float = 1.0, plane: str = "power", *,
                   progress: Progress = None) -> "Dataset":
        """Divide each frequency by its mean over time points begin .. end-1
        (the baseline), times `factor`."""
        return self._step(progress, _core.StepKind.root_strip, data_type=_plane_code(plane),
                          values=(float(int(begin)), float(int(end)), float(factor)))

    def rms_normalise(self, *, progress: Progress = None) -> "Dataset":
        """Divide the real and imaginary planes by their RMS over the dataset."""
        return self._step(progress, _core.StepKind.rms_normalise)

    rms_normalize = rms_normalise

    def nan_to_zero(self, *, progress: Progress = None) -> "Dataset":
        """NaN and infinite values of every plane become 0."""
        return self._step(progress, _core.StepKind.nan_to_zero)

    def cut_values(self, low: float, high: float, fill: float = 0.0, plane: str = "power", *,
                   progress: Progress = None) -> "Dataset":
        """Cells below `low` or above `high` become `fill` (NaN stays)."""
        return self._step(progress, _core.StepKind.cut_values, data_type=_plane_code(plane),
                          values=(float(low), float(high), float(fill)))

    def cut_box(self, time=(0, None), freq=(0, None), fill: float = 0.0, plane: str = "power", *,
                progress: Progress = None) -> "Dataset":
        """Cells in time points time[0] .. time[1] and frequency points
        freq[0] .. freq[1] (inclusive; None: the last; clamped) become `fill`."""
        last = 2**62

        def ends(pair):
            a, b = pair
            return int(a), last if b is None else int(b)

        t0, t1 = ends(time)
        f0, f1 = ends(freq)
        return self._step(progress, _core.StepKind.cut_box, data_type=_plane_code(plane),
                          values=(float(fill), 0.0, 0.0), box=(t0, t1, f0, f1))

    def cut_time(self, first: int, last: int, fill: float = 0.0, plane: str = "power") -> "Dataset":
        """Time points first .. last (inclusive) become `fill` at every frequency."""
        return self.cut_box((first, last), (0, None), fill, plane)

    def cut_freq(self, first: int, last: int, fill: float = 0.0, plane: str = "power") -> "Dataset":
        """Frequency points first .. last (inclusive) become `fill` at every time."""
        return self.cut_box((0, None), (first, last), fill, plane)

    def summaries(self, *, progress: Progress = None) -> "Dataset":
        """Compute the class summaries of every plane all pairs hold."""
        return self._step(progress, _core.StepKind.summaries)

    def restore_raw(self, *, progress: Progress = None) -> "Dataset":
        """Every pair back to its raw backup."""
        return self._step(progress, _core.StepKind.restore_raw)

    # -- reports --------------------------------------------------------------

    def summary(self, plane: str = "power"):
        """The class summary of a plane, or None when not computed: a dict
        with the (6, time, freq) array "cells" (min, mean, max, pos_mean,
        neg_mean, rms over the pairs, the rows of "cells_names") and the
        overall figures."""
        got = self._ref.summary(_plane_code(plane))
        if got is None:
            return None
        cells, figures = got
        out = dict(figures)
        out["cells"] = cells
        out["cells_names"] = ("min", "mean", "max", "pos_mean", "neg_mean", "rms")
        return out

    def statistics(self, plane: str = "power", *, by: str = "freq"):
        """The figures of the statistics report, unrounded, one row per
        frequency (by="freq") or time point (by="time"): columns freq/time,
        min, mean, max, abs_mean, rms. A pandas DataFrame when pandas is
        installed, else a NumPy structured array."""
        time_report = _by(by)
        return _report_table(self._ref.statistics(time_report, _plane_code(plane)), time_report)

    def report(self, plane: Optional[str] = None, *, by: str = "freq") -> str:
        """The statistics report text as ``cxc report`` prints it; without a
        plane all three under one header."""
        return self._ref.report(_by(by), -1 if plane is None else _plane_code(plane))

    def peak(self, plane: str = "power", *, skip_diagonal: bool = True):
        """(row, col, time index, freq index, value) of the largest value, or None."""
        return self._ref.peak(_plane_code(plane), skip_diagonal)


def _by(by: str) -> bool:
    if by not in ("freq", "time"):
        raise ValueError(f"by must be 'freq' or 'time', not {by!r}")
    return by == "time"


def _class_property(code: int, key: str):
    def fget(self):
        return self._dataset(code)

    def fset(self, dataset):
        self[key] = dataset

    def fdel(self):
        del self[key]

    return property(fget, fset, fdel, f"The {key} dataset, or None; assign a Dataset to put one there.")


class Collection:
    """The collection of class datasets: active, control and active-control.

    ``Collection()`` is empty; :func:`load` reads a file. Datasets by class:
    ``coll.active``, ``coll.control``, ``coll.act_ctl`` (None when absent) or
    ``coll["control"]`` (KeyError when absent). ``repr(coll)`` is what
    ``cxc info`` prints.
    """

    def __init__(self, *, name: Optional[str] = None):
        self._core = _core._Collection()
        self._file = None
        self._header = ("collection", _core.COLLECTION_MAGIC, _core.COLLECTION_VERSION)
        self._detached = False
        if name is not None:
            self.name = name

    # -- files ----------------------------------------------------------------

    def load(self, path, *, accept_trial: bool = False, progress: Progress = None) -> "Collection":
        """Replace the datasets by those of a collection file (a single trial
        archive, as the active dataset, with accept_trial). Datasets taken
        from this collection before become invalid. Error or ArchiveError
        when the file is refused; the collection is then unchanged.
        progress(bytes read, file size) is called as the file is read; an
        exception it raises stops the load (collection unchanged) and is
        raised from here."""
        path = _os.fspath(path)
        self._header = tuple(self._core.load(path, accept_trial, progress))
        self._file = path
        return self

    def save(self, path, *, progress: Progress = None) -> None:
        """Write the collection atomically: a temporary file beside the
        target, synced and renamed over it; the old file survives a failure.
        progress(bytes written, file size) is called as the file is written;
        an exception it raises stops the save (the old file stays) and is
        raised from here."""
        path = _os.fspath(path)
        self._core.save(path, progress)
        self._file = path

    # -- description ------------------------------------------------------------

    @property
    def name(self) -> str:
        return self._core.name

    @name.setter
    def name(self, value: str) -> None:
        self._core.name = str(value)

    @property
    def current_class(self) -> Optional[str]:
        """The current class key, or None."""
        k = self._core.current_class
        return CLASSES[k] if 0 <= k < 3 else None

    @current_class.setter
    def current_class(self, key: Optional[str]) -> None:
        self._core.current_class = -1 if key is None else _class_code(key)

    def describe(self, *, json: bool = False) -> str:
        """The description ``cxc info`` (``--json``) prints."""
        kind, magic, version = self._header
        file = self._file if self._file is not None else "(not saved)"
        return self._core.describe(file, kind, magic, version, json)

    @property
    def info(self) -> dict:
        """The description as a dict (the JSON of ``cxc info --json``)."""
        return _json.loads(self.describe(json=True))

    def __repr__(self) -> str:
        return self.describe()

    # -- datasets ---------------------------------------------------------------

    def _dataset(self, code: int) -> Optional[Dataset]:
        ref = self._core.dataset(code)
        return None if ref is None else Dataset(self, ref)

    active = _class_property(0, "active")
    control = _class_property(1, "control")
    act_ctl = _class_property(2, "act-ctl")

    def __getitem__(self, key: str) -> Dataset:
        ds = self._dataset(_class_code(key))
        if ds is None:
            raise KeyError(f"the collection holds no {key} dataset")
        return ds

    def __setitem__(self, key: str, dataset: Dataset) -> None:
        """Put a dataset into a class slot. A dataset made by
        Dataset.from_numpy moves in (the object then refers to the slot);
        one from another slot or collection is copied."""
        if not isinstance(dataset, Dataset):
            raise TypeError(f"expected a megcxc.Dataset, not {type(dataset).__name__}")
        code = _class_code(key)
        move = dataset._coll._detached
        self._core.put(code, dataset._ref, move)
        if move:
            dataset._coll = self
            dataset._ref = self._core.dataset(code)

    def __delitem__(self, key: str) -> None:
        code = _class_code(key)
        if not self._core.has(code):
            raise KeyError(f"the collection holds no {key} dataset")
        self._core.remove(code)

    def __contains__(self, key) -> bool:
        try:
            return self._core.has(_class_code(key))
        except KeyError:
            return False

    def keys(self):
        """The class keys that hold a dataset, in slot order."""
        return [k for i, k in enumerate(CLASSES) if self._core.has(i)]

    def __iter__(self) -> Iterator[str]:
        return iter(self.keys())

    def __len__(self) -> int:
        return len(self.keys())

    def items(self):
        return [(k, self[k]) for k in self.keys()]

    def import_array(self, spctm_class: str, data, freqs=None, times=None, *, layout: str = "stf",
                     computation: Optional[str] = None, sfreq: Optional[float] = None,
                     tmin: Optional[float] = None, progress: Progress = None) -> Dataset:
        """Replace a class dataset by an array, as ``cxc import`` does (see
        Dataset.from_numpy for the arguments). Without freqs / times the axes
        of another dataset of the collection on the same grid are taken.
        Every check runs before the collection is touched."""
        code = _class_code(spctm_class)
        if layout not in ("stf", "sft"):
            raise ValueError(f"layout must be 'stf' or 'sft', not {layout!r}")
        array = np.asarray(data)
        if np.iscomplexobj(array):
            array = np.ascontiguousarray(array, dtype=np.complex128)
        elif array.dtype.kind in "fiu":
            array = np.ascontiguousarray(array, dtype=np.float64)
        else:
            raise TypeError(f"data: expected a float or complex array, found dtype {array.dtype}")
        cmpt = -1
        if computation is not None:
            cmpt = _core.computation_from_name(computation)
            if cmpt < 0:
                raise ValueError(f"unknown computation {computation!r} (CWT, GBT)")
        self._core.import_arrays(code, array, layout == "sft", _axis(freqs, "freqs"), _axis(times, "times"),
                                 0.0 if sfreq is None else float(sfreq), float("nan") if tmin is None else float(tmin),
                                 cmpt, "data", progress)
        return self[CLASSES[code]]

    def import_mne_connectivity(self, spctm_class: str, conn) -> Dataset:
        """Replace a class dataset by a ``SpectroTemporalConnectivity``, or by
        the file such an object saved (a path: read without
        mne-connectivity), as ``cxc import --from FILE.nc`` does:
        connection r -> c becomes pair (r, c); the lower triangle alone (what
        spectral_connectivity_epochs gives without indices) is completed
        (conjugate, negative for imcoh); cells without a value become 0 (a
        LibraryMessage says how many); node names become channel names; the
        sampling rate is conn.attrs["sfreq"] or one sample per time point.
        Every check runs before the collection is touched."""
        code = _class_code(spctm_class)
        if isinstance(conn, (str, bytes, _os.PathLike)):
            got = self._core.import_mne_file(code, _os.fsdecode(conn))
        else:
            got = self._core.import_mne(code, *_mne_parts(conn))
        if got["cells_without_value"]:
            import warnings

            warnings.warn(f"{got['cells_without_value']} cell(s) without a value set to 0", LibraryMessage,
                          stacklevel=2)
        return self[CLASSES[code]]

    # -- collection steps -------------------------------------------------------

    def _apply(self, progress, kind, spctm_class, data_type=2, code=0, values=(0.0, 0.0, 0.0), box=(0, 0, 0, 0),
               consent=False) -> str:
        return self._core.apply(kind, spctm_class, data_type, code, tuple(values), tuple(box), 1 if consent else 0,
                                progress)

    def compute_act_ctl(self, op: str = "-", *, collapse_control: bool, progress: Progress = None) -> Dataset:
        """Combine the active and the control dataset into the act-ctl
        dataset: op "-", "+", "*", "/" (or "A-C" ...). A control of several
        time points must first be collapsed over time: collapse_control=True
        agrees, False refuses (Error). Returns the act-ctl dataset."""
        name = op if len(op) > 1 else f"A{op}C"
        code = _core.operation_from_name(name)
        if code < 0:
            raise ValueError(f"unknown operation {op!r} (-, +, *, / or A-C, A+C, A*C, A/C)")
        self._apply(progress, _core.StepKind.act_ctl, -1, code=code, consent=bool(collapse_control))
        return self["act-ctl"]

    def summaries(self, *, progress: Progress = None) -> "Collection":
        """The class summaries of every dataset."""
        self._apply(progress, _core.StepKind.summaries, -1)
        return self

    def restore_raw(self, *, progress: Progress = None) -> "Collection":
        """Every dataset back to its raw backup."""
        self._apply(progress, _core.StepKind.restore_raw, -1)
        return self

    def magnitude(self, polarity: str = "plain", *, progress: Progress = None) -> "Collection":
        """Dataset.magnitude on every dataset."""
        mode = _core.magnitude_mode_from_key(polarity)
        if mode < 0:
            raise ValueError(f"unknown polarity {polarity!r} (plain, real-sign, imag-sign)")
        self._apply(progress, _core.StepKind.magnitude, -1, code=mode)
        return self

    def phase(self, *, progress: Progress = None) -> "Collection":
        """Dataset.phase on every dataset."""
        self._apply(progress, _core.StepKind.phase, -1)
        return self

    def scale(self, factor: float, *, progress: Progress = None) -> "Collection":
        """Dataset.scale on every dataset."""
        self._apply(progress, _core.StepKind.scale, -1, values=(float(factor), 0.0, 0.0))
        return self


def _axis(values, name):
    if values is None:
        return None
    array = np.asarray(values)
    if array.dtype.kind not in "fiu":
        raise TypeError(f"{name}: expected real numbers, found dtype {array.dtype}")
    return np.ascontiguousarray(array, dtype=np.float64)


def _mne_connectivity():
    try:
        import mne_connectivity
    except ImportError as e:
        raise ImportError("mne-connectivity objects need the mne-connectivity package "
                          "(pip install mne-connectivity); it could not be imported: " + str(e)) from e
    return mne_connectivity


def _mne_parts(conn):
    """The arrays and attributes of a SpectroTemporalConnectivity as the
    core takes them."""
    if type(conn).__name__ != "SpectroTemporalConnectivity" or not hasattr(conn, "get_data"):
        raise TypeError(f"expected an mne_connectivity.SpectroTemporalConnectivity, not {type(conn).__name__}")
    data = np.asarray(conn.get_data(output="raveled"))
    if np.iscomplexobj(data):
        data = np.ascontiguousarray(data, dtype=np.complex128)
    else:
        data = np.ascontiguousarray(data, dtype=np.float64)
    method = conn.method
    method = [] if method is None else [str(method)] if isinstance(method, str) else [str(m) for m in method]
    indices = conn.indices
    if indices is not None and not isinstance(indices, str):
        indices = ([int(i) for i in indices[0]], [int(i) for i in indices[1]])
    sfreq = conn.attrs.get("sfreq")
    names = [str(n) for n in conn.names] if conn.names is not None else []
    return (data, np.asarray(conn.freqs, dtype=float).tolist(), np.asarray(conn.times, dtype=float).tolist(),
            int(conn.n_nodes), names, method, indices, None if sfreq is None else float(sfreq))


def from_mne_connectivity(conn, *, name: Optional[str] = None) -> Dataset:
    """A new dataset from an ``mne_connectivity.SpectroTemporalConnectivity``
    (see Collection.import_mne_connectivity for the mapping); the same
    dataset ``cxc import --from`` makes of the object's saved file. It
    belongs to no collection until assigned to one (``coll.active = ds``)."""
    coll = Collection()
    ds = coll.import_mne_connectivity("active", conn)
    if name is not None:
        ds.name = name
    coll._detached = True
    return ds


def load(path, *, accept_trial: bool = False, progress: Progress = None) -> Collection:
    """Read a collection file (any archive version). Error / ArchiveError
    when it is refused or damaged. progress(bytes read, file size), e.g. a
    tqdm bar's ``lambda done, total: ...``; see Collection.load."""
    return Collection().load(path, accept_trial=accept_trial, progress=progress)


def demo(sensors: int = 64, time: int = 20, freq: int = 40, *, seed: int = 20130524,
         progress: Progress = None) -> Collection:
    """The synthetic demo collection of ``cxc demo`` before its steps:
    active (a coupled sensor group around 10 Hz in the middle time points) and
    control (background) datasets, 2-40 Hz, 25 samples per time point at
    250 Hz."""
    coll = Collection()
    coll._core.build_demo(int(sensors), int(time), int(freq), int(seed), progress)
    return coll


def compute(epochs, sfreq: Optional[float] = None, freqs=None, n_cycles=7.0, *, control=None, decim: int = 1,
            tmin: Optional[float] = None, tmax: Optional[float] = None, method: str = "coh",
            zero_mean: bool = False, ch_names=None, progress: Progress = None) -> Collection:
    """Time-frequency connectivity between every pair of channels, as
    ``cxc compute`` computes it (Morlet wavelets, mne-connectivity's
    estimators; give zero_mean=True for its figures).

    epochs: an array (epochs, channels, samples) of float64 / float32, or an
    ``mne.Epochs`` (its data, sampling rate and channel names are taken).
    control: the same for the control condition, optional. freqs: the
    wavelet frequencies in Hz (evenly spaced or of constant ratio); n_cycles:
    one number or one per frequency. method: csd, cohy, coh, imcoh, plv,
    ciplv, ppc, pli, wpli or wpli2_debiased. Returns a new collection with the
    active (and control) dataset; the channel names go with it."""
    def data_of(x):
        nonlocal sfreq, ch_names
        if hasattr(x, "get_data") and hasattr(x, "info"):
            if sfreq is None:
                sfreq = float(x.info["sfreq"])
            if ch_names is None:
                ch_names = list(x.ch_names)
            x = x.get_data()
        array = np.asarray(x)
        if array.dtype not in (np.float64, np.float32):
            array = array.astype(np.float64)
        return np.ascontiguousarray(array)

    active = data_of(epochs)
    ctl = data_of(control) if control is not None else None
    if sfreq is None:
        raise ValueError("sfreq is needed for an array of epochs")
    if freqs is None:
        raise ValueError("freqs: the wavelet frequencies in Hz are needed")
    cycles = np.atleast_1d(np.asarray(n_cycles, dtype=float)).tolist()
    coll = Collection()
    names = coll._core.compute(active, ctl, [str(n) for n in ch_names] if ch_names is not None else [],
                               float(sfreq), [float(f) for f in np.atleast_1d(freqs)], cycles, int(decim),
                               tmin, tmax, str(method), bool(zero_mean), progress)
    for key in ("active", "control"):
        if names and key in coll:
            coll[key].channel_names = names
    return coll


def small_demo() -> Collection:
    """The manager's 16-sensor demo collection (10 time x 20 frequency points,
    every plane present)."""
    coll = Collection()
    coll._core.build_small_demo()
    return coll
