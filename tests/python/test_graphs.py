"""korvale_graphs: argument checks and messages, agreement of the plane
count with numeric rank, the models' promises and determinism, the
percolation curve, and Ctrl-C."""

import functools
import os
import signal
import threading
import time

import numpy as np
import pytest

import korvale
import korvale_graphs as kg


@pytest.mark.parametrize(
    "edges, error, message",
    [
        ([[0, 1], [3, 12]], ValueError, "edge 1 = (3, 12) has a node outside 0..9"),
        ([[0, 1], [-1, 2]], ValueError, "edge 1 = (-1, 2) has a node outside 0..9"),
        (np.array([[4, 4]], dtype=np.uint8), ValueError, "edge 0 = (4, 4) is a loop"),
        (np.array([[2**64 - 1, 0]], dtype=np.uint64), ValueError, "edge 0 = (18446744073709551615, 0) has a node outside"),
        ([[0.0, 1.0]], TypeError, "edges must hold integers, not float64"),
        ([[True, False]], TypeError, "edges must hold integers, not bool"),
        ([0, 1, 2], ValueError, "edges must have shape (m, 2), got (3,)"),
        (np.zeros((2, 3), dtype=int), ValueError, "edges must have shape (m, 2), got (2, 3)"),
    ],
)
def test_bad_edges_name_the_first_offending_row(edges, error, message):
    with pytest.raises(error) as info:
        kg.pebble_game(10, edges)
    assert message in str(info.value)


def test_bad_counts_are_refused():
    with pytest.raises(ValueError, match="not a pebble-game count"):
        kg.pebble_game(5, [[0, 1]], k=3, l=6)
    with pytest.raises(ValueError, match="k must be between 1"):
        kg.pebble_game(5, [[0, 1]], k=0, l=0)
    with pytest.raises(ValueError, match="n must be between 0"):
        kg.pebble_game(-1, [])
    with pytest.raises(TypeError, match="n must be an integer, not float"):
        kg.pebble_game(2.0, [])
    with pytest.raises(TypeError, match="n must be an integer, not bool"):
        kg.percolation(True, [])
    with pytest.raises(ValueError, match="mean_degree must be at most"):
        kg.erdos_renyi(5, 5.0, 0)


@pytest.mark.parametrize("edges", [[], np.zeros((0, 2), dtype=np.int32), np.zeros(0)])
def test_no_edges(edges):
    r = kg.pebble_game(4, edges)
    assert r["rank"] == 0 and r["max_rank"] == 5 and not r["is_rigid"] and r["n_components"] == 0
    assert r["labels"].shape == (0,) and r["labels"].dtype == np.uint8
    assert r["components"].dtype == np.int64
    assert kg.percolation(4, edges)["rank"].shape == (0,)


def numeric_labels(coords, edges):
    """Incremental rank of the rigidity rows of random coordinates, by SVD."""
    n, d = coords.shape
    rows, labels, rank = [], [], 0
    for i, j in edges:
        row = np.zeros(n * d)
        row[i * d:(i + 1) * d] = coords[i] - coords[j]
        row[j * d:(j + 1) * d] = coords[j] - coords[i]
        new_rank = np.linalg.matrix_rank(np.array(rows + [row]), tol=1e-8)
        labels.append(int(new_rank > rank))
        if new_rank > rank:
            rows.append(row)
            rank = new_rank
    return labels


def test_plane_count_equals_numeric_rank_on_random_coordinates():
    rng = np.random.default_rng(5)
    compared = 0
    for n in (4, 7, 12, 25):  # complete graphs in simulate's candidate order
        coords = rng.uniform(0, 1, (n, 2))
        candidates = np.array([(i, j) for i in range(n) for j in range(i + 1, n)])
        assert kg.pebble_game(n, candidates)["labels"].tolist() == korvale.simulate(coords, 2)["labels"].tolist()
        compared += 1
    for t in range(60):  # sparse random multigraphs
        n = int(rng.integers(4, 30))
        edges = rng.integers(0, n, (int(rng.integers(1, 3 * n)), 2))
        edges = edges[edges[:, 0] != edges[:, 1]]
        coords = rng.uniform(0, 1, (n, 2))
        assert kg.pebble_game(n, edges)["labels"].tolist() == numeric_labels(coords, edges), t
        compared += 1
    assert compared == 64


