"""pebble_game: the documented shapes, the closed form for complete graphs,
argument handling, and large node counts."""

import numpy as np
import pytest

import korvale


def check_closed_form(result, n):
    ones = max(2 * n - 3, 0)
    zeros = n * (n - 1) // 2 - ones
    assert result["labels"].tolist() == [1] * ones + [0] * zeros
    assert result["accepted_edges"] == [(0, j) for j in range(1, n)] + [(1, j) for j in range(2, n)]
    assert result["n_nodes"] == n and result["d"] == 2


@pytest.mark.parametrize("n", [0, 1])
def test_no_edges(n):
    r = korvale.pebble_game(np.zeros((n, 2)), 2)
    assert list(r) == ["labels", "accepted_edges", "n_nodes", "d"]
    assert r["labels"].dtype == np.uint8 and r["labels"].shape == (0,)
    assert r["accepted_edges"] == [] and r["n_nodes"] == n and r["d"] == 2


def test_documented_shapes():
    assert korvale.pebble_game(np.zeros((2, 2)), 2)["labels"].tolist() == [1]
    r4 = korvale.pebble_game(np.zeros((4, 2)), 2)
    assert r4["labels"].tolist() == [1, 1, 1, 1, 1, 0]
    assert r4["accepted_edges"] == [(0, 1), (0, 2), (0, 3), (1, 2), (1, 3)]
    r45 = korvale.pebble_game(np.ones((4, 5)), 2)
    assert r45["labels"].tolist() == r4["labels"].tolist() and r45["accepted_edges"] == r4["accepted_edges"]
    labels = r4["labels"]
    assert type(labels.base).__name__ == "PySliceContainer" and labels.flags.writeable


def test_coordinates_are_never_read():
    rng = np.random.default_rng(1)
    arrays = [np.full((7, 2), np.nan), np.ones((7, 2)), rng.normal(size=(7, 2)), rng.normal(size=(14, 4))[::2, 1:3]]
    results = [korvale.pebble_game(a, 2) for a in arrays]
    for r in results:
        check_closed_form(r, 7)


@pytest.mark.parametrize("n", list(range(2, 40)) + [97, 150])
def test_closed_form(n):
    check_closed_form(korvale.pebble_game(np.zeros((n, 2)), 2), n)


@pytest.mark.parametrize("d, exc, text", [(3, ValueError, "pebble_game only supports d=2"),
                                          (0, ValueError, "pebble_game only supports d=2"),
                                          (1, ValueError, "pebble_game only supports d=2")])
def test_only_the_plane(d, exc, text):
    with pytest.raises(exc) as info:
        korvale.pebble_game(np.zeros((4, 2)), d)
    assert str(info.value) == text


def test_argument_errors():
    with pytest.raises(OverflowError) as info:
        korvale.pebble_game(np.zeros((4, 2)), -1)
    assert "argument" not in str(info.value)
    with pytest.raises(TypeError, match="^argument 'd': "):
        korvale.pebble_game(np.zeros((4, 2)), 2.0)
    for bad in (np.zeros(4), np.zeros((4, 2), dtype=np.int64), [[0.0, 0.0]]):
        with pytest.raises(TypeError, match="^argument 'coords': .* cannot be converted to 'PyArray<T, D>'$"):
            korvale.pebble_game(bad, 3)


def test_several_thousand_nodes():
    n = 3000
    r = korvale.pebble_game(np.zeros((n, 2)), 2)
    assert r["labels"].shape == (n * (n - 1) // 2,)
    assert int(r["labels"].sum()) == 2 * n - 3
    assert r["accepted_edges"][-1] == (1, n - 1)
