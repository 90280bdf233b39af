"""Typical use of korvale, checked with mypy --strict against the stub."""

import numpy as np
import numpy.typing as npt

import korvale
import korvale_data
import korvale_graphs


def labelled_bars(coords: npt.NDArray[np.float64]) -> list[tuple[int, int]]:
    result = korvale.simulate(coords, 2, tol=1e-9)
    rank: int = result["final_rank"]
    rigid: bool = result["is_rigid"]
    labels: npt.NDArray[np.uint8] = result["labels"]
    assert rank == int(labels.sum()) and isinstance(rigid, bool)
    return result["accepted_edges"]


def batch_share_rigid(n_graphs: int) -> float:
    batch = korvale.generate_training_batch(n_graphs, 10, 3, seed=0)
    return sum(g["is_rigid"] for g in batch) / max(len(batch), 1)


def reconstruction_stress(dist: npt.NDArray[np.float64]) -> float:
    gram: npt.NDArray[np.float64] = korvale.gram_from_dist(dist)
    assert gram.shape == dist.shape
    rec = korvale.reconstruct(dist, 2)
    coords: npt.NDArray[np.float64] = rec["coords"]
    assert coords.shape[1] == 2 and rec["eigenvalues"].shape == (2,)
    return rec["stress"] if rec["is_isometric"] else float("inf")


def pebble_count(n: int) -> int:
    result = korvale.pebble_game(np.zeros((n, 2)), 2)
    return len(result["accepted_edges"]) + korvale.max_independent(n, 2) - result["n_nodes"]


def edge_index_of(path: str) -> int:
    total = 0
    for graph in korvale_data.load(path):
        index, y = korvale_data.to_edge_index(graph["edges"], graph["overconstrained"])
        total += index.shape[1]
    return total


def rigid_cluster_sizes(n: int, seed: int) -> list[int]:
    edges = korvale_graphs.erdos_renyi(n, 3.6, seed)
    result = korvale_graphs.pebble_game(n, edges)
    curve = korvale_graphs.percolation(n, edges)
    coords, lattice = korvale_graphs.triangular_lattice(8, 0.9, seed)
    assert coords.shape[0] == 64 and lattice.shape[1] == 2
    return [result["largest_component"], int(curve["largest_component"][-1]), int(result["components"].max())]


def space_clusters(seed: int) -> tuple[int, int, int]:
    coords, edges = korvale_graphs.fcc_lattice(3, 0.7, seed)
    result = korvale_graphs.generic_rank(len(coords), edges, 3, seed, clusters=True)
    curve = korvale_graphs.generic_percolation(len(coords), edges, 3, checkpoints=[0, len(edges)])
    other = korvale_graphs.bcc_lattice(2)[1]
    return result["largest_cluster"] + int(result["edge_cluster"].max()), int(curve["largest_cluster"][-1]), len(other)


def space_rigidity(n: int, seed: int) -> tuple[bool, float, int]:
    coords, edges = korvale_graphs.henneberg(n, 3, seed)
    generic = korvale_graphs.generic_rank(n, edges, 3, seed=seed)
    numeric = korvale_graphs.label_edges(coords, edges, tol=None)
    return generic["is_rigid"], generic["error_bound"], numeric["rank"] + int(numeric["labels"].sum())
