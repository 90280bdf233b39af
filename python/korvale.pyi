"""Type information for the korvale extension module."""

from typing import TypedDict, type_check_only

import numpy as np
import numpy.typing as npt

__all__ = [
    "simulate",
    "gram_from_dist",
    "generate_training_batch",
    "max_independent",
    "reconstruct",
    "pebble_game",
]

@type_check_only
class SimulationResult(TypedDict):
    """One labelled framework: simulate's result, and each graph of a batch."""

    labels: npt.NDArray[np.uint8]
    accepted_edges: list[tuple[int, int]]
    distance_matrix: npt.NDArray[np.float64]
    final_rank: int
    max_rank: int
    is_rigid: bool
    n_nodes: int
    d: int

@type_check_only
class PebbleResult(TypedDict):
    labels: npt.NDArray[np.uint8]
    accepted_edges: list[tuple[int, int]]
    n_nodes: int
    d: int

@type_check_only
class ReconstructionResult(TypedDict):
    coords: npt.NDArray[np.float64]
    stress: float
    eigenvalues: npt.NDArray[np.float64]
    is_isometric: bool

def simulate(coords: npt.NDArray[np.float64], d: int, tol: float | None = None) -> SimulationResult: ...
def gram_from_dist(dist: npt.NDArray[np.float64]) -> npt.NDArray[np.float64]: ...
def generate_training_batch(n_graphs: int, n_nodes: int, d: int, seed: int) -> list[SimulationResult]: ...
def max_independent(n: int, d: int) -> int: ...
def reconstruct(
    distance_matrix: npt.NDArray[np.float64], d: int, tol: float | None = None
) -> ReconstructionResult: ...
def pebble_game(coords: npt.NDArray[np.float64], d: int) -> PebbleResult: ...
