"""Figures for papers and reports, with matplotlib, in the style of the
command line's figures: 90 mm wide, 7-8 pt text, lines of at least 0.25 mm,
round-number ticks, a palette and line styles that stay apart in greyscale
and for colour-blind readers.

Every function returns the matplotlib objects, ``(figure, axes)``, so that
they can be restyled before ``figure.savefig("law.png", dpi=300)``.
matplotlib is imported only here, when a figure is drawn.
"""

from __future__ import annotations

import contextlib
import textwrap
from typing import Any, Optional, Sequence

import numpy as np

__all__ = ["law_figure", "fit_figure", "mix_figure", "strain_hardening_map", "PALETTE", "LINE_STYLES"]

PALETTE = ("#000000", "#0072B2", "#D55E00", "#009E73", "#CC79A7", "#E69F00", "#56B4E9", "#F0E442")
LINE_STYLES = ("solid", "dashed", "dotted", "dashdot")

OPENING = "Crack opening w (mm)"
STRESS = "Bridging stress σ (MPa)"
RATIO = "Effective fiber ratio"

MM = 1 / 25.4  # inches
WIDTH = 90 * MM
ONE_PANEL = 70 * MM
TWO_PANELS = 100 * MM

# 0.25 mm is 0.709 pt: the thinnest line drawn is 0.75 pt, curves 1 pt.
THIN = 0.75
CURVE = 1.0
TICK_FONT = 7
LABEL_FONT = 8

_RC = {
    "font.size": TICK_FONT,
    "axes.labelsize": LABEL_FONT,
    "axes.titlesize": LABEL_FONT,
    "figure.titlesize": LABEL_FONT,
    "legend.fontsize": TICK_FONT,
    "legend.title_fontsize": TICK_FONT,
    "xtick.labelsize": TICK_FONT,
    "ytick.labelsize": TICK_FONT,
    "axes.linewidth": THIN,
    "lines.linewidth": CURVE,
    "patch.linewidth": THIN,
    "hatch.linewidth": THIN,
    "xtick.major.width": THIN,
    "ytick.major.width": THIN,
    "xtick.minor.width": THIN,
    "ytick.minor.width": THIN,
    "legend.frameon": False,
    "legend.borderaxespad": 0.4,
    "axes.formatter.useoffset": False,
}

# Units of the inputs, for axis titles and title lines.
_UNITS = {
    "Am": "mm²", "Af": "mm²", "Lf": "mm", "sigma_fu": "MPa", "crack_xy": "°", "crack_zx": "°",
    "theta_r_xy": "°", "theta_r_zx": "°",
}
_CONSTANT_UNITS = {"Pmax": "N", "delta_max": "mm"}
_MODEL_NAMES = {1.0: "Constant model", 2.0: "Function lb model"}
# Joins a quantity's name, value and unit, so that a wrapped title keeps them on one line.
_NBSP = "\u00a0"
# Reference lines (sigma_fc, the peak's guides) in greys, apart from the curves' palette.
_GUIDE = dict(color="0.45", linewidth=THIN, linestyle=(0, (4, 2)))


def _pyplot():
    try:
        import matplotlib.pyplot as plt
    except ImportError as e:
        raise ImportError(
            "quarnel's figures need matplotlib, which is not installed "
            "(Debian: apt install python3-matplotlib; otherwise pip install matplotlib)"
        ) from e
    return plt


@contextlib.contextmanager
def _style():
    plt = _pyplot()
    with plt.rc_context(_RC):
        yield plt


def _finish_axes(ax) -> None:
    """Round-number ticks with plain labels; tick sizes set on the axes so that
    ticks made after the style's context keep them."""
    from matplotlib.ticker import MaxNLocator

    for axis in (ax.xaxis, ax.yaxis):
        if axis.get_scale() == "linear":
            axis.set_major_locator(MaxNLocator(nbins=6, steps=[1, 2, 5, 10]))
    ax.tick_params(labelsize=TICK_FONT, width=THIN, length=3)
    for side in ax.spines.values():
        side.set_linewidth(THIN)


