"""Rigid clusters in any dimension (generic_rank(..., clusters=True)) and
generic_percolation: against the pebble game in the plane, connected
components on a line, the kernel of the numeric rigidity matrix in space,
bananas and hinged bodies; percolation against generic_rank on prefixes;
the fcc and bcc lattices."""

import networkx as nx
import numpy as np
import pytest

import korvale_graphs as kg


def clusters_of(result):
    """The clusters as a set of frozensets of nodes, and checks that the
    result's own figures agree with its lists."""
    ptr, nodes = result["cluster_ptr"], result["cluster_nodes"]
    found = [nodes[ptr[c]:ptr[c + 1]].tolist() for c in range(len(ptr) - 1)]
    assert all(c == sorted(c) and len(c) >= 2 for c in found)
    assert result["n_clusters"] == len(found)
    assert result["largest_cluster"] == max(map(len, found), default=0)
    return {frozenset(c) for c in found}


def check_edge_clusters(result, edges):
    """Each edge names the lowest-numbered cluster holding both its ends, and
    clusters are numbered by their first edge."""
    ptr, nodes = result["cluster_ptr"], result["cluster_nodes"]
    sets = [set(nodes[ptr[c]:ptr[c + 1]].tolist()) for c in range(len(ptr) - 1)]
    first = []
    for e, (i, j) in enumerate(np.asarray(edges).tolist()):
        holders = [c for c, s in enumerate(sets) if i in s and j in s]
        assert holders and result["edge_cluster"][e] == holders[0]
        for c in holders:
            if c >= len(first):
                first.append(e)
    assert len(first) == len(sets) and first == sorted(first)


def plane_graphs(rng, count):
    for t in range(count):
        n = int(rng.integers(2, 30))
        kind = t % 3
        if kind == 0:
            yield n, kg.erdos_renyi(n, min(float(rng.uniform(1.0, 7.0)), n - 1), t)
        elif kind == 1:
            edges = rng.integers(0, n, (int(rng.integers(0, 3 * n)), 2))
            yield n, edges[edges[:, 0] != edges[:, 1]]
        else:
            side = int(rng.integers(3, 7))
            yield side * side, kg.triangular_lattice(side, float(rng.uniform(0.4, 1.0)), t)[1]


def test_in_the_plane_they_are_the_pebble_games_components_on_five_thousand_graphs():
    rng = np.random.default_rng(29)
    for t, (n, edges) in enumerate(plane_graphs(rng, 5000)):
        ours = kg.generic_rank(n, edges, 2, seed=t, clusters=True)
        game = kg.pebble_game(n, edges)
        assert np.array_equal(ours["edge_cluster"], game["components"]), (n, edges.tolist())
        assert np.array_equal(ours["overconstrained"], game["overconstrained"])
        assert ours["n_clusters"] == game["n_components"] and ours["largest_cluster"] == game["largest_component"]
        by_component = {}
        for (i, j), c in zip(np.asarray(edges).tolist(), game["components"].tolist()):
            by_component.setdefault(c, set()).update((i, j))
        assert clusters_of(ours) == {frozenset(s) for s in by_component.values()}


def test_on_a_line_they_are_the_connected_components_on_a_thousand_graphs():
    rng = np.random.default_rng(30)
    for t in range(1000):
        n = int(rng.integers(1, 40))
        edges = rng.integers(0, n, (int(rng.integers(0, 2 * n)), 2))
        edges = edges[edges[:, 0] != edges[:, 1]]
        ours = kg.generic_rank(n, edges, 1, seed=t, clusters=True)
        graph = nx.Graph()
        graph.add_nodes_from(range(n))
        graph.add_edges_from(edges.tolist())
        want = {frozenset(c) for c in nx.connected_components(graph) if len(c) >= 2}
        assert clusters_of(ours) == want
        # On a line a bar is in a circuit exactly when it is no bridge.
        bridges = {frozenset(b) for b in nx.bridges(graph)}
        doubled = {frozenset(e) for e in map(tuple, edges.tolist()) if (edges == e).all(1).sum() + (edges == e[::-1]).all(1).sum() > 1}
        for e, (i, j) in enumerate(edges.tolist()):
            assert ours["overconstrained"][e] == (frozenset((i, j)) not in bridges or frozenset((i, j)) in doubled)
        check_edge_clusters(ours, edges)


