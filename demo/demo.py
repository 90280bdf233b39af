"""A tour of korvale: first the main job, a training set of sparse random
graphs near the rigidity threshold with labels a model must reason to
predict; then rigidity labels, training batches, the pebble game and
reconstruction from distances."""

import os
import tempfile
import time

import numpy as np

import korvale


def section(title):
    print(f"\n== {title}")


def training_set():
    import korvale_data
    import korvale_graphs

    section("A training set near the rigidity threshold: korvale-dataset --model erdos-renyi")
    with tempfile.TemporaryDirectory() as out:
        t0 = time.perf_counter()
        korvale_data.generate(out, 2000, "40:60", 2, seed=1, shard_size=1000, model="erdos-renyi", mean_degree="3.0:4.5")
        elapsed = time.perf_counter() - t0
        graphs = list(korvale_data.load(out))
    independent = {g["independent"].tobytes() for g in graphs}
    over = np.concatenate([g["overconstrained"] for g in graphs])
    rigid = np.mean([g["rigid"] for g in graphs])
    print(f"  {len(graphs)} Erdős–Rényi graphs of 40–60 nodes, mean degree 3.0–4.5, written in {elapsed:.2f} s")
    print(f"  distinct 'independent' vectors: {len(independent)} of {len(graphs)}")
    print(f"  'overconstrained' bars: {over.mean():.1%} of {len(over)}; rigid graphs: {rigid:.1%}")
    largest = np.array([g["largest_component"] / len(g["coords"]) for g in graphs])
    print(f"  largest rigid cluster: median {np.median(largest):.0%} of the nodes, max {largest.max():.0%}")

    coords, edges = korvale_graphs.random_geometric(150, 0.11, 2, 2)
    labels = korvale_graphs.pebble_game(150, edges)
    write_cluster_picture(coords, edges, labels)


def global_rigidity():
    import korvale_graphs

    section("Are the positions fixed by the bar lengths alone? global_rigidity")
    # Two triangles on a shared bar (0, 1): rigid, yet node 3 reflected across
    # the bar keeps every bar length, so the distances do not fix the shape.
    edges = np.array([[0, 1], [0, 2], [1, 2], [0, 3], [1, 3]])
    first = np.array([[0.0, 0.0], [2.0, 0.0], [0.7, 1.4], [1.4, -1.1]])
    second = first.copy()
    second[3, 1] = -second[3, 1]
    lengths = [np.linalg.norm(x[edges[:, 0]] - x[edges[:, 1]], axis=1) for x in (first, second)]
    print(f"  bar lengths equal in both realizations: {np.allclose(*lengths)}; "
          f"distance 2-3: {np.linalg.norm(first[2] - first[3]):.3f} and {np.linalg.norm(second[2] - second[3]):.3f}")
    for name, graph in (("two triangles", edges), ("with bar 2-3 (K4)", np.vstack([edges, [[2, 3]]]))):
        r = korvale_graphs.global_rigidity(4, graph, 2)
        print(f"  {name}: rigid {r['is_rigid']}, redundantly rigid {r['is_redundantly_rigid']}, "
              f"globally rigid {r['is_globally_rigid']}")
    space = korvale_graphs.erdos_renyi(60, 9.0, 3)
    r = korvale_graphs.global_rigidity(60, space, 3)
    print(f"  G(60, mean degree 9) in space: globally rigid {r['is_globally_rigid']}, stress rank "
          f"{r['stress_rank']} of n - d - 1 = 56, error bound {r['error_bound']:.1e}")
    save_pictures(lambda plot: [("global_rigidity.png", draw_two_realizations(edges, first, second))])


def draw_two_realizations(edges, first, second):
    import matplotlib.pyplot as plt

    figure, axes = plt.subplots(1, 2, figsize=(7, 3.4))
    for ax, coords, title in zip(axes, (first, second), ("one realization", "node 3 reflected: same bar lengths")):
        for i, j in edges:
            ax.plot(*coords[[i, j]].T, color="tab:blue", lw=2)
        ax.plot(*coords[[2, 3]].T, color="tab:red", ls="--", lw=1)
        ax.scatter(*coords.T, color="black", zorder=3)
        for k, (x, y) in enumerate(coords):
            ax.annotate(str(k), (x, y), textcoords="offset points", xytext=(6, 4))
        ax.set_title(title, fontsize=10)
        ax.set_aspect("equal")
        ax.axis("off")
    figure.suptitle("Rigid, not globally rigid: the dashed distance 2-3 differs", fontsize=10)
    figure.tight_layout()
    return axes[0]


