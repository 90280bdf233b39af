"""PyTorch Geometric datasets over a korvale-dataset directory (any model,
any format version). Needs torch and torch_geometric; importing this module
does not, using its classes does.

    from korvale_data.torch import RigidityDataset
    from torch_geometric.loader import DataLoader
    train = RigidityDataset("data/er", split="train")
    loader = DataLoader(train, batch_size=128, shuffle=True)

RigidityDataset is an InMemoryDataset: the whole split in one collated
storage, built straight from the stacked shards. RigidityGraphs streams a
dataset larger than memory shard by shard. Both give the same Data per
graph; docs/training-data.md lists its fields and how splits are drawn."""

import copy
from abc import ABCMeta
from collections.abc import Callable, Iterator, Sequence
from typing import Any

import numpy as np

from korvale_data.loader import EDGE_FIELDS, check_file, read_stacked, shard_files
from korvale_data.splits import FRACTIONS, check_split, in_split

HINT = 'korvale_data.torch needs PyTorch Geometric: pip install "korvale[torch]" (torch and torch_geometric)'

try:
    import torch  # type: ignore[import-not-found, unused-ignore]
    from torch_geometric.data import Data, InMemoryDataset  # type: ignore[import-not-found, import-untyped, unused-ignore]
    from torch_geometric.transforms import BaseTransform  # type: ignore[import-not-found, import-untyped, unused-ignore]

    _Transform: Any = BaseTransform
    _InMemory: Any = InMemoryDataset
    _Iterable: Any = torch.utils.data.IterableDataset
except ImportError:  # the classes say so when used
    torch = None  # type: ignore[assignment, unused-ignore]
    Data = InMemoryDataset = BaseTransform = None  # type: ignore[misc, assignment, unused-ignore]
    _Transform = _InMemory = _Iterable = object

# Per-graph figures: shard array -> attribute of the Data (a Python number
# per graph, a tensor over a batch). The graph's index is "graph_id": PyTorch
# Geometric shifts attributes named "*index*" by the node count in a batch.
GRAPH_ATTRIBUTES = {"graph_index": "graph_id", "rigid": "rigid", "globally_rigid": "globally_rigid", "rank": "rank",
                    "max_rank": "max_rank", "largest_component": "largest_component", "parameter": "parameter"}


def _require_torch():
    if torch is None:
        raise ImportError(HINT)


# The metaclasses are named because the bases are only known at run time:
# PyTorch Geometric's transforms and torch's iterable datasets are abstract.
class NodeDegree(_Transform, metaclass=ABCMeta):  # type: ignore[misc]
    """Node features from the graph: x = the degree of each node (float32,
    (n, 1); appended as a last column when the graph has x already). The
    datasets' default pre_transform, applied to the whole storage at once;
    as a transform of single graphs it gives the same values."""

    def forward(self, data: Any) -> Any:
        data.x = with_column(data.x, torch.bincount(data.edge_index[0], minlength=data.num_nodes))
        return data

    def collated(self, data: Any, slices: dict[str, Any]) -> None:
        """The same on a collated storage, every graph's edge_index local."""
        nodes, edges = slices["pos"].numpy(), slices["edge_index"].numpy()
        first_node = np.repeat(nodes[:-1], np.diff(edges))
        counts = np.bincount(data.edge_index[0].numpy() + first_node, minlength=int(nodes[-1]))
        data.x = with_column(data.x, torch.from_numpy(counts))
        slices["x"] = slices["pos"]


def with_column(x: Any, values: Any) -> Any:
    """x with the values appended as a last column (float32 when x is None)."""
    column = values.to(torch.float32 if x is None else x.dtype).unsqueeze(1)
    return column if x is None else torch.cat([x, column], dim=1)


