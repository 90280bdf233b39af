"""simulate: the documented frameworks, validation, result form, input
layouts, tolerances, non-finite coordinates and concurrent calls."""

import math
import threading

import numpy as np
import pytest

import korvale

KEYS = ["labels", "accepted_edges", "distance_matrix", "final_rank", "max_rank", "is_rigid", "n_nodes", "d"]

TABLE = [
    ([(0, 0), (1, 0), (2, 0)], 2, [1, 1, 0], [(0, 1), (0, 2)], 2, 3),
    ([(0, 0), (1, 0), (0.3, 1.1), (1.4, 0.9)], 2, [1, 1, 1, 1, 1, 0], [(0, 1), (0, 2), (0, 3), (1, 2), (1, 3)], 5, 5),
    ([(0, 0), (1, 0), (1, 1), (0, 1)], 2, [1, 1, 1, 1, 1, 0], [(0, 1), (0, 2), (0, 3), (1, 2), (1, 3)], 5, 5),
    ([(0, 0), (1, 0), (0, 0), (0, 1)], 2, [1, 0, 1, 1, 1, 1], [(0, 1), (0, 3), (1, 2), (1, 3), (2, 3)], 5, 5),
    ([(1, 1)] * 4, 2, [0] * 6, [], 0, 5),
    (
        [(0, 0, 0), (1, 0, 0), (0, 1, 0), (0, 0, 1)],
        3,
        [1] * 6,
        [(0, 1), (0, 2), (0, 3), (1, 2), (1, 3), (2, 3)],
        6,
        6,
    ),
    (
        [(0, 0, 0), (1, 0, 0), (0, 1, 0), (1, 1, 0), (2, 3, 0)],
        3,
        [1] * 7 + [0] * 3,
        [(0, 1), (0, 2), (0, 3), (0, 4), (1, 2), (1, 3), (1, 4)],
        7,
        9,
    ),
    (
        [(0, 0), (1, 0), (0.5, 1.5), (2, 0), (3, 2)],
        2,
        [1, 1, 1, 1, 1, 0, 1, 1, 0, 0],
        [(0, 1), (0, 2), (0, 3), (0, 4), (1, 2), (1, 4), (2, 3)],
        7,
        7,
    ),
]


@pytest.mark.parametrize("coords, d, labels, accepted, final_rank, max_rank", TABLE)
def test_documented_frameworks(coords, d, labels, accepted, final_rank, max_rank):
    r = korvale.simulate(np.array(coords, dtype=np.float64), d)
    assert list(r) == KEYS
    assert r["labels"].tolist() == labels
    assert r["accepted_edges"] == accepted
    assert r["final_rank"] == final_rank
    assert r["max_rank"] == max_rank
    assert r["is_rigid"] is (final_rank == max_rank)
    assert r["n_nodes"] == len(coords) and r["d"] == d


def test_result_types_and_arrays():
    r = korvale.simulate(np.array([[0.0, 0.0], [1.0, 0.0], [2.0, 0.0]]), 2)
    labels, dist = r["labels"], r["distance_matrix"]
    assert labels.dtype == np.uint8 and labels.shape == (3,)
    assert dist.dtype == np.float64 and dist.shape == (3, 3)
    assert dist.tolist() == [[0, 1, 2], [1, 0, 1], [2, 1, 0]]
    for a in (labels, dist):
        assert type(a.base).__name__ == "PySliceContainer"
        assert a.flags.writeable and a.flags.c_contiguous and not a.flags.owndata
    assert all(type(e) is tuple and all(type(v) is int for v in e) for e in r["accepted_edges"])
    assert all(type(r[k]) is int for k in ("final_rank", "max_rank", "n_nodes", "d"))


def test_no_accepted_edges_still_labels_every_candidate():
    r = korvale.simulate(np.zeros((5, 3)), 3)
    assert r["accepted_edges"] == [] and r["final_rank"] == 0
    assert r["labels"].tolist() == [0] * 10


def test_distances():
    r = korvale.simulate(np.array([[0.0, 0.0], [3.0, 4.0], [6.0, 8.0], [3.0, 4.0]]), 2)
    dist = r["distance_matrix"]
    assert dist[:3, :3].tolist() == [[0, 5, 10], [5, 0, 5], [10, 5, 0]]
    assert dist[1, 3] == 0.0 and not math.copysign(1, dist[1, 3]) < 0
    assert np.array_equal(dist, dist.T)


@pytest.mark.parametrize(
    "shape, d, message",
    [
        ((2, 2), 2, "Need at least 3 nodes for d=2, got 2"),
        ((4, 3), 2, "coords has 3 columns but d=2 was specified"),
        ((3, 3), 4, "coords has 3 columns but d=4 was specified"),
        ((4, 4), 4, "d must be 2 or 3"),
        ((6, 5), 5, "d must be 2 or 3"),
        ((0, 2), 2, "Need at least 3 nodes for d=2, got 0"),
        ((3, 3), 3, "Need at least 4 nodes for d=3, got 3"),
        ((5, 1), 1, "d must be 2 or 3"),
    ],
)
def test_validation_messages(shape, d, message):
    with pytest.raises(ValueError) as info:
        korvale.simulate(np.ones(shape), d)
    assert str(info.value) == message


