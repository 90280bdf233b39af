"""korvale against the alternatives, every ratio measured in the same run.

    bash scripts/bench.sh [--quick] [--json PATH]

Prints a table of medians and ratios (how many times faster korvale is) and
writes the figures to a JSON file (bench/results.json by default)."""

import argparse
import json
import os
import platform
import statistics
import sys
import threading
import time

import numpy as np

import korvale
from baselines import candidate_edges, eigh_mds, numpy_labels, rigidity_matrix

ROWS = []


def median_time(fn, budget=1.0, least=3, most=15):
    """Median wall time of fn over as many runs as fit the budget."""
    times = []
    start = time.perf_counter()
    while len(times) < most and (len(times) < least or time.perf_counter() - start < budget):
        t0 = time.perf_counter()
        fn()
        times.append(time.perf_counter() - t0)
    return statistics.median(times)


def record(case, korvale_s, baseline=None, baseline_s=None, note=""):
    row = {"case": case, "korvale_s": korvale_s, "baseline": baseline, "baseline_s": baseline_s, "note": note}
    row["ratio"] = baseline_s / korvale_s if baseline_s else None
    ROWS.append(row)
    ratio = f"{row['ratio']:9.1f}x" if row["ratio"] else " " * 10
    base = f"{baseline:<28} {baseline_s * 1e3:12.3f}" if baseline_s else f"{'':<28} {'':>12}"
    print(f"{case:<34} {korvale_s * 1e3:12.3f}  {base}  {ratio}  {note}", flush=True)


def framework(n, d, kind, rng):
    if kind == "general":
        return rng.uniform(0, 5, size=(n, d))
    side = max(2, int(round(n ** (1 / d))))
    return rng.integers(0, side, size=(n, d)).astype(np.float64)


def bench_simulate(quick):
    rng = np.random.default_rng(0)
    sizes = (20, 100, 300) if quick else (20, 100, 300, 1000)
    for d in (2, 3):
        for n in sizes:
            for kind in ("general", "grid"):
                coords = framework(n, d, kind, rng)
                case = f"simulate n={n} d={d} {kind}"
                t = median_time(lambda: korvale.simulate(coords, d))
                if n <= 300:
                    labels = numpy_labels(coords)
                    assert labels.tolist() == korvale.simulate(coords, d)["labels"].tolist(), case
                    record(case, t, "NumPy labelling", median_time(lambda: numpy_labels(coords), budget=2, least=1, most=5))
                else:
                    record(case, t, note="NumPy labelling skipped: minutes")
                if kind != "general":
                    continue
                max_rank = n * d - d * (d + 1) // 2
                prefix = rigidity_matrix(coords, candidate_edges(n)[:max_rank])
                record(case, t, "matrix_rank(prefix)", median_time(lambda: np.linalg.matrix_rank(prefix, tol=1e-9)))
                if n <= 100:
                    full = rigidity_matrix(coords, candidate_edges(n))
                    record(case, t, "matrix_rank(all bars)", median_time(lambda: np.linalg.matrix_rank(full, tol=1e-9)))
    bench_pyrigi_rank(rng)


def bench_pyrigi_rank(rng):
    try:
        import networkx as nx
        from pyrigi import Framework, Graph
    except ImportError:
        print("PyRigi not installed: skipped")
        return
    for n in (20, 40):
        coords = rng.uniform(0, 5, size=(n, 2))
        framework_ = Framework(Graph(nx.complete_graph(n)), {i: list(coords[i]) for i in range(n)})
        t = median_time(lambda: korvale.simulate(coords, 2))
        record(
            f"simulate n={n} d=2 general",
            t,
            "PyRigi numerical rank",
            median_time(lambda: framework_.rigidity_matrix_rank(numerical=True), budget=2, least=1, most=3),
        )


def run_threads(fn, count):
    threads = [threading.Thread(target=fn) for _ in range(count)]
    t0 = time.perf_counter()
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    return time.perf_counter() - t0