def collated_storage(shards: Sequence[dict[str, Any]]) -> tuple[Any, dict[str, Any]]:
    """The InMemoryDataset storage of stacked shards: one Data holding every
    graph's tensors one after the other (edge_index local to each graph),
    and the slices that delimit them. Filled shard by shard into tensors
    allocated once. A graph's edge_index holds every bar in both directions,
    bar e at columns 2e (i -> j) and 2e + 1 (j -> i); its labels repeat to
    match."""
    nodes = sum(len(s["coords"]) for s in shards)
    bars = sum(len(s["edges"]) for s in shards)
    edge_names = [name for name in EDGE_FIELDS if all(name in s for s in shards)]
    graph_names = [name for name in GRAPH_ATTRIBUTES if all(name in s for s in shards)]
    dim = shards[0]["coords"].shape[1]
    pos = torch.empty((nodes, dim), dtype=torch.float32)
    edge_index = torch.empty((2, 2 * bars), dtype=torch.int64)
    labels = {name: torch.empty(2 * bars, dtype=torch.int64) for name in edge_names}
    node_ptr, edge_ptr = [np.zeros(1, np.int64)], [np.zeros(1, np.int64)]
    n0 = e0 = 0
    for s in shards:
        n1, e1 = n0 + len(s["coords"]), e0 + len(s["edges"])
        pos.numpy()[n0:n1] = s["coords"]
        ends = edge_index.numpy()[:, 2 * e0 : 2 * e1]
        ends[:, 0::2] = s["edges"].T
        ends[:, 1::2] = s["edges"].T[::-1]
        for name in edge_names:
            out = labels[name].numpy()
            out[2 * e0 : 2 * e1 : 2] = s[name]
            out[2 * e0 + 1 : 2 * e1 : 2] = s[name]
        node_ptr.append(s["node_ptr"][1:] + n0)
        edge_ptr.append(s["edge_ptr"][1:] + e0)
        n0, e0 = n1, e1
    data = Data(pos=pos, edge_index=edge_index, **labels)
    per_node = torch.from_numpy(np.concatenate(node_ptr))
    per_edge = torch.from_numpy(2 * np.concatenate(edge_ptr))
    per_graph = torch.arange(len(per_node), dtype=torch.int64)
    slices = {"pos": per_node, "edge_index": per_edge} | {name: per_edge for name in edge_names}
    for name in graph_names:
        values = np.concatenate([s[name] for s in shards])
        data[GRAPH_ATTRIBUTES[name]] = torch.from_numpy(values.astype(np.float32 if name == "parameter" else np.int64))
        slices[GRAPH_ATTRIBUTES[name]] = per_graph
    return data, slices


class GraphView:
    """Graph g of a collated storage as a Data, built by slicing every
    attribute along its concatenation dimension. The per-graph figures come
    back as Python numbers (which a DataLoader batches into tensors more
    cheaply than one-element tensors); num_nodes is given, so that batching
    does not infer it graph by graph."""

    def __init__(self, data: Any, slices: dict[str, Any]):
        self.data, self.empty = data, Data()
        self.count = len(slices["pos"]) - 1 if slices else 0
        self.nodes = slices["pos"].tolist() if slices else [0]
        figures = set(GRAPH_ATTRIBUTES.values())
        offsets: dict[int, list[int]] = {}  # one list per distinct slice tensor
        self.sliced, self.figures = [], {}
        for key in slices:
            if key == "num_nodes":
                continue
            if key in figures:
                self.figures[key] = data[key].tolist()
                continue
            if id(slices[key]) not in offsets:
                offsets[id(slices[key])] = slices[key].tolist()
            cut = offsets[id(slices[key])]
            self.sliced.append(slicer(key, data[key], data.__cat_dim__(key, data[key]), cut))

    def __call__(self, g: int) -> Any:
        values = {"num_nodes": self.nodes[g + 1] - self.nodes[g]}
        values |= {key: take(cut[g], cut[g + 1]) for key, take, cut in self.sliced}
        values |= {key: column[g] for key, column in self.figures.items()}
        graph = copy.copy(self.empty)
        # Straight into the store's mapping: setting attributes one by one
        # clears the store's caches each time and costs more than the
        # slicing.
        graph.stores[0]._mapping.update(values)
        return graph


