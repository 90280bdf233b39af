"""korvale_data.torch.RigidityDataset against PyTorch Geometric's usual
route, in one run: the time to build the in-memory dataset from a
korvale-dataset directory, and graphs per second through one shuffled epoch
of DataLoader(batch_size=128).

Baselines: the per-graph route (a Data built for every graph from
korvale_data.load, then InMemoryDataset.collate), read through
InMemoryDataset's own get; and a plain Python list of those Data objects,
which costs the loader nothing but PyTorch Geometric's batching.

    python bench/torch_loader.py [--graphs 100000] [--nodes 40:60] [--repeat 3]
"""

import argparse
import statistics
import tempfile
import time

import numpy as np
import torch
from torch_geometric.data import Data, InMemoryDataset
from torch_geometric.loader import DataLoader

from korvale_data import generate, load
from korvale_data.torch import RigidityDataset


class Collated(InMemoryDataset):
    """A stock InMemoryDataset over a collated storage (get: separate)."""

    def __init__(self, data, slices):
        super().__init__()
        self._data, self.slices = data, slices


def per_graph(path):
    graphs = []
    for g in load(path):
        edges = torch.from_numpy(g["edges"].astype(np.int64)).T
        degree = np.bincount(g["edges"].ravel(), minlength=len(g["coords"]))
        graphs.append(Data(
            x=torch.from_numpy(degree.astype(np.float32)).unsqueeze(1), pos=torch.from_numpy(g["coords"]).float(),
            edge_index=torch.stack([edges, edges.flip(0)], dim=2).reshape(2, -1),
            **{k: torch.from_numpy(g[k].astype(np.int64)).repeat_interleave(2)
               for k in ("independent", "overconstrained", "component")},
            graph_id=g["index"], rigid=int(g["rigid"]), rank=g["rank"], max_rank=g["max_rank"],
            largest_component=g["largest_component"], parameter=g["parameter"]))
    return graphs


def epoch_rate(dataset):
    loader = DataLoader(dataset, batch_size=128, shuffle=True)
    start, count = time.perf_counter(), 0
    for batch in loader:
        count += batch.num_graphs
    return count / (time.perf_counter() - start)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--graphs", type=int, default=100_000)
    parser.add_argument("--nodes", default="40:60")
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()
    torch.manual_seed(0)
    with tempfile.TemporaryDirectory() as out:
        start = time.perf_counter()
        generate(out, args.graphs, args.nodes, 2, seed=0, shard_size=5000, workers=2)
        print(f"dataset: {args.graphs:,} Erdős–Rényi graphs of {args.nodes} nodes written in "
              f"{time.perf_counter() - start:.1f} s")
        builds = []
        for _ in range(args.repeat):
            start = time.perf_counter()
            ours = RigidityDataset(out)
            builds.append(time.perf_counter() - start)
        start = time.perf_counter()
        graphs = per_graph(out)
        stock = Collated(*InMemoryDataset.collate(graphs))
        baseline_build = time.perf_counter() - start
        # Epochs alternate between the three, so that a slow phase of the
        # machine touches each; InMemoryDataset caches every Data it has
        # separated, so its first epoch is reported apart.
        rates: dict[str, list[float]] = {"ours": [], "stock": [], "list": []}
        for _ in range(args.repeat + 1):
            for name, dataset in (("ours", ours), ("stock", stock), ("list", graphs)):
                rates[name].append(epoch_rate(dataset))

    def rate(name):
        return statistics.median(rates[name][1:])

    build = statistics.median(builds)
    print("\n| step | korvale RigidityDataset | per-graph route | ratio |")
    print("|---|---|---|---|")
    print(f"| build, {args.graphs:,} graphs (s) | {build:.2f} | {baseline_build:.2f} | {baseline_build / build:.1f}x |")
    first = rates["stock"][0]
    print(f"| first shuffled epoch, batch 128 (graphs/s) | {rates['ours'][0]:,.0f} | {first:,.0f} "
          f"(InMemoryDataset.get) | {rates['ours'][0] / first:.1f}x |")
    print(f"| later epochs (graphs/s) | {rate('ours'):,.0f} | {rate('stock'):,.0f} (its cache of Data) "
          f"| {rate('ours') / rate('stock'):.2f}x |")
    print(f"| later epochs, from a plain list of Data (graphs/s) | | {rate('list'):,.0f} (batching alone) "
          f"| {rate('ours') / rate('list'):.2f}x |")
    print(f"\nbuild medians of {args.repeat}; epochs in graphs/s: ours {[round(r) for r in rates['ours']]}, "
          f"stock {[round(r) for r in rates['stock']]}, list {[round(r) for r in rates['list']]}")


if __name__ == "__main__":
    main()
