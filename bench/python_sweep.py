"""The speed-up of a 10,000-run sweep on a Dask LocalCluster of 2 worker
processes against jobs=1 in one process, and the overhead per chunk (a
sweep of empty-ish chunks: 1 run each at Division 1, criteria from the steps).

    PYTHONPATH=build/release/python /usr/bin/python3 bench/python_sweep.py [RUNS]
"""

import sys
import time

import numpy as np

import quarnel


def timed(call):
    start = time.perf_counter()
    value = call()
    return time.perf_counter() - start, value


def main() -> None:
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 10000
    vary = {"Vf": np.linspace(0.005, 0.03, runs).tolist()}
    import distributed

    local, table = timed(lambda: quarnel.sweep(vary=vary, jobs=1, progress=False))
    print(f"{runs} runs, jobs=1: {local:.2f} s")
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as client:
        quarnel.sweep(vary={"Vf": [0.01, 0.02]}, client=client, chunk=1)  # workers warmed up
        remote, remote_table = timed(lambda: quarnel.sweep(vary=vary, client=client, chunk=250))
        assert remote_table.equals(table)
        print(f"{runs} runs, LocalCluster of 2 workers, chunks of 250: {remote:.2f} s "
              f"({local / remote:.2f} times faster)")
        tiny = {"Vf": np.linspace(0.005, 0.03, 400).tolist()}
        base = {"division": 1}
        # Criteria from the steps: converged criteria would compute laws of
        # their own and hide the chunks' cost.
        one, _ = timed(lambda: quarnel.sweep(vary=tiny, base=base, client=client, chunk=400,
                                             criteria="steps"))
        many, _ = timed(lambda: quarnel.sweep(vary=tiny, base=base, client=client, chunk=1,
                                              criteria="steps"))
        print(f"overhead per chunk: {(many - one) / 399 * 1000:.2f} ms")


if __name__ == "__main__":
    main()
