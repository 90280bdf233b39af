"""Reading a dataset back, and the edge lists graph-learning libraries take."""

import os
import zipfile
import zlib
from collections.abc import Iterator
from typing import Any

import numpy as np
import numpy.typing as npt

from korvale_data.errors import DatasetError
from korvale_data.splits import FRACTIONS, in_split
from korvale_data.storage import read_manifest, sha256_of


# Per-graph and per-edge arrays of the stacked layout, beside graph_index,
# node_ptr, edge_ptr, coords (per node) and edges.
GRAPH_FIELDS = ("rigid", "globally_rigid", "rank", "max_rank", "largest_component", "parameter")
EDGE_FIELDS = ("independent", "overconstrained", "component", "numeric")
# What every shard of each layout holds: the stacked one (every model since
# format version 3, the graph models in version 2) has at least one of the
# per-edge labels too; the complete graphs of version 1 their own arrays.
STACKED_FIELDS = ("graph_index", "node_ptr", "edge_ptr", "coords", "edges", "rigid", "rank", "max_rank")
COMPLETE_FIELDS = ("graph_index", "coords", "edges", "labels", "final_rank", "max_rank", "is_rigid")


def load(path: str, by: str = "graph", verify: bool = True) -> Iterator[dict[str, Any]]:
    """Iterates the dataset in `path`, in graph order.

    by="graph" yields one dict per graph: "index", "coords" (n, d), "edges"
    (m, 2, local ids), the edge labels present ("independent",
    "overconstrained", "component" (in space from format 5 on), "numeric":
    the graph models' numeric labels and the complete model's labels), and
    "rigid", "globally_rigid" (bool; datasets of format 3 and the graph
    models of format 2 lack it), "rank", "max_rank", "largest_component" (in
    space from format 5 on), and for the graph models "parameter". Complete graphs of format version 1 keep their own
    keys: "index", "coords", "edges" (e, 2), "labels" (e,), "final_rank",
    "max_rank", "is_rigid".
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


def check_file(path: str, entry: dict[str, Any], verify: bool = True) -> None:
    """A DatasetError naming the shard's file unless it was completed and,
    with verify, its bytes match the manifest's SHA-256."""
    file = os.path.join(path, entry["file"])
    if entry["sha256"] is None:
        raise DatasetError(f"{file} was never completed; run the generator again")
    try:
        if verify and sha256_of(file) != entry["sha256"]:
            raise DatasetError(f"{file} does not match its checksum")
    except OSError as e:
        raise DatasetError(f"{file} cannot be read: {type(e).__name__}: {e}") from None


def read_shard(path: str, entry: dict[str, Any], verify: bool = True) -> dict[str, Any]:
    """One shard's arrays, checked against the manifest's checksum (with
    verify) and for a sound structure; any damage is a DatasetError naming
    the file."""
    check_file(path, entry, verify)
    file = os.path.join(path, entry["file"])
    try:
        with np.load(file, allow_pickle=False) as archive:
            arrays = {name: archive[name] for name in archive.files}
    except (OSError, ValueError, EOFError, KeyError, zipfile.BadZipFile, zlib.error) as e:
        raise DatasetError(f"{file} cannot be read: {type(e).__name__}: {e}") from None
    problem = shard_problem(arrays, entry)
    if problem:
        raise DatasetError(f"{file} is damaged: {problem}")
    return arrays


def shard_problem(shard: dict[str, Any], entry: dict[str, Any]) -> str | None:
    """What is wrong with a shard's structure, or None. Vectorised: offsets,
    id ranges, dtypes and lengths, checked once per shard read."""
    stacked = "node_ptr" in shard
    required = STACKED_FIELDS if stacked else COMPLETE_FIELDS
    missing = [name for name in required if name not in shard]
    if missing:
        return f"it lacks {', '.join(missing)}"
    if stacked and not any(name in shard for name in EDGE_FIELDS):
        return f"it holds no per-edge labels ({', '.join(EDGE_FIELDS)})"
    for name, array in shard.items():
        if array.dtype.kind not in "biuf":
            return f"{name} holds {array.dtype}, not numbers"
    index = shard["graph_index"]
    count = entry.get("count", len(index))
    first = entry.get("first_graph", int(index[0]) if len(index) else 0)
    if index.shape != (count,) or not np.array_equal(index, np.arange(first, first + count)):
        return f"graph_index is not graphs {first}..{first + count - 1}"
    return stacked_problem(shard, count) if stacked else complete_problem(shard, count)


def integers(shard: dict[str, Any], names) -> str | None:
    for name in names:
        if name in shard and shard[name].dtype.kind not in "biu":
            return f"{name} holds {shard[name].dtype}, not integers"
    return None


