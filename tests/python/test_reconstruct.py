"""reconstruct: the documented cases, failure order, tolerance handling,
zero columns for non-positive eigenvalues, and exact recovery of Euclidean
distance matrices far beyond 500 rotations."""

import math

import numpy as np
import pytest

import korvale


def distances(points):
    points = np.asarray(points, dtype=np.float64)
    return np.sqrt(((points[:, None, :] - points[None, :, :]) ** 2).sum(-1))


def panic_text(*args, **kwargs):
    with pytest.raises(BaseException) as info:
        korvale.reconstruct(*args, **kwargs)
    assert type(info.value).__name__ == "PanicException" and not isinstance(info.value, Exception)
    return str(info.value)


def test_right_triangle():
    r = korvale.reconstruct(distances([(0, 0), (1, 0), (0, 1)]), 2)
    assert list(r) == ["coords", "stress", "eigenvalues", "is_isometric"]
    coords, ev = r["coords"], r["eigenvalues"]
    assert coords.shape == (3, 2) and coords.dtype == np.float64 and coords.flags.c_contiguous
    assert ev.shape == (2,) and ev.dtype == np.float64
    assert ev[0] == pytest.approx(1.0, abs=1e-15) and ev[1] == pytest.approx(0.3333333333333333, abs=1e-15)
    assert type(r["stress"]) is float and r["stress"] < 1e-15
    assert r["is_isometric"] is True
    assert np.allclose(coords.mean(axis=0), 0, atol=1e-15)
    assert np.allclose(distances(coords), distances([(0, 0), (1, 0), (0, 1)]), atol=1e-15)
    for a in (coords, ev):
        assert type(a.base).__name__ == "PySliceContainer" and a.flags.writeable


def test_collinear_points():
    r = korvale.reconstruct(distances([(0, 0), (1, 0), (2, 0), (3, 0)]), 2)
    first = r["coords"][:, 0] * np.sign(r["coords"][0, 0])
    assert np.allclose(first, [1.5, 0.5, -0.5, -1.5], atol=1e-14)
    assert r["eigenvalues"][0] == pytest.approx(5.0, abs=1e-14)
    assert abs(r["eigenvalues"][1]) < 1e-14
    if r["eigenvalues"][1] <= 0:
        assert (r["coords"][:, 1] == 0).all()
    assert r["stress"] < 1e-6 and r["is_isometric"] is True


def test_regular_tetrahedron():
    unit = np.ones((4, 4)) - np.eye(4)
    r3 = korvale.reconstruct(unit, 3)
    assert np.allclose(r3["eigenvalues"], [0.5, 0.5, 0.5], atol=1e-14)
    assert r3["stress"] < 1e-14 and r3["is_isometric"] is True
    r2 = korvale.reconstruct(unit, 2)
    assert np.allclose(r2["eigenvalues"], [0.5, 0.5], atol=1e-14)
    assert r2["stress"] > 1e-6 and r2["is_isometric"] is False


def test_all_zero_matrix():
    r = korvale.reconstruct(np.zeros((5, 5)), 3)
    assert (r["coords"] == 0).all() and not np.signbit(r["coords"]).any()
    assert (r["eigenvalues"] == 0).all() and np.signbit(r["eigenvalues"]).all()
    assert r["stress"] == 0.0 and r["is_isometric"] is True


def test_non_positive_eigenvalues_give_zero_columns():
    # A "square" whose diagonals are far too long is not Euclidean: its third
    # eigenvalue comes out a hair below zero and is reported as it is, while
    # its coordinate column is clamped to zeros.
    bad = np.array([[0, 1, 4, 1], [1, 0, 1, 4], [4, 1, 0, 1], [1, 4, 1, 0.0]])
    r = korvale.reconstruct(bad, 3)
    assert r["eigenvalues"][:2] == pytest.approx([8.0, 8.0])
    assert -1e-14 < r["eigenvalues"][2] < 0
    assert (r["coords"][:, 2] == 0).all()
    assert (np.abs(r["coords"][:, :2]) > 0).any(axis=1).all()
    assert r["is_isometric"] is False