def _number(value: Any, digits: int = 3) -> str:
    if isinstance(value, str):
        return value
    value = float(value)
    if value != 0 and not 1e-4 <= abs(value) < 1e6:
        return f"{value:.{digits}g}"
    return np.format_float_positional(value, precision=digits, fractional=False, trim="-")


def _decimals(value: float, digits: int = 4) -> int:
    """Decimals that give ``value`` ``digits`` significant digits, so that an
    interval's bounds are written to the same place as the value."""
    if value == 0 or not np.isfinite(value):
        return digits - 1
    return max(0, digits - 1 - int(np.floor(np.log10(abs(value)))))


def _unit(name: str, model: float = 1.0) -> str:
    member = name.split(".")[-1]
    unit = _UNITS.get(member) or (_CONSTANT_UNITS.get(member) if model == 1.0 else None)
    return unit or ""


def _quantity(name: str, value: Any, model: float = 1.0) -> str:
    unit = _unit(name, model)
    if unit == "°":
        return f"{name}{_NBSP}={_NBSP}{_number(value)}°"
    return f"{name}{_NBSP}={_NBSP}{_number(value)}" + (f"{_NBSP}{unit}" if unit else "")


def _model_of(inputs: dict) -> float:
    return float(inputs.get("model", 1.0))


def _inputs_text(inputs: dict, defaults: dict) -> str:
    """The main inputs (Vf, Lf, the pull-out values), given or at the
    window's defaults, then every other input given."""
    model = _model_of(inputs)
    main = ["Vf", "Lf", "Pmax", "delta_max"] if model == 1.0 else ["Vf", "Lf", "A", "B", "C", "D"]
    alias = {"A": "Pmax", "B": "delta_max", "Pmax": "A", "delta_max": "B"}
    parts = []
    for name in main:
        other = alias.get(name, "")
        value = inputs.get(name, inputs.get(other, defaults.get(name, defaults.get(other))))
        if value is not None:
            parts.append(_quantity(name, value, model))
    for name, value in inputs.items():
        if name != "model" and name not in main and alias.get(name) not in main:
            parts.append(_quantity(name, value, model))
    return ", ".join(parts)


def _matrix_text(sigma_fc: Optional[float], J_tip: Optional[float]) -> str:
    parts = []
    if sigma_fc is not None:
        parts.append(f"σfc{_NBSP}={_NBSP}{_number(sigma_fc)}{_NBSP}MPa")
    if J_tip is not None:
        parts.append(f"J_tip{_NBSP}={_NBSP}{_number(J_tip)}{_NBSP}J/m²")
    return ", ".join(parts)


def _set_title(fig, ax, title: str) -> None:
    if not title:
        return
    text = "\n".join(textwrap.wrap(title, 56))
    if ax is None:
        fig.suptitle(text, fontsize=LABEL_FONT)
    else:
        ax.set_title(text, fontsize=LABEL_FONT)


def _legend(ax, loc: str = "upper right"):
    if not ax.get_legend_handles_labels()[0]:
        return None
    return ax.legend(loc=loc, handlelength=2.5, borderaxespad=0.4)


def _make_room(ax, boxes: Sequence, xs: np.ndarray, ys: np.ndarray) -> None:
    """Raises the top of a linear y axis until no point lies under a legend at
    the top of the axes, measured after a layout pass; twice, as the new
    tick labels move the layout, and with a margin, as text measures a little
    differently at another resolution."""
    boxes = [b for b in boxes if b is not None]
    if not boxes or ax.get_yscale() != "linear":
        return
    fig = ax.figure
    xs = np.asarray(xs, dtype=float)
    ys = np.asarray(ys, dtype=float)
    for _ in range(2):
        if hasattr(fig, "draw_without_rendering"):
            fig.draw_without_rendering()
        else:
            fig.canvas.draw()
        x0, x1 = ax.get_xlim()
        y0, y1 = ax.get_ylim()
        u = (xs - x0) / ((x1 - x0) or 1)
        top = y1
        for box in boxes:
            extent = box.get_window_extent().transformed(ax.transAxes.inverted())
            under = (u >= extent.x0 - 0.05) & (u <= extent.x1 + 0.05) & np.isfinite(ys)
            if not np.any(under):
                continue
            highest = float(np.max(ys[under]))
            bottom = extent.y0 - 0.05
            if bottom > 0.2 and (highest - y0) / (top - y0) > bottom:
                top = y0 + (highest - y0) / bottom
        if top <= y1:
            return
        ax.set_ylim(y0, top)


