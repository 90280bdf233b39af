"""Computing shards on threads of this process or on a Dask cluster, with
a progress bar; the caller's Writer records each finished shard."""

import sys
from concurrent.futures import ALL_COMPLETED, FIRST_COMPLETED, ThreadPoolExecutor, wait


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
