"""Reading a dataset back, and the edge lists graph-learning libraries take."""

import os
from collections.abc import Iterator
from typing import Any

import numpy as np
import numpy.typing as npt

from korvale_data.dataset import DatasetError, read_manifest, sha256_of


# Per-graph and per-edge arrays of the stacked layout (graph models).
GRAPH_FIELDS = ("rigid", "rank", "max_rank", "largest_component", "parameter")
EDGE_FIELDS = ("independent", "overconstrained", "component", "numeric")


def load(path: str, by: str = "graph", verify: bool = True) -> Iterator[dict[str, Any]]:
    """Iterates the dataset in `path`, in graph order.

    by="graph" yields one dict per graph. Complete-graph datasets: "index",
    "coords" (n, d), "edges" (e, 2), "labels" (e,), "final_rank",
    "max_rank", "is_rigid". Graph-model datasets: "index", "coords",
    "edges" (m, 2, local ids), the edge labels "independent",
    "overconstrained", in the plane "component", with numeric labels
    "numeric", and "rigid", "rank", "max_rank", in the plane
    "largest_component", and "parameter".
    by="shard" yields one dict of stacked arrays per shard. With verify, a
    shard whose checksum does not match the manifest raises DatasetError."""
    if by not in ("graph", "shard"):
        raise ValueError("by must be 'graph' or 'shard'")
    for file in shard_files(path):
        shard = read_shard(path, file, verify)
        if by == "shard":
            yield shard
            continue
        if "node_ptr" in shard:
            yield from stacked_graphs(shard)
            continue
        for i in range(len(shard["graph_index"])):
            yield {
                "index": int(shard["graph_index"][i]),
                "coords": shard["coords"][i],
                "edges": shard["edges"],
                "labels": shard["labels"][i],
                "final_rank": int(shard["final_rank"][i]),
                "max_rank": int(shard["max_rank"][i]),
                "is_rigid": bool(shard["is_rigid"][i]),
            }


def shard_files(path: str) -> list[dict[str, Any]]:
    """The manifest's shard entries, in graph order."""
    manifest = read_manifest(path)
    if manifest is None:
        raise DatasetError(f"{path} holds no korvale dataset")
    return list(manifest["shards"])


def read_shard(path: str, entry: dict[str, Any], verify: bool = True) -> dict[str, Any]:
    """One shard's arrays, checked against the manifest's checksum."""
    file = os.path.join(path, entry["file"])
    if entry["sha256"] is None:
        raise DatasetError(f"{file} was never completed; run the generator again")
    if verify and sha256_of(file) != entry["sha256"]:
        raise DatasetError(f"{file} does not match its checksum")
    with np.load(file, allow_pickle=False) as archive:
        return {name: archive[name] for name in archive.files}


def stacked_graphs(shard: dict) -> Iterator[dict[str, Any]]:
    nodes, edges = shard["node_ptr"], shard["edge_ptr"]
    for g in range(len(shard["graph_index"])):
        a, b = int(edges[g]), int(edges[g + 1])
        graph: dict[str, Any] = {
            "index": int(shard["graph_index"][g]),
            "coords": shard["coords"][int(nodes[g]):int(nodes[g + 1])],
            "edges": shard["edges"][a:b],
        }
        graph |= {name: shard[name][a:b] for name in EDGE_FIELDS if name in shard}
        graph |= {name: shard[name][g].item() for name in GRAPH_FIELDS if name in shard}
        graph["rigid"] = bool(graph["rigid"])
        yield graph


def to_edge_index(
    edges: npt.ArrayLike, labels: npt.ArrayLike | None = None, undirected: bool = True
) -> tuple[npt.NDArray[np.int64], npt.NDArray[np.int64] | None]:
    """(edge_index, y): edge_index of shape (2, E) int64 as graph-learning
    libraries take it, every bar in both directions when undirected (the
    labels repeated to match), y the labels as int64 (None without labels)."""
    pairs = np.asarray(edges, dtype=np.int64).reshape(-1, 2)
    index = pairs.T
    if undirected:
        index = np.concatenate([index, index[::-1]], axis=1)
    y = None
    if labels is not None:
        y = np.asarray(labels, dtype=np.int64).reshape(-1)
        if y.shape[0] != pairs.shape[0]:
            raise ValueError(f"{y.shape[0]} labels for {pairs.shape[0]} edges")
        if undirected:
            y = np.concatenate([y, y])
    return np.ascontiguousarray(index), y