def _with_line(xs: np.ndarray, ys: np.ndarray, level: Optional[float]):
    """The points of a curve and of a horizontal line across the axes."""
    if level is None:
        return xs, ys
    return np.r_[xs, np.linspace(0, np.nanmax(xs, initial=0), 50)], np.r_[ys, np.full(50, level)]


def _peak(ax, criteria: dict, color: str = PALETTE[0]):
    s0 = criteria.get("sigma_max")
    d0 = criteria.get("Wcr_peak")
    if s0 is None or d0 is None or not np.isfinite(s0) or not np.isfinite(d0):
        return None
    ax.plot([0, d0], [s0, s0], zorder=1, **_GUIDE)
    ax.plot([d0, d0], [0, s0], zorder=1, **_GUIDE)
    (mark,) = ax.plot([d0], [s0], marker="o", markersize=3.5, linestyle="none", color=color,
                      markerfacecolor="white", markeredgewidth=CURVE, zorder=4,
                      label=f"peak: σ0{_NBSP}={_NBSP}{_number(s0)}{_NBSP}MPa, δ0{_NBSP}={_NBSP}{_number(d0)}{_NBSP}mm")
    return mark


def _complementary_energy(ax, Wcr: np.ndarray, sigma: np.ndarray, criteria: dict) -> None:
    """J'b: the area between sigma = sigma_0 and the curve from 0 to delta_0."""
    s0 = criteria.get("sigma_max")
    d0 = criteria.get("Wcr_peak")
    J = criteria.get("J_b_prime")
    if s0 is None or d0 is None or J is None or not np.isfinite(J):
        return
    inside = Wcr <= d0
    # The criteria's peak may fall between the steps; the area closes on it.
    w = np.concatenate([[0.0], Wcr[inside], [d0]])
    s = np.concatenate([[0.0], sigma[inside], [s0]])
    if Wcr[inside].size and Wcr[inside][0] == 0:
        w, s = w[1:], s[1:]
    ax.fill_between(w, s, s0, facecolor="none", edgecolor=PALETTE[1], hatch="////",
                    linewidth=0, zorder=0, label=f"J′b{_NBSP}={_NBSP}{_number(J)}{_NBSP}J/m²")


def _first_cracking(ax, sigma_fc: Optional[float]) -> None:
    if sigma_fc is not None:
        ax.axhline(sigma_fc, color="0.3", linestyle=LINE_STYLES[3], linewidth=CURVE, zorder=1,
                   label=f"σfc{_NBSP}={_NBSP}{_number(sigma_fc)}{_NBSP}MPa")


def _law_title(law) -> str:
    from . import default_texts

    inputs = dict(law.inputs)
    text = f"{_MODEL_NAMES.get(_model_of(inputs), 'Model')}: {_inputs_text(inputs, default_texts())}"
    matrix = _matrix_text(getattr(law, "sigma_fc", None), getattr(law, "J_tip", None))
    return text + (f"; {matrix}" if matrix else "")


def _last(Wcr: np.ndarray) -> Optional[float]:
    return float(Wcr[-1]) if len(Wcr) and Wcr[-1] > 0 else None


