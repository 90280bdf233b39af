"""Median wall times of korvale's functions on random inputs.

    python bench/quick_times.py [--repeat N]

A quick table for tracking the module's own speed between changes; the
comparison against other approaches lives in bench/run.py.
"""

import argparse
import statistics
import time

import numpy as np

import korvale


def median_time(fn, repeat):
    times = []
    for _ in range(repeat):
        t0 = time.perf_counter()
        fn()
        times.append(time.perf_counter() - t0)
    return statistics.median(times)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeat", type=int, default=7)
    args = parser.parse_args()
    rng = np.random.default_rng(0)
    rows = []
    for d in (2, 3):
        for n in (20, 100, 300):
            coords = rng.uniform(0, 5, size=(n, d))
            grid = rng.integers(0, max(2, int(round(n ** (1 / d)))), size=(n, d)).astype(np.float64)
            rows.append((f"simulate n={n} d={d} general", median_time(lambda: korvale.simulate(coords, d), args.repeat)))
            rows.append((f"simulate n={n} d={d} grid", median_time(lambda: korvale.simulate(grid, d), args.repeat)))
    width = max(len(name) for name, _ in rows)
    print(f"{'case':<{width}}  median")
    for name, t in rows:
        print(f"{name:<{width}}  {t * 1e3:10.3f} ms")


if __name__ == "__main__":
    main()
