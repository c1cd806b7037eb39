"""Sweeps from a grid and from a table of runs, on threads and on Dask, equal
single laws; refused runs are rows."""

import threading

import numpy as np
import pandas as pd
import pytest

import quarnel


def test_grid_rows_equal_single_laws_for_one_and_two_jobs():
    tables = [
        quarnel.sweep(base={"Lf": 12}, vary={"Vf": [0.01, 0, 0.02], "kxy": [1, 2]}, jobs=jobs,
                      sigma_fc=3, J_tip=10, progress=False)
        for jobs in (1, 2)
    ]
    pd.testing.assert_frame_equal(tables[0], tables[1])
    table = tables[0]
    assert list(table["status"]) == ["ok", "ok", "refused", "refused", "ok", "ok"]
    for row in table.itertuples():
        if row.status != "ok":
            assert row.message
            continue
        law = quarnel.law(Lf=12, Vf=row.Vf, kxy=row.kxy, sigma_fc=3, J_tip=10)
        assert row.sigma_max == law.criteria["sigma_max"]
        assert row.J_b_prime == law.criteria["J_b_prime"]


def test_a_table_of_runs_gives_one_run_per_row():
    samples = pd.DataFrame({"Vf": np.linspace(0.01, 0.02, 7), "Pmax": np.linspace(2, 4, 7)})
    table = quarnel.sweep(runs=samples, base={"division": 10}, progress=False)
    assert len(table) == 7
    for row, sample in zip(table.itertuples(), samples.itertuples()):
        law = quarnel.law(division=10, Vf=sample.Vf, Pmax=sample.Pmax)
        assert row.G_b == law.criteria["G_b"]


def test_the_table_tells_each_runs_orientation_weight_error():
    table = quarnel.sweep(base={"division": 4, "kzx": 1e4}, vary={"kxy": [1, 1e4], "Vf": [0, 0.02]},
                          progress=False)
    assert table.columns[-1] == "orientation_weight_error"
    ok = table[table["status"] == "ok"]
    assert len(ok) == 2
    assert np.allclose(ok["orientation_weight_error"], 0.28, atol=0.01)
    assert table[table["status"] == "refused"]["orientation_weight_error"].isna().all()


def test_curves_come_back_long():
    table, curves = quarnel.sweep(vary={"Vf": [0.01, 0.02]}, base={"division": 4}, curves=True,
                                  progress=False)
    assert len(curves) == 2 * 9
    assert np.array_equal(curves[curves.run == 2]["sigma_MPa"].to_numpy(),
                          quarnel.law(division=4, Vf=0.02).sigma)


def test_a_grid_comes_back_as_a_dataset_with_the_varied_names_as_dimensions():
    pytest.importorskip("xarray")
    table, data = quarnel.sweep(vary={"Vf": [0.01, 0, 0.02], "division": [2, 4]}, curves="xarray",
                                progress=False)
    assert data["sigma"].dims == ("Vf", "division", "n")
    assert list(data["division"].values) == [2, 4]
    law = quarnel.law(Vf=0.02, division=2)
    assert np.array_equal(data["sigma"].sel(Vf=0.02, division=2).values[:5], law.sigma)
    assert np.isnan(data["sigma"].sel(Vf=0.02, division=2).values[5:]).all()
    assert np.isnan(data["sigma"].sel(Vf=0).values).all()  # refused


def test_sweep_errors():
    with pytest.raises(TypeError):
        quarnel.sweep(base={"Lx": 1}, vary={"Vf": [0.01]})
    with pytest.raises(ValueError):
        quarnel.sweep(vary={"nope": [1, 2]})
    with pytest.raises(ValueError):
        quarnel.sweep()


def test_the_computation_releases_the_gil():
    # While the native call computes about a second on one thread, a Python
    # thread keeps counting; with the GIL held it would get at most a switch
    # interval or two.
    from quarnel import _quarnel
    from quarnel.sweep import _spec

    spec = _spec({}, None, {"Vf": np.linspace(0.01, 0.02, 150).tolist()}, None, None, None, None, False)
    ticks = [0]
    stop = threading.Event()

    def count():
        while not stop.is_set():
            ticks[0] += 1

    thread = threading.Thread(target=count)
    thread.start()
    before = ticks[0]
    _quarnel.sweep_runs(spec, 0, 150, 1)
    during = ticks[0] - before
    stop.set()
    thread.join()
    assert during > 1_000_000, during


def test_a_mix_equals_the_in_order_sum_of_its_types():
    pva = {"Vf": 0.01, "Lf": 12, "Af": 0.0012, "Pmax": 1.2, "delta_max": 0.12}
    steel = {"Vf": 0.005, "Lf": 30, "model": "function-lb", "A": 40, "B": 0.1, "C": 0.05, "D": 0.3}
    m = quarnel.mix([pva, steel], Am=2500)
    assert np.array_equal(m.P, m.types[0]["P"] + m.types[1]["P"])
    with pytest.raises(quarnel.InputRefused) as refused:
        quarnel.mix([pva, {**steel, "Lf": 0}])
    assert refused.value.fiber == 2


def test_a_dask_cluster_gives_the_local_table():
    distributed = pytest.importorskip("distributed")
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as client:
        vary = {"Vf": np.linspace(0.005, 0.03, 12).tolist(), "kxy": [1, 4]}
        remote = quarnel.sweep(vary=vary, base={"division": 8}, client=client, chunk=5)
    local = quarnel.sweep(vary=vary, base={"division": 8}, progress=False)
    pd.testing.assert_frame_equal(remote, local)


def test_a_worker_killed_mid_sweep_leaves_the_table_complete_and_equal():
    distributed = pytest.importorskip("distributed")
    import os
    import signal
    import time

    vary = {"Vf": np.linspace(0.005, 0.03, 800).tolist()}
    base = {"division": 30}
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as client:
        result = {}
        runner = threading.Thread(
            target=lambda: result.update(table=quarnel.sweep(vary=vary, base=base, client=client, chunk=8)))
        runner.start()
        time.sleep(1.0)
        pids = client.run(os.getpid)
        os.kill(next(iter(pids.values())), signal.SIGKILL)
        runner.join(timeout=240)
        assert not runner.is_alive()
    local = quarnel.sweep(vary=vary, base=base, progress=False)
    pd.testing.assert_frame_equal(result["table"], local)
