"""Quarnel from Python: fiber bridging laws as numpy arrays, studies as pandas tables.

>>> import quarnel
>>> law = quarnel.law(Lf=30, kxy="2", theta_r_xy=30)
>>> law.criteria["sigma_max"]

Inputs are given by member name (``Lf``, ``Vf``, ``Pmax`` or ``A``, ...).
A ``str`` is read as the window reads a field; an ``int`` or ``float`` is
taken as its double and stored with the member's width, so ``Lf=0.1`` and
``Lf="0.1"`` give the same law. Every other input keeps the window's default
text. The numbers equal those of ``quarnel-batch``, double for double.
"""

from __future__ import annotations

from dataclasses import dataclass, field
from typing import Any, Iterable, Mapping, Optional, Sequence

import numpy as np

from . import _quarnel

# The version of the compiled module, the commands' --version.
__version__: str = _quarnel.__version__

__all__ = ["InputRefused", "Fit", "Law", "Mix", "Sample", "fit", "law", "mix", "sample", "sweep",
           "input_names", "default_texts", "plot"]

_MODELS = {1: 1.0, 2: 2.0, "1": 1.0, "2": 2.0, "constant": 1.0, "function-lb": 2.0}
_STEP_KEYS = ("Wcr", "P", "sigma", "effective_fiber_ratio", "P_top", "sigma_top")


class InputRefused(ValueError):
    """Inputs the model cannot compute: ``member`` names the input at fault
    (empty when none does) and ``message`` says the rule, in the words of the
    window and the batch command."""

    def __init__(self, member: str, message: str, fiber: int = 0):
        super().__init__(message)
        self.member = member
        self.message = message
        self.fiber = fiber


def input_names() -> list[str]:
    """Every name an input may be given by (``A`` and ``B`` stand for
    ``Pmax`` and ``delta_max``; ``model`` is 1, 2, "constant" or
    "function-lb")."""
    return list(_quarnel.input_names())


def default_texts() -> dict[str, str]:
    """Every input's default text, as the window shows it."""
    return dict(_quarnel.default_texts())


def _inputs(values: Mapping[str, Any], allowed: Optional[Iterable[str]] = None) -> dict:
    names = set(allowed if allowed is not None else _quarnel.input_names())
    out: dict[str, Any] = {}
    for name, value in values.items():
        if name not in names:
            raise TypeError(f"unknown input {name!r}; the inputs are: {', '.join(sorted(names))}")
        if name == "model":
            key = value.strip() if isinstance(value, str) else value
            if key not in _MODELS:
                raise InputRefused("model", f'model must be 1, 2, constant or function-lb, not "{value}"')
            out[name] = _MODELS[key]
        elif isinstance(value, (str, int, float, np.floating, np.integer)) and not isinstance(value, bool):
            out[name] = value if isinstance(value, str) else float(value)
        else:
            raise TypeError(f"{name}: an input is a str, int or float, not {type(value).__name__}")
    return out


def _openings(openings: Optional[Sequence[float]]) -> Optional[np.ndarray]:
    if openings is None:
        return None
    array = np.ascontiguousarray(openings, dtype=np.float64)
    if array.ndim != 1:
        raise ValueError("openings are a one-dimensional sequence of crack openings (mm)")
    return array


@dataclass(frozen=True)
class Law:
    """One bridging law: its steps as float64 arrays, its criteria and the
    matrix properties they were formed with."""

    inputs: dict
    openings: Optional[np.ndarray]
    Wcr: np.ndarray
    P: np.ndarray
    sigma: np.ndarray
    effective_fiber_ratio: np.ndarray
    P_top: np.ndarray
    sigma_top: np.ndarray
    criteria: dict = field(default_factory=dict)
    sigma_fc: Optional[float] = None
    J_tip: Optional[float] = None

    def plot(self, ax=None, title: Optional[str] = None):
        """Bridging stress and effective fiber ratio over crack opening, the
        peak marked, J'b hatched with J_tip and sigma_fc drawn when given:
        (figure, (stress axes, ratio axes)); with ``ax`` one Axes, the stress
        panel only, into it. ``title=""`` for none. Needs matplotlib."""
        from .plot import law_figure

        return law_figure(self, ax=ax, title=title)

    def to_pandas(self):
        """The steps as a DataFrame: n, Wcr_mm, P_N, sigma_MPa, effective_fiber_ratio."""
        import pandas as pd

        return pd.DataFrame(
            {
                "n": np.arange(len(self.Wcr)),
                "Wcr_mm": self.Wcr,
                "P_N": self.P,
                "sigma_MPa": self.sigma,
                "effective_fiber_ratio": self.effective_fiber_ratio,
            }
        )

    def write_result_file(self, path: str, at: Optional[str] = None) -> None:
        """Writes the classic result file, byte for byte what ``quarnel-batch -o PATH``
        writes; ``at`` ("YYYY-MM-DD hh:mm:ss") fixes the clock of its header."""
        clock: list[int] = []
        if at is not None:
            try:
                date, time = at.split(" ")
                clock = [int(x) for x in date.split("-")] + [int(x) for x in time.split(":")]
            except ValueError:
                clock = []
            if len(clock) != 6:
                raise ValueError(f'at takes "YYYY-MM-DD hh:mm:ss", not {at!r}')
        _quarnel.write_result_file(self.inputs, self.openings, str(path), clock)


