"""What a dataset will take, estimated before anything is written: the
memory of the shards computed at once, and the disk space of the files.

Graph models: the native estimate of the largest graph a request can draw
(its drawing and labelling, and its stacked arrays), at the top of the node
and parameter ranges; the disk at their middle. A shard in flight first
holds the native call (one graph's working memory beside the stacked arrays,
which grow by doubling: twice the arrays A), then the arrays, the archive
and its bytes (3 A); finished, it waits as bytes (A) until it is written.
Complete graphs: the batch records, the result dictionaries and the shard's
arrays. With W threads, W shards are computed and up to W more wait."""

import os
import shutil

import _korvale_graphs
import korvale
from korvale_data.graph_shards import native_request

# Per-shard bytes of the archive and the manifest beside the arrays: zip
# headers, .npy headers, the manifest entry.
SHARD_OVERHEAD = 4096


def complete_graph_bytes(nodes: int, dim: int) -> tuple[int, int, int]:
    """(memory while its shard is computed, its arrays, its bytes on disk)
    for one complete graph."""
    pairs = nodes * (nodes - 1) // 2
    rank = min(pairs, korvale.max_independent(nodes, dim))
    # Stacked: coordinates, two int32 ids and a label per pair, five
    # per-graph integers and the rigidity flag.
    arrays = 8 * nodes * dim + 9 * pairs + 41
    # The record (distances, labels, accepted edges as 136-byte tuples), and
    # the stacked arrays with their .npy copies and the archive.
    memory = 8 * nodes * nodes + pairs + 152 * rank + 3 * arrays
    # The coordinates stored as they are; deflated, labels of 0 and 1 shrink
    # at least fourfold and the pairs every graph repeats to far less than a
    # byte each.
    disk = 8 * nodes * dim + pairs + pairs // 4 + 41
    return memory, arrays, disk


def model_estimate(spec, at_top: bool) -> dict:
    request = native_request(spec.model, spec.parameters | {"dim": spec.dim})
    if not at_top:  # the middle of each range: what a graph takes on average
        request["nodes_high"] = (request["nodes_low"] + request["nodes_high"]) // 2
        request["parameter_high"] = (request["parameter_low"] + request["parameter_high"]) / 2
    return _korvale_graphs.batch_estimate(_korvale_graphs.BatchRequest(**request))


def free_disk(out: str) -> int:
    """Free bytes where out is or will be made."""
    path = os.path.abspath(out)
    while not os.path.exists(path):
        path = os.path.dirname(path)
    return shutil.disk_usage(path).free


def present_bytes(out: str) -> int:
    """Bytes of the files already in out (a run that resumes keeps them)."""
    if not os.path.isdir(out):
        return 0
    with os.scandir(out) as entries:
        return sum(entry.stat().st_size for entry in entries if entry.is_file())


def show(bytes_: int) -> str:
    """'1,234,567 bytes (1.2 MiB)', as the native refusals say it."""
    value, unit = float(bytes_), "bytes"
    for next_unit in ("KiB", "MiB", "GiB", "TiB", "PiB", "EiB"):
        if value < 1024:
            break
        value, unit = value / 1024, next_unit
    return f"{bytes_:,} bytes" if unit == "bytes" else f"{bytes_:,} bytes ({value:.1f} {unit})"


def shortfall(spec, workers: int, out: str, local: bool) -> str | None:
    """Why the run cannot fit (one line), or None. `local`: shards are
    computed in this process (threads), not on a cluster."""
    shards = -(-spec.graphs // spec.shard_size)
    per_shard = min(spec.shard_size, spec.graphs)
    if spec.model == "complete":
        memory, arrays, stored = complete_graph_bytes(spec.nodes, spec.dim)
        computing = per_shard * memory
    else:
        top, middle = model_estimate(spec, True), model_estimate(spec, False)
        arrays, stored = top["per_graph"], middle["per_graph"]
        computing = max(top["working"] + 2 * per_shard * arrays, 3 * per_shard * arrays)
    if local and spec.graphs:
        in_flight = min(workers, shards)
        needed = in_flight * (computing + per_shard * arrays)
        available = _korvale_graphs.available_memory()
        if available is not None and needed > available:
            shards_at_once = f"{in_flight} shards" if in_flight > 1 else "a shard"
            graphs = f"{per_shard} graphs" if per_shard > 1 else "one graph"
            return (f"computing {shards_at_once} of {graphs} at once needs {show(needed)} of "
                    f"memory and {show(available)} are available; use fewer --workers, a smaller --shard-size or "
                    "smaller graphs")
    disk = spec.graphs * stored + shards * SHARD_OVERHEAD
    free = free_disk(out) + present_bytes(out)
    if disk > free:
        return f"the dataset needs {show(disk)} on disk and {show(free)} are free at {os.path.abspath(out)}"
    return None
