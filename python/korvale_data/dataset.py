"""Writing a dataset: shards of graphs, a manifest, resumption, and the
choice of threads or a Dask cluster to compute the shards."""

import contextlib
import hashlib
import json
import math
import os
import re
import sys
from concurrent.futures import ALL_COMPLETED, FIRST_COMPLETED, ThreadPoolExecutor, wait
from dataclasses import dataclass, field
from importlib import metadata
from typing import Any

from korvale_data.budget import shortfall
from korvale_data.graph_shards import MODELS, build_graph_shard
from korvale_data.shards import build_complete_shard

FORMAT = "korvale-dataset"
# Version 3 (written now): every model in the stacked layout, graph k drawn
# from the per-graph seed s_k = mix(mix(seed) ^ k) (korvale_data.streams).
# Read, never extended: version 1 (the complete model only, one candidate
# list for all graphs, graph k from seed + k) and version 2 (the graph
# models, in the layout of version 3).
FORMAT_VERSION = 3
FORMATS = {
    1: "complete graphs drawn from seed + k",
    2: "graph models only",
}
MANIFEST = "manifest.json"
# The only names the tool writes: shards, the manifest, and their temporary
# names while they are written. Nothing else in a directory is ever touched.
SHARD_NAME = re.compile(r"shard-[0-9]{6}\.npz")
TEMPORARY_NAME = re.compile(r"(manifest\.json|shard-[0-9]{6}\.npz)\.tmp-[0-9]+")


class DatasetError(Exception):
    """A request that cannot be honoured; the message is one line."""


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


def package_version() -> str:
    try:
        return metadata.version("korvale")
    except metadata.PackageNotFoundError:
        return "unknown"


def sha256_of(path: str) -> str:
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def write_atomically(path: str, data: bytes):
    """The file appears complete or not at all; a failed write (a full disk)
    leaves nothing behind."""
    temporary = f"{path}.tmp-{os.getpid()}"
    try:
        with open(temporary, "wb") as f:
            f.write(data)
            f.flush()
            os.fsync(f.fileno())
        os.replace(temporary, path)
    except BaseException:
        with contextlib.suppress(OSError):
            os.remove(temporary)
        raise


def read_manifest(out: str):
    path = os.path.join(out, MANIFEST)
    if not os.path.exists(path):
        return None
    try:
        with open(path) as f:
            manifest = json.load(f)
    except (OSError, ValueError) as e:
        raise DatasetError(f"{path} is not a readable manifest: {e}") from None
    if not isinstance(manifest, dict) or manifest.get("format") != FORMAT:
        raise DatasetError(f"{out} holds something other than a korvale dataset")
    shards = manifest.get("shards")
    if not isinstance(shards, list) or not all(
        isinstance(entry, dict)
        and isinstance(entry.get("file"), str)
        and SHARD_NAME.fullmatch(entry["file"])
        and (entry.get("sha256") is None or isinstance(entry.get("sha256"), str))
        and all(type(entry.get(key)) is int and entry[key] >= 0 for key in ("first_graph", "count"))
        for entry in shards
    ):
        raise DatasetError(f"{path} is not a readable manifest: its shards are not a list of shard entries")
    return manifest


@contextlib.contextmanager
def exclusive(out: str):
    """Holds an exclusive lock on the directory itself for the whole run, so
    that two runs never write into one directory at once. The kernel drops
    the lock when the process ends, however it ends; no lock file is left."""
    try:
        import fcntl
    except ImportError:  # no flock on this platform
        yield
        return
    fd = os.open(out, os.O_RDONLY | os.O_DIRECTORY)
    try:
        try:
            fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except BlockingIOError:
            raise DatasetError(f"{out} is in use by another korvale-dataset run") from None
        yield
    finally:
        os.close(fd)


class Writer:
    """The manifest on disk, rewritten (atomically) as shards complete."""

    def __init__(self, out: str, spec: Spec, known: dict):
        self.out = out
        self.manifest: dict[str, Any] = {
            "format": FORMAT,
            "format_version": FORMAT_VERSION,
            "korvale_version": package_version(),
            "arguments": spec.arguments(),
            "shards": [
                {"file": name, "first_graph": first, "count": count, "sha256": known.get(name)}
                for name, first, count in spec.shards()
            ],
        }
        self.entries = {s["file"]: s for s in self.manifest["shards"]}
        self.save()

    def save(self):
        text = json.dumps(self.manifest, indent=1, sort_keys=True) + "\n"
        write_atomically(os.path.join(self.out, MANIFEST), text.encode())

    def write(self, name: str, data: bytes) -> str:
        """Writes a shard file (any thread may) and returns its checksum."""
        write_atomically(os.path.join(self.out, name), data)
        return hashlib.sha256(data).hexdigest()

    def record(self, name: str, checksum: str):
        """Enters a written shard in the manifest (one thread at a time)."""
        self.entries[name]["sha256"] = checksum
        self.save()


def make_directory(out: str):
    if os.path.exists(out) and not os.path.isdir(out):
        raise DatasetError(f"{out} exists and is not a directory")
    try:
        os.makedirs(out, exist_ok=True)
    except OSError as e:
        raise DatasetError(f"cannot create {out}: {e.strerror or e}") from None


