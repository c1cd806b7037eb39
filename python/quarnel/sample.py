"""Probabilistic studies: inputs drawn from distributions, one law per
sample, and the statistics of the criteria, as ``quarnel-batch sample``
gives them."""

from __future__ import annotations

from dataclasses import dataclass
from typing import Any, Mapping, Optional, Sequence

import numpy as np

from . import _quarnel
from .sweep import _CRITERIA, _run, _spec, _table


@dataclass(frozen=True)
class Sample:
    """A sample's runs and statistics.

    ``table``: one row per run as ``quarnel-batch sample --summary`` (run, the
    sampled values, status, message, criteria). ``stats``: one row per
    criterion (count, mean, sd, q05, q50, q95, spearman_NAME per sampled
    input). ``probabilities``: one row per verdict (strain_hardening, and
    strain_hardening_margin with ``psh_margins``): count, hits, probability
    and the 95 % Wilson interval ci_low, ci_high. ``refused``: the runs
    refused, left out of every statistic."""

    table: Any
    stats: Any
    probabilities: Any
    refused: int


def _correlations(correlate: Any) -> list:
    if correlate is None:
        return []
    items = correlate.items() if isinstance(correlate, Mapping) else correlate
    out = []
    for pair, rho in items:
        names = pair.split(",") if isinstance(pair, str) else list(pair)
        if len(names) != 2:
            raise ValueError(f"a correlation names two inputs, not {pair!r}")
        out.append(f"{names[0]},{names[1]}={float(rho)!r}")
    return out


def sample(
    dist: Mapping[str, str],
    runs: int = 1000,
    seed: int = 1,
    method: str = "mc",
    correlate: Any = None,
    base: Optional[Mapping[str, Any]] = None,
    fibers: Optional[Sequence[Mapping[str, Any]]] = None,
    openings: Optional[Sequence[float]] = None,
    sigma_fc: Optional[float] = None,
    J_tip: Optional[float] = None,
    psh_margins: Optional[tuple] = None,
    criteria: str = "converged",
    criteria_tolerance: float = 1e-3,
    jobs: int = 1,
    client: Any = None,
    chunk: int = 500,
    progress: Optional[bool] = None,
) -> Sample:
    """The law of every run of a sample and the statistics of the criteria.

    ``dist`` maps input names (``fiber2.Vf`` with ``fibers``, ``sigma_fc`` and
    ``J_tip`` for the matrix) to distributions as ``quarnel-batch sample
    --dist`` takes them: ``"normal:MEAN:SD"``, ``"lognormal:MEAN:COV"``,
    ``"uniform:LOW:HIGH"``, ``"weibull:SCALE:MODULUS"``,
    ``"truncnormal:MEAN:SD:LOW:HIGH"``. ``correlate`` maps pairs
    (``"A,B"`` or ``("A", "B")``) to the correlation of a Gaussian copula.
    ``method`` is "mc", "lhs" or "sobol". The same ``seed`` gives the same
    samples, double for double, as the command, whatever ``jobs`` and on a
    Dask ``client`` (chunks of ``chunk`` runs). ``psh_margins=(S, E)`` adds
    the probability of hardening with those margins."""
    import pandas as pd

    if not dist:
        raise ValueError("a sample needs dist= with at least one input")
    names = list(dist)
    values = _quarnel.draw_samples([(n, str(d)) for n, d in dist.items()], _correlations(correlate),
                                   int(runs), int(seed), str(method))
    has_sigma = sigma_fc is not None or "sigma_fc" in names
    has_J = J_tip is not None or "J_tip" in names
    if psh_margins is not None and not (has_sigma and has_J):
        raise ValueError("psh_margins needs sigma_fc and J_tip, given or sampled")
    spec = _spec(base, fibers, None, {n: [0.0] for n in names}, openings, sigma_fc, J_tip, False,
                 criteria, criteria_tolerance)
    spec["axes"] = [(n, v) for n, v in zip(names, values)]
    spec["psh_margins"] = None if psh_margins is None else tuple(float(m) for m in psh_margins)
    rows = _run(spec, jobs, client, chunk, progress)
    margins = psh_margins is not None
    table = _table(rows, names, True if has_sigma else None, True if has_J else None, margins)
    # The fixed matrix values alone: a sampled one is each row's own.
    table.attrs.update({"sigma_fc": sigma_fc, "J_tip": J_tip})
    statistic_names = list(_CRITERIA) + (["psh_strength"] if has_sigma else []) + (
        ["psh_energy"] if has_J else [])
    st = _quarnel.sample_statistics(rows, names, statistic_names, has_sigma and has_J, margins)
    stats = pd.DataFrame.from_records(st["criteria"]).set_index("quantity")
    probabilities = pd.DataFrame.from_records(
        st["probabilities"], columns=["quantity", "count", "hits", "probability", "ci_low", "ci_high"]
    ).set_index("quantity")
    return Sample(table=table, stats=stats, probabilities=probabilities, refused=st["refused"])
