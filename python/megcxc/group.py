"""Group statistics across subjects: where in sensor x sensor x time x
frequency an effect is consistent across a study's subject collections.

Each subject contributes one map, a plane of one class dataset of its
collection file (``"act-ctl"`` for a one-sample test against 0), or the
difference active - control of one plane (``paired=True``, a paired test;
a control of one time point is subtracted from every time point, as A-C
does). Per pair and cell the result holds the number of subjects, the mean,
the standard deviation (n - 1 in the divisor) and the one-sample t statistic
mean / (sd / sqrt(n)). With ``n_permutations`` a sign-flip permutation test
with the maximum |t| over all pairs and cells as its statistic gives p-values
corrected for the family of all cells (the observed signs count as one of the
permutations).

The work runs on a ``dask.distributed.Client`` when one is given and serially
otherwise, with the same result to the last bit: every subject is reduced by
its own task to sufficient statistics (its map and its square, or its map
under each permutation's sign), and the partial results are added in one
fixed binary tree over the subjects in the order given, so each sum adds the
same numbers in the same order wherever it runs. A task holds one subject
and the running sums it adds; permutations run in batches so a task's sums
stay at ``batch`` maps.

    python -m megcxc.group OUT.cxc SUBJECT.cxc ... [--class act-ctl] [--plane power]
        [--paired] [--permutations N] [--seed S] [--scheduler ADDRESS]
"""

from __future__ import annotations

import argparse
import math
import os
import sys
from dataclasses import dataclass, field
from typing import List, Optional, Sequence

import numpy as np

from . import Collection, Error, load

__all__ = ["GroupResult", "group_statistics", "sign_flip_test", "sign_flips", "main"]


@dataclass
class GroupResult:
    """The group maps, each of shape (row sensor, column sensor, time, freq)."""

    n: int
    mean: np.ndarray
    std: np.ndarray
    t: np.ndarray
    freqs: np.ndarray
    times: np.ndarray
    sfreq: Optional[float] = None
    #: The time of each point in seconds when the subjects record a sampling rate.
    times_s: Optional[np.ndarray] = None
    #: Family-wise corrected p-values of |t| (None without permutations).
    p_corrected: Optional[np.ndarray] = None
    #: The maximum |t| of each permutation, the observed signs first.
    max_t: Optional[np.ndarray] = None
    paths: List[str] = field(default_factory=list)

    def significant(self, alpha: float = 0.05) -> np.ndarray:
        """Cells whose corrected p-value is at most alpha."""
        if self.p_corrected is None:
            raise ValueError("no permutation test was run (n_permutations=0)")
        return self.p_corrected <= alpha

    def to_xarray(self):
        """An xarray Dataset of the maps (needs xarray)."""
        import xarray as xr

        dims = ("row", "col", "time", "freq")
        coords = {"freq": self.freqs, "time": self.times}
        data = {"mean": (dims, self.mean), "std": (dims, self.std), "t": (dims, self.t)}
        if self.p_corrected is not None:
            data["p_corrected"] = (dims, self.p_corrected)
        return xr.Dataset(data, coords=coords, attrs={"n_subjects": self.n})

    def to_collection(self) -> Collection:
        """A collection carrying the maps so the manager, reports and export
        work on them: the active dataset holds the mean, the control dataset
        the standard deviation and the act-ctl dataset the t statistic (each
        in its real plane), all on the subjects' grid."""
        coll = Collection(name=f"group of {self.n} subjects")
        for key, values in (("active", self.mean), ("control", self.std), ("act-ctl", self.t)):
            if self.sfreq:
                coll.import_array(key, values, self.freqs, self.times_s, sfreq=self.sfreq)
            else:
                coll.import_array(key, values, self.freqs, self.times)
        return coll


# ---- the work of one subject (runs in a worker)

def _subject_map(path: str, spctm_class: str, plane: str, paired: bool):
    """The subject's map and its grid (freqs, times, sfreq)."""
    coll = load(path)
    if paired:
        if coll.active is None or coll.control is None:
            raise Error(f"{path}: a paired test needs an active and a control dataset")
        a, c = coll.active, coll.control
        av, cv = a.plane(plane), c.plane(plane)
        if cv.shape[:2] != av.shape[:2] or cv.shape[3] != av.shape[3] or cv.shape[2] not in (1, av.shape[2]):
            raise Error(f"{path}: its active {av.shape} and control {cv.shape} datasets do not pair up")
        values = av - cv
        ds = a
    else:
        ds = coll[spctm_class] if spctm_class in coll else None
        if ds is None:
            raise Error(f"{path}: the collection holds no {spctm_class} dataset")
        values = ds.plane(plane)
    sfreq = ds.sfreq
    times = np.asarray(ds.times_s if sfreq else ds.times, dtype=float)
    return values, np.asarray(ds.freqs, dtype=float), times, sfreq


