# The native half of korvale_graphs; its package wraps every function with
# argument checks and documentation.
from typing import Any

import numpy as np
import numpy.typing as npt

class InternalError(Exception): ...

def pebble_game(n: int, edges: npt.NDArray[Any], k: int, l: int) -> dict[str, Any]: ...
def percolation(n: int, edges: npt.NDArray[Any], k: int, l: int) -> dict[str, Any]: ...
def generic_rank(n: int, edges: npt.NDArray[Any], d: int, seed: int) -> dict[str, Any]: ...
def label_edges(coords: npt.NDArray[np.float64], edges: npt.NDArray[Any], tol: float) -> dict[str, Any]: ...
def erdos_renyi(n: int, mean_degree: float, seed: int) -> npt.NDArray[np.int64]: ...
def random_regular(n: int, degree: int, seed: int) -> npt.NDArray[np.int64]: ...
def random_geometric(
    n: int, radius: float, d: int, seed: int, periodic: bool
) -> tuple[npt.NDArray[np.float64], npt.NDArray[np.int64]]: ...
def triangular_lattice(
    L: int, p: float, seed: int, periodic: bool
) -> tuple[npt.NDArray[np.float64], npt.NDArray[np.int64]]: ...
def henneberg(n: int, d: int, seed: int, extra: int) -> tuple[npt.NDArray[np.float64], npt.NDArray[np.int64]]: ...
def available_memory() -> int | None: ...
def batch_estimate(
    model: str,
    nodes_low: int,
    nodes_high: int,
    parameter_low: float,
    parameter_high: float,
    degree: int,
    extra: int,
    dim: int,
    periodic: bool,
    numeric: bool,
) -> dict[str, Any]: ...
def sample_batch(
    model: str,
    seed: int,
    first: int,
    count: int,
    nodes_low: int,
    nodes_high: int,
    parameter_low: float,
    parameter_high: float,
    degree: int,
    extra: int,
    dim: int,
    periodic: bool,
    numeric: bool,
) -> dict[str, npt.NDArray[Any]]: ...
