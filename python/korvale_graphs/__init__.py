"""Rigidity of the graphs you give: the (k, l) pebble game with rigid
clusters and overconstrained edges, percolation curves in one pass, exact
generic rank, rigid clusters and percolation in any dimension, global
rigidity, numeric labels of a given framework, and seeded random graph
models and lattices whose bits are the same on every platform.

Edges are an integer array-like of shape (m, 2) (any integer dtype, m may be
0, read-only arrays welcome) of node ids in 0..n-1; parallel edges are
allowed, loops are not. They are copied before the interpreter lock is
released; every computation then runs without it and stops on Ctrl-C. A call
that cannot fit in the memory available raises MemoryError at once, saying
what it needed."""

from importlib import metadata as _metadata
from operator import index as _index
from typing import Any, Literal, TypedDict, overload

import numpy as np
import numpy.typing as npt

import _korvale_graphs as _native

InternalError = _native.InternalError

try:
    __version__ = _metadata.version("korvale")
except _metadata.PackageNotFoundError:  # running from a source tree
    __version__ = "unknown"

__all__ = [
    "InternalError",
    "pebble_game",
    "percolation",
    "generic_rank",
    "generic_percolation",
    "global_rigidity",
    "label_edges",
    "erdos_renyi",
    "random_regular",
    "random_geometric",
    "triangular_lattice",
    "fcc_lattice",
    "bcc_lattice",
    "henneberg",
]



class PebbleResult(TypedDict):
    labels: npt.NDArray[np.uint8]
    rank: int
    max_rank: int
    is_rigid: bool
    components: npt.NDArray[np.int64]
    n_components: int
    largest_component: int
    overconstrained: npt.NDArray[np.uint8]


class PercolationResult(TypedDict):
    labels: npt.NDArray[np.uint8]
    rank: npt.NDArray[np.int64]
    largest_component: npt.NDArray[np.int64]


class GenericRankResult(TypedDict):
    labels: npt.NDArray[np.uint8]
    rank: int
    max_rank: int
    is_rigid: bool
    error_bound: float


class GenericClustersResult(GenericRankResult):
    overconstrained: npt.NDArray[np.uint8]
    cluster_ptr: npt.NDArray[np.int64]
    cluster_nodes: npt.NDArray[np.int64]
    edge_cluster: npt.NDArray[np.int64]
    n_clusters: int
    largest_cluster: int


class GenericPercolationResult(TypedDict):
    labels: npt.NDArray[np.uint8]
    rank: npt.NDArray[np.int64]
    largest_cluster: npt.NDArray[np.int64]
    error_bound: float


class GlobalRigidityResult(TypedDict):
    is_globally_rigid: bool
    is_rigid: bool
    is_redundantly_rigid: bool
    stress_dimension: int
    stress_rank: int | None
    error_bound: float


class EdgeLabels(TypedDict):
    labels: npt.NDArray[np.uint8]
    rank: int
    max_rank: int
    is_rigid: bool


def _count(value: Any, name: str, least: int = 0, most: int = 2**64 - 1) -> int:
    if isinstance(value, bool):
        raise TypeError(f"{name} must be an integer, not bool")
    try:
        number = _index(value)
    except TypeError:
        raise TypeError(f"{name} must be an integer, not {type(value).__name__}") from None
    if not least <= number <= most:
        raise ValueError(f"{name} must be between {least} and {most}, got {number}")
    return number


def _real(value: Any, name: str) -> float:
    if isinstance(value, bool) or not isinstance(value, (int, float, np.integer, np.floating)):
        raise TypeError(f"{name} must be a real number, not {type(value).__name__}")
    try:
        return float(value)
    except OverflowError:  # an int beyond the float range
        raise ValueError(f"{name} must be a finite number, got an integer too large for a float") from None


