"""korvale-dataset: write a sharded GNN training set of labelled frameworks."""

import argparse
import sys

from korvale_data.dataset import DatasetError, generate


class Parser(argparse.ArgumentParser):
    def error(self, message):
        # One line and status 2, like every refusal of this tool.
        self.exit(2, f"korvale-dataset: error: {message}\n")


def parser() -> Parser:
    p = Parser(prog="korvale-dataset", description=__doc__.splitlines()[0])
    p.add_argument("--graphs", type=int, required=True, help="number of graphs N")
    p.add_argument("--nodes", type=int, required=True, help="nodes per graph n")
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
    return p


def connect(address: str, timeout: float):
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
        manifest = generate(
            args.out,
            args.graphs,
            args.nodes,
            args.dim,
            seed=args.seed,
            shard_size=args.shard_size,
            workers=args.workers,
            client=client,
            progress=not args.quiet and sys.stderr.isatty(),
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
