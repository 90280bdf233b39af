"""korvale-dataset: write a sharded GNN training set of labelled frameworks."""

import argparse
import math
import sys

from korvale_data.dataset import generate
from korvale_data.errors import DatasetError
from korvale_data.graph_shards import MODELS
from korvale_data.storage import package_version


EPILOG = """examples:
  korvale-dataset --graphs 100000 --nodes 40:60 --dim 2 --out data/er
      Erdos-Renyi graphs of 40-60 nodes, mean degree 3.0-4.5 (the default model)
  korvale-dataset --graphs 20000 --nodes 30:50 --dim 3 --model geometric --radius 0.25:0.35 --out data/rgg
  korvale-dataset --graphs 10000 --nodes 12 --dim 2 --model complete --out data/complete

Run the same command again to complete an interrupted dataset. Read it with
korvale_data.load, or korvale_data.torch.RigidityDataset(path, split="train")."""

# The options that belong to one model (or to the graph models), refused
# with any other instead of being silently ignored.
MODEL_OPTIONS = {
    "mean_degree": ("erdos-renyi",),
    "degree": ("regular",),
    "radius": ("geometric",),
    "bond_probability": ("lattice",),
    "extra": ("henneberg",),
    "periodic": ("geometric", "lattice"),
    "labels": MODELS,
}


class Parser(argparse.ArgumentParser):
    def error(self, message):
        # One line and status 2, like every refusal of this tool.
        self.exit(2, f"korvale-dataset: error: {message}\n")


def parser() -> Parser:
    p = Parser(prog="korvale-dataset", description=__doc__.splitlines()[0], epilog=EPILOG,
               formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--version", action="version", version=f"%(prog)s {package_version()}")
    p.add_argument("--graphs", type=int, required=True, help="number of graphs N")
    p.add_argument("--nodes", required=True, help="nodes per graph n, or a range low:high for the graph models")
    p.add_argument("--dim", type=int, required=True, help="dimension d (2 or 3)")
    p.add_argument("--seed", type=int, default=0,
                   help="graph k is drawn from its own seed mix(mix(seed) ^ k), so datasets of different seeds "
                        "share no graph (default 0)")
    p.add_argument("--out", required=True, help="output directory")
    p.add_argument("--shard-size", type=int, default=1000, help="graphs per shard K (default 1000)")
    p.add_argument("--workers", type=int, default=1, help="threads computing shards W (default 1)")
    p.add_argument("--dask", metavar="ADDRESS", help="compute the shards on this Dask scheduler")
    p.add_argument(
        "--dask-timeout", type=float, default=3.0, metavar="SECONDS",
        help="give up connecting to the scheduler after this long (default 3)",
    )
    p.add_argument("--quiet", action="store_true", help="no progress bar")
    m = p.add_argument_group("models (graph models: order-free labels - clusters, overconstrained bars, rigidity)")
    m.add_argument(
        "--model", default="erdos-renyi", choices=MODELS + ("complete",),
        help="erdos-renyi (default: around the rigidity threshold), another sparse model, or complete "
             "(every candidate bar of complete graphs, labelled by its position in the list)",
    )
    m.add_argument("--mean-degree", help="erdos-renyi: mean degree or range (default 3.0:4.5 in the plane, "
                                         "5.0:6.5 in space: around the rigidity threshold)")
    m.add_argument("--degree", type=int, help="regular: degree (default 4)")
    m.add_argument("--radius", help="geometric: connection radius or range (default 0.2)")
    m.add_argument("--bond-probability", help="lattice: bond probability or range (default 0.66)")
    m.add_argument("--extra", type=int, help="henneberg: extra random edges (default 0)")
    m.add_argument("--periodic", action="store_true", default=None, help="geometric, lattice: periodic boundaries")
    m.add_argument("--labels", choices=("combinatorial", "numeric"),
                   help="graph models: numeric adds the labels of the drawn coordinates themselves")
    return p


def foreign_option(args) -> str | None:
    """The first option given that the chosen model does not take."""
    for name, models in MODEL_OPTIONS.items():
        if getattr(args, name) is not None and args.model not in models:
            which = "a graph model" if models == MODELS else "--model " + " or ".join(models)
            return f"--{name.replace('_', '-')} applies to {which}, not to --model {args.model}"
    return None


def connect(address: str, timeout: float):
    if not 0 < timeout < math.inf:
        raise DatasetError(f"--dask-timeout must be a finite number of seconds above 0, got {timeout:g}")
    try:
        from distributed import Client
    except ImportError:
        raise DatasetError("--dask needs the distributed package: pip install korvale[dask]") from None
    try:
        return Client(address, timeout=timeout)
    except (OSError, ValueError) as e:  # refused, timed out, or not an address
        raise DatasetError(f"no Dask scheduler answered at {address} within {timeout:g} s ({type(e).__name__})") from None


def main(argv=None) -> int:
    args = parser().parse_args(argv)
    client = None
    try:
        problem = foreign_option(args)
        if problem:
            raise DatasetError(problem)
        if args.dask:
            client = connect(args.dask, args.dask_timeout)
        nodes = args.nodes
        if args.model == "complete":
            try:
                nodes = int(nodes)
            except ValueError:
                raise DatasetError(f"--nodes must be a number for the complete model, got {nodes!r}") from None
        manifest = generate(
            args.out,
            args.graphs,
            nodes,
            args.dim,
            seed=args.seed,
            shard_size=args.shard_size,
            workers=args.workers,
            client=client,
            progress=not args.quiet and sys.stderr.isatty(),
            model=args.model,
            mean_degree=args.mean_degree,
            **{name: getattr(args, name) for name in ("degree", "radius", "bond_probability", "extra", "periodic")
               if getattr(args, name) is not None},
            numeric=args.labels == "numeric",
        )
    except DatasetError as e:
        print(f"korvale-dataset: error: {e}", file=sys.stderr)
        return 2
    except OSError as e:  # a read-only or full disk, a vanished directory
        where = f": {e.filename}" if e.filename else ""
        print(f"korvale-dataset: error: {e.strerror or e}{where}", file=sys.stderr)
        return 2
    except KeyboardInterrupt:
        print("korvale-dataset: interrupted; complete shards are kept, run again to finish", file=sys.stderr)
        return 130
    finally:
        if client is not None:
            client.close()
    if not args.quiet:
        print(f"{args.graphs} graphs in {len(manifest['shards'])} shards in {args.out}", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