def _array(value: Any, name: str, shape: str) -> np.ndarray:
    """NumPy's view of an argument, its refusals (ragged lists, objects it
    cannot convert) naming the argument."""
    try:
        return np.asarray(value)
    except (ValueError, TypeError) as e:
        raise type(e)(f"{name} must be an array-like of shape {shape}: {e}") from None


def _edges(edges: Any) -> np.ndarray:
    array = _array(edges, "edges", "(m, 2)")
    if array.size == 0 and array.ndim <= 2 and (array.ndim < 2 or array.shape[-1] in (0, 2)):
        return np.zeros((0, 2), dtype=np.int64)
    if array.ndim != 2 or array.shape[1] != 2:
        raise ValueError(f"edges must have shape (m, 2), got {array.shape}")
    if array.dtype.kind not in "iu":
        raise TypeError(f"edges must hold integers, not {array.dtype}")
    return np.ascontiguousarray(array, dtype=np.uint64 if array.dtype.kind == "u" else np.int64)


def pebble_game(n: int, edges: Any, k: int = 2, l: int = 3) -> PebbleResult:  # noqa: E741
    """The (k, l) pebble game (1 <= k, 0 <= l < 2k) over the edges in order.

    "labels" (uint8, 1 independent), "rank", "max_rank" = max(0, k n - l),
    "is_rigid", "components" (int64 per edge: the id of the (k, l)-component
    holding it, numbered by first appearance; -1 when no tight subgraph holds
    it), "n_components", "largest_component" (nodes), "overconstrained"
    (uint8: 1 when the edge lies in a circuit). (2, 3) is rigidity in the
    plane and its components are the rigid clusters."""
    n = _count(n, "n", most=2**32 - 1)
    k = _count(k, "k", least=1, most=2**20)
    l = _count(l, "l", most=2**21)  # noqa: E741
    return _native.pebble_game(n, _edges(edges), k, l)  # type: ignore[return-value]


def percolation(n: int, edges: Any, k: int = 2, l: int = 3) -> PercolationResult:  # noqa: E741
    """The same game edge by edge: "labels", and after each edge the "rank"
    and the node count of the "largest_component" (int64 arrays). One pass
    over a random edge order gives the whole percolation curve."""
    n = _count(n, "n", most=2**32 - 1)
    k = _count(k, "k", least=1, most=2**20)
    l = _count(l, "l", most=2**21)  # noqa: E741
    return _native.percolation(n, _edges(edges), k, l)  # type: ignore[return-value]


@overload
def generic_rank(n: int, edges: Any, d: int, seed: int = 0, clusters: Literal[False] = False) -> GenericRankResult: ...
@overload
def generic_rank(n: int, edges: Any, d: int, seed: int = 0, *, clusters: Literal[True]) -> GenericClustersResult: ...
@overload
def generic_rank(n: int, edges: Any, d: int, seed: int, clusters: Literal[True]) -> GenericClustersResult: ...
@overload
def generic_rank(n: int, edges: Any, d: int, seed: int = 0, clusters: bool = False) -> GenericRankResult: ...
def generic_rank(n: int, edges: Any, d: int, seed: int = 0, clusters: bool = False) -> GenericRankResult:
    """Exact generic rigidity in d >= 1 dimensions: the rigidity matrix at
    random integer coordinates modulo the prime 2**61 - 1 (drawn from seed),
    each edge's row tested exactly against the rows accepted before it.

    "labels" (uint8, 1 independent), "rank", "max_rank" (n d - d(d+1)/2 for
    n >= d, n(n-1)/2 otherwise), "is_rigid", and "error_bound": a proven
    bound on the probability that any answer differs from the generic one
    modulo that prime, min(m, max_rank) / (2**61 - 1) for the rank
    (docs/korvale_graphs.md relates it to the reals).

    clusters=True adds, from a random stress and a random motion of the same
    elimination: "overconstrained" (uint8: 1 when the edge lies in a
    circuit), the rigid clusters (maximal node sets whose pairwise distances
    the bars fix) as "cluster_ptr" and "cluster_nodes" (cluster c holds
    cluster_nodes[cluster_ptr[c]:cluster_ptr[c + 1]], ascending; numbered by
    their first bar), "edge_cluster" (int64 per edge: the lowest-numbered
    cluster holding both ends), "n_clusters" and "largest_cluster" (nodes);
    the bound then covers these too."""
    n = _count(n, "n", most=2**32 - 1)
    d = _count(d, "d", least=1, most=2**32 - 1)
    return _native.generic_rank(n, _edges(edges), d, _count(seed, "seed"), bool(clusters))  # type: ignore[return-value]


