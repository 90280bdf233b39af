"""Writing a dataset: the request checked, its budget, the directory
prepared under its lock, and the missing shards computed (threads or Dask)
and recorded in the manifest."""

from typing import Any

from korvale_data.budget import shortfall
from korvale_data.errors import DatasetError
from korvale_data.executors import make_bar, run_on_dask, run_on_threads
from korvale_data.request import make_spec
from korvale_data.storage import Writer, exclusive, make_directory, prepare

__all__ = ["DatasetError", "generate"]


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
