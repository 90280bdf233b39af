"""global_rigidity (a random equilibrium stress and the exact rank of its
stress matrix) against the characterizations that exist: 2-connectivity on
a line, 3-connectivity with redundant rigidity in the plane (Jackson and
Jordán), the necessary conditions and PyRigi in space; seeds; the call's
contract."""

import networkx as nx
import numpy as np
import pytest

import korvale_graphs as kg

KEYS = {"is_globally_rigid", "is_rigid", "is_redundantly_rigid", "stress_dimension", "stress_rank", "error_bound"}


def simple_graph(n, edges):
    graph = nx.Graph()
    graph.add_nodes_from(range(n))
    graph.add_edges_from(map(tuple, np.asarray(edges).reshape(-1, 2).tolist()))
    return graph


def random_multigraph(rng, n, m):
    edges = rng.integers(0, n, (m, 2))
    return edges[edges[:, 0] != edges[:, 1]]


def line_graphs(rng, count):
    """Random multigraphs, trees, paths and cycles with chords."""
    for t in range(count):
        n = int(rng.integers(1, 14))
        kind = t % 3
        if kind == 0:
            yield n, random_multigraph(rng, n, int(rng.integers(0, 2 * n + 2)))
        elif kind == 1:
            order = rng.permutation(n)
            cycle = [(order[k], order[(k + 1) % n]) for k in range(n if n > 2 else n - 1)] if n > 1 else []
            chords = random_multigraph(rng, n, int(rng.integers(0, 3))) if n > 1 else np.empty((0, 2), int)
            edges = np.array(cycle, dtype=np.int64).reshape(-1, 2)
            yield n, np.vstack([edges, chords]) if t % 2 else edges[1:]
        else:
            yield n, np.array([(k, int(rng.integers(0, k))) for k in range(1, n)], dtype=np.int64).reshape(-1, 2)


@pytest.mark.exhaustive
def test_on_a_line_it_is_two_connectivity_on_ten_thousand_graphs():
    rng = np.random.default_rng(28)
    compared = globally = 0
    for n, edges in line_graphs(rng, 10_000):
        graph = simple_graph(n, edges)
        want = nx.is_connected(graph) if n <= 2 else nx.is_biconnected(graph)
        stress = kg.global_rigidity(n, edges, 1, seed=compared, method="stress")
        combinatorial = kg.global_rigidity(n, edges, 1)
        assert stress["is_globally_rigid"] == combinatorial["is_globally_rigid"] == want, (n, edges.tolist())
        assert {k: stress[k] for k in KEYS - {"stress_rank", "error_bound"}} == {
            k: combinatorial[k] for k in KEYS - {"stress_rank", "error_bound"}}
        assert combinatorial["stress_rank"] is None and combinatorial["error_bound"] == 0.0
        compared += 1
        globally += want
    assert compared == 10_000 and 1_000 < globally < 9_000


def plane_graphs(rng, count):
    """Erdős–Rényi around the threshold, Henneberg graphs with extra bars,
    diluted lattices, random regular graphs and random multigraphs."""
    for t in range(count):
        kind = t % 5
        n = int(rng.integers(4, 24))
        seed = int(rng.integers(0, 2**32))
        if kind == 0:
            yield n, kg.erdos_renyi(n, min(float(rng.uniform(3.0, 7.0)), n - 1.0), seed)
        elif kind == 1:
            room = n * (n - 1) // 2 - (2 * n - 3)
            yield n, kg.henneberg(n, 2, seed, extra=min(int(rng.integers(0, 2 * n)), room))[1]
        elif kind == 2:
            side = int(rng.integers(3, 6))
            yield side * side, kg.triangular_lattice(side, float(rng.uniform(0.7, 1.0)), seed, periodic=bool(t % 2))[1]
        elif kind == 3:
            n += n % 2 + 4
            yield n, kg.random_regular(n, int(rng.integers(3, 7)), seed)
        else:
            yield n, random_multigraph(rng, n, int(rng.integers(n, 4 * n)))


def plane_characterization(n, edges):
    """Jackson and Jordán: complete on at most 3 nodes, or 3-connected and
    redundantly rigid; redundancy from the pebble game (rigid, and every edge
    in a circuit)."""
    game = kg.pebble_game(n, edges)
    redundant = bool(game["is_rigid"]) and bool(np.all(game["overconstrained"] == 1))
    if n <= 3:
        return nx.density(simple_graph(n, edges)) == 1 or n == 1, bool(game["is_rigid"]), redundant
    graph = simple_graph(n, edges)
    return redundant and nx.node_connectivity(graph) >= 3, bool(game["is_rigid"]), redundant