def test_node_count_and_dimension_failures_in_order():
    message = "Need at least d+1 nodes to reconstruct in d dimensions"
    assert panic_text(distances([(0, 0), (1, 0)]), 2) == message
    assert panic_text(np.zeros((3, 3)), 3) == message
    assert panic_text(np.zeros((0, 0)), 2) == message
    assert korvale.reconstruct(np.zeros((3, 3)), 2)["coords"].shape == (3, 2)
    assert korvale.reconstruct(np.zeros((4, 4)), 3)["coords"].shape == (4, 3)
    assert panic_text(np.zeros((3, 3)), 4) == "Only d=2 and d=3 are supported"
    assert panic_text(np.zeros((1, 1)), 1) == "Only d=2 and d=3 are supported"
    with pytest.raises(ValueError, match="^distance_matrix must be square$"):
        korvale.reconstruct(np.zeros((3, 4)), 4)
    with pytest.raises(TypeError, match="^argument 'distance_matrix': "):
        korvale.reconstruct(np.zeros((3, 3), dtype=np.float32), 2)
    with pytest.raises(OverflowError):
        korvale.reconstruct(np.zeros((3, 3)), -2)


def test_tolerance_handling():
    tri = distances([(0, 0), (1, 0), (0, 1)])
    assert korvale.reconstruct(np.zeros((4, 4)), 2, 0.0)["is_isometric"] is False  # stress 0.0, strict test
    assert korvale.reconstruct(tri, 2, -1.0)["is_isometric"] is False
    assert korvale.reconstruct(tri, 2, float("nan"))["is_isometric"] is False
    assert korvale.reconstruct(tri, 2, 1)["is_isometric"] is True
    assert korvale.reconstruct(tri, 2, None)["is_isometric"] is True
    assert korvale.reconstruct(tri, 2, tol=None)["stress"] == korvale.reconstruct(tri, 2)["stress"]
    with pytest.raises(TypeError, match="^argument 'tol': "):
        korvale.reconstruct(tri, 2, "tight")
    # The verdict follows the threshold: the 2-D tetrahedron's stress sits between these.
    unit = np.ones((4, 4)) - np.eye(4)
    stress = korvale.reconstruct(unit, 2)["stress"]
    assert korvale.reconstruct(unit, 2, stress * 2)["is_isometric"] is True


def test_non_symmetric_matrix_uses_row_means_and_the_upper_triangle():
    d = distances([(0, 0), (1, 0), (0, 1), (1, 1)])
    skew = d.copy()
    skew[3, 0] = 7.0  # lower triangle: changes the Gram matrix, not the stress's deltas
    r = korvale.reconstruct(skew, 2)
    g = korvale.gram_from_dist(skew)
    assert not np.array_equal(g, g.T)
    assert r["coords"].shape == (4, 2) and math.isfinite(r["stress"])
    # The stress compares against the upper triangle only.
    upper = np.triu_indices(4, 1)
    dhat = distances(r["coords"])
    expected = math.sqrt(((d[upper] - dhat[upper]) ** 2).sum() / (d[upper] ** 2).sum())
    assert r["stress"] == pytest.approx(expected, rel=1e-12)


def test_reconstruct_decomposes_the_gram_matrix_of_gram_from_dist():
    rng = np.random.default_rng(5)
    dist = distances(rng.uniform(0, 5, size=(12, 2)))
    g = korvale.gram_from_dist(dist)
    r = korvale.reconstruct(dist, 2)
    top = np.sort(np.linalg.eigvalsh(g))[::-1][:2]
    assert np.allclose(r["eigenvalues"], top, rtol=1e-12)


@pytest.mark.parametrize("n, d", [(150, 2), (120, 3), (100, 2), (80, 3)])
def test_exact_distance_matrices_are_recovered(n, d):
    rng = np.random.default_rng(n * 10 + d)
    points = rng.uniform(0, 5, size=(n, d))
    r = korvale.reconstruct(distances(points), d)
    assert r["stress"] < 1e-10
    assert r["is_isometric"] is True
    assert np.allclose(distances(r["coords"]), distances(points), atol=1e-9)


def test_simulate_and_batch_distances_round_trip():
    sim = korvale.simulate(np.random.default_rng(2).uniform(0, 5, size=(60, 3)), 3)
    assert korvale.reconstruct(sim["distance_matrix"], 3)["stress"] < 1e-10
    (g,) = korvale.generate_training_batch(1, 90, 2, 8)
    assert korvale.reconstruct(g["distance_matrix"], 2)["stress"] < 1e-10


def test_non_finite_distances_give_a_result_not_an_error():
    dist = distances([(0, 0), (1, 0), (0, 1), (1, 1)])
    dist[0, 2] = dist[2, 0] = np.nan
    r = korvale.reconstruct(dist, 2)
    assert r["coords"].shape == (4, 2) and math.isnan(r["stress"]) and r["is_isometric"] is False
    dist[0, 2] = dist[2, 0] = np.inf
    assert korvale.reconstruct(dist, 2)["is_isometric"] is False
