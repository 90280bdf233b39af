"""Graphs per second of korvale_data.generate with 1 and 2 worker threads.

    python bench/dataset_speed.py [--graphs 10000] [--nodes 20] [--dim 2]
"""

import argparse
import statistics
import tempfile
import time

from korvale_data import generate


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--graphs", type=int, default=10000)
    parser.add_argument("--nodes", type=int, default=20)
    parser.add_argument("--dim", type=int, default=2)
    parser.add_argument("--shard-size", type=int, default=500)
    parser.add_argument("--repeat", type=int, default=5)
    args = parser.parse_args()
    rates = {}
    for workers in (1, 2):
        times = []
        for _ in range(args.repeat):
            with tempfile.TemporaryDirectory() as out:
                t0 = time.perf_counter()
                generate(out, args.graphs, args.nodes, args.dim, seed=0, shard_size=args.shard_size, workers=workers,
                         model="complete")
                times.append(time.perf_counter() - t0)
        rates[workers] = args.graphs / statistics.median(times)
        print(f"workers={workers}: {rates[workers]:,.0f} graphs/s (median of {args.repeat})")
    print(f"speed-up with 2 workers: {rates[2] / rates[1]:.2f}x")


if __name__ == "__main__":
    main()
