import math
import subprocess

import numpy as np
import pandas as pd
import pytest

import quarnel

QUICK = {"criteria": "steps", "openings": [0.02, 0.05, 0.1, 0.2, 0.5, 1, 2, 4]}
DIST = {"Lf": "uniform:6:14", "sigma_fc": "lognormal:0.1:0.2", "J_tip": "weibull:20:3"}


def test_the_command_and_the_module_draw_the_same_samples_and_criteria(batch, tmp_path):
    summary = tmp_path / "s.csv"
    subprocess.run(
        [batch, "sample", "--quiet", "--dist", "Lf=uniform:6:14", "--dist", "sigma_fc=lognormal:0.1:0.2",
         "--dist", "J_tip=weibull:20:3", "--correlate", "Lf,J_tip=0.5", "--runs", "30", "--seed", "4",
         "--method", "sobol", "--criteria", "steps", "--openings", "0.02,0.05,0.1,0.2,0.5,1,2,4",
         "--summary", str(summary)], check=True)
    command = pd.read_csv(summary, float_precision="round_trip")
    result = quarnel.sample(DIST, runs=30, seed=4, method="sobol", correlate={"Lf,J_tip": 0.5}, **QUICK)
    for column in ["Lf", "sigma_fc", "J_tip", "sigma_max", "psh_strength", "psh_energy"]:
        np.testing.assert_array_equal(result.table[column].to_numpy(), command[column].to_numpy())
    assert list(result.table["strain_hardening"]) == [v == "yes" for v in command["strain_hardening"]]


def test_the_same_seed_gives_the_same_table_with_jobs_and_on_a_local_cluster():
    distributed = pytest.importorskip("distributed")
    local = quarnel.sample(DIST, runs=24, seed=8, method="lhs", progress=False, **QUICK)
    threads = quarnel.sample(DIST, runs=24, seed=8, method="lhs", jobs=2, **QUICK)
    pd.testing.assert_frame_equal(local.table, threads.table)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=False,
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as client:
        remote = quarnel.sample(DIST, runs=24, seed=8, method="lhs", client=client, chunk=5, **QUICK)
    pd.testing.assert_frame_equal(local.table, remote.table)
    pd.testing.assert_frame_equal(local.stats, remote.stats)
    other = quarnel.sample(DIST, runs=24, seed=9, method="lhs", **QUICK)
    assert not np.array_equal(other.table["Lf"], local.table["Lf"])


def test_statistics_of_the_criteria_and_the_probability_of_hardening():
    # Only sigma_fc scatters: P(hardening) = Phi((sigma_max - mu) / s).
    sigma0 = quarnel.law(**QUICK).criteria["sigma_max"]
    mu, s = 1.1 * sigma0, 0.2 * sigma0
    result = quarnel.sample({"sigma_fc": f"normal:{mu!r}:{s!r}"}, runs=800, seed=3, J_tip=0.001,
                            psh_margins=(1.0, 1.0), jobs=2, **QUICK)
    expected = 0.5 * math.erfc(-((sigma0 - mu) / s) / math.sqrt(2))
    p = result.probabilities.loc["strain_hardening"]
    assert abs(p["probability"] - expected) < 4 * math.sqrt(expected * (1 - expected) / 800)
    assert p["ci_low"] < expected < p["ci_high"]
    assert result.probabilities.loc["strain_hardening_margin", "count"] == 800
    psh = result.table["psh_strength"]
    stats = result.stats.loc["psh_strength"]
    assert stats["mean"] == pytest.approx(psh.mean(), rel=1e-12)
    assert stats["sd"] == pytest.approx(psh.std(), rel=1e-9)
    assert stats["q05"] == pytest.approx(np.quantile(psh, 0.05), rel=1e-12)
    assert stats["q95"] == pytest.approx(np.quantile(psh, 0.95), rel=1e-12)
    assert stats["spearman_sigma_fc"] == pytest.approx(-1)
    assert result.stats.loc["sigma_max", "sd"] == 0
    assert result.refused == 0


def test_refused_runs_and_errors():
    result = quarnel.sample({"Vf": "normal:0.01:0.01"}, runs=30, seed=2, **QUICK)
    refused = (result.table["status"] == "refused").sum()
    assert refused > 0 and result.refused == refused
    assert result.stats.loc["sigma_max", "count"] == 30 - refused
    with pytest.raises(ValueError, match="SD must be above 0"):
        quarnel.sample({"Vf": "normal:0.01:0"})
    with pytest.raises(ValueError, match="not positive definite"):
        quarnel.sample({"A": "normal:1:0.1", "B": "normal:1:0.1", "Lf": "normal:12:1"},
                       correlate={"A,B": 0.6, "B,Lf": 0.6, "A,Lf": -0.6})
    with pytest.raises(ValueError, match="both given and varied"):
        quarnel.sample({"sigma_fc": "normal:3:0.1"}, sigma_fc=3, runs=2, **QUICK)
    with pytest.raises(ValueError, match="psh_margins needs"):
        quarnel.sample({"Vf": "normal:0.02:0.001"}, psh_margins=(1.3, 2.7))
