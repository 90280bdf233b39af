"""Binding of positional and keyword arguments, and conversion of each
argument kind, with the exact messages callers see."""

import sys

import numpy as np
import pytest

import korvale

SQUARE = np.zeros((3, 3))


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: korvale.simulate(), "simulate() missing 2 required positional arguments: 'coords' and 'd'"),
        (
            lambda: korvale.generate_training_batch(1),
            "generate_training_batch() missing 3 required positional arguments: 'n_nodes', 'd', and 'seed'",
        ),
        (
            lambda: korvale.generate_training_batch(),
            "generate_training_batch() missing 4 required positional arguments: "
            "'n_graphs', 'n_nodes', 'd', and 'seed'",
        ),
        (
            lambda: korvale.generate_training_batch(1, d=2),
            "generate_training_batch() missing 2 required positional arguments: 'n_nodes' and 'seed'",
        ),
        (lambda: korvale.gram_from_dist(), "gram_from_dist() missing 1 required positional argument: 'dist'"),
        (lambda: korvale.max_independent(n=3), "max_independent() missing 1 required positional argument: 'd'"),
        (lambda: korvale.gram_from_dist(SQUARE, SQUARE), "gram_from_dist() takes 1 positional arguments but 2 were given"),
        (lambda: korvale.max_independent(1, 2, 3), "max_independent() takes 2 positional arguments but 3 were given"),
        (
            lambda: korvale.simulate(SQUARE, 2, 1e-9, 0),
            "simulate() takes from 2 to 3 positional arguments but 4 were given",
        ),
        (
            lambda: korvale.simulate(SQUARE, 2, 1e-9, 0, bogus=1),
            "simulate() takes from 2 to 3 positional arguments but 4 were given",
        ),
        (lambda: korvale.simulate(SQUARE, bogus=1), "simulate() got an unexpected keyword argument 'bogus'"),
        (lambda: korvale.simulate(SQUARE, 2, d=3), "simulate() got multiple values for argument 'd'"),
        (lambda: korvale.reconstruct(SQUARE, 2, TOL=1), "reconstruct() got an unexpected keyword argument 'TOL'"),
        (
            lambda: korvale.pebble_game(SQUARE, **{"d": 2, "coords": SQUARE}),
            "pebble_game() got multiple values for argument 'coords'",
        ),
        (
            lambda: korvale.max_independent(**{"x": 1, "n": 1, "y": 2}),
            "max_independent() got an unexpected keyword argument 'x'",
        ),
    ],
)
def test_binding_messages(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


def test_keywords_bind_in_any_order():
    assert korvale.max_independent(d=2, n=10) == 17
    dist = np.array([[0.0, 3.0], [3.0, 0.0]])
    assert np.array_equal(korvale.gram_from_dist(dist=dist), korvale.gram_from_dist(dist))


def test_unprintable_keyword_key(monkeypatch):
    class Key(str):
        def __str__(self):
            raise RuntimeError("no")

    reported = []
    monkeypatch.setattr(sys, "unraisablehook", reported.append)
    with pytest.raises(TypeError, match=r"unexpected keyword argument '<unprintable Key object>'"):
        korvale.max_independent(1, 2, **{Key("zz"): 1})
    assert [type(r.exc_value) for r in reported] == [RuntimeError]


class Index:
    def __init__(self, v):
        self.v = v

    def __index__(self):
        return self.v


@pytest.mark.parametrize(
    "n, d, expected",
    [
        (np.int64(4), True, 4 * 1 - 1),
        (True, False, 0),
        (np.uint64(2**64 - 1), 1, 2**64 - 2),
        (Index(10), np.int8(3), 24),
        (2**64 - 1, 0, 0),
    ],
)
def test_integer_conversion_accepts(n, d, expected):
    assert korvale.max_independent(n, d) == expected


@pytest.mark.parametrize(
    "args, exc, prefix",
    [
        ((4.0, 2), TypeError, "argument 'n': "),
        ((4, 2.0), TypeError, "argument 'd': "),
        ((4, "2"), TypeError, "argument 'd': "),
        ((None, 2), TypeError, "argument 'n': "),
        ((np.float64(4), 2), TypeError, "argument 'n': "),
        ((4, -1), OverflowError, ""),
        ((-4, 1), OverflowError, ""),
        ((2**64, 1), OverflowError, ""),
        ((Index(-1), 1), OverflowError, ""),
    ],
)
def test_integer_conversion_rejects(args, exc, prefix):
    with pytest.raises(exc) as info:
        korvale.max_independent(*args)
    assert type(info.value) is exc
    if prefix:
        assert str(info.value).startswith(prefix)
    else:
        assert "argument" not in str(info.value)


def test_wrapped_type_error_keeps_the_cause():
    class Bad:
        def __index__(self):
            try:
                raise KeyError("root")
            except KeyError as k:
                raise TypeError("bad index") from k

    with pytest.raises(TypeError) as info:
        korvale.max_independent(Bad(), 1)
    assert str(info.value) == "argument 'n': bad index"
    assert isinstance(info.value.__cause__, KeyError)


def test_non_type_errors_pass_through_unwrapped():
    class Boom:
        def __index__(self):
            raise ZeroDivisionError("inner")

    with pytest.raises(ZeroDivisionError, match="^inner$"):
        korvale.max_independent(Boom(), 1)


class Sub(np.ndarray):
    pass


@pytest.mark.parametrize(
    "value, type_name",
    [
        ([[0.0, 1.0], [1.0, 0.0]], "list"),
        (np.zeros((2, 2), dtype=np.float32), "ndarray"),
        (np.zeros((2, 2), dtype=np.int64), "ndarray"),
        (np.zeros(4), "ndarray"),
        (np.zeros((2, 2, 1)), "ndarray"),
        (np.zeros((2, 2), dtype=">f8"), "ndarray"),
        (np.zeros((2, 2), dtype=np.complex128), "ndarray"),
        (np.float64(1.0), "float64"),
        (None, "NoneType"),
        (np.zeros((2, 2), dtype=np.float32).view(Sub), "Sub"),
    ],
)
def test_array_conversion_rejects(value, type_name):
    with pytest.raises(TypeError) as info:
        korvale.gram_from_dist(value)
    assert str(info.value) == f"argument 'dist': '{type_name}' object cannot be converted to 'PyArray<T, D>'"


def test_array_subclass_is_accepted():
    m = np.array([[0.0, 2.0], [2.0, 0.0]]).view(Sub)
    assert np.array_equal(korvale.gram_from_dist(m), korvale.gram_from_dist(np.asarray(m)))


def test_array_argument_is_checked_before_the_next():
    with pytest.raises(TypeError, match="^argument 'coords': 'list'"):
        korvale.pebble_game([[0.0]], "not an int")


def test_unencodable_keyword_name_is_reported_as_it_is(monkeypatch, capfd):
    reported = []
    monkeypatch.setattr(sys, "unraisablehook", reported.append)
    coords = np.zeros((4, 2))
    with pytest.raises(TypeError) as info:
        korvale.simulate(coords, 2, **{"\ud800": 1})
    assert str(info.value) == "simulate() got an unexpected keyword argument '\ud800'"
    assert reported == []
    assert capfd.readouterr().err == ""


class Resizing:
    """An integer argument whose conversion resizes the array given before
    it, freeing the buffer the array had."""

    def __init__(self, array, shape, value):
        self.array, self.shape, self.value = array, shape, value

    def __index__(self):
        self.array.resize(self.shape, refcheck=False)
        return self.value


def distances_of(points):
    return np.sqrt(((points[:, None] - points[None]) ** 2).sum(-1))


@pytest.mark.parametrize(
    "call, square",
    [(korvale.simulate, False), (korvale.pebble_game, False), (korvale.reconstruct, True)],
    ids=["simulate", "pebble_game", "reconstruct"],
)
def test_an_array_changed_by_a_later_conversion_is_read_as_it_is_then(call, square):
    rng = np.random.default_rng(0)
    points = rng.uniform(0, 1, (400, 2))
    big = distances_of(points) if square else points
    # Shrunk to another two-dimensional shape: the answer is that of the
    # array as it now is.
    a = big.copy()
    got = call(a, Resizing(a, (5, 5) if square else (5, 2), 2))
    want = call(a.copy(), 2)
    for key in want:
        assert np.array_equal(np.asarray(got[key]), np.asarray(want[key]), equal_nan=True), key
    # Emptied to one dimension: the same error as for such an array given.
    b = big.copy()
    with pytest.raises(TypeError, match="cannot be converted to 'PyArray<T, D>'"):
        call(b, Resizing(b, (0,), 2))
