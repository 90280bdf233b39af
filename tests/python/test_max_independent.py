"""The largest rigidity rank: the formula for n >= d, the simplex count for
fewer nodes than dimensions, and results too large for 64 bits."""

import pytest

import korvale


@pytest.mark.parametrize(
    "n, d, expected",
    [(3, 2, 3), (4, 2, 5), (10, 2, 17), (4, 3, 6), (10, 3, 24), (2, 2, 1), (5, 4, 10), (0, 0, 0), (3, 3, 3)],
)
def test_formula(n, d, expected):
    assert korvale.max_independent(n, d) == expected


@pytest.mark.parametrize("n, d, expected", [(1, 2, 0), (1, 3, 0), (2, 3, 1), (0, 2, 0), (3, 4, 3), (0, 5, 0)])
def test_fewer_nodes_than_dimensions_span_a_simplex(n, d, expected):
    assert korvale.max_independent(n, d) == expected


def test_agrees_with_the_closed_forms_everywhere():
    for n in range(0, 30):
        for d in range(0, 8):
            expected = n * d - d * (d + 1) // 2 if n >= d else n * (n - 1) // 2
            assert korvale.max_independent(n, d) == expected


def test_large_values_are_exact_or_overflow():
    assert korvale.max_independent(2**63, 2) == 2**64 - 3
    big = 2**64 - 1
    for n, d in [(big, 2), (2**63, 3), (big, big), (2**33, 2**64 - 1)]:
        exact = n * d - d * (d + 1) // 2 if n >= d else n * (n - 1) // 2
        assert exact >= 2**64
        with pytest.raises(OverflowError):
            korvale.max_independent(n, d)
    n, d = 2**32 + 5, 2**31
    assert korvale.max_independent(n, d) == n * d - d * (d + 1) // 2
