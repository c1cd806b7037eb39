"""The figures draw the module's numbers as they are, in the print style."""

import subprocess
import sys

import numpy as np
import pandas as pd
import pytest

matplotlib = pytest.importorskip("matplotlib")
matplotlib.use("Agg")

import matplotlib.pyplot as plt  # noqa: E402
from matplotlib.collections import PolyCollection  # noqa: E402

import quarnel  # noqa: E402

MM = 25.4
OPENING = "Crack opening w (mm)"
STRESS = "Bridging stress σ (MPa)"
RATIO = "Effective fiber ratio"


@pytest.fixture(autouse=True)
def close_figures():
    yield
    plt.close("all")


def lines_with(ax, x, y):
    """The axes' lines whose data are exactly (x, y)."""
    return [ln for ln in ax.get_lines()
            if np.array_equal(ln.get_xdata(), x) and np.array_equal(ln.get_ydata(), y)]


def check_print_style(fig, height_mm):
    width, height = fig.get_size_inches() * MM
    assert (round(width, 6), round(height, 6)) == (90, height_mm)
    fig.canvas.draw()
    for text in fig.findobj(matplotlib.text.Text):
        if text.get_text() and text.get_visible():
            assert 7 <= text.get_fontsize() <= 8, text.get_text()
    for line in fig.findobj(matplotlib.lines.Line2D):
        if line.get_visible() and line.get_linestyle() not in ("None", "none", ""):
            assert line.get_linewidth() >= 0.25 / MM * 72, line
    for ax in fig.axes:
        assert all(s.get_linewidth() >= 0.25 / MM * 72 for s in ax.spines.values())


@pytest.fixture(scope="module")
def oriented():
    return quarnel.law(Lf=30, kxy="2", theta_r_xy=30, Vf=0.02, sigma_fc=0.15, J_tip=10)


def test_law_figure_draws_the_steps_the_peak_and_the_matrix(oriented):
    law = oriented
    fig, (top, bottom) = law.plot()
    assert len(lines_with(top, law.Wcr, law.sigma)) == 1
    assert len(lines_with(bottom, law.Wcr, law.effective_fiber_ratio)) == 1
    assert (top.get_ylabel(), bottom.get_xlabel(), bottom.get_ylabel()) == (STRESS, OPENING, RATIO)
    assert top.get_shared_x_axes().joined(top, bottom)
    s0, d0 = law.criteria["sigma_max"], law.criteria["Wcr_peak"]
    assert lines_with(top, [d0], [s0])
    assert any(np.array_equal(ln.get_ydata(), [0.15, 0.15]) for ln in top.get_lines())
    hatched = [c for c in top.collections if isinstance(c, PolyCollection) and c.get_hatch()]
    assert len(hatched) == 1
    # The hatched area runs from the origin to the peak and up to sigma_0.
    corners = hatched[0].get_paths()[0].vertices
    assert corners[:, 0].min() == 0 and corners[:, 0].max() == d0 and corners[:, 1].max() == s0
    assert "Constant model" in fig._suptitle.get_text() and "kxy" in fig._suptitle.get_text()
    assert {"J′b", "σfc"} <= {t.get_text().split("\u00a0")[0] for t in top.get_legend().get_texts()}
    check_print_style(fig, 100)


def test_law_figure_without_matrix_and_into_given_axes():
    law = quarnel.law(model="function-lb", A=3, B=0.45, C=0.05, D=0.3)
    fig, (top, _) = law.plot(title="")
    assert fig._suptitle is None
    assert not [c for c in top.collections if c.get_hatch()]
    assert len(top.get_lines()) == 4  # the law, two guides, the peak
    mine, ax = plt.subplots()
    same, drawn = law.plot(ax=ax)
    assert same is mine and drawn is ax and len(mine.axes) == 1
    assert lines_with(ax, law.Wcr, law.sigma) and ax.get_xlabel() == OPENING
    assert "Function lb model" in ax.get_title() and "A\u00a0=\u00a03" in ax.get_title()


def test_law_figure_ends_its_axis_where_the_bridging_ends():
    # Every fiber of this PVA-like law ruptures by 0.3 mm of the 6 mm the steps reach.
    law = quarnel.law(Vf=0.02, Af=0.0012, Lf=12, fp0=0.5, fd0=0.5, f_reduction=0.3,
                      sigma_fu=1600, Pmax=3, delta_max=0.45)
    assert law.Wcr[-1] == 6
    _, (top, bottom) = law.plot()
    for ax in (top, bottom):
        assert 0.2 < ax.get_xlim()[1] < 0.5
    assert lines_with(top, law.Wcr, law.sigma)  # the steps beyond stay in the line
    steady = quarnel.law(model="function-lb", A=3, B=0.45, C=0.05, D=0.3)
    _, (top, _) = steady.plot()
    assert top.get_xlim()[1] == steady.Wcr[-1]


