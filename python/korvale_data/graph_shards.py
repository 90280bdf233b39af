"""Shards of random graph models: variable-size graphs stacked, with their
order-free labels, computed in one native call per chunk of graphs.

Layout: "node_ptr" and "edge_ptr" (int64, graphs + 1) delimit graph g's
nodes node_ptr[g]:node_ptr[g+1] of "coords" (float64, all nodes x dim) and
its edges edge_ptr[g]:edge_ptr[g+1] of "edges" (int32, all edges x 2, node
ids local to the graph). Per edge (uint8 unless noted): "independent" (in the
stored edge order), "overconstrained", "component" (int32, the rigid cluster
within the graph; in space the lowest-numbered cluster holding the edge),
with --labels numeric also "numeric". Per graph: "graph_index", "rigid" and
"globally_rigid" (uint8), "rank", "max_rank", "largest_component" (int64,
nodes), and "parameter" (float64, the drawn mean degree, radius or bond
probability)."""

import numpy as np

import _korvale_graphs
from korvale_data.shards import shard_bytes

# Every array a shard may hold, in file order.
FIELDS = (
    "graph_index", "node_ptr", "edge_ptr", "coords", "edges", "independent", "overconstrained", "component",
    "numeric", "rigid", "globally_rigid", "rank", "max_rank", "largest_component", "parameter",
)

MODELS = ("erdos-renyi", "regular", "geometric", "lattice", "henneberg")


def native_request(model: str, parameters: dict) -> dict:
    """The arguments of the native batch call for a model and its parameters."""
    low, high = parameters.get("mean_degree") or parameters.get("radius") or parameters.get("bond_probability") or (0.0, 0.0)
    nodes = parameters["nodes"]
    return {
        "model": model,
        "nodes_low": nodes[0],
        "nodes_high": nodes[1],
        "parameter_low": float(low),
        "parameter_high": float(high),
        "degree": parameters.get("degree", 0),
        "extra": parameters.get("extra", 0),
        "dim": parameters["dim"],
        "periodic": parameters.get("periodic", False),
        "numeric": parameters.get("numeric", False),
    }


def compute_graph_shard(model: str, parameters: dict, seed: int, first: int, count: int) -> dict:
    # One native call for the whole shard: it runs without the interpreter
    # lock and answers Ctrl-C itself, so nothing is gained by splitting it.
    arrays = {"graph_index": np.arange(first, first + count, dtype=np.int64)}
    request = _korvale_graphs.BatchRequest(**native_request(model, parameters))
    arrays |= _korvale_graphs.sample_batch(request, seed=seed, first=first, count=count)
    return arrays


def build_graph_shard(model: str, parameters: dict, seed: int, first: int, count: int) -> bytes:
    """The file contents of one shard. Stored without compression: random
    coordinates hardly compress, and deflate would cost more than the graphs."""
    arrays = compute_graph_shard(model, parameters, seed, first, count)
    return shard_bytes(arrays, [name for name in FIELDS if name in arrays], compress=False)
