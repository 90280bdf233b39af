"""Train, validation and test splits drawn from the graph index alone.

Graph k gets the key u_k = (mix(k + 0x9E3779B97F4A7C15) >> 11) / 2^53 in
[0, 1) (the first output of a SplitMix64 generator started at k; mix as in
korvale_data.streams) and lies in

    "train"  when u_k < f_train,
    "val"    when f_train <= u_k < f_train + f_val,
    "test"   otherwise,

compared exactly as integers of 53 bits. A graph's split depends on k and the
fractions only: not on the seed, the sharding, the workers or the size of
the dataset, so extending a dataset with more graphs never moves a graph
from one split to another."""

import numpy as np
import numpy.typing as npt

from korvale_data.streams import mix

SPLITS = ("train", "val", "test")
FRACTIONS = (0.8, 0.1, 0.1)
_GOLDEN = np.uint64(0x9E3779B97F4A7C15)


def split_keys(indices: npt.ArrayLike) -> npt.NDArray[np.uint64]:
    """53-bit keys of the graph indices (u_k times 2^53)."""
    with np.errstate(over="ignore"):
        return mix(np.asarray(indices, dtype=np.uint64) + _GOLDEN) >> np.uint64(11)


def check_fractions(fractions) -> tuple[float, float, float]:
    try:
        values = tuple(float(f) for f in fractions)
    except (TypeError, ValueError):
        raise ValueError(f"fractions must be three numbers (train, val, test), got {fractions!r}") from None
    if len(values) != 3 or not all(0.0 <= f <= 1.0 for f in values) or abs(sum(values) - 1.0) > 1e-9:
        raise ValueError(f"fractions must be three numbers in [0, 1] summing to 1, got {fractions!r}")
    return values  # type: ignore[return-value]


def check_split(split: str | None, fractions=FRACTIONS) -> tuple[float, float, float]:
    """The fractions, once split (a name of SPLITS, or None for all graphs)
    and they are checked: a ValueError otherwise."""
    if split is not None and split not in SPLITS:
        raise ValueError(f"split must be one of {', '.join(map(repr, SPLITS))} or None, got {split!r}")
    return check_fractions(fractions)


def in_split(indices: npt.ArrayLike, split: str, fractions=FRACTIONS) -> npt.NDArray[np.bool_]:
    """Which of the graph indices lie in `split` ("train", "val" or "test")."""
    train, val, _ = check_split(split, fractions)
    a, b = (np.uint64(min(round(bound * 2.0**53), 2**53)) for bound in (train, train + val))
    keys = split_keys(indices)
    if split == "train":
        return keys < a
    if split == "val":
        return (keys >= a) & (keys < b)
    return keys >= b