def _grid_of(path, spctm_class, plane, paired):
    values, freqs, times, sfreq = _subject_map(path, spctm_class, plane, paired)
    return values.shape, freqs, times, sfreq


def _check_grid(path, got, expected):
    shape, freqs, times, _ = got
    eshape, efreqs, etimes, _ = expected
    if shape != eshape:
        raise Error(f"{path}: sensors and grid {shape} differ from the first subject's {eshape}")
    if not (np.allclose(freqs, efreqs, rtol=1e-9, atol=0) and np.allclose(times, etimes, rtol=1e-9, atol=0)):
        raise Error(f"{path}: its frequency or time axis differs from the first subject's")


def _moments(path, spctm_class, plane, paired, expected):
    """(1, x, x^2) of one subject."""
    values, freqs, times, sfreq = _subject_map(path, spctm_class, plane, paired)
    _check_grid(path, (values.shape, freqs, times, sfreq), expected)
    return 1, values, values * values


def _flipped(path, spctm_class, plane, paired, expected, signs):
    """sign_p * x for each permutation p of the batch: shape (batch, ...)."""
    values, freqs, times, sfreq = _subject_map(path, spctm_class, plane, paired)
    _check_grid(path, (values.shape, freqs, times, sfreq), expected)
    return np.multiply.outer(np.asarray(signs, dtype=float), values)


def _add(a, b):
    if isinstance(a, tuple):
        return tuple(x + y for x, y in zip(a, b))
    return a + b


# ---- the fixed reduction tree, serial or on dask

def _tree(items, add):
    """Adds neighbours pairwise, level by level, in the order given."""
    items = list(items)
    if not items:
        raise ValueError("nothing to add")
    while len(items) > 1:
        nxt = [add(items[i], items[i + 1]) for i in range(0, len(items) - 1, 2)]
        if len(items) % 2:
            nxt.append(items[-1])
        items = nxt
    return items[0]


def _reduce(client, fn, args_per_subject):
    if client is None:
        return _tree((fn(*args) for args in args_per_subject), _add)
    futures = [client.submit(fn, *args, pure=False) for args in args_per_subject]
    total = _tree(futures, lambda a, b: client.submit(_add, a, b, pure=False))
    return total.result()


def _t_of(n, s, ss):
    mean = s / n
    var = np.maximum(ss - n * mean * mean, 0.0) / (n - 1)
    std = np.sqrt(var)
    with np.errstate(divide="ignore", invalid="ignore"):
        t = np.where(std > 0, mean / (std / math.sqrt(n)), 0.0)
    return mean, std, t


def sign_flips(n: int, n_permutations: int, seed: int) -> np.ndarray:
    """The sign patterns of the permutation test: the observed signs (all +1)
    first, then n_permutations random flips of n subjects from ``seed``."""
    rng = np.random.default_rng(seed)
    return np.vstack([np.ones((1, n)), rng.choice([-1.0, 1.0], size=(int(n_permutations), n))])


def _corrected_p(t, max_t):
    """Per cell: the share of permutations whose largest |t| reaches |t|."""
    ordered = np.sort(max_t)
    below = np.searchsorted(ordered, np.abs(t).ravel(), side="left")
    return ((max_t.size - below) / max_t.size).reshape(t.shape)


def sign_flip_test(maps: np.ndarray, n_permutations: int, seed: int = 0):
    """The one-sample t maps and max-|t| corrected p-values of stacked maps
    (subjects first) in memory, with the same sign patterns, sums and
    p-values as group_statistics: (t, p_corrected, max_t)."""
    maps = np.asarray(maps, dtype=float)
    n = maps.shape[0]
    s = _tree(list(maps), _add)
    ss = _tree([m * m for m in maps], _add)
    _, _, t = _t_of(n, s, ss)
    signs = sign_flips(n, n_permutations, seed)
    sums = _tree([np.multiply.outer(signs[:, i], maps[i]) for i in range(n)], _add)
    _, _, tp = _t_of(n, sums, ss[np.newaxis])
    max_t = np.abs(tp).reshape(signs.shape[0], -1).max(axis=1)
    return t, _corrected_p(t, max_t), max_t


