"""generic_rank (exact rank modulo a prime) and label_edges (numeric labels
of a given framework): forests in one dimension, Laman's count in the plane,
numeric rank and the double banana in space, seeds, and simulate's bits."""

import numpy as np
import pytest

import korvale
import korvale_graphs as kg


def forest_labels(n, edges):
    parent = list(range(n))

    def root(x):
        while parent[x] != x:
            parent[x] = parent[parent[x]]
            x = parent[x]
        return x

    labels = []
    for a, b in edges.tolist():
        ra, rb = root(a), root(b)
        labels.append(int(ra != rb))
        parent[ra] = rb
    return labels


def random_multigraph(rng, n, m):
    edges = rng.integers(0, n, (m, 2))
    return edges[edges[:, 0] != edges[:, 1]]


def test_one_dimension_is_the_spanning_forest():
    rng = np.random.default_rng(11)
    for _ in range(300):
        n = int(rng.integers(1, 40))
        edges = random_multigraph(rng, n, int(rng.integers(0, 2 * n + 1)))
        result = kg.generic_rank(n, edges, 1, seed=int(rng.integers(0, 2**63)))
        assert result["labels"].tolist() == forest_labels(n, edges)
        assert result["max_rank"] == max(n - 1, 0)


def plane_graphs(rng):
    """Erdős–Rényi around the threshold, random regular, Henneberg plus
    extras, diluted lattices, and random multigraphs: 10,000 in all."""
    for t in range(10_000):
        kind = t % 5
        n = int(rng.integers(4, 40))
        seed = int(rng.integers(0, 2**32))
        if kind == 0:
            yield n, kg.erdos_renyi(n, min(float(rng.uniform(2.5, 5.0)), n - 1.0), seed)
        elif kind == 1:
            n += n % 2 + 6
            yield n, kg.random_regular(n, int(rng.integers(3, 6)), seed)
        elif kind == 2:
            room = n * (n - 1) // 2 - (2 * n - 3)
            yield n, kg.henneberg(n, 2, seed, extra=min(int(rng.integers(0, 6)), room))[1]
        elif kind == 3:
            side = int(rng.integers(3, 7))
            yield side * side, kg.triangular_lattice(side, float(rng.uniform(0.5, 1.0)), seed, periodic=bool(t % 2))[1]
        else:
            yield n, random_multigraph(rng, n, int(rng.integers(0, 3 * n)))


@pytest.mark.exhaustive
def test_plane_labels_are_lamans_count_on_ten_thousand_graphs():
    rng = np.random.default_rng(12)
    compared = 0
    for n, edges in plane_graphs(rng):
        ours = kg.generic_rank(n, edges, 2, seed=compared)
        game = kg.pebble_game(n, edges)
        assert ours["labels"].tolist() == game["labels"].tolist(), (n, edges.tolist())
        assert ours["is_rigid"] == game["is_rigid"] and ours["max_rank"] == game["max_rank"]
        compared += 1
    assert compared == 10_000


def rigidity_matrix(coords, edges):
    n, d = coords.shape
    matrix = np.zeros((len(edges), n * d))
    for row, (i, j) in enumerate(edges.tolist()):
        matrix[row, i * d:(i + 1) * d] = coords[i] - coords[j]
        matrix[row, j * d:(j + 1) * d] = coords[j] - coords[i]
    return matrix


def well_separated(matrix):
    """Whether every prefix's numeric rank is unambiguous: no singular value
    between 1e-10 and 1e-6 in any prefix."""
    for rows in range(1, len(matrix) + 1):
        s = np.linalg.svd(matrix[:rows], compute_uv=False)
        if np.any((s > 1e-10) & (s < 1e-6)):
            return False
    return True


def test_space_labels_equal_numeric_labels_where_well_separated():
    rng = np.random.default_rng(13)
    compared = 0
    for _ in range(150):
        n = int(rng.integers(5, 25))
        edges = random_multigraph(rng, n, int(rng.integers(2 * n, 4 * n + 1)))
        coords = rng.uniform(-1, 1, (n, 3))
        if not well_separated(rigidity_matrix(coords, edges)):
            continue
        ours = kg.generic_rank(n, edges, 3, seed=compared)
        numeric = kg.label_edges(coords, edges)
        assert ours["labels"].tolist() == numeric["labels"].tolist()
        assert ours["rank"] == numeric["rank"] and ours["max_rank"] == numeric["max_rank"]
        compared += 1
    assert compared >= 140


def double_banana():
    banana = [(a, b) for a in range(5) for b in range(a + 1, 5) if (a, b) != (0, 1)]
    second = {0: 0, 1: 1, 2: 5, 3: 6, 4: 7}
    return np.array(banana + [(second[a], second[b]) for a, b in banana])


