"""korvale_graphs against PyRigi, its scaling near the rigidity transition,
and the percolation curve; prints a table. Also cross-checks rigidity
verdicts and rigid components with PyRigi on random graphs.

    python bench/graphs.py [--large]   (--large adds generic_rank and
                                        global_rigidity at n = 3000)"""

import argparse
import resource
import statistics
import subprocess
import sys
import time

import numpy as np

import korvale_graphs as kg


def simple_random_graph(n, m, seed):
    """m distinct random pairs (no loops), as PyRigi takes simple graphs."""
    rng = np.random.default_rng(seed)
    pairs = set()
    while len(pairs) < m:
        a, b = (int(x) for x in rng.integers(0, n, 2))
        if a != b:
            pairs.add((min(a, b), max(a, b)))
    return np.array(sorted(pairs), dtype=np.int64)


def best_time(fn, repeat=5):
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        fn()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def row(case, ours, baseline=None, theirs=None):
    ratio = (f"{theirs / ours:12.0f}x" if theirs / ours >= 100 else f"{theirs / ours:12.2f}x") if theirs else ""
    base = f"{baseline:<32} {theirs * 1e3:12.1f}" if theirs else f"{baseline or '':<32} {'':>12}"
    print(f"{case:<44} {ours * 1e3:12.3f}  {base} {ratio}", flush=True)


def peak_memory_of(code):
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True).stdout.split()
    return float(out[0]), int(out[1]) / 1024  # seconds, MB


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--large", action="store_true")
    parser.add_argument("--check", type=int, default=100, help="graphs cross-checked with PyRigi")
    parser.add_argument("--check-only", action="store_true")
    args = parser.parse_args()
    from pyrigi import Graph

    if args.check_only:
        cross_check(args.check)
        return
    print(f"{'case':<44} {'korvale ms':>12}  {'baseline':<32} {'baseline ms':>12} {'ratio':>13}")
    edges = simple_random_graph(2000, 4000, 1)
    ours = best_time(lambda: kg.pebble_game(2000, edges))
    graph = Graph([tuple(e) for e in edges.tolist()])
    start = time.perf_counter()
    verdict = graph.is_rigid(algorithm="sparsity")
    theirs = time.perf_counter() - start
    assert verdict == kg.pebble_game(2000, edges)["is_rigid"]
    row("(2,3) rigidity, G(2000, m=4000)", ours, "PyRigi is_rigid(sparsity)", theirs)

    edges = simple_random_graph(200, 400, 2)
    ours = best_time(lambda: kg.pebble_game(200, edges))
    graph = Graph([tuple(e) for e in edges.tolist()])
    start = time.perf_counter()
    graph.rigid_components()
    theirs = time.perf_counter() - start
    row("rigid components, G(200, m=400)", ours, "PyRigi rigid_components", theirs)

    sizes = [10**4, 2 * 10**4, 5 * 10**4, 10**5, 2 * 10**5, 5 * 10**5, 10**6]
    times = []
    for n in sizes:
        code = (
            "import resource, time, korvale_graphs as kg\n"
            f"e = kg.erdos_renyi({n}, 3.6, 1)\n"
            f"t = time.perf_counter(); kg.pebble_game({n}, e); t = time.perf_counter() - t\n"
            "print(t, resource.getrusage(resource.RUSAGE_SELF).ru_maxrss)"
        )
        seconds, peak = peak_memory_of(code)
        times.append(seconds)
        row(f"pebble_game+components ER({n}, 3.6), peak {peak:.0f} MB", seconds)
    slope = np.polyfit(np.log(sizes), np.log(times), 1)[0]
    print(f"fitted exponent of time against n ({sizes[0]}..{sizes[-1]}): {slope:.2f}")

    for side in [128, 256, 512]:
        coords, lattice = kg.triangular_lattice(side, 1.0, 0)
        start = time.perf_counter()
        kg.percolation(side * side, lattice)
        row(f"percolation, triangular lattice {side}^2", time.perf_counter() - start)

    bench_rank(args.large)
    bench_global(args.large)
    cross_check(args.check)
    print(f"peak memory of this process: {resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024:.0f} MB")


