"""korvale-dataset with graph models: label variety per model and
throughput written to disk (one worker against two, and against the
complete model's writer as the baseline in the same run); prints tables.

    python bench/dataset_models.py [--graphs 100000]"""

import argparse
import os
import shutil
import tempfile
import time

import numpy as np

import korvale_data

VARIETY = [  # (model, dim, nodes, options)
    ("erdos-renyi", 2, 50, {"mean_degree": "3.0:4.5"}),
    ("regular", 2, 50, {"degree": 4}),
    ("geometric", 2, 50, {"radius": "0.18:0.3"}),
    ("lattice", 2, 49, {"bond_probability": "0.55:0.9"}),
    ("henneberg", 2, 50, {"extra": 5}),
    ("erdos-renyi", 3, 30, {"mean_degree": "5.0:7.0"}),
    ("regular", 3, 30, {"degree": 6}),
    ("geometric", 3, 30, {"radius": "0.3:0.45"}),
]


def variety(directory):
    print(f"{'model':<12} {'d':>2} {'n':>3} {'distinct independent':>21} {'distinct graphs+labels':>23}"
          f" {'overconstrained':>16} {'rigid':>7}")
    for model, dim, nodes, options in VARIETY:
        out = os.path.join(directory, f"{model}-{dim}")
        korvale_data.generate(out, 1000, nodes, dim, seed=1, model=model, **options)
        graphs = list(korvale_data.load(out))
        labels = {g["independent"].tobytes() for g in graphs}
        pairs = {g["edges"].tobytes() + g["independent"].tobytes() for g in graphs}
        over = np.concatenate([g["overconstrained"] for g in graphs]).mean()
        rigid = np.mean([g["rigid"] for g in graphs])
        print(f"{model:<12} {dim:>2} {nodes:>3} {len(labels) / 10:20.1f}% {len(pairs) / 10:22.1f}% {over:15.1%} {rigid:7.1%}")


def throughput(directory, graphs):
    print(f"\n{'written with all labels':<52} {'graphs/s':>10} {'MB/shard of 10k':>16}")
    rows = [
        ("erdos-renyi n=50 d=2 (3.0:4.5)", dict(nodes=50, dim=2, model="erdos-renyi", mean_degree="3.0:4.5"), graphs),
        ("erdos-renyi n=30 d=3 (5.0:7.0)", dict(nodes=30, dim=3, model="erdos-renyi", mean_degree="5.0:7.0"), graphs // 5),
        ("baseline: complete n=20 d=2", dict(nodes=20, dim=2, model="complete"), graphs // 5),
    ]
    rates = {}
    for name, options, count in rows:
        for workers in (1, 2):
            out = os.path.join(directory, f"t-{workers}")
            shutil.rmtree(out, ignore_errors=True)
            start = time.perf_counter()
            korvale_data.generate(out, count, seed=2, shard_size=10_000, workers=workers, **options)
            rate = count / (time.perf_counter() - start)
            rates[(name, workers)] = rate
            size = os.path.getsize(os.path.join(out, "shard-000000.npz")) / 1e6
            print(f"{name + f', {workers} worker' + ('s' if workers > 1 else ''):<52} {rate:10,.0f} {size:16.1f}")
        print(f"{'  two workers against one':<52} {rates[(name, 2)] / rates[(name, 1)]:9.2f}x")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--graphs", type=int, default=100_000)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as directory:
        variety(directory)
        throughput(directory, args.graphs)


if __name__ == "__main__":
    main()