def _bridging_end(Wcr: np.ndarray, sigma: np.ndarray) -> Optional[float]:
    """One step after the bridging has ended for good (sigma below 1e-3 of
    its peak from there on), as the command's figures end the axis, so that
    an early rupture is not squeezed against the left edge."""
    sigma = np.asarray(sigma, dtype=float)
    if len(Wcr) != len(sigma) or not len(sigma):
        return _last(Wcr)
    finite = np.isfinite(sigma)
    top = np.max(np.abs(sigma[finite]), initial=0.0)
    alive = np.flatnonzero(finite & (np.abs(sigma) > 1e-3 * top))
    if top <= 0 or not len(alive) or alive[-1] + 2 >= len(Wcr):
        return _last(Wcr)
    end = float(Wcr[alive[-1] + 1])
    return end if end > 0 else _last(Wcr)


def _axes_given(ax, count: int):
    if ax is None:
        return None
    if count == 1 or not isinstance(ax, (list, tuple, np.ndarray)):
        return ax
    axes = list(np.asarray(ax, dtype=object).ravel())
    if len(axes) != count:
        raise ValueError(f"ax takes one Axes or a sequence of {count}, not {len(axes)}")
    return axes


def law_figure(law, ax=None, title: Optional[str] = None):
    """The law: bridging stress over crack opening above the effective fiber
    ratio, sharing the opening axis, the peak (sigma_0, delta_0) marked; J'b
    hatched with ``J_tip`` given, sigma_fc as a line with ``sigma_fc`` given.
    ``ax``: one Axes (the stress panel only) or two (both panels) to draw
    into; a new 90 x 100 mm figure without. Returns (figure, axes)."""
    with _style() as plt:
        given = _axes_given(ax, 2)
        if given is None:
            fig, (top, bottom) = plt.subplots(2, 1, sharex=True, figsize=(WIDTH, TWO_PANELS),
                                              layout="constrained")
        elif isinstance(given, list):
            top, bottom = given
            fig = top.figure
        else:
            top, bottom = given, None
            fig = top.figure
        criteria = law.criteria or {}
        if getattr(law, "J_tip", None) is not None:
            _complementary_energy(top, law.Wcr, law.sigma, criteria)
        top.plot(law.Wcr, law.sigma, color=PALETTE[0], linestyle=LINE_STYLES[0], linewidth=CURVE,
                 zorder=3)
        _peak(top, criteria)
        _first_cracking(top, getattr(law, "sigma_fc", None))
        top.set_ylabel(STRESS)
        top.set_xlim(0, _bridging_end(law.Wcr, law.sigma))
        top.set_ylim(bottom=0 if np.nanmin(law.sigma, initial=0) >= 0 else None)
        _finish_axes(top)
        _make_room(top, [_legend(top)], *_with_line(law.Wcr, law.sigma, getattr(law, "sigma_fc", None)))
        if bottom is None:
            top.set_xlabel(OPENING)
        else:
            bottom.plot(law.Wcr, law.effective_fiber_ratio, color=PALETTE[0],
                        linestyle=LINE_STYLES[0], linewidth=CURVE)
            d0 = criteria.get("Wcr_peak")
            if d0 is not None and np.isfinite(d0):
                bottom.axvline(d0, zorder=1, **_GUIDE)
            bottom.set_xlabel(OPENING)
            bottom.set_ylabel(RATIO)
            bottom.set_xlim(0, _bridging_end(law.Wcr, law.sigma))
            bottom.set_ylim(bottom=0)
            _finish_axes(bottom)
            if given is None:
                fig.align_ylabels([top, bottom])
        _set_title(fig, None if given is None else top, _law_title(law) if title is None else title)
        return fig, (top, bottom) if bottom is not None else top


def fitted_line(fit, points: int = 200):
    """The fitted law drawn by ``fit_figure``: at the measured openings (where
    it is the fit's fitted stresses) and at ``points`` openings evenly from 0
    to the largest, so that the line is smooth between the points."""
    from . import law

    w = _fitted_points(fit)[0]
    openings = np.union1d(w, np.linspace(0.0, float(np.max(w)), points))
    return law(openings=openings, criteria="steps", **fit.law.inputs)


