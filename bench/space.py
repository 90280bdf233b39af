"""Exact rigidity in space at the sizes physicists simulate: generic_rank
with rigid clusters on random geometric graphs, the fcc percolation curve,
and how far Erdős–Rényi graphs (no small separators) go. Prints a table;
each case runs in a fresh interpreter, so its peak memory is its own.

    python bench/space.py [--large] [--figure PATH]

--large adds n = 10^5 and the Erdős–Rényi sizes around a minute; --figure
draws the fcc curve (docs/fcc_percolation.png is made so)."""

import argparse
import json
import subprocess
import sys

RADIUS = """
import numpy as np
def radius(n, degree=11.0):
    # The ball's volume for the mean degree, widened for the nodes near the
    # cube's faces (whose balls stick out): about 11 at 10^4 and 10^5 nodes.
    r = (degree / (n * 4 / 3 * np.pi)) ** (1 / 3)
    return r * (1 + 0.5 * r)
"""

CASES = {
    # name: (code defining `run()` after the setup, setup)
    "geometric": (
        "coords, edges = kg.random_geometric(n, radius(n), 3, 1)\n"
        "edges = edges[np.random.default_rng(0).permutation(len(edges))]\n",
        "r = kg.generic_rank(n, edges, 3, clusters=clusters)\n"
        "extra = dict(m=len(edges), rank=r['rank'], clusters=r.get('n_clusters'), largest=r.get('largest_cluster'))\n",
    ),
    "erdos-renyi": (
        "edges = kg.erdos_renyi(n, 6.0, 1)\n",
        "r = kg.generic_rank(n, edges, 3)\nextra = dict(m=len(edges), rank=r['rank'])\n",
    ),
    "fcc": (
        "coords, edges = kg.fcc_lattice(L, 1.0, 5)\nn = len(coords)\n"
        "checkpoints = np.linspace(0, len(edges), 201).astype(np.int64)\n",
        "r = kg.generic_percolation(n, edges, 3, checkpoints=checkpoints)\n"
        "extra = dict(m=len(edges), rank=int(r['rank'][-1]), largest=r['largest_cluster'].tolist(),\n"
        "             checkpoints=checkpoints.tolist())\n",
    ),
}


def measure(kind, **values):
    """Runs one case in a fresh interpreter: seconds, peak MB, its figures."""
    setup, call = CASES[kind]
    code = (
        "import json, resource, time\nimport numpy as np\nimport korvale_graphs as kg\n" + RADIUS
        + "".join(f"{k} = {v!r}\n" for k, v in values.items()) + setup
        + "t = time.perf_counter()\n" + call
        + "seconds = time.perf_counter() - t\n"
        "print(json.dumps(dict(seconds=seconds, mb=resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024, **extra)))\n"
    )
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True).stdout
    return json.loads(out.splitlines()[-1])


def row(case, result, note=""):
    print(f"{case:<58} {result['seconds']:10.2f} s {result['mb']:9.0f} MB  {note}", flush=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--large", action="store_true")
    parser.add_argument("--figure")
    args = parser.parse_args()
    print(f"{'case':<58} {'time':>12} {'peak':>12}")

    for n, clusters in [(10**3, True), (10**4, False), (10**4, True)] + ([(10**5, False), (10**5, True)] if args.large else []):
        r = measure("geometric", n=n, clusters=clusters)
        what = "rank, labels, clusters" if clusters else "rank, labels"
        note = f"m = {r['m']}, mean degree {2 * r['m'] / n:.1f}, rank {r['rank']}"
        if clusters:
            note += f", {r['clusters']} clusters, largest {r['largest']}"
        row(f"geometric n={n}, random edge order: {what}", r, note)

    for n in [1000, 3000] + ([5000, 7000] if args.large else []):
        r = measure("erdos-renyi", n=n)
        row(f"Erdős–Rényi n={n}, mean degree 6: rank, labels", r, f"m = {r['m']}, rank {r['rank']}")

    r = measure("fcc", L=16)
    row("fcc_lattice(16), random bond order: whole percolation curve", r,
        f"{r['m']} bonds, rank after each, largest cluster at {len(r['checkpoints'])} prefixes")
    if args.figure:
        draw(r, args.figure)


def draw(r, path):
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    import numpy as np

    n = 4 * 16**3
    bonds = np.asarray(r["checkpoints"])
    largest = np.asarray(r["largest"]) / n
    fig, ax = plt.subplots(figsize=(6.4, 3.6), dpi=120)
    ax.plot(bonds / r["m"], largest, ".-", ms=3, lw=1, color="tab:blue")
    ax.axvline(0.5, color="0.6", lw=0.8, ls="--")
    ax.text(0.505, 0.05, "mean degree 6\n(isostatic: 3n bonds)", fontsize=8, color="0.35")
    ax.set_xlabel("fraction of the 98,304 bonds placed (random order)")
    ax.set_ylabel("largest rigid cluster / nodes")
    ax.set_title("Rigidity percolation on the fcc lattice, 16³ cells (16,384 nodes), exact", fontsize=10)
    fig.tight_layout()
    fig.savefig(path)
    print(f"figure written to {path}")


if __name__ == "__main__":
    main()