def group_statistics(paths: Sequence[str], spctm_class: str = "act-ctl", plane: str = "power", *,
                     paired: bool = False, client=None, n_permutations: int = 0, seed: int = 0,
                     batch: int = 64) -> GroupResult:
    """Group statistics of the subjects' maps (see the module's description).

    paths: the subjects' collection files (at least 2; they must agree in
    sensors and grid, else Error names the first file that does not).
    spctm_class / plane: which map of each subject ("act-ctl", "power" by
    default); paired=True takes active - control instead. client: a
    dask.distributed.Client, or None to run here. n_permutations: random
    sign flips for the corrected p-values (0: none), drawn from ``seed``.
    """
    paths = [os.fspath(p) for p in paths]
    if len(paths) < 2:
        raise Error(f"a group needs at least 2 subjects, got {len(paths)}")
    if plane not in ("real", "imag", "power"):
        raise ValueError(f"unknown plane {plane!r}")
    expected = _grid_of(paths[0], spctm_class, plane, paired)
    n, s, ss = _reduce(client, _moments, [(p, spctm_class, plane, paired, expected) for p in paths])
    mean, std, t = _t_of(n, s, ss)
    sfreq = expected[3]
    result = GroupResult(n=n, mean=mean, std=std, t=t, freqs=expected[1],
                         times=np.round(expected[2] * sfreq) if sfreq else expected[2], sfreq=sfreq,
                         times_s=expected[2] if sfreq else None, paths=paths)
    if n_permutations > 0:
        signs = sign_flips(n, n_permutations, seed)
        max_t = np.empty(signs.shape[0])
        for first in range(0, signs.shape[0], max(1, int(batch))):
            block = signs[first:first + batch]
            sums = _reduce(client, _flipped,
                           [(p, spctm_class, plane, paired, expected, block[:, i]) for i, p in enumerate(paths)])
            # The squares do not change under sign flips.
            _, _, tp = _t_of(n, sums, ss[np.newaxis])
            max_t[first:first + block.shape[0]] = np.abs(tp).reshape(block.shape[0], -1).max(axis=1)
        result.p_corrected = _corrected_p(t, max_t)
        result.max_t = max_t
    return result


def main(argv: Optional[Sequence[str]] = None) -> int:
    parser = argparse.ArgumentParser(prog="python -m megcxc.group", description=__doc__.split("\n\n")[0])
    parser.add_argument("output", help="collection file to write: mean (active), sd (control), t (act-ctl)")
    parser.add_argument("subjects", nargs="+", help="the subjects' collection files")
    parser.add_argument("--class", dest="spctm_class", default="act-ctl", choices=["active", "control", "act-ctl"])
    parser.add_argument("--plane", default="power", choices=["real", "imag", "power"])
    parser.add_argument("--paired", action="store_true", help="active - control of each subject")
    parser.add_argument("--permutations", type=int, default=0, help="sign flips for corrected p-values")
    parser.add_argument("--seed", type=int, default=0)
    parser.add_argument("--alpha", type=float, default=0.05)
    parser.add_argument("--scheduler", help="address of a dask.distributed scheduler (default: run here)")
    args = parser.parse_args(argv)
    client = None
    try:
        if args.scheduler:
            from distributed import Client

            client = Client(args.scheduler)
        result = group_statistics(args.subjects, args.spctm_class, args.plane, paired=args.paired, client=client,
                                  n_permutations=args.permutations, seed=args.seed)
        result.to_collection().save(args.output)
    except Error as e:
        print(f"megcxc.group: {e}", file=sys.stderr)
        return 1
    finally:
        if client is not None:
            client.close()
    peak = np.unravel_index(np.argmax(np.abs(result.t)), result.t.shape)
    print(f"{result.n} subjects; largest |t| {abs(result.t[peak]):.3f} at sensors {peak[0]} x {peak[1]}, "
          f"time point {peak[2]}, {result.freqs[peak[3]]:.2f} Hz")
    if result.p_corrected is not None:
        print(f"{int(result.significant(args.alpha).sum())} cells with corrected p <= {args.alpha} "
              f"({args.permutations} permutations)")
    print(f"saved {args.output}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