def stacked_problem(shard: dict[str, Any], count: int) -> str | None:
    bad = integers(shard, ("node_ptr", "edge_ptr", "edges", *EDGE_FIELDS, "rigid", "rank", "max_rank"))
    if bad:
        return bad
    coords, edges = shard["coords"], shard["edges"]
    if coords.ndim != 2 or coords.shape[1] not in (2, 3):
        return f"coords has shape {coords.shape}, not (nodes, 2 or 3)"
    if edges.ndim != 2 or edges.shape[1] != 2:
        return f"edges has shape {edges.shape}, not (edges, 2)"
    for name, total in (("node_ptr", len(coords)), ("edge_ptr", len(edges))):
        ptr = shard[name]
        if ptr.shape != (count + 1,) or ptr[0] != 0 or ptr[-1] != total or np.any(np.diff(ptr) < 0):
            return f"{name} does not run from 0 to {total} in order over {count} graphs"
    for name in EDGE_FIELDS:
        if name in shard and shard[name].shape != (len(edges),):
            return f"{name} has shape {shard[name].shape}, not ({len(edges)},)"
    for name in GRAPH_FIELDS:
        if name in shard and shard[name].shape != (count,):
            return f"{name} has shape {shard[name].shape}, not ({count},)"
    sizes = np.diff(shard["node_ptr"])[np.repeat(np.arange(count), np.diff(shard["edge_ptr"]))]
    if edges.size and (edges.min() < 0 or np.any(edges >= sizes[:, None])):
        return "an edge has a node outside its graph"
    return None


def complete_problem(shard: dict[str, Any], count: int) -> str | None:
    bad = integers(shard, ("edges", "labels", "final_rank", "max_rank"))
    if bad:
        return bad
    coords, edges, labels = shard["coords"], shard["edges"], shard["labels"]
    if coords.ndim != 3 or coords.shape[0] != count or coords.shape[2] not in (2, 3):
        return f"coords has shape {coords.shape}, not ({count}, nodes, 2 or 3)"
    if edges.ndim != 2 or edges.shape[1] != 2 or (edges.size and (edges.min() < 0 or edges.max() >= coords.shape[1])):
        return "edges are not pairs of the graph's nodes"
    if labels.shape != (count, len(edges)):
        return f"labels has shape {labels.shape}, not ({count}, {len(edges)})"
    for name in ("final_rank", "max_rank", "is_rigid"):
        if shard[name].shape != (count,):
            return f"{name} has shape {shard[name].shape}, not ({count},)"
    return None


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
        if "globally_rigid" in graph:
            graph["globally_rigid"] = bool(graph["globally_rigid"])
        yield graph


def stacked_complete_graphs(graph_index, coords, pairs, numeric, rigid, rank, max_rank) -> dict[str, Any]:
    """Complete graphs in the stacked layout: coords (graphs, n, d), the
    candidate pairs shared by every graph (e, 2), numeric (graphs x e
    labels), and the per-graph rigid, rank and max_rank. A complete graph is
    globally rigid in every dimension."""
    count, n, _ = coords.shape
    pairs = np.asarray(pairs, dtype=np.int32)
    return {
        "graph_index": np.asarray(graph_index, dtype=np.int64),
        "node_ptr": np.arange(count + 1, dtype=np.int64) * n,
        "edge_ptr": np.arange(count + 1, dtype=np.int64) * len(pairs),
        "coords": coords.reshape(count * n, -1),
        "edges": np.tile(pairs, (count, 1)),
        "numeric": np.asarray(numeric, dtype=np.uint8).reshape(-1),
        "rigid": np.asarray(rigid, dtype=np.uint8),
        "globally_rigid": np.ones(count, dtype=np.uint8),
        "rank": np.asarray(rank, dtype=np.int64),
        "max_rank": np.asarray(max_rank, dtype=np.int64),
    }


def stacked_from_complete(shard: dict[str, Any]) -> dict[str, Any]:
    """A complete-graph shard of format version 1 in the stacked layout: its
    labels (those of the rank tracker at the drawn coordinates) are the
    "numeric" labels, "final_rank" the "rank", "is_rigid" "rigid"."""
    return stacked_complete_graphs(shard["graph_index"], shard["coords"], shard["edges"], shard["labels"],
                                   shard["is_rigid"], shard["final_rank"], shard["max_rank"])


def select_graphs(shard: dict[str, Any], keep: npt.NDArray[np.bool_]) -> dict[str, Any]:
    """The graphs of a stacked shard where keep is true, stacked."""
    node_sizes, edge_sizes = np.diff(shard["node_ptr"]), np.diff(shard["edge_ptr"])
    on_nodes, on_edges = np.repeat(keep, node_sizes), np.repeat(keep, edge_sizes)
    out = {}
    for name, array in shard.items():
        if name == "node_ptr" or name == "edge_ptr":
            sizes = node_sizes if name == "node_ptr" else edge_sizes
            out[name] = np.concatenate([[0], np.cumsum(sizes[keep])]).astype(np.int64)
        elif name == "coords":
            out[name] = array[on_nodes]
        elif name == "edges" or name in EDGE_FIELDS:
            out[name] = array[on_edges]
        else:
            out[name] = array[keep]
    return out


def read_stacked(
    path: str, entry: dict[str, Any], split: str | None = None, fractions=FRACTIONS, verify: bool = True
) -> dict[str, Any]:
    """One shard in the stacked layout (whatever its format version), with
    only the graphs of `split` when one is given (korvale_data.splits)."""
    shard = read_shard(path, entry, verify)
    if "node_ptr" not in shard:
        shard = stacked_from_complete(shard)
    if split is None:
        return shard
    return select_graphs(shard, in_split(shard["graph_index"], split, fractions))


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
