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
    for n in (200, 1000, 2000):
        coords = np.zeros((n, 2))
        rows.append((f"pebble_game n={n}", median_time(lambda: korvale.pebble_game(coords, 2), args.repeat)))
    for n in (100, 500, 1000):
        points = rng.uniform(0, 5, size=(n, 2))
        dist = np.sqrt(((points[:, None, :] - points[None, :, :]) ** 2).sum(-1))
        gram = korvale.gram_from_dist(dist)
        rows.append((f"reconstruct n={n} d=2 exact", median_time(lambda: korvale.reconstruct(dist, 2), args.repeat)))
        rows.append((f"numpy.linalg.eigh of its Gram n={n}", median_time(lambda: np.linalg.eigh(gram), args.repeat)))
    width = max(len(name) for name, _ in rows)
    print(f"{'case':<{width}}  median")
    for name, t in rows:
        print(f"{name:<{width}}  {t * 1e3:10.3f} ms")


if __name__ == "__main__":
    main()