def write_cluster_picture(coords, edges, labels):
    if save_pictures(lambda plot: [("clusters.png", plot.draw_rigid_clusters(coords, edges, labels))]):
        print("  (rigid clusters in colour, overconstrained bars with a dark core)")


def save_pictures(draw):
    """Writes the (name, axes) pairs that draw(korvale_data.plot) returns
    into demo/output; False when matplotlib is missing."""
    try:
        import matplotlib

        matplotlib.use("Agg")
        import matplotlib.pyplot as plt

        from korvale_data import plot
    except ImportError:
        print("  matplotlib is not installed: no pictures")
        return False
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "output")
    os.makedirs(out, exist_ok=True)
    for name, ax in draw(plot):
        path = os.path.join(out, name)
        ax.figure.savefig(path, dpi=100)
        plt.close(ax.figure)
        print(f"  wrote {path}")
    return True


def main():
    training_set()
    global_rigidity()

    section("Maximum rank of the rigidity matrix: max_independent(n, d)")
    for n, d in [(3, 2), (10, 2), (4, 3), (10, 3), (2, 3)]:
        print(f"  n={n:<3} d={d}: {korvale.max_independent(n, d)}")

    section("Labelling the bars of a framework: simulate")
    coords = np.array([[0.0, 0.0], [1.0, 0.0], [0.5, 1.5], [2.0, 0.0], [3.0, 2.0]])
    result = korvale.simulate(coords, 2)
    print("  node 3 lies on the line through nodes 0 and 1, so bar (1, 3) is redundant")
    n = len(coords)
    edges = [(i, j) for i in range(n) for j in range(i + 1, n)]
    for (i, j), label in zip(edges, result["labels"]):
        print(f"  bar ({i}, {j}): {'independent' if label else 'redundant'}")
    print(f"  rank {result['final_rank']} of {result['max_rank']}; rigid: {result['is_rigid']}")

    section("The (2, 3) pebble game on the same complete graph: pebble_game")
    pebbles = korvale.pebble_game(coords, 2)
    print(f"  labels {pebbles['labels'].tolist()}  ({len(pebbles['accepted_edges'])} bars = 2n - 3)")

    section("Gram matrix of a right triangle's distances: gram_from_dist")
    r2 = np.sqrt(2.0)
    gram = korvale.gram_from_dist(np.array([[0, 1, 1], [1, 0, r2], [1, r2, 0]]))
    for row in gram:
        print("  " + "  ".join(f"{v:+.6f}" for v in row))

    section("Coordinates back from the distance matrix: reconstruct")
    rec = korvale.reconstruct(result["distance_matrix"], 2)
    print(f"  eigenvalues {np.round(rec['eigenvalues'], 6).tolist()}")
    print(f"  stress {rec['stress']:.3e}; isometric: {rec['is_isometric']}")

    section("Pictures")
    write_pictures(coords, result, rec)

    section("A training batch for a graph neural network: generate_training_batch")
    for n_nodes, d in [(20, 2), (30, 3)]:
        t0 = time.perf_counter()
        batch = korvale.generate_training_batch(1000, n_nodes, d, 0)
        elapsed = time.perf_counter() - t0
        rigid = sum(g["is_rigid"] for g in batch) / len(batch)
        ones = sum(int(g["labels"].sum()) for g in batch)
        total = sum(g["labels"].size for g in batch)
        print(
            f"  {len(batch)} graphs of {n_nodes} nodes in {d}-D: rigid {rigid:.0%}, "
            f"independent bars {ones / total:.1%} of {total}, {len(batch) / elapsed:,.0f} graphs/s"
        )


def write_pictures(coords, result, rec):
    save_pictures(lambda plot: [
        ("framework.png", plot.draw_framework(coords, result)),
        ("reconstruction.png", plot.draw_reconstruction(coords, rec["coords"], rec["stress"])),
    ])


if __name__ == "__main__":
    main()
