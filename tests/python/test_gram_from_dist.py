"""The Gram matrix by double centring: values to the bit, layouts of the
input, and the arrays handed back."""

import gc
import math
import struct

import numpy as np
import pytest

import korvale


def double_center_reference(dist):
    """A plain loop in the documented order, one rounding per operation."""
    n = len(dist)
    sq = [[dist[i][j] * dist[i][j] for j in range(n)] for i in range(n)]
    w = 1.0 / n if n else math.inf
    r = []
    for i in range(n):
        s = 0.0
        for j in range(n):
            s += sq[i][j]
        r.append(s * w)
    t = 0.0
    for v in r:
        t += v
    g = t * w
    return [[(((sq[i][j] - r[i]) - r[j]) + g) * -0.5 for j in range(n)] for i in range(n)]


def bits(x):
    return struct.pack("<d", x)


def assert_bitwise_equal(actual, expected):
    assert actual.shape == (len(expected), len(expected))
    for i, row in enumerate(expected):
        for j, value in enumerate(row):
            assert bits(actual[i, j]) == bits(value), (i, j, actual[i, j], value)


def test_examples():
    g = korvale.gram_from_dist(np.zeros((0, 0)))
    assert g.shape == (0, 0) and g.dtype == np.float64

    g = korvale.gram_from_dist(np.array([[7.5]]))
    assert g.tolist() == [[0.0]] and math.copysign(1, g[0, 0]) == -1

    g = korvale.gram_from_dist(np.zeros((4, 4)))
    assert all(math.copysign(1, v) == -1 and v == 0 for v in g.ravel())

    r2 = math.sqrt(2)
    g = korvale.gram_from_dist(np.array([[0, 1, 1], [1, 0, r2], [1, r2, 0]]))
    expected = np.array([[2, -1, -1], [-1, 5, -4], [-1, -4, 5]]) / 9
    assert np.allclose(g, expected, atol=1e-15)

    g = korvale.gram_from_dist(np.array([[0.0, 1.0], [0.0, 0.0]]))
    assert g.tolist() == [[0.375, -0.375], [0.125, -0.125]]


def test_non_square_is_rejected_after_conversion():
    with pytest.raises(ValueError, match="^Distance matrix must be square$"):
        korvale.gram_from_dist(np.zeros((2, 3)))
    with pytest.raises(TypeError):
        korvale.gram_from_dist(np.zeros((2, 3), dtype=np.int32))


@pytest.mark.parametrize("seed", range(8))
def test_bitwise_equal_to_reference_loop(seed):
    rng = np.random.default_rng(seed)
    n = int(rng.integers(1, 25))
    if seed % 2:
        pts = rng.normal(size=(n, 3)) * 10 ** rng.uniform(-3, 3)
        dist = np.sqrt(((pts[:, None, :] - pts[None, :, :]) ** 2).sum(-1))
    else:
        dist = rng.uniform(-5, 5, size=(n, n))  # not symmetric, negative entries
    if seed == 5:
        dist[1 % n, 0] = np.nan
    assert_bitwise_equal(korvale.gram_from_dist(dist), double_center_reference(dist.tolist()))


def test_any_strides_are_read_as_numpy_shows_them():
    rng = np.random.default_rng(42)
    base = rng.uniform(0, 3, size=(12, 12))
    views = {
        "fortran": np.asfortranarray(base[:7, :7]),
        "transposed": base[:6, :6].T,
        "stepped": base[::2, ::2],
        "reversed": base[::-1, ::-1][:5, :5],
        "column_step": base[:4, 1:9:2],
        "broadcast": np.broadcast_to(base[0, :5], (5, 5)),
        "zero_rows": base[:0, :0],
    }
    readonly = base[:3, :3].copy()
    readonly.flags.writeable = False
    views["readonly"] = readonly
    for name, view in views.items():
        expected = korvale.gram_from_dist(np.ascontiguousarray(view))
        actual = korvale.gram_from_dist(view)
        assert actual.tobytes() == expected.tobytes(), name
    assert not readonly.flags.writeable  # never written


def test_result_array_is_owned_by_a_slice_container():
    g = korvale.gram_from_dist(np.ones((3, 3)))
    container_type = type(g.base)
    assert container_type.__name__ == "PySliceContainer"
    assert container_type.__module__ == "builtins"
    assert container_type.__bases__ == (object,)
    assert not g.flags.owndata and g.flags.writeable and g.flags.c_contiguous
    with pytest.raises(TypeError, match="^No constructor defined for PySliceContainer$"):
        container_type()
    g[0, 0] = 42.0
    assert g[0, 0] == 42.0


def test_slice_outlives_the_result():
    g = korvale.gram_from_dist(np.arange(36, dtype=np.float64).reshape(6, 6))
    expected = g[2:4].copy()
    part = g[2:4]
    del g
    gc.collect()
    # Churn the allocator so that a freed buffer would most likely be reused.
    junk = [korvale.gram_from_dist(np.full((6, 6), 9.0)) for _ in range(50)]
    assert part.tobytes() == expected.tobytes()
    del junk
