"""Sweeps: the law of every combination of varied inputs, or of every row of a
table of runs, as a pandas DataFrame; locally on native threads, or on a Dask
cluster in chunks."""

from __future__ import annotations

import sys
from typing import Any, Mapping, Optional, Sequence

import numpy as np

from . import _quarnel

_CRITERIA = ("sigma_max", "P_max", "Wcr_peak", "ratio_initial", "ratio_at_peak", "J_b_prime", "G_b")


def _axis(name: str, values: Any):
    # A range is given as a tuple (start, stop, count) or (start, stop, count, "log").
    if isinstance(values, tuple) and len(values) in (3, 4) and not isinstance(values[0], str):
        log = len(values) == 4 and values[3] == "log"
        return (name, (float(values[0]), float(values[1]), int(values[2]), log))
    items = []
    for v in np.asarray(values, dtype=object).ravel().tolist():
        if isinstance(v, bool):
            raise TypeError(f"{name}: a bool is not an input value")
        items.append(v if isinstance(v, str) else float(v))
    return (name, items)


def _spec(base, fibers, vary, runs, openings, sigma_fc, J_tip, curves,
          criteria="converged", criteria_tolerance=1e-3) -> dict:
    from . import _inputs, _openings

    axes = []
    zipped = False
    if runs is not None:
        columns = runs.items() if isinstance(runs, Mapping) else ((c, runs[c]) for c in runs.columns)
        axes = [_axis(str(name), list(values)) for name, values in columns]
        zipped = True
    for name, values in (vary or {}).items():
        axes.append(_axis(name, values))
    if not axes:
        raise ValueError("a sweep needs vary= or runs=")
    if zipped and vary:
        raise ValueError("give vary= or runs=, not both")
    shared = ("Am", "crack_xy", "crack_zx", "division")
    return {
        "base": _inputs(base or {}, shared if fibers else None),
        "fibers": [_inputs(f) for f in (fibers or [])],
        "axes": axes,
        "zip": zipped,
        "openings": _openings(openings),
        "sigma_fc": sigma_fc,
        "J_tip": J_tip,
        "curves": bool(curves),
        "criteria": criteria,
        "criteria_tolerance": float(criteria_tolerance),
    }


def run_chunk(spec: dict, first: int, last: int, jobs: int = 1) -> list:
    """Runs [first, last) of a sweep. A plain function at module level, so
    that Dask sends it to its workers by reference."""
    return _quarnel.sweep_runs(spec, first, last, jobs)


def _progress_bar(total: int, wanted: Optional[bool]):
    if wanted is False:
        return None
    try:
        from tqdm.auto import tqdm
    except ImportError:
        return None
    if wanted is None and not sys.stderr.isatty():
        return None
    return tqdm(total=total, unit="run")


def sweep(
    base: Optional[Mapping[str, Any]] = None,
    vary: Optional[Mapping[str, Any]] = None,
    runs: Any = None,
    fibers: Optional[Sequence[Mapping[str, Any]]] = None,
    openings: Optional[Sequence[float]] = None,
    sigma_fc: Optional[float] = None,
    J_tip: Optional[float] = None,
    criteria: str = "converged",
    criteria_tolerance: float = 1e-3,
    jobs: int = 1,
    curves: bool = False,
    client: Any = None,
    chunk: int = 500,
    progress: Optional[bool] = None,
):
    """The law of every run of a sweep, as a DataFrame in run order.

    ``vary`` maps input names to lists of values (texts or numbers) or to
    ranges ``(start, stop, count)`` / ``(start, stop, count, "log")``; several
    give every combination, the first varying slowest. ``runs`` (a DataFrame
    or a mapping of equal-length arrays) gives one run per row instead: the
    way to feed Monte-Carlo samples. ``fibers`` makes every run a mix of those
    types (vary a type's input as ``fiber2.Vf``). Refused runs are rows with
    status ``refused`` and the message. ``jobs`` native threads compute the
    runs; with ``client`` (a ``dask.distributed.Client``) chunks of ``chunk``
    runs go to the cluster and come back in order. ``curves=True`` also
    returns every run's steps as a long DataFrame: ``(table, curves)``;
    ``curves="xarray"`` (a grid only) as an xarray Dataset with the varied
    names and the step n as dimensions. The criteria are converged on
    openings of their own (to ``criteria_tolerance``), or those of each run's
    steps with ``criteria="steps"``, as ``quarnel-batch sweep --criteria``
    forms them; ``criteria_openings`` and ``criteria_change`` say how."""
    import pandas as pd

    spec = _spec(base, fibers, vary, runs, openings, sigma_fc, J_tip, curves, criteria,
                 criteria_tolerance)
    names = [name for name, _ in spec["axes"]]
    rows = _run(spec, jobs, client, chunk, progress)
    table = _table(rows, names, sigma_fc, J_tip)
    if not curves:
        return table
    if curves == "xarray":
        if spec["zip"]:
            raise ValueError('curves="xarray" needs a grid: vary=, not runs=')
        return table, _dataset(rows, spec["axes"], table)
    long = [
        pd.DataFrame({"run": row["run"], "n": np.arange(len(row["steps"]["Wcr"])), **{
            "Wcr_mm": row["steps"]["Wcr"], "P_N": row["steps"]["P"],
            "sigma_MPa": row["steps"]["sigma"],
            "effective_fiber_ratio": row["steps"]["effective_fiber_ratio"]}})
        for row in rows if row["status"] == "ok"
    ]
    return table, (pd.concat(long, ignore_index=True) if long else pd.DataFrame())


