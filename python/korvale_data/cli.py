"""korvale-dataset: write a sharded GNN training set of labelled frameworks."""

import argparse
import math
import sys

from korvale_data.dataset import DatasetError, generate
from korvale_data.graph_shards import MODELS


class Parser(argparse.ArgumentParser):
    def error(self, message):
        # One line and status 2, like every refusal of this tool.
        self.exit(2, f"korvale-dataset: error: {message}\n")


def parser() -> Parser:
    p = Parser(prog="korvale-dataset", description=__doc__.splitlines()[0])
    p.add_argument("--graphs", type=int, required=True, help="number of graphs N")
    p.add_argument("--nodes", required=True, help="nodes per graph n, or a range low:high for the graph models")
    p.add_argument("--dim", type=int, required=True, help="dimension d (2 or 3)")
    p.add_argument("--seed", type=int, default=0, help="graph k is drawn from seed + k (default 0)")
    p.add_argument("--out", required=True, help="output directory")
    p.add_argument("--shard-size", type=int, default=1000, help="graphs per shard K (default 1000)")
    p.add_argument("--workers", type=int, default=1, help="threads computing shards W (default 1)")
    p.add_argument("--dask", metavar="ADDRESS", help="compute the shards on this Dask scheduler")
    p.add_argument(
        "--dask-timeout", type=float, default=3.0, metavar="SECONDS",
        help="give up connecting to the scheduler after this long (default 3)",
    )
    p.add_argument("--quiet", action="store_true", help="no progress bar")
    m = p.add_argument_group("graph models (order-free labels: clusters, overconstrained bars, rigidity)")
    m.add_argument(
        "--model", default="complete", choices=("complete",) + MODELS,
        help="complete (default: every candidate bar of complete graphs, labelled by position) or a sparse model",
    )
    m.add_argument("--mean-degree", default="3.0:4.5", help="erdos-renyi: mean degree or range (default 3.0:4.5)")
    m.add_argument("--degree", type=int, default=4, help="regular: degree (default 4)")
    m.add_argument("--radius", default="0.2", help="geometric: connection radius or range (default 0.2)")
    m.add_argument("--bond-probability", default="0.66", help="lattice: bond probability or range (default 0.66)")
    m.add_argument("--extra", type=int, default=0, help="henneberg: extra random edges (default 0)")
    m.add_argument("--periodic", action="store_true", help="geometric, lattice: periodic boundaries")
    m.add_argument("--labels", choices=("combinatorial", "numeric"), default="combinatorial",
                   help="numeric adds the labels of the drawn coordinates themselves")
    return p


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
            degree=args.degree,
            radius=args.radius,
            bond_probability=args.bond_probability,
            extra=args.extra,
            periodic=args.periodic,
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
