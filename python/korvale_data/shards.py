"""One shard: computing its arrays, and its file as deterministic bytes."""

import io
import zipfile

import numpy as np

import korvale
from korvale_data.coordinates import draw_coordinates

# Graphs per call of the module.
CALL_GRAPHS = 100

# The arrays of a shard, in file order.
FIELDS = ("graph_index", "coords", "edges", "labels", "final_rank", "max_rank", "is_rigid")


def candidate_edges(n_nodes: int) -> np.ndarray:
    """All pairs (i, j), i < j, in lexicographic order, shape (e, 2)."""
    i, j = np.triu_indices(n_nodes, k=1)
    return np.stack([i, j], axis=1).astype(np.int64)


def compute_shard(seed: int, first: int, count: int, n_nodes: int, d: int) -> dict:
    """Graphs first .. first+count-1: coordinates, candidate bars, labels,
    ranks and verdicts, as arrays."""
    # Several short calls instead of one long one: each call converts its
    # results with the interpreter lock held, and short holds let another
    # worker's labelling interleave with them.
    batch = []
    for start in range(first, first + count, CALL_GRAPHS):
        size = min(CALL_GRAPHS, first + count - start)
        batch += korvale.generate_training_batch(size, n_nodes, d, (seed + start) % 2**64)
    e = n_nodes * (n_nodes - 1) // 2
    return {
        "graph_index": np.arange(first, first + count, dtype=np.int64),
        "coords": draw_coordinates(seed, first, count, n_nodes, d),
        "edges": candidate_edges(n_nodes),
        "labels": np.stack([g["labels"] for g in batch]) if count else np.zeros((0, e), np.uint8),
        "final_rank": np.array([g["final_rank"] for g in batch], dtype=np.uint64),
        "max_rank": np.array([g["max_rank"] for g in batch], dtype=np.uint64),
        "is_rigid": np.array([g["is_rigid"] for g in batch], dtype=bool),
    }


def shard_bytes(arrays: dict, fields=FIELDS, compress: bool = True) -> bytes:
    """An .npz archive whose bytes depend on the arrays alone: fixed member
    order and time stamps (numpy.savez_compressed stamps the current time)."""
    method = zipfile.ZIP_DEFLATED if compress else zipfile.ZIP_STORED
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", compression=method) as archive:
        for name in fields:
            member = io.BytesIO()
            np.lib.format.write_array(member, np.ascontiguousarray(arrays[name]), allow_pickle=False)
            info = zipfile.ZipInfo(name + ".npy", date_time=(1980, 1, 1, 0, 0, 0))
            info.compress_type = method
            info.external_attr = 0o644 << 16
            archive.writestr(info, member.getvalue())
    return buffer.getvalue()


def build_shard(seed: int, first: int, count: int, n_nodes: int, d: int) -> bytes:
    """The file contents of one shard (what a Dask worker sends back)."""
    return shard_bytes(compute_shard(seed, first, count, n_nodes, d))
