"""korvale_graphs: argument checks and messages, agreement of the plane
count with numeric rank, the models' promises and determinism, the
percolation curve, and Ctrl-C."""

import functools
import signal
import sys
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


# Inputs built up front; each call runs for 4 s or more on an idle machine
# when left alone, so one that does not check for signals fails the bound.
LONG_GRAPH_CALLS = {
    "pebble_game": lambda: functools.partial(kg.pebble_game, 10**6, kg.erdos_renyi(10**6, 3.6, 1)),
    "percolation": lambda: functools.partial(kg.percolation, 1024 * 1024, kg.triangular_lattice(1024, 1.0, 1)[1]),
    "generic_rank": lambda: functools.partial(kg.generic_rank, 3000, kg.erdos_renyi(3000, 6.0, 1), 3),
    "generic_rank fronts": lambda: functools.partial(kg.generic_rank, 2048, kg.fcc_lattice(8)[1], 3),
    "generic_percolation": lambda: functools.partial(
        kg.generic_percolation, 2048, kg.fcc_lattice(8, 0.7)[1], 3, checkpoints=np.arange(0, 8600, 10)
    ),
    "global_rigidity": lambda: functools.partial(kg.global_rigidity, 3000, kg.erdos_renyi(3000, 8.0, 1), 3),
    "label_edges": lambda: functools.partial(
        kg.label_edges, np.random.default_rng(1).random((2600, 2)), kg.erdos_renyi(2600, 4.0, 1)
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
    assert latency < 2.0  # ample headroom: the latency itself is bench/interrupt_latency.py's figure
    assert kg.pebble_game(3, [[0, 1], [1, 2]])["rank"] == 2


def read_only_views(edges, tmp_path):
    """The same edges as a memory-mapped file, a frombuffer view, and an
    array marked read-only: inputs users have, none of them writeable."""
    np.save(tmp_path / "edges.npy", edges)
    frozen = edges.copy()
    frozen.flags.writeable = False
    return {
        "mmap": np.load(tmp_path / "edges.npy", mmap_mode="r"),
        "frombuffer": np.frombuffer(edges.tobytes(), dtype=np.int64).reshape(-1, 2),
        "frozen": frozen,
    }


def test_read_only_edge_arrays_are_read(tmp_path):
    edges = kg.erdos_renyi(300, 4.0, 2)
    coords = np.random.default_rng(0).random((300, 2))
    expected = [
        kg.pebble_game(300, edges)["labels"], kg.percolation(300, edges)["rank"],
        kg.generic_rank(300, edges, 2)["labels"], kg.label_edges(coords, edges)["labels"],
    ]
    for name, view in read_only_views(edges, tmp_path).items():
        assert not view.flags.writeable
        got = [
            kg.pebble_game(300, view)["labels"], kg.percolation(300, view)["rank"],
            kg.generic_rank(300, view, 2)["labels"], kg.label_edges(coords, view)["labels"],
        ]
        assert all(np.array_equal(a, b) for a, b in zip(expected, got)), name


def test_edges_are_copied_before_the_lock_is_released():
    # A thread waits to write the caller's array. With a long switch
    # interval it can only take the interpreter lock when the call releases
    # it, so the call must have copied every row by then: it sees only
    # (0, 1) bars (rank 1), never the (2, 3) written in the last row while a
    # copy made without the lock is still on its way there (rank 2).
    shared = np.tile(np.array([0, 1], dtype=np.int64), (4_000_000, 1))
    gate = threading.Lock()
    gate.acquire()

    def writer():
        with gate:
            shared[-1] = (2, 3)

    thread = threading.Thread(target=writer)
    thread.start()
    interval = sys.getswitchinterval()
    sys.setswitchinterval(60.0)
    try:
        gate.release()
        rank = kg.generic_rank(4, shared, 1)["rank"]
    finally:
        sys.setswitchinterval(interval)
        thread.join()
    assert rank == 1 and tuple(shared[-1]) == (2, 3)


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: kg.erdos_renyi(10, 10**400, 0), "mean_degree must be a finite number"),
        (lambda: kg.random_geometric(10, 10**400, 2, 0), "radius must be a finite number"),
        (lambda: kg.triangular_lattice(10, -(10**400)), "p must be a finite number"),
        (lambda: kg.pebble_game(3, [[0, 1], [1]]), "edges must be an array-like of shape (m, 2)"),
        (lambda: kg.label_edges([[0.0, 1.0], [1.0]], []), "coords must be an array-like of shape (n, d)"),
    ],
)
def test_unconvertible_arguments_are_named(call, message):
    with pytest.raises(ValueError) as info:
        call()
    assert message in str(info.value)


MODELS_THAT_MUST_END = """
import numpy as np, korvale_graphs as kg
for n, c in [(10, 1e-20), (10, 5e-324), (10**6, 1e-11)]:
    assert kg.erdos_renyi(n, c, 0).shape == (0, 2), (n, c)
for n, k in [(100, 98), (60, 57), (2000, 1990)]:
    edges = kg.random_regular(n, k, 1)
    assert set(np.bincount(edges.ravel(), minlength=n).tolist()) == {k}
    assert len(np.unique(np.sort(edges, axis=1), axis=0)) == len(edges)
print("ended")
"""


def test_models_end_where_their_draws_degenerate(python_subprocess):
    # Run apart, with a time limit: the failures were calls that never end.
    assert python_subprocess(MODELS_THAT_MUST_END).stdout.strip() == "ended"


def test_requests_beyond_memory_say_what_they_need():
    for call in (
        lambda: kg.generic_rank(2**32 - 1, [], 2**30),  # was "capacity overflow", an InternalError
        lambda: kg.pebble_game(2**32 - 1, [], 2**20, 0),
        lambda: kg.random_geometric(2**32 - 1, 2.0, 3, 0),
        lambda: kg.erdos_renyi(2**32 - 1, 2.0**32 - 2, 0),
    ):
        with pytest.raises(MemoryError, match=r"not enough memory: the call needs (more|[0-9,]+ bytes)"):
            call()