def numeric_clusters(n, edges, rank, rng):
    """The maximal sets of pairwise implied nodes, from the kernel of the
    rigidity matrix at random real coordinates; None without clear gaps
    between the singular values the rank keeps and the ones it drops, and
    between the stretches of implied pairs and of free ones."""
    points = rng.uniform(-1.0, 1.0, (n, 3))
    matrix = np.zeros((len(edges), 3 * n))
    for e, (i, j) in enumerate(edges.tolist()):
        matrix[e, 3 * i:3 * i + 3] = points[i] - points[j]
        matrix[e, 3 * j:3 * j + 3] = points[j] - points[i]
    _, values, vt = np.linalg.svd(matrix)
    values = np.concatenate([values, np.zeros(3 * n - len(values))])
    if rank and values[rank - 1] < 1e-5 or rank < 3 * n and values[rank] > 1e-10:
        return None
    kernel = vt[rank:].T.reshape(n, 3, -1)
    implied = nx.Graph()
    implied.add_nodes_from(range(n))
    for u in range(n):
        for v in range(u + 1, n):
            stretch = np.abs(np.einsum("a,ak->k", points[u] - points[v], kernel[u] - kernel[v])).max(initial=0.0)
            if 1e-10 <= stretch <= 1e-5:
                return None
            if stretch < 1e-10:
                implied.add_edge(u, v)
    return {frozenset(c) for c in nx.find_cliques(implied) if len(c) >= 2}


def space_graphs(rng, count):
    for t in range(count):
        kind = t % 4
        if kind == 0:
            n = int(rng.integers(6, 41))
            yield n, kg.erdos_renyi(n, min(float(rng.uniform(3.0, 10.0)), n - 1), t)
        elif kind == 1:
            n = int(rng.integers(8, 41))
            yield n, kg.random_geometric(n, float(rng.uniform(0.3, 0.6)), 3, t)[1]
        elif kind == 2:
            n = int(rng.integers(8, 41))
            edges = kg.henneberg(n, 3, t, extra=int(rng.integers(0, 6)))[1]
            yield n, np.delete(edges, rng.choice(len(edges), size=min(len(edges), 4), replace=False), axis=0)
        else:
            coords, edges = kg.bcc_lattice(2, float(rng.uniform(0.5, 1.0)), t, periodic=False)
            yield len(coords), edges


def test_in_space_they_are_the_kernels_implied_cliques_on_three_hundred_graphs():
    rng = np.random.default_rng(31)
    compared = 0
    for t, (n, edges) in enumerate(space_graphs(rng, 400)):
        ours = kg.generic_rank(n, edges, 3, seed=t, clusters=True)
        want = numeric_clusters(n, edges, ours["rank"], rng)
        if want is None:
            continue
        assert clusters_of(ours) == want, (n, edges.tolist())
        check_edge_clusters(ours, edges)
        compared += 1
    assert compared >= 300


def banana(hinge, others):
    """K5 without the hinge's own bar: rigid in space, the hinge pair implied."""
    nodes = list(hinge) + list(others)
    return [(a, b) for k, a in enumerate(nodes) for b in nodes[k + 1:] if {a, b} != set(hinge)]


def test_the_double_banana_is_two_bananas_on_one_hinge():
    edges = np.array(banana((0, 1), (2, 3, 4)) + banana((0, 1), (5, 6, 7)))
    result = kg.generic_rank(8, edges, 3, clusters=True)
    assert result["rank"] == 17 and not result["is_rigid"]  # 18 bars, 3 n - 6 of them needed: a flexible circuit
    assert clusters_of(result) == {frozenset({0, 1, 2, 3, 4}), frozenset({0, 1, 5, 6, 7})}
    assert result["overconstrained"].all()
    assert result["edge_cluster"].tolist() == [0] * 9 + [1] * 9


def test_hinged_bodies_share_exactly_their_hinges():
    # Octahedra (rigid, 6 nodes and 12 bars) in a chain, each sharing a pair
    # of nodes, its hinge, with the next: a bar on every hinge too.
    bodies, nodes, edges = 5, [], []
    for b in range(bodies):
        left = (2 * b, 2 * b + 1)
        right = (2 * (b + 1), 2 * (b + 1) + 1)
        apex = (2 * bodies + 2 + 2 * b, 2 * bodies + 3 + 2 * b)
        octahedron = [left[0], right[0], left[1], right[1], apex[0], apex[1]]
        opposite = {(0, 3), (1, 2), (4, 5)}  # the three pairs an octahedron leaves unbarred
        edges += [(octahedron[p], octahedron[q]) for p in range(6) for q in range(p + 1, 6) if (p, q) not in opposite]
        nodes.append(set(octahedron))
    edges += [(2 * b, 2 * b + 1) for b in range(bodies + 1)]  # a bar on each hinge
    n = 2 * bodies + 2 + 2 * bodies
    result = kg.generic_rank(n, np.array(edges), 3, clusters=True)
    clusters = clusters_of(result)
    assert clusters == {frozenset(s) for s in nodes}
    shared = [len(a & b) for a in clusters for b in clusters if a != b and a & b]
    assert shared and set(shared) == {2}
    check_edge_clusters(result, np.array(edges))


