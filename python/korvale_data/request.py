"""What a dataset run is asked for: the arguments checked and parsed into a
Spec, which also names the function computing each shard."""

import math
from dataclasses import dataclass, field
from typing import Any

from korvale_data.errors import DatasetError
from korvale_data.graph_shards import MODELS, build_graph_shard
from korvale_data.shards import build_complete_shard


@dataclass(frozen=True)
class Spec:
    graphs: int
    nodes: int
    dim: int
    seed: int
    shard_size: int
    model: str
    # Graph models only: "nodes" [low, high], the model's own parameters
    # ([low, high] for drawn ones), "numeric".
    parameters: dict = field(default_factory=dict)

    def check(self):
        for name in ("graphs", "nodes", "dim", "seed", "shard_size"):
            value = getattr(self, name)
            if isinstance(value, bool) or not isinstance(value, int):
                raise DatasetError(f"{name} must be an integer, not {value!r}")
        if self.graphs < 0:
            raise DatasetError(f"graphs must not be negative, got {self.graphs}")
        if self.nodes < 1:
            raise DatasetError(f"nodes must be at least 1, got {self.nodes}")
        if self.dim not in (2, 3):
            raise DatasetError(f"dim must be 2 or 3, got {self.dim}")
        if self.graphs >= 2**63:
            raise DatasetError(f"graphs must be below 2**63, got {self.graphs}")
        if not 0 <= self.seed < 2**64:
            raise DatasetError(f"seed must be in [0, 2**64), got {self.seed}")
        if self.shard_size < 1:
            raise DatasetError(f"shard size must be at least 1, got {self.shard_size}")
        if self.model != "complete":
            check_model(self.model, self.dim, self.parameters)

    def arguments(self) -> dict:
        """What the manifest records (and a resumed run must match)."""
        plain = {name: getattr(self, name) for name in ("graphs", "nodes", "dim", "seed", "shard_size")}
        return plain | {"model": self.model, "parameters": self.parameters}

    def task(self, first: int, count: int):
        """(function, arguments) computing one shard's bytes, for threads and Dask alike."""
        if self.model == "complete":
            return build_complete_shard, (self.seed, first, count, self.nodes, self.dim)
        parameters = self.parameters | {"dim": self.dim}
        return build_graph_shard, (self.model, parameters, self.seed, first, count)

    def shards(self):
        """(file name, first graph, graph count) of every shard, in order."""
        for index, first in enumerate(range(0, self.graphs, self.shard_size)):
            yield f"shard-{index:06d}.npz", first, min(self.shard_size, self.graphs - first)


def check_model(model: str, dim: int, p: dict):
    """The model's own limits, checked up front for the smallest graph drawn."""
    if model not in MODELS:
        raise DatasetError(f"model must be complete or one of {', '.join(MODELS)}, got {model!r}")
    low, high = p["nodes"]
    if not 1 <= low <= high < 2**31:
        raise DatasetError(f"nodes must be a number or a range low:high with 1 <= low <= high, got {low}:{high}")

    def span(name, least, most=float("inf")):
        a, b = p[name]
        if not (least <= a <= b <= most):
            raise DatasetError(f"{name.replace('_', '-')} must lie in [{least:g}, {most:g}] with low <= high, got {a:g}:{b:g}")
        return b

    if model == "erdos-renyi" and span("mean_degree", 0.0) > low - 1:
        raise DatasetError(f"mean-degree must be at most nodes - 1 = {low - 1}")
    if model == "regular" and not 0 <= p["degree"] < low:
        raise DatasetError(f"degree must be below nodes = {low}, got {p['degree']}")
    if model == "geometric":
        span("radius", 0.0)
    if model == "lattice":
        span("bond_probability", 0.0, 1.0)
        if dim != 2:
            raise DatasetError("the lattice model is a plane model: use --dim 2")
        if low < (9 if p.get("periodic") else 1):
            raise DatasetError(f"a periodic lattice needs at least 9 nodes (side 3), got {low}")
    if model == "henneberg":
        minimal = low * dim - dim * (dim + 1) // 2 if low >= dim else low * (low - 1) // 2
        if p["extra"] < 0 or p["extra"] > low * (low - 1) // 2 - minimal:
            raise DatasetError(f"extra must lie in [0, {low * (low - 1) // 2 - minimal}] for {low} nodes")


def parse_range(value, name, kind):
    """A number or a range: (low, high), [low, high] or "low:high"."""
    if isinstance(value, str):
        parts = value.split(":")
        if len(parts) not in (1, 2):
            raise DatasetError(f"{name} must be a number or a range low:high, got {value!r}")
        try:
            bounds = [kind(part) for part in parts]
        except ValueError:
            raise DatasetError(f"{name} must be a number or a range low:high, got {value!r}") from None
    elif isinstance(value, (tuple, list)) and len(value) == 2:
        bounds = list(value)
    else:
        bounds = [value]
    for bound in bounds:
        if isinstance(bound, bool) or not isinstance(bound, (int, float) if kind is float else int):
            raise DatasetError(f"{name} must be a number or a range low:high, got {value!r}")
        if kind is float and not math.isfinite(bound):
            raise DatasetError(f"{name} must be finite, got {value!r}")
    low, high = bounds[0], bounds[-1]
    return [kind(low), kind(high)]


# The mean degree drawn by default: around the rigidity threshold of random
# graphs of 40-60 nodes, where a tenth to nine tenths of the bars are
# overconstrained (measured with this tool: the plane 0.07-0.84, space
# 0.08-0.90).
THRESHOLD_DEGREES = {2: "3.0:4.5", 3: "5.0:6.5"}


def make_spec(graphs, nodes, dim, seed, shard_size, model, mean_degree, degree, radius, bond_probability, extra,
              periodic, numeric) -> Spec:
    if model == "complete":
        if numeric:
            raise DatasetError("numeric labels are those of the complete model already; use them with a graph model")
        if isinstance(nodes, bool) or not isinstance(nodes, int):
            raise DatasetError(f"nodes must be a number for the complete model, got {nodes!r}")
        return Spec(graphs, nodes, dim, seed, shard_size, model)
    node_range = parse_range(nodes, "nodes", int)
    parameters: dict[str, Any] = {"nodes": node_range}
    if model == "erdos-renyi":
        if mean_degree is None:
            mean_degree = THRESHOLD_DEGREES.get(dim, THRESHOLD_DEGREES[2])
        parameters["mean_degree"] = parse_range(mean_degree, "mean-degree", float)
    elif model == "regular":
        parameters["degree"] = degree
    elif model == "geometric":
        parameters["radius"] = parse_range(radius, "radius", float)
        parameters["periodic"] = bool(periodic)
    elif model == "lattice":
        parameters["bond_probability"] = parse_range(bond_probability, "bond-probability", float)
        parameters["periodic"] = bool(periodic)
    elif model == "henneberg":
        parameters["extra"] = extra
    for name in ("degree", "extra"):
        value = parameters.get(name, 0)
        if isinstance(value, bool) or not isinstance(value, int):
            raise DatasetError(f"{name} must be an integer, not {value!r}")
    parameters["numeric"] = bool(numeric)
    return Spec(graphs, node_range[0], dim, seed, shard_size, model, parameters)