def prepare(out: str, spec: Spec) -> dict:
    """Checks the output directory (under the lock) and returns the shards
    already present and intact: file name -> checksum. The directory must
    hold nothing but this dataset's own files: otherwise it is refused and
    left as it is."""
    names = os.listdir(out)
    manifest = read_manifest(out)
    version = manifest.get("format_version") if manifest is not None else None
    if manifest is not None and version != FORMAT_VERSION:
        written = FORMATS.get(version, "unknown") if isinstance(version, int) else "unknown"
        raise DatasetError(f"{out} holds a dataset of format version {version} ({written}), which this version "
                           f"reads but does not extend; write a new one (format {FORMAT_VERSION}) elsewhere")
    if manifest is not None and manifest.get("arguments") != spec.arguments():
        raise DatasetError(f"{out} holds another dataset ({manifest.get('arguments')}); choose another directory")
    ours = {MANIFEST} | {name for name, _, _ in spec.shards()} if manifest is not None else set()
    foreign = sorted(name for name in names if name not in ours and not TEMPORARY_NAME.fullmatch(name))
    if foreign:
        if manifest is None:
            raise DatasetError(f"{out} is not empty and holds no korvale dataset")
        shown = ", ".join(foreign[:3]) + (", ..." if len(foreign) > 3 else "")
        raise DatasetError(f"{out} holds files that are not part of its dataset ({shown}); move them away")
    for name in names:
        if TEMPORARY_NAME.fullmatch(name):  # an interrupted write of this tool
            os.remove(os.path.join(out, name))
    if manifest is None:
        return {}
    known = {}
    for entry in manifest["shards"]:
        path = os.path.join(out, entry["file"])
        if entry["file"] in ours and entry.get("sha256") and os.path.exists(path) and sha256_of(path) == entry["sha256"]:
            known[entry["file"]] = entry["sha256"]
    return known


def generate(
    out: str,
    graphs: int,
    nodes: int | str,
    dim: int,
    seed: int = 0,
    shard_size: int = 1000,
    workers: int = 1,
    client: Any = None,
    progress: bool = False,
    model: str = "erdos-renyi",
    mean_degree: Any = None,
    degree: int = 4,
    radius: Any = 0.2,
    bond_probability: Any = 0.66,
    extra: int = 0,
    periodic: bool = False,
    numeric: bool = False,
) -> dict[str, Any]:
    """Writes (or completes) the dataset in directory out and returns its
    manifest. Shards are computed by `workers` threads, or on the Dask
    cluster of `client`, and written here; present, intact shards are kept.

    The graph models ("erdos-renyi", the default, "regular", "geometric",
    "lattice", "henneberg") write sparse graphs with order-free labels; for
    them nodes, mean_degree, radius and bond_probability may be a number or a
    range (low, high) or "low:high", drawn uniformly per graph. mean_degree
    None is the range around the rigidity threshold of dim: 3.0:4.5 in the
    plane, 5.0:6.5 in space. model "complete" labels every candidate bar of
    complete graphs by position."""
    spec = make_spec(graphs, nodes, dim, seed, shard_size, model, mean_degree, degree, radius, bond_probability,
                     extra, periodic, numeric)
    spec.check()
    if isinstance(workers, bool) or not isinstance(workers, int) or workers < 1:
        raise DatasetError(f"workers must be a positive integer, got {workers!r}")
    problem = shortfall(spec, workers, out, local=client is None)
    if problem:
        raise DatasetError(problem)
    make_directory(out)
    with exclusive(out):
        known = prepare(out, spec)
        writer = Writer(out, spec, known)
        todo = [s for s in spec.shards() if s[0] not in known]
        bar = make_bar(progress, spec.graphs, spec.graphs - sum(count for _, _, count in todo)) if todo else None
        try:
            if client is not None:
                run_on_dask(client, spec, todo, writer, bar)
            else:
                run_on_threads(workers, spec, todo, writer, bar)
        finally:
            if bar is not None:
                bar.close()
        return writer.manifest


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


def make_bar(progress, total, done):
    """A progress bar over all graphs, starting at those already written."""
    if not progress:
        return None
    try:
        from tqdm import tqdm  # type: ignore[import-untyped]
    except ImportError:
        print("korvale-dataset: pip install korvale[dataset] gives a progress bar", file=sys.stderr)
        return None
    return tqdm(total=total, initial=done, unit="graph", file=sys.stderr)


def run_on_threads(workers, spec, todo, writer, bar):
    # The native calls release the interpreter lock while they label, and
    # deflate and file writes release it too, so threads build and write
    # shards side by side; this thread keeps the manifest.
    def build_and_write(name, first, count):
        function, arguments = spec.task(first, count)
        return writer.write(name, function(*arguments))

    with ThreadPoolExecutor(max_workers=workers) as pool:
        pending = {}
        try:
            for name, first, count in todo:
                pending[pool.submit(build_and_write, name, first, count)] = (name, count)
                if len(pending) >= 2 * workers:
                    drain(pending, writer, bar, FIRST_COMPLETED)
            drain(pending, writer, bar, ALL_COMPLETED)
        except BaseException:
            for future in pending:
                future.cancel()
            raise


def drain(pending, writer, bar, until):
    done, _ = wait(list(pending), return_when=until)
    for future in sorted(done, key=lambda f: pending[f][0]):
        name, count = pending.pop(future)
        writer.record(name, future.result())
        if bar is not None:
            bar.update(count)


def run_on_dask(client, spec, todo, writer, bar):
    from distributed import as_completed

    futures = {}
    for name, first, count in todo:
        function, arguments = spec.task(first, count)
        futures[client.submit(function, *arguments, pure=True)] = (name, count)
    for future in as_completed(list(futures)):
        name, count = futures[future]
        writer.record(name, writer.write(name, future.result()))
        if bar is not None:
            bar.update(count)