def _fitted_points(fit):
    if fit.openings is None or fit.stresses is None:
        raise ValueError("this fit holds no measured points to draw")
    w = np.asarray(fit.openings, dtype=float)
    s = np.asarray(fit.stresses, dtype=float)
    if fit.until is not None:
        kept = w <= fit.until
        w, s = w[kept], s[kept]
    return w, s


def fit_figure(fit, title: Optional[str] = None):
    """A fit: the measured points as marks, the fitted law as a line, the
    residuals (measured - fitted) in a panel below, the fitted values with
    their 95 % intervals in a corner. Returns (figure, (law axes, residual
    axes))."""
    with _style() as plt:
        fig, (top, bottom) = plt.subplots(2, 1, sharex=True, figsize=(WIDTH, TWO_PANELS),
                                          layout="constrained", gridspec_kw={"height_ratios": [3, 1]})
        w, s = _fitted_points(fit)
        line = fitted_line(fit)
        top.plot(w, s, linestyle="none", marker="o", markersize=3, markerfacecolor="none",
                 markeredgewidth=THIN, color=PALETTE[0], label="measured", zorder=3)
        top.plot(line.Wcr, line.sigma, color=PALETTE[1], linestyle=LINE_STYLES[0], linewidth=CURVE,
                 label="fitted law", zorder=2)
        top.set_ylabel(STRESS)
        top.set_xlim(left=0)
        top.set_ylim(bottom=min(0.0, float(np.nanmin(s))))
        _finish_axes(top)
        model = _model_of(fit.law.inputs)
        rows = []
        if any((fit.intervals_95 or {}).get(n) is not None for n in fit.names):
            rows.append("fitted value [95 % interval]")
        for name in fit.names:
            value = fit.values[name]
            d = _decimals(value)
            unit = _unit(name, model)
            text = f"{name} = {value:.{d}f}" + (f" {unit}" if unit else "")
            interval = (fit.intervals_95 or {}).get(name)
            if interval is not None:
                text += f" [{interval[0]:.{d}f}, {interval[1]:.{d}f}]"
            rows.append(text)
        rows.append(f"RMSE = {_number(fit.rmse)} MPa" + (
            f", R² = {fit.r2:.4f}" if fit.r2 is not None else ""))
        # One box for the marks' key and the values, so that neither hides the other.
        legend = top.legend(loc="upper right", title="\n".join(rows), alignment="left",
                            frameon=True, framealpha=1, edgecolor="0.6", handlelength=2.5)
        legend.get_frame().set_linewidth(THIN)
        _make_room(top, [legend], np.r_[w, line.Wcr], np.r_[s, line.sigma])
        residuals = s - np.asarray(fit.fitted_stresses, dtype=float)
        bottom.axhline(0, color="0.45", linewidth=THIN, zorder=1)
        bottom.plot(w, residuals, linestyle="none", marker="o", markersize=3, markerfacecolor="none",
                    markeredgewidth=THIN, color=PALETTE[0])
        limit = float(np.nanmax(np.abs(residuals), initial=0)) * 1.15 or 1.0
        bottom.set_ylim(-limit, limit)
        bottom.set_xlabel(OPENING)
        bottom.set_ylabel("Residual (MPa)")
        _finish_axes(bottom)
        fig.align_ylabels([top, bottom])
        if title is None:
            title = (f"Fit of {', '.join(fit.names)} ({_MODEL_NAMES.get(model, 'model')}): "
                     f"{_inputs_text({k: v for k, v in fit.law.inputs.items() if k not in fit.names}, {})}")
        _set_title(fig, None, title.rstrip(": "))
        return fig, (top, bottom)