def test_percolation_equals_generic_rank_on_every_prefix_sampled():
    rng = np.random.default_rng(32)
    for d, (n, edges) in [(2, (64, kg.triangular_lattice(8, 0.9, 3)[1])), (3, (54, kg.bcc_lattice(3, 1.0, 4)[1])),
                          (3, (60, kg.erdos_renyi(60, 9.0, 5))), (1, (30, kg.erdos_renyi(30, 2.0, 6)))]:
        every = kg.generic_percolation(n, edges, d, seed=9)
        assert np.array_equal(every["labels"], kg.generic_rank(n, edges, d, seed=9)["labels"])
        assert np.array_equal(every["rank"], np.cumsum(every["labels"]))
        prefixes = np.concatenate([[0, len(edges)], rng.integers(0, len(edges) + 1, 20)])
        some = kg.generic_percolation(n, edges, d, seed=9, checkpoints=prefixes)
        assert np.array_equal(some["rank"], every["rank"])
        for c, largest in zip(prefixes.tolist(), some["largest_cluster"].tolist()):
            assert largest == kg.generic_rank(n, edges[:c], d, clusters=True)["largest_cluster"]
            if c:
                assert every["largest_cluster"][c - 1] == largest
        assert some["error_bound"] > every["error_bound"] * 0 and every["error_bound"] < 1e-6


def test_large_graphs_take_the_fronts_and_agree_with_the_pebble_game():
    # 3,000 columns and more go front by front: the plane's answers pin them.
    coords, edges = kg.triangular_lattice(45, 0.75, 7)
    ours = kg.generic_rank(len(coords), edges, 2, clusters=True)
    game = kg.pebble_game(len(coords), edges)
    assert ours["rank"] == game["rank"] and np.array_equal(ours["labels"], game["labels"])
    assert np.array_equal(ours["edge_cluster"], game["components"])
    assert np.array_equal(ours["overconstrained"], game["overconstrained"])
    checkpoints = np.array([len(edges) // 2, len(edges)])
    curve = kg.generic_percolation(len(coords), edges, 2, checkpoints=checkpoints)
    plane = kg.percolation(len(coords), edges)
    assert np.array_equal(curve["rank"], plane["rank"])
    assert curve["largest_cluster"].tolist() == plane["largest_component"][checkpoints - 1].tolist()


@pytest.mark.parametrize("lattice, sites, bonds", [(kg.fcc_lattice, 4, 12), (kg.bcc_lattice, 2, 8)])
def test_cubic_lattices(lattice, sites, bonds):
    coords, edges = lattice(3)
    assert coords.shape == (sites * 27, 3) and len(edges) == sites * 27 * bonds // 2
    assert np.bincount(edges.ravel()).tolist() == [bonds] * (sites * 27)
    # Node s ((z L + y) L + x) + b sits in cell (x, y, z).
    cells = np.arange(sites * 27) // sites
    assert np.array_equal(np.floor(coords).astype(int), np.stack([cells % 3, cells // 3 % 3, cells // 9], 1))
    open_coords, open_edges = lattice(3, periodic=False)
    lengths = np.linalg.norm(open_coords[open_edges[:, 0]] - open_coords[open_edges[:, 1]], axis=1)
    assert np.allclose(lengths, lengths[0]) and np.allclose(lengths[0], np.sqrt(2) / 2 if sites == 4 else np.sqrt(3) / 2)
    # Seeds: the same bonds for the same seed, in random order; p thins them.
    assert np.array_equal(lattice(4, 0.6, 5)[1], lattice(4, 0.6, 5)[1])
    assert not np.array_equal(lattice(4, 1.0, 5)[1], lattice(4, 1.0, 6)[1])
    assert len(lattice(4, 0.0)[1]) == 0 and 0.5 < len(lattice(6, 0.6, 1)[1]) / len(lattice(6)[1]) < 0.7
    # Full and periodic, both are rigid in space.
    assert kg.generic_rank(sites * 27, edges, 3)["is_rigid"]
    with pytest.raises(ValueError, match="needs L >= 2"):
        lattice(1)
    with pytest.raises(ValueError, match=r"p must lie in \[0, 1\]"):
        lattice(2, 1.5)


def test_arguments_and_errors():
    edges = kg.erdos_renyi(20, 4.0, 1)
    with pytest.raises(ValueError, match="checkpoint 999 is beyond the"):
        kg.generic_percolation(20, edges, 2, checkpoints=[3, 999])
    with pytest.raises(ValueError, match="checkpoints must be between 0"):
        kg.generic_percolation(20, edges, 2, checkpoints=[-1])
    with pytest.raises(TypeError, match="checkpoints must hold integers"):
        kg.generic_percolation(20, edges, 2, checkpoints=[1.5])
    with pytest.raises(ValueError, match=r"checkpoints must have shape \(k,\)"):
        kg.generic_percolation(20, edges, 2, checkpoints=[[1]])
    empty = kg.generic_rank(5, [], 3, clusters=True)
    assert empty["n_clusters"] == 0 and empty["largest_cluster"] == 0 and empty["cluster_ptr"].tolist() == [0]
    assert kg.generic_percolation(5, [], 3, checkpoints=[0, 0])["largest_cluster"].tolist() == [0, 0]
    plain = kg.generic_rank(20, edges, 3)
    assert "edge_cluster" not in plain
    clustered = kg.generic_rank(20, edges, 3, clusters=True)
    assert np.array_equal(plain["labels"], clustered["labels"]) and clustered["error_bound"] > plain["error_bound"]
