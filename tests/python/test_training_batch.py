"""generate_training_batch: reproducible draws, the documented examples and
failures, small node counts, and agreement with simulate graph by graph."""

import numpy as np
import pytest

import korvale

MULTIPLIER = 6364136223846793005
INCREMENT = 1442695040888963407
KEYS = ["labels", "accepted_edges", "distance_matrix", "final_rank", "max_rank", "is_rigid", "n_nodes", "d"]


def draw(seed, n_nodes, d):
    """The generator, redone in Python: top 31 bits / (2^32 - 1) * 10."""
    state = seed % 2**64
    values = []
    for _ in range(n_nodes * d):
        state = (state * MULTIPLIER + INCREMENT) % 2**64
        values.append((state >> 33) / 4294967295.0 * 10.0)
    return np.array(values, dtype=np.float64).reshape(n_nodes, d)


def same_result(a, b):
    return (
        list(a) == list(b)
        and a["labels"].tolist() == b["labels"].tolist()
        and a["accepted_edges"] == b["accepted_edges"]
        and a["distance_matrix"].tobytes() == b["distance_matrix"].tobytes()
        and all(a[k] == b[k] and type(a[k]) is type(b[k]) for k in KEYS[3:])
    )


def test_seed_zero_example():
    (g,) = korvale.generate_training_batch(1, 3, 2, 0)
    assert list(g) == KEYS
    dist = g["distance_matrix"]
    assert dist[0, 1] == dist[1, 0] == 3.0313386985820134
    assert dist[0, 2] == 2.757300936479673
    assert dist[1, 2] == 1.3659778344650304
    assert dist.diagonal().tolist() == [0.0, 0.0, 0.0]
    assert g["labels"].tolist() == [1, 1, 1] and g["labels"].dtype == np.uint8
    assert g["accepted_edges"] == [(0, 1), (0, 2), (1, 2)]
    assert (g["final_rank"], g["max_rank"], g["is_rigid"], g["n_nodes"], g["d"]) == (3, 3, True, 3, 2)
    assert draw(0, 3, 2)[1].tolist() == [3.026616613619639, 2.0060810172013195]


def test_zero_graphs_validate_nothing():
    assert korvale.generate_training_batch(0, 0, 7, 0) == []
    assert korvale.generate_training_batch(0, 10**12, 0, 2**64 - 1) == []


def test_failures_are_panics_in_order():
    def panic_text(*args):
        with pytest.raises(BaseException) as info:
            korvale.generate_training_batch(*args)
        assert type(info.value).__name__ == "PanicException"
        assert not isinstance(info.value, Exception)
        assert info.value.args == (str(info.value),)
        return str(info.value)

    assert panic_text(1, 0, 2, 0) == "Node list must not be empty"
    assert panic_text(3, 0, 7, 0) == "Node list must not be empty"
    for d in (0, 1, 4):
        assert panic_text(1, 5, d, 0) == "Only d=2 and d=3 are supported"
    # The interpreter is healthy afterwards.
    assert len(korvale.generate_training_batch(2, 4, 2, 1)) == 2


@pytest.mark.parametrize("d", [2, 3])
def test_single_node_graphs(d):
    for g in korvale.generate_training_batch(3, 1, d, 9):
        assert g["labels"].shape == (0,) and g["labels"].dtype == np.uint8
        assert g["accepted_edges"] == []
        assert g["distance_matrix"].tolist() == [[0.0]]
        assert (g["final_rank"], g["max_rank"], g["is_rigid"]) == (0, 0, True)


@pytest.mark.parametrize("d", [2, 3])
def test_two_node_graphs_reach_their_true_maximum(d):
    for g in korvale.generate_training_batch(4, 2, d, 123):
        assert g["labels"].tolist() == [1] and g["accepted_edges"] == [(0, 1)]
        assert (g["final_rank"], g["max_rank"], g["is_rigid"]) == (1, 1, True)


def test_three_nodes_in_space_are_a_rigid_triangle():
    for g in korvale.generate_training_batch(3, 3, 3, 5):
        assert (g["final_rank"], g["max_rank"], g["is_rigid"]) == (3, 3, True)


@pytest.mark.parametrize(
    "args, exc, prefix",
    [
        ((1, 3, 2, -1), OverflowError, ""),
        ((1, 3, 2, 2**64), OverflowError, ""),
        ((1, 3, 2, 1.5), TypeError, "argument 'seed': "),
        ((1.0, 3, 2, 0), TypeError, "argument 'n_graphs': "),
        ((1, "3", 2, 0), TypeError, "argument 'n_nodes': "),
        ((-1, 0, 0, 0), OverflowError, ""),
    ],
)
def test_argument_errors(args, exc, prefix):
    with pytest.raises(exc) as info:
        korvale.generate_training_batch(*args)
    assert type(info.value) is exc
    assert str(info.value).startswith(prefix)


def test_reproducible_and_seed_arithmetic_wraps():
    a = korvale.generate_training_batch(4, 7, 2, 2024)
    b = korvale.generate_training_batch(4, 7, 2, 2024)
    assert all(same_result(x, y) for x, y in zip(a, b))
    assert same_result(a[3], korvale.generate_training_batch(1, 7, 2, 2027)[0])
    wrapped = korvale.generate_training_batch(2, 6, 3, 2**64 - 1)
    assert same_result(wrapped[1], korvale.generate_training_batch(1, 6, 3, 0)[0])


@pytest.mark.parametrize("d", [2, 3])
def test_every_graph_equals_simulate_on_its_coordinates(d):
    checked = 0
    for seed in (0, 1, 77, 2**63, 2**64 - 3):
        for n_nodes in (d + 1, d + 2, 9, 16):
            batch = korvale.generate_training_batch(3, n_nodes, d, seed)
            for k, g in enumerate(batch):
                coords = draw(seed + k, n_nodes, d)
                assert same_result(g, korvale.simulate(coords, d))
                checked += 1
    assert checked == 5 * 4 * 3


def test_grid_like_draws_still_match_simulate():
    # Large batches hit a few nearly degenerate frameworks; they must agree too.
    batch = korvale.generate_training_batch(200, 5, 2, 31337)
    for k, g in enumerate(batch):
        assert same_result(g, korvale.simulate(draw(31337 + k, 5, 2), 2))


def test_thousands_of_graphs_fit():
    batch = korvale.generate_training_batch(3000, 30, 3, 1)
    assert len(batch) == 3000 and all(g["distance_matrix"].shape == (30, 30) for g in batch)


def test_request_too_large_for_memory():
    with pytest.raises(MemoryError):
        korvale.generate_training_batch(10**8, 1000, 2, 0)
    with pytest.raises(BaseException, match="^capacity overflow$"):
        korvale.generate_training_batch(2**63, 2**31, 2, 0)