def bench_rank(large):
    """generic_rank in space (m = 3n) against PyRigi's randomized test, and
    label_edges against simulate on the same complete graph."""
    from pyrigi import Graph

    edges = simple_random_graph(10, 30, 4)
    ours = best_time(lambda: kg.generic_rank(10, edges, 3))
    graph = Graph([tuple(e) for e in edges.tolist()])
    start = time.perf_counter()
    verdict = graph.is_rigid(dim=3, algorithm="randomized")
    theirs = time.perf_counter() - start
    assert verdict == kg.generic_rank(10, edges, 3)["is_rigid"]
    row("generic_rank d=3, G(10, m=30)", ours, "PyRigi is_rigid(dim=3, randomized)", theirs)
    for n in [100, 300, 1000] + ([3000] if large else []):
        edges = simple_random_graph(n, 3 * n, 5)
        row(f"generic_rank d=3, G({n}, m={3 * n})", best_time(lambda: kg.generic_rank(n, edges, 3), 3 if n < 3000 else 1))

    import korvale

    for n, d in [(100, 2), (300, 2), (100, 3)]:
        coords = np.random.default_rng(6).uniform(0, 1, (n, d))
        candidates = np.array([(i, j) for i in range(n) for j in range(i + 1, n)])
        ours = best_time(lambda: kg.label_edges(coords, candidates))
        row(f"label_edges complete graph n={n} d={d}", ours, "korvale.simulate", best_time(lambda: korvale.simulate(coords, d)))
    coords, edges = kg.random_geometric(2000, 0.045, 2, 7)
    row(f"label_edges geometric n=2000 m={len(edges)} d=2", best_time(lambda: kg.label_edges(coords, edges), 3))
    edges = kg.erdos_renyi(2000, 4.0, 7)
    coords = np.random.default_rng(7).uniform(0, 1, (2000, 2))
    row(f"label_edges ER n=2000 m={len(edges)} d=2", best_time(lambda: kg.label_edges(coords, edges), 3))
    row(f"generic_rank d=2, same graph", best_time(lambda: kg.generic_rank(2000, edges, 2), 3))


def pyrigi_global_seconds(n, edges, limit):
    """PyRigi's randomized global-rigidity test in a subprocess: (verdict,
    seconds), or (None, limit) when it has not answered within limit s."""
    code = (
        "import sys, time, json\n"
        "from pyrigi import Graph\n"
        "n, edges = json.loads(sys.stdin.read())\n"
        "g = Graph([tuple(e) for e in edges]); g.add_vertices(range(n))\n"
        "t = time.perf_counter(); v = g.is_globally_rigid(dim=3, algorithm='randomized', prob=1e-4)\n"
        "print(int(v), time.perf_counter() - t)"
    )
    import json

    try:
        out = subprocess.run([sys.executable, "-c", code], input=json.dumps([n, edges.tolist()]), capture_output=True,
                             text=True, check=True, timeout=limit).stdout.split()
    except subprocess.TimeoutExpired:
        return None, limit
    return bool(int(out[0])), float(out[1])


def bench_global(large):
    """global_rigidity in space against PyRigi's randomized test, on G(n, 4n)
    growing until PyRigi needs more than a minute, then korvale alone at the
    sizes PyRigi does not reach; the plane's characterization at 10^4 nodes
    (an Erdős–Rényi graph, and the full triangular lattice, which is
    globally rigid and takes the whole 3-connectivity test)."""
    for n in (8, 10, 12, 14, 16, 18, 20, 24):
        edges = simple_random_graph(n, min(4 * n, n * (n - 1) // 2), 8)
        verdict, theirs = pyrigi_global_seconds(n, edges, 60)
        ours = best_time(lambda: kg.global_rigidity(n, edges, 3))
        if verdict is None:
            row(f"global_rigidity d=3, G({n}, m={len(edges)})", ours, "PyRigi: no answer in 60 s")
            break
        assert verdict == kg.global_rigidity(n, edges, 3)["is_globally_rigid"]
        row(f"global_rigidity d=3, G({n}, m={len(edges)})", ours, "PyRigi is_globally_rigid(dim=3)", theirs)
    for n in [300, 1000] + ([3000] if large else []):
        edges = kg.erdos_renyi(n, 8.0, 9)
        row(f"global_rigidity d=3, G({n}, m={len(edges)})",
            best_time(lambda: kg.global_rigidity(n, edges, 3), 3 if n < 3000 else 1),
            "generic_rank alone", best_time(lambda: kg.generic_rank(n, edges, 3), 3 if n < 3000 else 1))
    edges = kg.erdos_renyi(10**4, 8.0, 9)
    row(f"global_rigidity d=2, G(10^4, m={len(edges)})", best_time(lambda: kg.global_rigidity(10**4, edges, 2)))
    coords, lattice = kg.triangular_lattice(100, 1.0, 0)
    row("global_rigidity d=2, triangular lattice 100^2", best_time(lambda: kg.global_rigidity(10**4, lattice, 2), 3))


def cross_check(count):
    """Verdicts and rigid clusters (as node sets) against PyRigi."""
    from pyrigi import Graph

    rng = np.random.default_rng(3)
    agree = 0
    for t in range(count):
        n = int(rng.integers(4, 61))
        edges = simple_random_graph(n, min(int(rng.integers(n, 3 * n)), n * (n - 1) // 2), 100 + t)
        graph = Graph([tuple(e) for e in edges.tolist()])
        graph.add_vertices(range(n))
        ours = kg.pebble_game(n, edges)
        assert ours["is_rigid"] == graph.is_rigid(), t
        clusters = {}
        for (a, b), c in zip(edges.tolist(), ours["components"].tolist()):
            clusters.setdefault(c, set()).update((a, b))
        theirs = {frozenset(c) for c in graph.rigid_components() if len(c) >= 2}
        assert {frozenset(c) for c in clusters.values()} == theirs, t
        agree += 1
    print(f"PyRigi cross-check: {agree} of {count} random graphs (4..60 nodes) agree on rigidity and rigid clusters")


if __name__ == "__main__":
    main()