@pytest.fixture(scope="module")
def fitted():
    truth = quarnel.law(Lf=12, Pmax=2.2, delta_max=0.3, openings=np.linspace(0, 3, 25))
    sigma = truth.sigma * (1 + 0.04 * np.sin(np.arange(25)))
    return quarnel.fit(truth.Wcr, sigma, fit={"Pmax": (0.5, 5), "delta_max": (0.05, 1)}, Lf=12,
                       until=2.5, starts=2, max_evaluations=60, progress=False)


def test_fit_figure_draws_the_measured_points_the_fitted_law_and_residuals(fitted):
    fig, (top, bottom) = fitted.plot()
    kept = fitted.openings <= 2.5
    w, sigma = fitted.openings[kept], fitted.stresses[kept]
    assert len(w) == len(fitted.fitted_stresses) < len(fitted.openings)
    marks = lines_with(top, w, sigma)
    assert len(marks) == 1 and marks[0].get_marker() == "o"
    (line,) = [ln for ln in top.get_lines() if ln.get_label() == "fitted law"]
    x, y = line.get_xdata(), line.get_ydata()
    # The line passes through the fitted stresses and is the fitted law between them.
    assert np.array_equal(y[np.isin(x, w)], fitted.fitted_stresses)
    assert np.array_equal(y, quarnel.law(openings=x, **fitted.law.inputs).sigma)
    assert x[0] == 0 and x[-1] == w.max() and len(x) > 100
    assert lines_with(bottom, w, sigma - fitted.fitted_stresses)
    box = top.get_legend().get_title().get_text()
    for name in ("Pmax", "delta_max"):
        low, high = fitted.intervals_95[name]
        assert f"{name} = " in box and f"{low:.4g}"[:4] in box and f"{high:.4g}"[:4] in box
    assert "RMSE" in box and "Lf\u00a0=\u00a012" in fig._suptitle.get_text()
    assert (top.get_ylabel(), bottom.get_xlabel()) == (STRESS, OPENING)
    # The box is clear of the data: no point at or above its lower edge within its width.
    fig.canvas.draw()
    edge = top.get_legend().get_window_extent()
    points = top.transData.transform(np.c_[x, y])
    assert not np.any((points[:, 0] >= edge.x0) & (points[:, 1] >= edge.y0))
    check_print_style(fig, 100)


def test_mix_figure_draws_the_mix_and_each_types_contribution():
    mix = quarnel.mix([{"Lf": 12, "Vf": 0.01}, {"Lf": 30, "Vf": 0.005, "Pmax": 5}], Am=2500,
                      sigma_fc=0.2)
    fig, ax = mix.plot()
    assert len(lines_with(ax, mix.Wcr, mix.sigma)) == 1
    drawn = [lines_with(ax, t["Wcr"], t["sigma"]) for t in mix.types]
    assert all(len(d) == 1 for d in drawn)
    # Apart in colour and, for greyscale, in line style, from each other and from the mix.
    lines = [d[0] for d in drawn] + lines_with(ax, mix.Wcr, mix.sigma)
    assert len({ln.get_color() for ln in lines}) == len({ln.get_linestyle() for ln in lines}) == 3
    labels = [t.get_text() for t in ax.get_legend().get_texts()]
    assert labels[:3] == ["type 1 (Vf\u00a0=\u00a00.01, Lf\u00a0=\u00a012\u00a0mm)",
                          "type 2 (Vf\u00a0=\u00a00.005, Lf\u00a0=\u00a030\u00a0mm)", "mix"]
    assert "Am\u00a0=\u00a02500" in fig._suptitle.get_text()
    check_print_style(fig, 70)


@pytest.fixture(scope="module")
def grid():
    return quarnel.sweep(vary={"Vf": (0.005, 0.03, 4), "Lf": (10, 40, 3)}, sigma_fc=0.1, J_tip=10,
                         criteria="steps", jobs=2)


