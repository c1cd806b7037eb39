"""Quarnel's compiled study library (use the quarnel package)."""

from typing import Any, Callable, Optional, Sequence

import numpy as np

__version__: str

def input_names() -> list[str]: ...
def default_texts() -> dict[str, str]: ...
def law(
    inputs: dict[str, Any],
    openings: Optional[np.ndarray] = None,
    sigma_fc: Optional[float] = None,
    J_tip: Optional[float] = None,
    criteria: str = "converged",
    criteria_tolerance: float = 1e-3,
) -> dict[str, Any]: ...
def sweep_runs(
    spec: dict[str, Any],
    first: int,
    last: int,
    jobs: int = 1,
    progress: Optional[Callable[[int], None]] = None,
) -> list[dict[str, Any]]: ...
def runs_of(spec: dict[str, Any]) -> int: ...
def draw_samples(
    distributions: list[tuple[str, str]], correlations: list[str], runs: int, seed: int, method: str
) -> list[np.ndarray]: ...
def sample_statistics(
    rows: list[dict[str, Any]], inputs: list[str], criteria: list[str], hardening: bool, margin: bool
) -> dict[str, Any]: ...
def max_sample_runs() -> int: ...
def mix(
    fibers: Sequence[dict[str, Any]],
    shared: dict[str, Any],
    openings: Optional[np.ndarray] = None,
    sigma_fc: Optional[float] = None,
    J_tip: Optional[float] = None,
    criteria: str = "converged",
    criteria_tolerance: float = 1e-3,
) -> dict[str, Any]: ...
def write_result_file(
    inputs: dict[str, Any], openings: Optional[np.ndarray], path: str, at: Sequence[int]
) -> None: ...
def fit(
    openings: np.ndarray,
    stresses: np.ndarray,
    fitted: Sequence[tuple],
    inputs: dict[str, Any],
    until: Optional[float] = None,
    starts: int = 4,
    seed: int = 1,
    max_evaluations: Optional[int] = None,
    max_seconds: Optional[float] = None,
    progress: Optional[Callable[[int, float], None]] = None,
) -> dict[str, Any]: ...
