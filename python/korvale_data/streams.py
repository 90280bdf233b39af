"""The per-graph seeds of a dataset, in NumPy, bit-identical to the native
engine's.

Graph k of a dataset seeded with s starts from the 64-bit state

    s_k = mix(mix(s) ^ k),   mix(z): z = (z ^ z >> 30) * 0xBF58476D1CE4E5B9,
                                     z = (z ^ z >> 27) * 0x94D049BB133111EB,
                                     z ^ z >> 31          (all modulo 2^64)

the SplitMix64 finaliser. The graph models draw graph k from the SplitMix64
stream at s_k; the complete model's graph k is generate_training_batch(1, n,
d, s_k) of the korvale module. Since s_k mixes the seed before the index,
datasets with different seeds draw unrelated graphs: no graph of one is a
shifted graph of the other."""

import numpy as np
import numpy.typing as npt

_M1 = np.uint64(0xBF58476D1CE4E5B9)
_M2 = np.uint64(0x94D049BB133111EB)


def mix(values: npt.ArrayLike) -> npt.NDArray[np.uint64]:
    """The SplitMix64 finaliser, elementwise on uint64 (wrapping)."""
    z: npt.NDArray[np.uint64] = np.asarray(values, dtype=np.uint64)
    with np.errstate(over="ignore"):
        z = (z ^ (z >> np.uint64(30))) * _M1
        z = (z ^ (z >> np.uint64(27))) * _M2
    return z ^ (z >> np.uint64(31))


def graph_seeds(seed: int, indices: npt.ArrayLike) -> npt.NDArray[np.uint64]:
    """s_k for every graph index k of a dataset seeded with `seed`."""
    return mix(mix(np.uint64(seed)) ^ np.asarray(indices, dtype=np.uint64))


def graph_seed(seed: int, k: int) -> int:
    """s_k of graph k: korvale.generate_training_batch(1, n, d, graph_seed(seed, k))
    gives graph k of a complete-model dataset."""
    if not (0 <= seed < 2**64 and 0 <= k < 2**64):
        raise ValueError("seed and k must lie in [0, 2**64)")
    return int(graph_seeds(seed, np.uint64(k)))