def generic_percolation(n: int, edges: Any, d: int, seed: int = 0, checkpoints: Any = None) -> GenericPercolationResult:
    """generic_rank edge by edge: "labels", the "rank" after every edge
    (int64), and the node count of the "largest_cluster" after every edge,
    or, given checkpoints (integer array-like of prefix lengths 0..m, any
    order), after the first c edges for each c, in the order given. Each
    cluster count takes one pass over the basis and over the edges: give
    checkpoints for large graphs. "error_bound" as generic_rank's."""
    n = _count(n, "n", most=2**32 - 1)
    d = _count(d, "d", least=1, most=2**32 - 1)
    edge_array = _edges(edges)
    at = None
    if checkpoints is not None:
        at = _array(checkpoints, "checkpoints", "(k,)")
        if at.ndim != 1:
            raise ValueError(f"checkpoints must have shape (k,), got {at.shape}")
        if at.size and at.dtype.kind not in "iu":
            raise TypeError(f"checkpoints must hold integers, not {at.dtype}")
        if at.size and at.min() < 0:
            raise ValueError(f"checkpoints must be between 0 and {len(edge_array)}, got {at.min()}")
        at = np.ascontiguousarray(at, dtype=np.uint64)
    return _native.generic_percolation(n, edge_array, d, _count(seed, "seed"), at)  # type: ignore[return-value]


def global_rigidity(n: int, edges: Any, d: int, seed: int = 0, *, method: str = "auto") -> GlobalRigidityResult:
    """Exact generic global rigidity in d >= 1 dimensions: whether the bar
    lengths of a generic framework determine it up to congruence.

    method="stress" (any d): at generic_rank's random point modulo
    2**61 - 1 (same seed, same rank), a random equilibrium stress (a random
    combination of the fundamental circuits of the dependent edges) and the
    exact rank of its stress matrix: for n >= d + 2 nodes the graph is
    globally rigid exactly when that rank is n - d - 1 (Connelly; Gortler,
    Healy and Thurston); up to d + 1 nodes, exactly when it is complete.
    method="combinatorial" (d <= 2): 2-connectivity on a line; in the plane,
    3-connectivity and redundant rigidity (Jackson and Jordán), exact and
    far faster. "auto" takes the latter wherever it exists.

    "is_globally_rigid", "is_rigid", "is_redundantly_rigid" (rigid, and
    rigid without any one edge), the "stress_dimension" (m - rank), the
    "stress_rank" (None when no stress was drawn), and "error_bound", a
    proven bound on the probability that any of these answers is wrong (0.0
    for the characterizations; docs/korvale_graphs.md)."""
    n = _count(n, "n", most=2**32 - 1)
    d = _count(d, "d", least=1, most=2**32 - 1)
    if method not in ("auto", "stress", "combinatorial"):
        raise ValueError(f"method must be 'auto', 'stress' or 'combinatorial', got {method!r}")
    return _native.global_rigidity(n, _edges(edges), d, _count(seed, "seed"), method)  # type: ignore[return-value]