def slicer(key: str, tensor: Any, dim: int, cut: list[int]) -> tuple[str, Callable[[int, int], Any], list[int]]:
    """(key, take(a, b), offsets): take gives the tensor's rows (or columns,
    along dim) a..b-1 as a tensor sharing its memory. Slicing the NumPy view
    and wrapping the slice costs about half of slicing the tensor itself,
    which is most of the cost of a graph."""
    dim %= max(tensor.dim(), 1)
    try:
        array = tensor.numpy()
    except (TypeError, RuntimeError):  # a type NumPy lacks: slice the tensor
        array = None
    if array is not None and dim == 0:
        return key, lambda a, b: torch.from_numpy(array[a:b]), cut
    if array is not None and dim == 1 and array.ndim == 2:
        return key, lambda a, b: torch.from_numpy(array[:, a:b]), cut
    return key, lambda a, b: tensor.narrow(dim, a, b - a), cut


def prepared(shards: Sequence[dict[str, Any]], pre_transform: Any, pre_filter: Any) -> tuple[Any, dict[str, Any]]:
    """The storage with pre_filter and pre_transform applied: on the whole
    storage at once where the transform can (NodeDegree), else graph by
    graph, as PyTorch Geometric applies them when it processes a dataset."""
    data, slices = collated_storage(shards)
    if pre_filter is None and (pre_transform is None or hasattr(pre_transform, "collated")):
        if pre_transform is not None:
            pre_transform.collated(data, slices)
        return data, slices
    view = GraphView(data, slices)
    graphs = [view(g) for g in range(view.count)]
    if pre_filter is not None:
        graphs = [g for g in graphs if pre_filter(g)]
    if pre_transform is not None:
        graphs = [pre_transform(g) for g in graphs]
    if not graphs:
        return Data(), {}
    # Collated by PyTorch Geometric's own rule, so the slices hold whatever
    # the transform added. One graph is collated twice, because PyTorch
    # Geometric gives no slices for one, and the second copy is left out.
    data, slices = InMemoryDataset.collate(graphs if len(graphs) > 1 else graphs * 2)
    if len(graphs) == 1:
        slices = {key: value[:2] for key, value in slices.items()}
    return data, slices


class RigidityDataset(_InMemory):  # type: ignore[misc]
    """The graphs of the korvale-dataset directory `root`, or of one split
    of it ("train", "val" or "test", drawn from each graph's index by
    korvale_data.splits with `fractions`), as a PyTorch Geometric
    InMemoryDataset: len, indexing by an integer, a slice or an index array,
    shuffle(), DataLoader(shuffle=True). pre_filter and pre_transform are
    applied once when the dataset is built (default: NodeDegree, node
    features x = degree), transform on every access. verify checks every
    shard against the manifest's SHA-256 as it is read. Nothing is written
    into root."""

    def __init__(
        self,
        root: str,
        split: str | None = None,
        transform: Callable[[Any], Any] | None = None,
        pre_transform: Callable[[Any], Any] | None = NodeDegree(),
        pre_filter: Callable[[Any], bool] | None = None,
        fractions: tuple[float, float, float] = FRACTIONS,
        verify: bool = True,
    ):
        _require_torch()
        check_split(split, fractions)
        super().__init__(root, transform, pre_transform, pre_filter, log=False)
        self.split, self.fractions = split, tuple(fractions)
        shards = [read_stacked(root, entry, split, fractions, verify) for entry in shard_files(root)]
        self._data, self.slices = prepared(shards, pre_transform, pre_filter) if shards else (Data(), {})
        self._view = GraphView(self._data, self.slices)
        # Every graph once sliced is kept, as InMemoryDataset keeps what it
        # separates: later epochs copy it (a shallow copy, so that a
        # transform setting attributes leaves the kept one as it was).
        self._graphs: list[Any] = [None] * self._view.count

    def len(self) -> int:
        return self._view.count

    def kept(self, idx: int) -> Any:
        graph = self._graphs[idx]
        if graph is None:
            graph = self._graphs[idx] = self._view(idx)
        return graph

    def get(self, idx: int) -> Any:
        return copy.copy(self.kept(idx))

    def __getitems__(self, indices: Sequence[int]) -> list[Any]:
        """A DataLoader's batch at once (what torch's fetcher asks for).
        Without a transform the kept graphs themselves go to the batching,
        which only reads them."""
        order = self.indices()
        if self.transform is not None:
            return [self.transform(self.get(order[i])) for i in indices]
        return [self.kept(order[i]) for i in indices]

    def __repr__(self) -> str:
        split = f", split={self.split!r}" if self.split is not None else ""
        return f"{type(self).__name__}({self.root!r}{split}, {len(self)} graphs)"