@pytest.mark.exhaustive
def test_in_the_plane_it_is_three_connected_and_redundantly_rigid_on_ten_thousand_graphs():
    rng = np.random.default_rng(29)
    compared = globally = 0
    for n, edges in plane_graphs(rng, 10_000):
        want = plane_characterization(n, edges)
        for method in ("stress", "auto"):
            ours = kg.global_rigidity(n, edges, 2, seed=compared, method=method)
            assert (ours["is_globally_rigid"], ours["is_rigid"], ours["is_redundantly_rigid"]) == want, (
                method, n, edges.tolist())
        want = want[0]
        if want and n >= 4:
            assert kg.global_rigidity(n, edges, 2, seed=compared, method="stress")["stress_rank"] == n - 3
        compared += 1
        globally += want
    assert compared == 10_000 and 1_000 < globally < 9_000


def test_in_space_the_necessary_conditions_hold():
    rng = np.random.default_rng(30)
    globally = 0
    for t in range(1_000):
        n = int(rng.integers(5, 20))
        edges = random_multigraph(rng, n, int(rng.integers(3 * n, 6 * n)))
        ours = kg.global_rigidity(n, edges, 3, seed=t)
        assert ours["is_rigid"] == kg.generic_rank(n, edges, 3, seed=t)["is_rigid"]
        if ours["is_globally_rigid"]:
            globally += 1
            assert ours["is_rigid"] and ours["is_redundantly_rigid"]
            assert nx.node_connectivity(simple_graph(n, edges)) >= 4
            assert ours["stress_rank"] == n - 4
    assert 100 < globally < 900


def test_seeds_give_the_same_answers():
    rng = np.random.default_rng(31)
    for t in range(1_000):
        d = 2 + t % 3
        n = int(rng.integers(d + 2, 22))
        edges = random_multigraph(rng, n, int(rng.integers(d * n - 3, (d + 3) * n)))
        a = kg.global_rigidity(n, edges, d, seed=2 * t)
        b = kg.global_rigidity(n, edges, d, seed=2 * t + 1)
        assert {k: a[k] for k in KEYS - {"error_bound"}} == {k: b[k] for k in KEYS - {"error_bound"}}
        assert a["error_bound"] == b["error_bound"] < 1e-12


def test_k55_in_space_meets_every_necessary_condition_and_is_not_globally_rigid():
    """Connelly's example: K5,5 in space is rigid, redundantly rigid and
    5-connected, yet generically not globally rigid; K6,6 is."""
    for side, want in ((5, False), (6, True)):
        edges = np.array([(a, side + b) for a in range(side) for b in range(side)])
        result = kg.global_rigidity(2 * side, edges, 3)
        assert result["is_rigid"] and result["is_redundantly_rigid"]
        assert nx.node_connectivity(simple_graph(2 * side, edges)) == side
        assert result["is_globally_rigid"] is want
        assert (result["stress_rank"] == 2 * side - 4) is want


def test_the_double_banana_and_parallel_bars():
    banana = [(a, b) for a in range(5) for b in range(a + 1, 5) if (a, b) != (0, 1)]
    second = {0: 0, 1: 1, 2: 5, 3: 6, 4: 7}
    edges = np.array(banana + [(second[a], second[b]) for a, b in banana])
    result = kg.global_rigidity(8, edges, 3)
    assert set(result) == KEYS
    assert not result["is_rigid"] and not result["is_globally_rigid"]
    assert result["stress_dimension"] == 18 - 17
    # A bar doubled is a stress of its own: two nodes, two bars, in any d.
    for d in (1, 2, 3):
        doubled = kg.global_rigidity(2, [[0, 1], [1, 0]], d)
        assert doubled["is_globally_rigid"] and doubled["is_redundantly_rigid"] and doubled["stress_dimension"] == 1


def test_arguments_and_errors_are_generic_ranks():
    with pytest.raises(ValueError, match="has a node outside"):
        kg.global_rigidity(3, [[0, 3]], 2)
    with pytest.raises(ValueError, match="is a loop"):
        kg.global_rigidity(3, [[1, 1]], 2)
    with pytest.raises(ValueError):
        kg.global_rigidity(3, [[0, 1]], 0)
    with pytest.raises(TypeError):
        kg.global_rigidity(3, [[0, 1]], 2, seed=1.5)
    with pytest.raises(ValueError, match="method must be"):
        kg.global_rigidity(3, [[0, 1]], 2, method="numeric")
    with pytest.raises(ValueError, match="no combinatorial characterization in d = 3"):
        kg.global_rigidity(3, [[0, 1]], 3, method="combinatorial")
    with pytest.raises(MemoryError, match=r"not enough memory: the call needs"):
        kg.global_rigidity(2**32 - 1, [], 3)
    for method in ("stress", "auto"):
        empty = kg.global_rigidity(0, np.empty((0, 2), dtype=np.int64), 2, method=method)
        assert empty["is_globally_rigid"] and empty["is_rigid"] and empty["stress_dimension"] == 0