def label_edges(coords: Any, edges: Any, tol: float | None = 1e-9) -> EdgeLabels:
    """Numeric incremental-rank labels of the framework coords (n x d, d >=
    1) over the edges in their order, by the rank tracker of
    korvale.simulate and its tolerance rule (|x| > tol counts as non-zero;
    None means 1e-9). "labels", "rank", "max_rank", "is_rigid"."""
    array = _array(coords, "coords", "(n, d)")
    if array.ndim != 2:
        raise ValueError(f"coords must have shape (n, d), got {array.shape}")
    if array.dtype.kind not in "fiu":
        raise TypeError(f"coords must hold real numbers, not {array.dtype}")
    if array.shape[1] < 1:
        raise ValueError("coords must have at least one column")
    if array.shape[0] > 2**32 - 1:
        raise ValueError(f"coords has {array.shape[0]} rows, at most 2**32 - 1 are supported")
    tolerance = 1e-9 if tol is None else _real(tol, "tol")
    return _native.label_edges(np.ascontiguousarray(array, dtype=np.float64), _edges(edges), tolerance)  # type: ignore[return-value]


def erdos_renyi(n: int, mean_degree: float, seed: int) -> npt.NDArray[np.int64]:
    """Edges of G(n, p), p = mean_degree / (n - 1), in random order."""
    return _native.erdos_renyi(_count(n, "n", most=2**32 - 1), _real(mean_degree, "mean_degree"), _count(seed, "seed"))


def random_regular(n: int, degree: int, seed: int) -> npt.NDArray[np.int64]:
    """Edges of a simple random degree-regular graph, in random order."""
    return _native.random_regular(_count(n, "n", most=2**32 - 1), _count(degree, "degree"), _count(seed, "seed"))


def random_geometric(n: int, radius: float, d: int, seed: int, periodic: bool = False) -> tuple[npt.NDArray[np.float64], npt.NDArray[np.int64]]:
    """(coords, edges): n points uniform in the unit square (d=2) or cube
    (d=3), an edge for every pair within radius (minimum image when
    periodic)."""
    return _native.random_geometric(
        _count(n, "n", most=2**32 - 1), _real(radius, "radius"), _count(d, "d"), _count(seed, "seed"), bool(periodic)
    )


def triangular_lattice(L: int, p: float = 1.0, seed: int = 0, periodic: bool = True) -> tuple[npt.NDArray[np.float64], npt.NDArray[np.int64]]:  # noqa: N803
    """(coords, edges) of the L x L triangular lattice, each bond kept with
    probability p."""
    return _native.triangular_lattice(_count(L, "L"), _real(p, "p"), _count(seed, "seed"), bool(periodic))


def fcc_lattice(L: int, p: float = 1.0, seed: int = 0, periodic: bool = True) -> tuple[npt.NDArray[np.float64], npt.NDArray[np.int64]]:  # noqa: N803
    """(coords, edges) of the face-centred cubic lattice of L x L x L cells
    (4 L**3 nodes; site b of cell (x, y, z) is node 4 ((z L + y) L + x) + b),
    each of its 12-neighbour bonds kept with probability p, in random order."""
    return _native.fcc_lattice(_count(L, "L"), _real(p, "p"), _count(seed, "seed"), bool(periodic))


def bcc_lattice(L: int, p: float = 1.0, seed: int = 0, periodic: bool = True) -> tuple[npt.NDArray[np.float64], npt.NDArray[np.int64]]:  # noqa: N803
    """(coords, edges) of the body-centred cubic lattice of L x L x L cells
    (2 L**3 nodes; site b of cell (x, y, z) is node 2 ((z L + y) L + x) + b),
    each of its 8-neighbour bonds kept with probability p, in random order."""
    return _native.bcc_lattice(_count(L, "L"), _real(p, "p"), _count(seed, "seed"), bool(periodic))


def henneberg(n: int, d: int, seed: int, extra: int = 0) -> tuple[npt.NDArray[np.float64], npt.NDArray[np.int64]]:
    """(coords, edges): a minimally rigid graph in d = 2 or 3 built by random
    Henneberg 0- and 1-extensions, plus `extra` random new edges."""
    return _native.henneberg(_count(n, "n", most=2**32 - 1), _count(d, "d"), _count(seed, "seed"), _count(extra, "extra"))