def test_minimum_node_counts_are_accepted():
    assert korvale.simulate(np.array([[0.0, 0], [1, 0], [0, 1]]), 2)["is_rigid"] is True
    assert korvale.simulate(np.eye(4, 3), 3)["max_rank"] == 6


def test_strided_and_readonly_inputs_read_as_shown():
    rng = np.random.default_rng(7)
    base = rng.uniform(0, 5, size=(20, 6))
    views = [
        base[::2, :2],
        base[::-1, 1:3],
        base[:9, ::2][:, :3],
        np.asfortranarray(base[:8, :2]),
        base[:3, :10:4].T.copy().T,
        np.broadcast_to(np.array([1.0, 2.0]), (4, 2)),
    ]
    ro = base[:7, :3].copy()
    ro.flags.writeable = False
    views.append(ro)
    for view in views:
        d = view.shape[1]
        got = korvale.simulate(view, d)
        want = korvale.simulate(np.ascontiguousarray(view), d)
        assert got["labels"].tolist() == want["labels"].tolist()
        assert got["distance_matrix"].tobytes() == want["distance_matrix"].tobytes()


def test_tolerance_argument():
    square = np.array([[0.0, 0], [1, 0], [1, 1], [0, 1]])
    assert korvale.simulate(square, 2, None)["final_rank"] == 5
    assert korvale.simulate(square, 2, tol=None)["final_rank"] == 5
    nan = korvale.simulate(square, 2, float("nan"))
    assert nan["labels"].tolist() == [0] * 6 and nan["accepted_edges"] == [] and nan["final_rank"] == 0
    assert nan["is_rigid"] is False
    # Integers and anything with __float__ are converted; nothing is range checked.
    assert korvale.simulate(square, 2, 0)["final_rank"] == 5
    assert korvale.simulate(square, 2, np.float32(1e-3))["final_rank"] == 5
    # A tolerance of 2 treats the unit-square rows' entries (at most 1) as zero.
    assert korvale.simulate(square, 2, 2)["final_rank"] == 0
    korvale.simulate(square, 2, -1.0)  # accepted as the value -1.0
    with pytest.raises(TypeError) as info:
        korvale.simulate(square, 2, tol="x")
    assert str(info.value).startswith("argument 'tol': ")
    with pytest.raises(TypeError, match="^argument 'tol': "):
        korvale.simulate(square, 2, [1e-9])


def test_tolerance_is_absolute():
    # A triangle 1e-10 away from collinear is flat at unit scale, not when
    # scaled up by 1e4, and flat again under a larger tolerance.
    pts = np.array([[0.0, 0], [1, 0], [2, 1e-10]])
    assert korvale.simulate(pts, 2)["labels"].tolist() == [1, 1, 0]
    assert korvale.simulate(pts * 1e4, 2)["labels"].tolist() == [1, 1, 1]
    assert korvale.simulate(pts * 1e4, 2, 1e-3)["labels"].tolist() == [1, 1, 0]


def test_non_finite_coordinates_propagate():
    pts = np.array([[0.0, 0], [1, 0], [np.inf, 1], [0, 1], [np.nan, 2]])
    r = korvale.simulate(pts, 2)
    dist = r["distance_matrix"]
    assert math.isnan(dist[2, 2]) and math.isinf(dist[0, 2]) and math.isnan(dist[4, 0])
    assert dist[0, 1] == 1.0
    assert r["labels"].shape == (10,)
    assert r["labels"].sum() == r["final_rank"] == len(r["accepted_edges"])


def test_invariants_on_random_frameworks():
    rng = np.random.default_rng(3)
    for trial in range(60):
        d = 2 + trial % 2
        n = int(rng.integers(d + 1, 18))
        pts = rng.integers(0, 3, size=(n, d)).astype(np.float64) if trial % 3 else rng.normal(size=(n, d))
        r = korvale.simulate(pts, d)
        labels = r["labels"]
        edges = [(i, j) for i in range(n) for j in range(i + 1, n)]
        assert labels.shape == (len(edges),)
        assert [e for e, l in zip(edges, labels) if l] == r["accepted_edges"]
        assert labels.sum() == r["final_rank"] <= r["max_rank"] == n * d - d * (d + 1) // 2
        if r["is_rigid"]:
            last = edges.index(r["accepted_edges"][-1])
            assert not labels[last + 1 :].any()


def test_threads_compute_the_sequential_results():
    rng = np.random.default_rng(11)
    inputs = [(rng.uniform(0, 5, size=(60, 2 + k % 2)), 2 + k % 2) for k in range(8)]
    inputs += [(rng.integers(0, 4, size=(40, 2)).astype(float), 2) for _ in range(4)]
    expected = [korvale.simulate(a, d) for a, d in inputs]
    results = [None] * len(inputs)

    def work(k):
        for _ in range(3):
            results[k] = korvale.simulate(*inputs[k])

    threads = [threading.Thread(target=work, args=(k,)) for k in range(len(inputs))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for got, want in zip(results, expected):
        assert got["labels"].tolist() == want["labels"].tolist()
        assert got["accepted_edges"] == want["accepted_edges"]
        assert got["distance_matrix"].tobytes() == want["distance_matrix"].tobytes()
        assert got["final_rank"] == want["final_rank"]