def _run(spec: dict, jobs: int, client: Any, chunk: int, progress: Optional[bool]) -> list:
    """Every run of a sweep's spec as rows in run order: on ``jobs`` native
    threads, or in chunks on a Dask cluster."""
    total = _quarnel.runs_of(spec)
    if client is not None:
        starts = range(0, total, chunk)
        futures = client.map(
            run_chunk,
            [spec] * len(starts),
            list(starts),
            [min(s + chunk, total) for s in starts],
            [jobs] * len(starts),
            retries=3,
        )
        rows = [row for part in client.gather(futures) for row in part]
    else:
        bar = _progress_bar(total, progress)
        done = [0]

        def advance(count: int) -> None:
            if bar is not None:
                bar.update(count - done[0])
            done[0] = count

        try:
            rows = _quarnel.sweep_runs(spec, 0, total, jobs, advance if bar is not None else None)
        finally:
            if bar is not None:
                bar.close()
    return rows


def _dataset(rows: list, axes: list, table):
    """The steps of a grid sweep as an xarray Dataset: one dimension per
    varied name (its values as the table gives them) and the step n; a
    refused run, or a step a shorter law lacks, is NaN."""
    import xarray as xr

    shape = [len(table[name].unique()) for name, _ in axes]
    steps = max((len(r["steps"]["Wcr"]) for r in rows if r["status"] == "ok"), default=0)
    data = {k: np.full((*shape, steps), np.nan) for k in ("Wcr", "P", "sigma", "effective_fiber_ratio")}
    for index, row in enumerate(rows):
        if row["status"] != "ok":
            continue
        at = np.unravel_index(index, shape)
        for key, values in data.items():
            values[(*at, slice(0, len(row["steps"][key])))] = row["steps"][key]
    names = [name for name, _ in axes]
    coords = {name: table[name].to_numpy().reshape(shape)[
        tuple(slice(None) if i == d else 0 for i in range(len(shape)))] for d, name in enumerate(names)}
    coords["n"] = np.arange(steps)
    units = {"Wcr": "mm", "P": "N", "sigma": "MPa", "effective_fiber_ratio": ""}
    return xr.Dataset(
        {k: ([*names, "n"], v, {"units": units[k]}) for k, v in data.items()}, coords=coords)


def _table(rows: list, names: list, sigma_fc, J_tip, margins: bool = False):
    import pandas as pd

    columns = list(_CRITERIA)
    if sigma_fc is not None:
        columns.append("psh_strength")
    if J_tip is not None:
        columns.append("psh_energy")
    if sigma_fc is not None and J_tip is not None:
        columns.append("strain_hardening")
    columns += ["criteria_openings", "criteria_change"]
    if margins:
        columns.append("strain_hardening_margin")
    records = []
    for row in rows:
        record = {"run": row["run"]}
        record.update(zip(names, row["values"]))
        record["status"] = row["status"]
        record["message"] = row["message"]
        criteria = row["criteria"] or {}
        for c in columns:
            record[c] = criteria.get(c, None)
        record["orientation_weight_error"] = row["orientation_weight_error"]
        records.append(record)
    table = pd.DataFrame.from_records(
        records, columns=["run", *names, "status", "message", *columns, "orientation_weight_error"])
    # For the figures' title lines; pandas keeps attrs through copies, not every operation.
    table.attrs.update({"sigma_fc": sigma_fc, "J_tip": J_tip})
    return table
