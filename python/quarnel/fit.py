"""Fits of the model's inputs to a measured bridging curve."""

from __future__ import annotations

import sys
from dataclasses import dataclass
from typing import Any, Mapping, Optional, Sequence

import numpy as np

from . import _quarnel


@dataclass(frozen=True)
class Fit:
    """A fit's outcome: each fitted input's value (as stored and evaluated)
    and its shortest field text, the RMSE (MPa), R² (None where undefined),
    the evaluations, why it ended, and ``law``, the fitted law (its criteria
    converged); the standard errors, approximate 95 % intervals and the
    correlation matrix at the optimum (None where a value is undetermined),
    the warnings as quarnel-batch fit gives them, and the measured curve's
    criteria (trapezoids from (0, 0)) with the fitted law's relative
    differences from them; the measured points and ``until`` as given."""

    names: list
    values: dict
    texts: dict
    at_bound: list
    fitted_stresses: np.ndarray
    rmse: float
    r2: Optional[float]
    evaluations: int
    refused_evaluations: int
    seconds: float
    stop: str
    law: Any
    standard_errors: dict = None
    intervals_95: dict = None
    correlations: Any = None
    warnings: list = None
    local_scatter: Optional[float] = None
    measured_criteria: dict = None
    criteria_differences: dict = None
    openings: Optional[np.ndarray] = None
    stresses: Optional[np.ndarray] = None
    until: Optional[float] = None

    def plot(self, title: Optional[str] = None):
        """The measured points, the fitted law, the residuals below and the
        fitted values with their 95 % intervals: (figure, (law axes,
        residual axes)). Needs matplotlib."""
        from .plot import fit_figure

        return fit_figure(self, title=title)


def fit(
    openings: Sequence[float],
    stresses: Sequence[float],
    fit: Mapping[str, tuple],
    until: Optional[float] = None,
    starts: int = 4,
    seed: int = 1,
    max_evaluations: Optional[int] = None,
    max_seconds: Optional[float] = None,
    progress: Optional[bool] = None,
    **inputs: Any,
) -> Fit:
    """Fits the inputs named in ``fit`` ({name: (low, high)} or
    {name: (low, high, start)}) so that the law's stress at the measured
    ``openings`` (mm) matches ``stresses`` (MPa) by least squares, as
    ``quarnel-batch fit`` does; the other inputs are keyword arguments.
    Raises ``InputRefused`` for inputs no fitted value can lift and
    ``ValueError`` for a problem that cannot be fitted."""
    from . import InputRefused, _inputs, law

    given = _inputs(inputs)
    wanted = [(name, *map(float, bounds)) for name, bounds in fit.items()]
    bar = None
    if progress is not False:
        try:
            from tqdm.auto import tqdm

            if progress or sys.stderr.isatty():
                bar = tqdm(unit="evaluation")
        except ImportError:
            bar = None

    def advance(evaluations: int, rmse: float) -> None:
        bar.update(evaluations - bar.n)
        bar.set_postfix(rmse=rmse)

    measured_w = np.ascontiguousarray(openings, dtype=np.float64)
    measured_sigma = np.ascontiguousarray(stresses, dtype=np.float64)
    try:
        out = _quarnel.fit(
            measured_w,
            measured_sigma,
            wanted, given, until, starts, seed, max_evaluations, max_seconds,
            advance if bar is not None else None,
        )
    finally:
        if bar is not None:
            bar.close()
    if out["refusal"] is not None:
        raise InputRefused(*out["refusal"])
    if not out["found"]:
        member, message = out.get("last_refusal", ("", "every candidate was refused"))
        raise InputRefused(member, "every candidate was refused: " + message)
    names = [name for name, *_ in wanted]
    texts = dict(zip(names, out["texts"]))
    fitted_law = law(**{**given, **texts})
    import pandas as pd

    fitted_criteria = fitted_law.criteria
    measured = out["measured_criteria"]
    differences = {
        k: (fitted_criteria[k] / measured[k] - 1 if measured[k] else None) for k in measured
    }
    return Fit(
        standard_errors=dict(zip(names, out["standard_errors"])),
        intervals_95=dict(zip(names, out["intervals_95"])),
        correlations=pd.DataFrame(out["correlations"], index=names, columns=names)
        if out["correlations"] else None,
        warnings=list(out["warnings"]),
        local_scatter=out["local_scatter"],
        measured_criteria=measured,
        criteria_differences=differences,
        names=names,
        values=dict(zip(names, out["values"])),
        texts=texts,
        at_bound=[n for n, b in zip(names, out["at_bound"]) if b],
        fitted_stresses=np.asarray(out["fitted_stresses"]),
        rmse=out["rmse"],
        r2=out["r2"],
        evaluations=out["evaluations"],
        refused_evaluations=out["refused_evaluations"],
        seconds=out["seconds"],
        stop=out["stop"],
        law=fitted_law,
        openings=measured_w,
        stresses=measured_sigma,
        until=until,
    )