def test_the_double_banana_is_flexible_although_it_meets_the_count():
    edges = double_banana()
    assert len(edges) == 18 == 3 * 8 - 6
    result = kg.generic_rank(8, edges, 3, seed=5)
    assert result["rank"] == 17 and result["max_rank"] == 18 and not result["is_rigid"]
    # Each banana alone is rigid: the flex is the rotation about the hinge 0-1.
    assert kg.generic_rank(5, edges[:9], 3)["rank"] == 9 == 3 * 5 - 6
    # A bar along the hinge leaves the rotation; one across the bananas stops it.
    assert kg.generic_rank(8, np.vstack([edges, [[0, 1]]]), 3)["labels"].tolist()[-1] == 0
    braced = kg.generic_rank(8, np.vstack([edges, [[2, 5]]]), 3)
    assert braced["is_rigid"] and braced["labels"].tolist()[-1] == 1


def test_seeds_agree_and_the_bound_is_tiny():
    rng = np.random.default_rng(14)
    disagreements = 0
    for _ in range(200):
        n = int(rng.integers(5, 60))
        d = int(rng.integers(2, 5))
        edges = random_multigraph(rng, n, int(rng.integers(n, 4 * n)))
        first = kg.generic_rank(n, edges, d, seed=1)
        second = kg.generic_rank(n, edges, d, seed=2**64 - 1)
        disagreements += first["labels"].tolist() != second["labels"].tolist()
        assert 0 < first["error_bound"] <= min(len(edges), first["max_rank"]) / (2**61 - 1) * (1 + 1e-12)
    assert disagreements == 0
    assert kg.generic_rank(3, [], 2)["error_bound"] == 0.0
    assert 1e5 / (2**61 - 1) < 1e-9


def test_label_edges_equals_simulate_bit_for_bit():
    rng = np.random.default_rng(15)
    frameworks = [rng.uniform(0, 1, (n, d)) for n in (4, 9, 20, 33) for d in (2, 3)]
    frameworks += [
        np.repeat(rng.uniform(0, 1, (6, 2)), 2, axis=0),  # coincident pairs
        np.column_stack([np.arange(10.0), np.zeros(10)]),  # collinear
        rng.integers(0, 3, (15, 3)).astype(float),  # integer grid, many ties
        np.array([[0.0, 0.0], [1.0, np.nan], [2.0, 1.0], [np.inf, 0.0]]),
    ]
    for coords in frameworks:
        n, d = coords.shape
        candidates = np.array([(i, j) for i in range(n) for j in range(i + 1, n)])
        for tol in (None, 1e-9, 0.5):
            expected = korvale.simulate(coords, d, tol)
            ours = kg.label_edges(coords, candidates, tol)
            assert ours["labels"].tobytes() == np.asarray(expected["labels"], dtype=np.uint8).tobytes()
            assert ours["rank"] == expected["final_rank"] and ours["max_rank"] == expected["max_rank"]


def test_label_edges_on_any_graph_and_dimension():
    # A square with one diagonal is rigid in the plane; flat in space it is not.
    square = np.array([[0.0, 0.0], [1.0, 0.0], [1.0, 1.0], [0.0, 1.0]])
    edges = [[0, 1], [1, 2], [2, 3], [3, 0], [0, 2]]
    assert kg.label_edges(square, edges)["is_rigid"]
    assert not kg.label_edges(np.column_stack([square, np.zeros(4)]), edges)["is_rigid"]
    # A collinear triangle is flexible: its third bar is dependent.
    line = kg.label_edges([[0.0, 0.0], [1.0, 0.0], [2.0, 0.0]], [[0, 1], [1, 2], [0, 2]])
    assert line["labels"].tolist() == [1, 1, 0] and not line["is_rigid"]
    # One dimension: a path on points of the line.
    assert kg.label_edges([[0.0], [1.0], [3.0]], [[0, 1], [1, 2], [0, 2]])["labels"].tolist() == [1, 1, 0]
    assert kg.label_edges(np.zeros((0, 2)), [])["rank"] == 0


@pytest.mark.parametrize(
    "call, error, message",
    [
        (lambda: kg.generic_rank(4, [[0, 1]], 0), ValueError, "d must be between 1"),
        (lambda: kg.generic_rank(4, [[0, 9]], 2), ValueError, "edge 0 = (0, 9) has a node outside 0..3"),
        (lambda: kg.generic_rank(4, [[0, 1]], 2, seed=-1), ValueError, "seed must be between 0"),
        (lambda: kg.generic_rank(4, [[0, 1]], 2.0), TypeError, "d must be an integer, not float"),
        (lambda: kg.label_edges([1.0, 2.0], [[0, 1]]), ValueError, "coords must have shape (n, d)"),
        (lambda: kg.label_edges(np.zeros((3, 0)), []), ValueError, "coords must have at least one column"),
        (lambda: kg.label_edges([["a", "b"]], []), TypeError, "coords must hold real numbers"),
        (lambda: kg.label_edges(np.zeros((3, 2)), [[1, 1]]), ValueError, "edge 0 = (1, 1) is a loop"),
        (lambda: kg.label_edges(np.zeros((3, 2)), [[0, 1]], tol="x"), TypeError, "tol must be a real number"),
    ],
)
def test_bad_arguments_are_named(call, error, message):
    with pytest.raises(error) as info:
        call()
    assert message in str(info.value)