def mix_figure(mix, ax=None, title: Optional[str] = None):
    """A mix: its law and each fiber type's contribution over crack opening,
    the mix's peak marked, sigma_fc as a line when given. ``ax`` to draw
    into; a new 90 x 70 mm figure without. Returns (figure, axes)."""
    with _style() as plt:
        if ax is None:
            fig, ax_ = plt.subplots(figsize=(WIDTH, ONE_PANEL), layout="constrained")
        else:
            ax_, fig = ax, ax.figure
        fibers = getattr(mix, "fibers", None) or [{} for _ in mix.types]
        for i, steps in enumerate(mix.types):
            k = (i + 1) % len(PALETTE)
            inputs = fibers[i] if i < len(fibers) else {}
            brief = ", ".join(_quantity(n, inputs[n], _model_of(inputs)) for n in ("Vf", "Lf") if n in inputs)
            ax_.plot(steps["Wcr"], steps["sigma"], color=PALETTE[k],
                     linestyle=LINE_STYLES[k % len(LINE_STYLES)], linewidth=CURVE,
                     label=f"type {i + 1}" + (f" ({brief})" if brief else ""), zorder=2)
        ax_.plot(mix.Wcr, mix.sigma, color=PALETTE[0], linestyle=LINE_STYLES[0], linewidth=CURVE * 1.5,
                 label="mix", zorder=3)
        _peak(ax_, mix.criteria or {})
        _first_cracking(ax_, getattr(mix, "sigma_fc", None))
        ax_.set_xlabel(OPENING)
        ax_.set_ylabel(STRESS)
        ax_.set_xlim(0, _last(mix.Wcr))
        ax_.set_ylim(bottom=0)
        _finish_axes(ax_)
        _make_room(ax_, [_legend(ax_)], *_with_line(
            np.concatenate([mix.Wcr, *(t["Wcr"] for t in mix.types)]),
            np.concatenate([mix.sigma, *(t["sigma"] for t in mix.types)]), getattr(mix, "sigma_fc", None)))
        if title is None:
            title = f"Mix of {len(mix.types)} fiber types"
            matrix = _matrix_text(getattr(mix, "sigma_fc", None), getattr(mix, "J_tip", None))
            shared = getattr(mix, "shared", None) or {}
            details = ", ".join([_quantity(n, v) for n, v in shared.items()] + ([matrix] if matrix else []))
            title += f": {details}" if details else ""
        _set_title(fig, None if ax is None else ax_, title)
        return fig, ax_


def _grid(table, x: str, y: str, column: str):
    """The column over the (x, y) grid of a sweep's table: rows are y, columns
    x, both increasing; refused runs (criteria None) and missing cells are NaN."""
    import pandas as pd

    for name in (x, y, column):
        if name not in table.columns:
            raise ValueError(f"the table has no column {name!r}"
                             + ("; sweep with sigma_fc= and J_tip=" if name.startswith("psh_") else ""))
    frame = table[[x, y]].copy()
    frame[column] = pd.to_numeric(table[column], errors="coerce")
    frame[x] = pd.to_numeric(frame[x])
    frame[y] = pd.to_numeric(frame[y])
    if frame.duplicated([x, y]).any():
        raise ValueError(f"the table has several runs at one ({x}, {y}): a map takes a sweep over "
                         "those two names only")
    grid = frame.pivot(index=y, columns=x, values=column).sort_index().sort_index(axis=1)
    return grid.columns.to_numpy(float), grid.index.to_numpy(float), grid.to_numpy(float)


def _geometric(values: np.ndarray) -> bool:
    if values.size < 3 or np.any(values <= 0):
        return False
    steps = np.diff(values)
    ratios = np.diff(np.log(values))
    return not np.allclose(steps, steps[0], rtol=1e-3) and np.allclose(ratios, ratios[0], rtol=1e-3)


def _label(name: str) -> str:
    unit = _unit(name)
    return f"{name} ({unit})" if unit else name


