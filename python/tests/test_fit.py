"""Fits from Python give quarnel-batch fit's values, and their law."""

import subprocess

import numpy as np
import pytest

import quarnel


@pytest.fixture(scope="module")
def curve():
    truth = quarnel.law(Lf=12, Pmax=2.2, delta_max=0.3, openings=np.linspace(0, 3, 25))
    return truth.Wcr, truth.sigma * (1 + 0.02 * np.sin(np.arange(25)))


def test_the_fit_equals_the_batch_command(batch, curve, tmp_path):
    w, sigma = curve
    result = quarnel.fit(w, sigma, fit={"Pmax": (0.5, 5)}, Lf=12, delta_max=0.3, starts=2,
                         max_evaluations=40, progress=False)
    measured = tmp_path / "m.csv"
    measured.write_text("".join(f"{a!r},{b!r}\n" for a, b in zip(w, sigma)))
    out = subprocess.run(
        [batch, "fit", str(measured), "--fit", "Pmax=0.5:5", "Lf=12", "delta_max=0.3",
         "--starts", "2", "--max-evaluations", "40", "--json", "--quiet"],
        check=True, capture_output=True, text=True).stdout
    import json

    cli = json.loads(out)
    assert result.texts == cli["texts"]
    assert result.rmse == cli["rmse"]
    assert np.array_equal(result.law.sigma, quarnel.law(Lf=12, delta_max=0.3, Pmax=result.texts["Pmax"]).sigma)
    low, high = result.intervals_95["Pmax"]
    assert low < result.values["Pmax"] < high and result.standard_errors["Pmax"] > 0
    assert result.correlations.loc["Pmax", "Pmax"] == 1
    assert set(result.criteria_differences) == {"sigma_max", "Wcr_peak", "J_b_prime", "G_b"}


def test_fit_errors(curve):
    w, sigma = curve
    with pytest.raises(quarnel.InputRefused):
        quarnel.fit(w, sigma, fit={"Pmax": (0.5, 5)}, Lf=0, progress=False)
    with pytest.raises(ValueError):
        quarnel.fit(w, sigma, fit={"Pmax": (5, 0.5)}, progress=False)
    with pytest.raises(TypeError):
        quarnel.fit(w, sigma, fit={"Px": (0.5, 5)}, progress=False)