def law(
    openings: Optional[Sequence[float]] = None,
    sigma_fc: Optional[float] = None,
    J_tip: Optional[float] = None,
    criteria: str = "converged",
    criteria_tolerance: float = 1e-3,
    **inputs: Any,
) -> Law:
    """The bridging law of the inputs, at the "Division" openings or at
    ``openings`` (mm, increasing). ``sigma_fc`` (MPa) and ``J_tip`` (J/m2)
    add the pseudo-strain-hardening indices to the criteria. The criteria are
    converged on openings of their own (to ``criteria_tolerance``), or with
    ``criteria="steps"`` those of the steps, as ``quarnel-batch --criteria``
    forms them. Raises ``InputRefused`` for inputs the model cannot compute
    and ``TypeError`` for an unknown name."""
    given = _inputs(inputs)
    array = _openings(openings)
    out = _quarnel.law(given, array, sigma_fc, J_tip, criteria, criteria_tolerance)
    if out["refusal"] is not None:
        raise InputRefused(*out["refusal"])
    steps = out["steps"]
    return Law(given, array, *(steps[k] for k in _STEP_KEYS), criteria=out["criteria"],
               sigma_fc=sigma_fc, J_tip=J_tip)


@dataclass(frozen=True)
class Mix:
    """A hybrid mix's law: the summed steps, each type's steps (a dict of
    arrays each: Wcr, P, sigma, ...) and the criteria; the inputs of each type
    and the shared ones as given."""

    Wcr: np.ndarray
    P: np.ndarray
    sigma: np.ndarray
    effective_fiber_ratio: np.ndarray
    P_top: np.ndarray
    sigma_top: np.ndarray
    types: list
    criteria: dict
    fibers: list = field(default_factory=list)
    shared: dict = field(default_factory=dict)
    sigma_fc: Optional[float] = None
    J_tip: Optional[float] = None

    def plot(self, ax=None, title: Optional[str] = None):
        """The mix's bridging stress and each type's contribution over crack
        opening: (figure, axes). Needs matplotlib."""
        from .plot import mix_figure

        return mix_figure(self, ax=ax, title=title)


_SHARED = ("Am", "crack_xy", "crack_zx", "division")


def mix(
    fibers: Sequence[Mapping[str, Any]],
    openings: Optional[Sequence[float]] = None,
    sigma_fc: Optional[float] = None,
    J_tip: Optional[float] = None,
    criteria: str = "converged",
    criteria_tolerance: float = 1e-3,
    **shared: Any,
) -> Mix:
    """The law of fiber types bridging one crack: ``fibers`` holds each
    type's inputs (a mapping, or a ``Law`` whose inputs are taken), the
    keyword arguments the shared ones (Am, crack_xy, crack_zx, division).
    ``criteria`` and ``criteria_tolerance`` as for ``law``."""
    types = []
    fiber_names = [n for n in _quarnel.input_names() if n not in _SHARED]
    for f in fibers:
        values = f.inputs if isinstance(f, Law) else f
        types.append(_inputs({k: v for k, v in values.items() if k not in _SHARED}, fiber_names))
    shared_inputs = _inputs(shared, _SHARED)
    out = _quarnel.mix(types, shared_inputs, _openings(openings), sigma_fc, J_tip,
                       criteria, criteria_tolerance)
    if out["refusal"] is not None:
        fiber, member, message = out["refusal"]
        raise InputRefused(member, message, fiber)
    steps = out["steps"]
    return Mix(*(steps[k] for k in _STEP_KEYS), types=out["types"], criteria=out["criteria"],
               fibers=types, shared=shared_inputs, sigma_fc=sigma_fc, J_tip=J_tip)


from .fit import Fit, fit  # noqa: E402  (both build on the helpers above)
from .sweep import sweep  # noqa: E402
from .sample import Sample, sample  # noqa: E402
from . import plot  # noqa: E402  (imports matplotlib only when a figure is drawn)