def strain_hardening_map(table, x: str, y: str, margins: Optional[Sequence[float]] = (1.3, 2.7),
                         title: Optional[str] = None):
    """The pseudo-strain-hardening indices sigma_0/sigma_fc and J'b/J_tip of a
    sweep's table (``quarnel.sweep`` with ``sigma_fc`` and ``J_tip``, over the
    two varied names ``x`` and ``y``) as filled contours, one panel each, with
    labelled isolines at 1 and at the design ``margins`` (strength, energy;
    None for none), the region where both indices reach 1 hatched. A name
    varied over a log range gets a log axis. Returns (figure, (strength axes,
    energy axes))."""
    from matplotlib.patches import Patch
    from matplotlib.ticker import MaxNLocator

    xs, ys, strength = _grid(table, x, y, "psh_strength")
    _, _, energy = _grid(table, x, y, "psh_energy")
    if xs.size < 2 or ys.size < 2:
        raise ValueError(f"a map needs at least two values of {x} and of {y}")
    with _style() as plt:
        fig, axes = plt.subplots(2, 1, sharex=True, figsize=(WIDTH, TWO_PANELS), layout="constrained")
        X, Y = np.meshgrid(xs, ys)
        # Both indices reach 1 where the smaller does: its contour at 1 follows
        # the two isolines, where a 0/1 field would step from grid point to grid point.
        both = np.fmin(strength, energy)
        panels = [(axes[0], strength, "σ0/σfc", margins[0] if margins else None),
                  (axes[1], energy, "J′b/J_tip", margins[1] if margins else None)]
        for ax, z, name, margin in panels:
            finite = z[np.isfinite(z)]
            if finite.size == 0:
                raise ValueError(f"the table has no {name} to map: no run gave criteria")
            levels = MaxNLocator(nbins=8, steps=[1, 2, 5, 10]).tick_values(finite.min(), finite.max())
            filled = ax.contourf(X, Y, z, levels=levels, cmap="cividis")
            bar = fig.colorbar(filled, ax=ax, pad=0.02, aspect=15)
            bar.set_label(name, fontsize=LABEL_FONT)
            bar.ax.tick_params(labelsize=TICK_FONT, width=THIN, length=3)
            bar.outline.set_linewidth(THIN)
            marks = [1.0] + ([float(margin)] if margin is not None and margin != 1 else [])
            inside = [m for m in marks if finite.min() <= m <= finite.max()]
            if inside:
                lines = ax.contour(X, Y, z, levels=inside, colors=PALETTE[0], linewidths=CURVE,
                                   linestyles=[LINE_STYLES[0] if m == 1 else LINE_STYLES[1] for m in inside])
                ax.clabel(lines, fmt=lambda v: f"{v:g}", fontsize=TICK_FONT, inline_spacing=2)
                for m in inside:
                    bar.ax.axhline(m, color=PALETTE[0], linewidth=CURVE,
                                   linestyle=LINE_STYLES[0] if m == 1 else LINE_STYLES[1])
            if np.nanmax(both, initial=0) >= 1:
                ax.contourf(X, Y, both, levels=[1, np.inf], colors="none", hatches=["///"])
                # Its edge, which on the other index's panel no isoline draws.
                ax.contour(X, Y, both, levels=[1], colors=PALETTE[0], linewidths=THIN)
            ax.set_ylabel(_label(y))
            if _geometric(xs):
                ax.set_xscale("log")
            if _geometric(ys):
                ax.set_yscale("log")
            _finish_axes(ax)
        axes[1].set_xlabel(_label(x))
        if np.nanmax(both, initial=0) >= 1:
            axes[0].legend(handles=[Patch(facecolor="none", edgecolor=PALETTE[0], hatch="///",
                                          linewidth=0, label="both indices ≥ 1")],
                           loc="lower left", bbox_to_anchor=(0, 1.0), borderaxespad=0.2, ncol=1,
                           handlelength=2.5, handleheight=1.5)
        if title is None:
            attrs = getattr(table, "attrs", {}) or {}
            matrix = _matrix_text(attrs.get("sigma_fc"), attrs.get("J_tip"))
            title = f"Strain-hardening indices over {x} and {y}" + (f"; {matrix}" if matrix else "")
        _set_title(fig, None, title)
        return fig, (axes[0], axes[1])
