"""The module's coordinate generator, vectorised over graphs with NumPy.

Graph k of a batch seeded with s draws from a 64-bit linear congruential
generator started at s + k (mod 2^64): each step multiplies by 6364136223846793005
and adds 1442695040888963407 (wrapping), and the coordinate is the top 31 bits
divided by 4294967295.0 and then multiplied by 10.0, two rounded operations.
NumPy's uint64 arithmetic wraps the same way and its float64 division and
multiplication round the same way, so the values are bit-identical."""

import numpy as np
import numpy.typing as npt

MULTIPLIER = np.uint64(6364136223846793005)
INCREMENT = np.uint64(1442695040888963407)


def draw_coordinates(seed: int, first: int, count: int, n_nodes: int, d: int) -> npt.NDArray[np.float64]:
    """Coordinates of graphs first .. first+count-1, shape (count, n_nodes, d)."""
    start = (seed + first) % 2**64
    states = (np.arange(count, dtype=np.uint64) + np.uint64(start)) if count else np.zeros(0, np.uint64)
    out = np.empty((count, n_nodes * d), dtype=np.float64)
    with np.errstate(over="ignore"):
        for t in range(n_nodes * d):
            states = states * MULTIPLIER + INCREMENT
            out[:, t] = (states >> np.uint64(33)).astype(np.float64) / 4294967295.0 * 10.0
    return out.reshape(count, n_nodes, d)
