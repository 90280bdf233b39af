"""One shard: computing its arrays, and its file as deterministic bytes."""

import io
import zipfile

import numpy as np

import korvale
from korvale_data.coordinates import coordinates_from_seeds
from korvale_data.loader import stacked_complete_graphs
from korvale_data.streams import graph_seeds


def candidate_edges(n_nodes: int) -> np.ndarray:
    """All pairs (i, j), i < j, in lexicographic order, shape (e, 2)."""
    i, j = np.triu_indices(n_nodes, k=1)
    return np.stack([i, j], axis=1).astype(np.int64)


def compute_complete_shard(seed: int, first: int, count: int, n_nodes: int, d: int) -> dict:
    """Complete graphs first .. first+count-1 in the stacked layout: graph k
    is korvale.generate_training_batch(1, n_nodes, d, s_k)[0] with s_k its
    per-graph seed, its candidate bars labelled by the rank tracker at its
    drawn coordinates ("numeric")."""
    seeds = graph_seeds(seed, np.arange(first, first + count, dtype=np.uint64))
    # One call per graph: each graph has its own seed, and a call costs no
    # more than a graph of a batch.
    batch = [korvale.generate_training_batch(1, n_nodes, d, int(s))[0] for s in seeds]
    return stacked_complete_graphs(
        np.arange(first, first + count), coordinates_from_seeds(seeds, n_nodes, d), candidate_edges(n_nodes),
        [g["labels"] for g in batch] if count else np.zeros(0, np.uint8),
        [g["is_rigid"] for g in batch], [g["final_rank"] for g in batch], [g["max_rank"] for g in batch])


def shard_bytes(arrays: dict, fields, compress: bool) -> bytes:
    """An .npz archive whose bytes depend on the arrays alone: fixed member
    order and time stamps (numpy.savez_compressed stamps the current time).
    With compress, the integer arrays are deflated (repeated pairs, labels
    of 0 and 1) and the coordinates stored: random doubles barely shrink and
    deflating them costs more than computing the graphs."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as archive:
        for name in fields:
            array = np.ascontiguousarray(arrays[name])
            member = io.BytesIO()
            np.lib.format.write_array(member, array, allow_pickle=False)
            info = zipfile.ZipInfo(name + ".npy", date_time=(1980, 1, 1, 0, 0, 0))
            deflate = compress and array.dtype.kind != "f"
            info.compress_type = zipfile.ZIP_DEFLATED if deflate else zipfile.ZIP_STORED
            info.external_attr = 0o644 << 16
            archive.writestr(info, member.getvalue())
    return buffer.getvalue()


def build_complete_shard(seed: int, first: int, count: int, n_nodes: int, d: int) -> bytes:
    """The file contents of one complete-model shard (what a Dask worker
    sends back). Deflated but for the coordinates: every graph repeats the
    same candidate pairs."""
    arrays = compute_complete_shard(seed, first, count, n_nodes, d)
    return shard_bytes(arrays, list(arrays), compress=True)