def test_components_and_overconstrained_of_known_graphs():
    # Two triangles sharing node 2 (a hinge), and a K4 whose six bars are all
    # overconstrained.
    bowtie = kg.pebble_game(5, [[0, 1], [1, 2], [0, 2], [2, 3], [3, 4], [2, 4]])
    assert bowtie["components"].tolist() == [0, 0, 0, 1, 1, 1]
    assert bowtie["largest_component"] == 3 and not bowtie["is_rigid"]
    assert bowtie["overconstrained"].tolist() == [0] * 6
    k4 = kg.pebble_game(4, [[0, 1], [0, 2], [0, 3], [1, 2], [1, 3], [2, 3]])
    assert k4["labels"].tolist() == [1, 1, 1, 1, 1, 0] and k4["is_rigid"]
    assert k4["overconstrained"].tolist() == [1] * 6 and k4["n_components"] == 1
    # (1, 1): spanning forests; a cycle's edges are overconstrained, a tree edge is not.
    forest = kg.pebble_game(4, [[0, 1], [1, 2], [2, 0], [2, 3]], k=1, l=1)
    assert forest["labels"].tolist() == [1, 1, 0, 1] and forest["overconstrained"].tolist() == [1, 1, 1, 0]


def test_models_are_deterministic_and_keep_their_promises():
    assert np.array_equal(kg.erdos_renyi(500, 3.6, 3), kg.erdos_renyi(500, 3.6, 3))
    assert not np.array_equal(kg.erdos_renyi(500, 3.6, 3), kg.erdos_renyi(500, 3.6, 4))
    regular = kg.random_regular(200, 3, 1)
    assert np.bincount(regular.ravel(), minlength=200).tolist() == [3] * 200
    coords, edges = kg.random_geometric(300, 0.1, 2, 7)
    lengths = np.linalg.norm(coords[edges[:, 0]] - coords[edges[:, 1]], axis=1)
    assert coords.shape == (300, 2) and np.all(lengths <= 0.1)
    close = np.linalg.norm(coords[:, None] - coords[None], axis=-1) <= 0.1
    assert len(edges) == (close.sum() - 300) // 2
    coords, edges = kg.triangular_lattice(10)
    assert coords.shape == (100, 2) and len(edges) == 300
    assert kg.pebble_game(100, edges)["is_rigid"]
    for d in (2, 3):
        coords, edges = kg.henneberg(40, d, 9, extra=5)
        assert coords.shape == (40, d) and len(edges) == 40 * d - d * (d + 1) // 2 + 5
    assert kg.pebble_game(40, kg.henneberg(40, 2, 9)[1])["is_rigid"]


def test_percolation_curve_ends_where_the_game_ends():
    coords, edges = kg.triangular_lattice(16, 0.8, seed=2)
    curve = kg.percolation(256, edges)
    game = kg.pebble_game(256, edges)
    assert curve["labels"].tolist() == game["labels"].tolist()
    assert curve["rank"][-1] == game["rank"] and curve["largest_component"][-1] == game["largest_component"]
    assert np.all(np.diff(curve["rank"]) >= 0) and np.all(np.diff(curve["largest_component"]) >= 0)


LONG_GRAPH_CALLS = {  # inputs built up front; each call runs for seconds when left alone
    "pebble_game": lambda: functools.partial(kg.pebble_game, 10**6, kg.erdos_renyi(10**6, 3.6, 1)),
    "percolation": lambda: functools.partial(kg.percolation, 512 * 512, kg.triangular_lattice(512, 1.0, 1)[1]),
    "generic_rank": lambda: functools.partial(kg.generic_rank, 3000, kg.erdos_renyi(3000, 6.0, 1), 3),
    "label_edges": lambda: functools.partial(
        kg.label_edges, np.random.default_rng(1).random((2000, 2)), kg.erdos_renyi(2000, 4.0, 1)
    ),
}


@pytest.mark.parametrize("name", list(LONG_GRAPH_CALLS))
def test_sigint_stops_a_long_call(name):
    call = LONG_GRAPH_CALLS[name]()
    sent = []

    def fire():
        sent.append(time.perf_counter())
        signal.pthread_kill(threading.main_thread().ident, signal.SIGINT)

    timer = threading.Timer(0.3, fire)
    timer.start()
    with pytest.raises(KeyboardInterrupt):
        call()
    latency = time.perf_counter() - sent[0]
    timer.join()
    assert latency < (1.0 if "libasan" in os.environ.get("LD_PRELOAD", "") else 0.2)
    assert kg.pebble_game(3, [[0, 1], [1, 2]])["rank"] == 2