def bench_batch(quick):
    for n, d in ((20, 2), (30, 3)):
        graphs = 1000
        batch = lambda: korvale.generate_training_batch(graphs, n, d, 0)  # noqa: E731
        one = median_time(batch)
        sample = 30 if quick else 100
        coords = [
            np.array(korvale_coordinates(k, n, d)) for k in range(sample)
        ]
        numpy_s = median_time(lambda: [numpy_labels(c) for c in coords], budget=2, least=1, most=3) * graphs / sample
        record(f"batch {graphs}x{n} nodes d={d}", one, f"NumPy labelling ({sample} scaled)", numpy_s)
        two = statistics.median(run_threads(batch, 2) for _ in range(3))
        record(f"batch 2 threads x {graphs}x{n} d={d}", two, "two batches on one thread", 2 * one,
               note="ratio = two-thread speed-up")


def korvale_coordinates(k, n, d):
    state = k
    values = []
    for _ in range(n * d):
        state = (state * 6364136223846793005 + 1442695040888963407) % 2**64
        values.append((state >> 33) / 4294967295.0 * 10.0)
    return np.array(values).reshape(n, d)


def bench_pebble(quick):
    try:
        import networkx as nx
        from pyrigi import Graph
    except ImportError:
        nx = None
    for n in (200, 1000, 2000):
        coords = np.zeros((n, 2))
        t = median_time(lambda: korvale.pebble_game(coords, 2))
        if n == 200 and nx is not None:
            graph = Graph(nx.complete_graph(n))
            record(f"pebble_game n={n}", t, "PyRigi pebble game",
                   median_time(lambda: graph.spanning_kl_sparse_subgraph(2, 3), budget=3, least=1, most=3))
        else:
            record(f"pebble_game n={n}", t)


def bench_reconstruct(quick):
    try:
        from sklearn.manifold import ClassicalMDS
    except ImportError:
        ClassicalMDS = None
    rng = np.random.default_rng(1)
    cases = [(n, "exact") for n in ((100, 500) if quick else (100, 500, 1000))] + [(300, "noisy")]
    for n, kind in cases:
        points = rng.uniform(0, 5, size=(n, 2))
        dist = np.sqrt(((points[:, None] - points[None]) ** 2).sum(-1))
        if kind == "noisy":
            noise = rng.normal(0, 0.05, size=(n, n))
            dist = np.abs(dist + (noise + noise.T) / 2)
            np.fill_diagonal(dist, 0)
        t = median_time(lambda: korvale.reconstruct(dist, 2))
        case = f"reconstruct n={n} {kind}"
        if ClassicalMDS is not None:
            mds = ClassicalMDS(n_components=2, metric="precomputed")
            record(case, t, "scikit-learn ClassicalMDS", median_time(lambda: mds.fit_transform(dist)))
        record(case, t, "eigh classical MDS", median_time(lambda: eigh_mds(dist, 2)))


def report_cpp(path):
    """Pairs each optimised routine with its literal reference from the
    Google Benchmark results (medians of five repetitions)."""
    with open(path) as f:
        results = json.load(f)["benchmarks"]
    unit = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
    medians = {
        b["run_name"]: b["real_time"] * unit[b["time_unit"]] for b in results if b.get("aggregate_name") == "median"
    }
    for name, seconds in medians.items():
        routine, _, args = name.partition("/")
        if routine.endswith("_literal"):
            continue
        literal = medians.get(f"{routine}_literal/{args}")
        record(f"C++ {routine} {args}", seconds, "literal reference", literal)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true", help="smaller cases only")
    parser.add_argument("--json", default=os.path.join(os.path.dirname(__file__), "results.json"))
    parser.add_argument("--only", choices=["simulate", "batch", "pebble", "reconstruct", "cpp"])
    parser.add_argument("--cpp", help="Google Benchmark JSON of the C++ core to include")
    args = parser.parse_args()
    print(f"{'case':<34} {'korvale ms':>12}  {'baseline':<28} {'baseline ms':>12}  {'ratio':>10}")
    for name, fn in (("simulate", bench_simulate), ("batch", bench_batch), ("pebble", bench_pebble),
                     ("reconstruct", bench_reconstruct)):
        if args.only in (None, name):
            fn(args.quick)
    if args.cpp and args.only in (None, "cpp"):
        report_cpp(args.cpp)
    meta = {
        "python": sys.version.split()[0],
        "numpy": np.__version__,
        "machine": platform.machine(),
        "cpus": os.cpu_count(),
        "time": time.strftime("%Y-%m-%d %H:%M:%S"),
    }
    with open(args.json, "w") as f:
        json.dump({"meta": meta, "rows": ROWS}, f, indent=1)
    print(f"\nfigures written to {args.json}")


if __name__ == "__main__":
    main()
