"""A PyTorch Geometric dataset over a korvale-dataset directory written with
a graph model. Needs torch and torch_geometric; importing this module does
not, using its class does.

    from korvale_data.torch import RigidityGraphs
    from torch_geometric.loader import DataLoader
    loader = DataLoader(RigidityGraphs("data/er"), batch_size=64)

Each graph is a torch_geometric Data with
- x: node features, the node degree (float32, (n, 1)); pos: coordinates;
- edge_index (2, 2m): every edge in both directions (i -> j for all edges,
  then j -> i), and the edge labels aligned with it: independent,
  overconstrained, in the plane component, with numeric labels numeric
  (int64, (2m,));
- y: the graph's rigidity (int64, (1,)); rank, max_rank as (1,) tensors."""

from collections.abc import Iterator
from typing import Any

from korvale_data.loader import EDGE_FIELDS, read_shard, shard_files

HINT = "korvale_data.torch needs PyTorch Geometric: pip install torch torch_geometric"

try:
    import torch  # type: ignore[import-not-found, unused-ignore]
    from torch_geometric.data import Data  # type: ignore[import-not-found, unused-ignore]

    _Base: Any = torch.utils.data.IterableDataset
except ImportError:  # the class says so when used
    torch = None
    Data = None
    _Base = object


class RigidityGraphs(_Base):  # type: ignore[misc]
    """Iterates the graphs of the dataset in `path`, reading one shard at a
    time (a shard's graphs in order; shards in order, or shuffled per epoch
    with shuffle_shards). With several DataLoader workers each reads its own
    shards. transform, if given, is applied to every Data."""

    def __init__(self, path: str, shuffle_shards: bool = False, seed: int = 0, transform: Any = None):
        if torch is None:
            raise ImportError(HINT)
        super().__init__()
        self.path = path
        self.shuffle_shards = shuffle_shards
        self.seed = seed
        self.transform = transform
        self.epoch = 0

    def shard_order(self, count: int) -> list[int]:
        order = list(range(count))
        if self.shuffle_shards:
            generator = torch.Generator().manual_seed(self.seed + self.epoch)
            order = torch.randperm(count, generator=generator).tolist()
        self.epoch += 1
        info = torch.utils.data.get_worker_info()
        if info is not None:
            order = order[info.id :: info.num_workers]
        return order

    def __len__(self) -> int:
        return sum(entry["count"] for entry in shard_files(self.path))

    def __iter__(self) -> Iterator[Any]:
        files = shard_files(self.path)
        for s in self.shard_order(len(files)):
            arrays = read_shard(self.path, files[s])
            if "node_ptr" not in arrays:
                raise ValueError(f"{self.path} holds complete graphs; RigidityGraphs reads graph-model datasets")
            shard = {name: torch.from_numpy(value) for name, value in arrays.items()}
            for g in range(len(shard["graph_index"])):
                data = graph_data(shard, g)
                yield self.transform(data) if self.transform is not None else data


def graph_data(shard: dict, g: int) -> Any:
    a, b = int(shard["edge_ptr"][g]), int(shard["edge_ptr"][g + 1])
    lo, hi = int(shard["node_ptr"][g]), int(shard["node_ptr"][g + 1])
    edges = shard["edges"][a:b].long()
    edge_index = torch.cat([edges.T, edges.T.flip(0)], dim=1)
    degree = torch.bincount(edge_index[0], minlength=hi - lo).float().unsqueeze(1)
    labels = {name: shard[name][a:b].long().repeat(2) for name in EDGE_FIELDS if name in shard}
    return Data(
        x=degree,
        pos=shard["coords"][lo:hi].float(),
        edge_index=edge_index,
        y=shard["rigid"][g : g + 1].long(),
        rank=shard["rank"][g : g + 1],
        max_rank=shard["max_rank"][g : g + 1],
        **labels,
    )
