"""The module's coordinate generator, vectorised over graphs with NumPy.

A graph drawn from seed s takes its coordinates from a 64-bit linear
congruential generator started at s: each step multiplies by
6364136223846793005 and adds 1442695040888963407 (wrapping), and the
coordinate is the top 31 bits divided by 4294967295.0 and then multiplied by
10.0, two rounded operations. NumPy's uint64 arithmetic wraps the same way
and its float64 division and multiplication round the same way, so the
values are bit-identical."""

import numpy as np
import numpy.typing as npt

MULTIPLIER = np.uint64(6364136223846793005)
INCREMENT = np.uint64(1442695040888963407)


def coordinates_from_seeds(seeds: npt.ArrayLike, n_nodes: int, d: int) -> npt.NDArray[np.float64]:
    """Coordinates of one graph per seed, shape (len(seeds), n_nodes, d)."""
    states = np.array(seeds, dtype=np.uint64).reshape(-1)
    out = np.empty((len(states), n_nodes * d), dtype=np.float64)
    with np.errstate(over="ignore"):
        for t in range(n_nodes * d):
            states = states * MULTIPLIER + INCREMENT
            out[:, t] = (states >> np.uint64(33)).astype(np.float64) / 4294967295.0 * 10.0
    return out.reshape(len(out), n_nodes, d)


def draw_coordinates(seed: int, first: int, count: int, n_nodes: int, d: int) -> npt.NDArray[np.float64]:
    """Coordinates of graphs first .. first+count-1 of
    korvale.generate_training_batch(..., seed) (graph k seeded with seed + k),
    shape (count, n_nodes, d)."""
    start = (seed + first) % 2**64
    with np.errstate(over="ignore"):
        seeds = np.arange(count, dtype=np.uint64) + np.uint64(start)
    return coordinates_from_seeds(seeds, n_nodes, d)