def labelled_isolines(ax, table, x, y, column):
    """The levels of the axes' labelled isolines, each checked to lie where the
    table's index, interpolated over the grid, has its level."""
    grid = table.pivot(index=y, columns=x, values=column).astype(float)
    xs, ys, z = grid.columns.to_numpy(float), grid.index.to_numpy(float), grid.to_numpy()
    levels = []
    for text in ax.texts:
        level = float(text.get_text())
        px, py = text.get_position()
        i = min(np.searchsorted(xs, px) - 1, len(xs) - 2)
        j = min(np.searchsorted(ys, py) - 1, len(ys) - 2)
        u = (px - xs[i]) / (xs[i + 1] - xs[i])
        v = (py - ys[j]) / (ys[j + 1] - ys[j])
        at = ((1 - u) * (1 - v) * z[j, i] + u * (1 - v) * z[j, i + 1] + (1 - u) * v * z[j + 1, i]
              + u * v * z[j + 1, i + 1])
        assert at == pytest.approx(level, rel=0.05), text
        levels.append(level)
    return sorted(set(levels))


def test_map_has_isolines_at_one_and_at_the_margins(grid):
    fig, (strength, energy) = quarnel.plot.strain_hardening_map(grid, "Vf", "Lf")
    assert grid["psh_strength"].min() < 1 < grid["psh_strength"].max()
    assert grid["psh_energy"].min() < 2.7 < grid["psh_energy"].max()
    assert labelled_isolines(strength, grid, "Vf", "Lf", "psh_strength") == [1.0, 1.3]
    # Every energy index is above 1: only the margin's isoline.
    assert grid["psh_energy"].min() > 1
    assert labelled_isolines(energy, grid, "Vf", "Lf", "psh_energy") == [2.7]
    # The isolines' levels marked on the colour bars too.
    bars = [a for a in fig.axes if a not in (strength, energy)]
    assert [sorted(ln.get_ydata()[0] for ln in bar.get_lines()) for bar in bars] == [[1, 1.3], [2.7]]
    assert all(c.get_cmap().name == "cividis" for c in strength.collections if c.get_array() is not None)
    # Where both indices reach 1, hatched on both panels.
    assert all(any(c.get_hatch() for c in ax.collections) for ax in (strength, energy))
    assert (strength.get_ylabel(), energy.get_xlabel()) == ("Lf (mm)", "Vf")
    assert "σfc\u00a0=\u00a00.1" in fig._suptitle.get_text()
    check_print_style(fig, 100)
    fig, (strength, _) = quarnel.plot.strain_hardening_map(grid, "Lf", "Vf", margins=None, title="")
    assert labelled_isolines(strength, grid, "Lf", "Vf", "psh_strength") == [1.0]
    assert fig._suptitle is None
    assert strength.get_xlabel() == "" and fig.axes[1].get_xlabel() == "Lf (mm)"


def test_map_of_a_log_range_refused_runs_and_wrong_tables(grid):
    table = quarnel.sweep(vary={"Vf": (0.005, 0.04, 4, "log"), "Lf": [10, 0, 40]}, sigma_fc=0.1,
                          J_tip=10, criteria="steps")
    assert (table["status"] == "refused").sum() == 4
    fig, (strength, _) = quarnel.plot.strain_hardening_map(table, "Vf", "Lf")
    assert strength.get_xscale() == "log" and strength.get_yscale() == "linear"
    with pytest.raises(ValueError, match="sigma_fc= and J_tip="):
        quarnel.plot.strain_hardening_map(grid.drop(columns="psh_energy"), "Vf", "Lf")
    with pytest.raises(ValueError, match="several runs at one"):
        quarnel.plot.strain_hardening_map(pd.concat([grid, grid]), "Vf", "Lf")
    with pytest.raises(ValueError, match="no column 'kxy'"):
        quarnel.plot.strain_hardening_map(grid, "Vf", "kxy")


def test_the_module_imports_without_matplotlib_and_says_what_a_figure_needs():
    script = (
        "import sys\n"
        "sys.modules['matplotlib'] = None\n"
        "import quarnel\n"
        "law = quarnel.law()\n"
        "try:\n"
        "    law.plot()\n"
        "except ImportError as e:\n"
        "    print(e)\n"
    )
    out = subprocess.run([sys.executable, "-c", script], check=True, capture_output=True, text=True)
    assert "figures need matplotlib" in out.stdout
    loaded = subprocess.run(
        [sys.executable, "-c", "import sys, quarnel; quarnel.law(); print('matplotlib' in sys.modules)"],
        check=True, capture_output=True, text=True)
    assert loaded.stdout.strip() == "False"