class RigidityGraphs(_Iterable, metaclass=ABCMeta):  # type: ignore[misc]
    """The graphs of the dataset in `path` (or of one split), streamed one
    shard at a time for datasets larger than memory. With shuffle, each
    epoch draws a new order of the shards and of the graphs within each
    shard from torch's random state (torch.manual_seed, or the DataLoader's
    generator, make it reproducible); with DataLoader workers each worker
    reads its own shards of that order, so an epoch holds every graph once.
    Every shard's checksum is verified once, here, with verify; reading it
    later checks its structure only. pre_transform and pre_filter are
    applied to each shard as it is read, transform to every graph."""

    def __init__(
        self,
        path: str,
        split: str | None = None,
        shuffle: bool = False,
        transform: Callable[[Any], Any] | None = None,
        pre_transform: Callable[[Any], Any] | None = NodeDegree(),
        pre_filter: Callable[[Any], bool] | None = None,
        fractions: tuple[float, float, float] = FRACTIONS,
        verify: bool = True,
    ):
        _require_torch()
        check_split(split, fractions)
        super().__init__()
        self.path, self.split, self.shuffle, self.fractions = path, split, shuffle, tuple(fractions)
        self.transform, self.pre_transform, self.pre_filter = transform, pre_transform, pre_filter
        self.files = shard_files(path)
        if verify:
            for entry in self.files:
                check_file(path, entry)
        self.count = sum(self.graphs_in(entry) for entry in self.files)
        self.epoch = 0  # advances in every copy that iterates (persistent workers keep theirs)

    def graphs_in(self, entry: dict[str, Any]) -> int:
        index = np.arange(entry["first_graph"], entry["first_graph"] + entry["count"], dtype=np.uint64)
        return len(index) if self.split is None else int(in_split(index, self.split, self.fractions).sum())

    def __len__(self) -> int:
        """Graphs in the dataset (or split) before pre_filter."""
        return self.count

    def order(self) -> tuple[Any, list[int]]:
        """This epoch's generator and this worker's shards. The epoch's seed
        is the same in every worker: the loader's base seed (drawn anew for
        every epoch from torch's random state) or, without workers, a number
        drawn here from it; the epoch count keeps persistent workers, whose
        base seed stays, from repeating an order."""
        info = torch.utils.data.get_worker_info()
        base = info.seed - info.id if info is not None else int(torch.empty((), dtype=torch.int64).random_())
        generator = torch.Generator().manual_seed((base + self.epoch) % 2**63)
        self.epoch += 1
        shards = list(range(len(self.files)))
        if self.shuffle:
            shards = torch.randperm(len(self.files), generator=generator).tolist()
        if info is not None:
            shards = shards[info.id :: info.num_workers]
        return generator, shards

    def __iter__(self) -> Iterator[Any]:
        generator, shards = self.order()
        for s in shards:
            arrays = read_stacked(self.path, self.files[s], self.split, self.fractions, verify=False)
            if len(arrays["graph_index"]) == 0:
                continue
            view = GraphView(*prepared([arrays], self.pre_transform, self.pre_filter))
            picks = torch.randperm(view.count, generator=generator).tolist() if self.shuffle else range(view.count)
            for g in picks:
                graph = view(g)
                yield graph if self.transform is None else self.transform(graph)
