"""The PyTorch Geometric datasets, with real torch and torch_geometric:
graphs equal to the loader's, indexing and slicing, shuffled epochs that
hold every graph once (with and without workers), splits, the transforms,
every format version, and checksums verified once. The test command installs
torch in one environment and sets KORVALE_NEED_TORCH there, so that these
tests cannot be skipped silently."""

import os
import pathlib
import shutil

import numpy as np
import pytest

if os.environ.get("KORVALE_NEED_TORCH"):
    import torch
    import torch_geometric
else:
    torch = pytest.importorskip("torch")
    torch_geometric = pytest.importorskip("torch_geometric")

from torch_geometric.loader import DataLoader  # noqa: E402

import korvale_data.loader as loader_module  # noqa: E402
from korvale_data import DatasetError, generate, load  # noqa: E402
from korvale_data.splits import in_split  # noqa: E402
from korvale_data.torch import NodeDegree, RigidityDataset, RigidityGraphs  # noqa: E402

WRITTEN_BEFORE = pathlib.Path(__file__).parent / "data"


@pytest.fixture(scope="module")
def er(tmp_path_factory):
    out = tmp_path_factory.mktemp("er") / "er"
    generate(str(out), 300, "10:30", 2, seed=5, shard_size=70, numeric=True)
    return out


@pytest.fixture(scope="module")
def dataset(er):
    return RigidityDataset(str(er))


def ids(graphs):
    return sorted(int(i) for g in graphs for i in np.atleast_1d(np.asarray(g.graph_id)))


def assert_graph_is_stored(data, stored):
    """A Data equals the loader's graph: positions, both directions of every
    bar in stored order, labels aligned, the per-graph figures."""
    assert data.graph_id == stored["index"]
    assert torch.equal(data.pos, torch.from_numpy(stored["coords"]).float())
    edges = torch.from_numpy(stored["edges"]).long()
    assert torch.equal(data.edge_index[:, 0::2], edges.T) and torch.equal(data.edge_index[:, 1::2], edges.T.flip(0))
    for name in ("independent", "overconstrained", "component", "numeric"):
        if name in stored:
            assert torch.equal(data[name][0::2], torch.from_numpy(stored[name]).long())
            assert torch.equal(data[name][1::2], data[name][0::2])
    for name in ("rigid", "globally_rigid", "rank", "max_rank", "largest_component"):
        if name in stored:
            assert data[name] == stored[name]
    degree = np.bincount(stored["edges"].ravel(), minlength=len(stored["coords"]))
    assert data.x.dtype == torch.float32 and data.x[:, 0].tolist() == degree.tolist()


def test_graphs_equal_the_loaders_and_index_like_a_pyg_dataset(er, dataset):
    stored = list(load(str(er)))
    assert len(dataset) == 300
    for k in (0, 1, 69, 70, 299):
        assert_graph_is_stored(dataset[k], stored[k])
    assert_graph_is_stored(dataset[-1], stored[-1])
    part = dataset[10:20]
    assert len(part) == 10 and [g.graph_id for g in part] == list(range(10, 20))
    picked = dataset[torch.tensor([5, 3, 250])]
    assert [g.graph_id for g in picked] == [5, 3, 250]
    assert [g.graph_id for g in dataset[np.array([7, 8])]] == [7, 8]
    shuffled = dataset.shuffle()
    assert ids(shuffled) == list(range(300)) and [g.graph_id for g in shuffled] != list(range(300))
    with pytest.raises(IndexError):
        dataset[300]


@pytest.mark.parametrize("workers", [0, 2])
def test_shuffled_epochs_hold_every_graph_once(dataset, workers):
    loader = DataLoader(dataset, batch_size=32, shuffle=True, num_workers=workers)
    orders = []
    for _ in range(2):
        seen = [int(i) for batch in loader for i in batch.graph_id]
        assert sorted(seen) == list(range(300))
        orders.append(seen)
    assert orders[0] != orders[1]
    batch = next(iter(loader))
    # edge_index shifted per graph in a batch, graph_id not (it names no node).
    assert int(batch.edge_index.max()) < batch.num_nodes and batch.graph_id.shape == (32,)
    assert batch.x.shape == (batch.num_nodes, 1) and batch.overconstrained.shape == (batch.edge_index.shape[1],)


@pytest.mark.parametrize("workers", [0, 2])
def test_streamed_epochs_are_shuffled_anew_and_hold_every_graph_once(er, workers):
    graphs = RigidityGraphs(str(er), shuffle=True)
    assert len(graphs) == 300
    loader = DataLoader(graphs, batch_size=25, num_workers=workers)
    orders = [[int(i) for batch in loader for i in batch.graph_id] for _ in range(3)]
    for order in orders:
        assert sorted(order) == list(range(300))
    # A new order every epoch, also with fresh worker copies of the dataset.
    assert len({tuple(order) for order in orders}) == 3
    torch.manual_seed(11)
    first = [int(i) for batch in DataLoader(RigidityGraphs(str(er), shuffle=True), batch_size=25) for i in batch.graph_id]
    torch.manual_seed(11)
    again = [int(i) for batch in DataLoader(RigidityGraphs(str(er), shuffle=True), batch_size=25) for i in batch.graph_id]
    assert first == again  # torch's seed makes the order reproducible
    plain = [g.graph_id for g in RigidityGraphs(str(er))]
    assert plain == list(range(300))


def test_splits_are_disjoint_stable_and_shared_by_both_classes(er, dataset, tmp_path):
    parts = {name: RigidityDataset(str(er), split=name) for name in ("train", "val", "test")}
    members = {name: ids(part) for name, part in parts.items()}
    assert sorted(sum(members.values(), [])) == list(range(300))
    assert 200 < len(members["train"]) < 280 and members["test"] and members["val"]
    for name, part in parts.items():
        assert members[name] == np.flatnonzero(in_split(np.arange(300), name)).tolist()
        assert sorted(g.graph_id for g in RigidityGraphs(str(er), split=name)) == members[name]
    # Extending the dataset (same seed, more graphs, other shards) keeps
    # every graph and its split: the old test set stays the test set.
    bigger = tmp_path / "bigger"
    generate(str(bigger), 700, "10:30", 2, seed=5, shard_size=128, numeric=True)
    test = RigidityDataset(str(bigger), split="test")
    old = [g for g in test if g.graph_id < 300]
    assert [g.graph_id for g in old] == members["test"]
    for g in old:
        assert torch.equal(g.edge_index, dataset[g.graph_id].edge_index)
    custom = RigidityDataset(str(er), split="test", fractions=(0.5, 0.25, 0.25))
    assert set(members["test"]) <= set(ids(custom))
    for bad in ({"split": "training"}, {"split": "test", "fractions": (0.5, 0.5, 0.5)}):
        with pytest.raises(ValueError):
            RigidityDataset(str(er), **bad)


def test_transforms_and_filters(er, dataset):
    def mark(data):
        data.marked = torch.ones(1)
        return data

    seen = RigidityDataset(str(er), transform=mark)
    assert seen[3].marked.item() == 1 and "marked" not in dataset[3]
    assert next(iter(DataLoader(seen, batch_size=4, shuffle=True))).marked.shape == (4,)

    # A transform's changes reach the graph handed out, never the one the
    # dataset keeps for the next epoch.
    def zero(data):
        data.x = data.x * 0
        return mark(data)

    seen.transform = zero
    assert next(iter(DataLoader(seen, batch_size=300))).x.sum() == 0
    seen.transform = None
    assert torch.equal(seen[3].x, dataset[3].x) and "marked" not in seen[3]
    assert torch.equal(next(iter(DataLoader(seen, batch_size=300))).x, next(iter(DataLoader(dataset, batch_size=300))).x)
    floppy = RigidityDataset(str(er), pre_filter=lambda g: g.rigid == 0, pre_transform=NodeDegree())
    assert len(floppy) == sum(1 for g in dataset if g.rigid == 0) and all(g.rigid == 0 for g in floppy)
    for g in floppy[:5]:
        assert torch.equal(g.x, dataset[g.graph_id].x)
    bare = RigidityDataset(str(er), pre_transform=None)
    assert bare[0].x is None
    assert torch.equal(NodeDegree()(bare[7]).x, dataset[7].x)  # one graph, or the whole storage: the same
    twice = RigidityDataset(str(er), pre_transform=lambda g: NodeDegree()(NodeDegree()(g)), pre_filter=lambda g: g.graph_id == 4)
    assert len(twice) == 1 and twice[0].x.shape == (dataset[4].num_nodes, 2)


@pytest.mark.parametrize("kind", ["complete", "format-1-complete", "format-2-erdos-renyi", "format-3-erdos-renyi-space"])
def test_every_model_and_format_is_read(tmp_path, kind):
    if kind == "complete":
        path = tmp_path / "complete"
        generate(str(path), 20, 7, 3, seed=2, shard_size=8, model="complete")
    else:
        path = WRITTEN_BEFORE / kind
    stored = list(load(str(path)))
    graphs = RigidityDataset(str(path))
    assert len(graphs) == len(stored)
    for data, g in zip(graphs, stored):
        if "labels" in g:  # format 1 keeps its own keys; the class reads them as the stacked layout
            g = {"index": g["index"], "coords": g["coords"], "edges": g["edges"], "numeric": g["labels"],
                 "rigid": g["is_rigid"], "rank": g["final_rank"], "max_rank": g["max_rank"]}
        assert_graph_is_stored(data, g)
    batch = next(iter(DataLoader(graphs, batch_size=5, shuffle=True)))
    assert batch.num_graphs == 5


def test_checksums_are_verified_once_and_damage_is_named(er, tmp_path, monkeypatch):
    calls = []
    real = loader_module.sha256_of
    monkeypatch.setattr(loader_module, "sha256_of", lambda path: calls.append(path) or real(path))
    graphs = RigidityGraphs(str(er), shuffle=True)
    assert len(calls) == 5  # the five shards, once
    for _ in range(2):
        assert sum(1 for _ in graphs) == 300
    assert len(calls) == 5
    copy = tmp_path / "damaged"
    shutil.copytree(er, copy)
    shard = copy / "shard-000002.npz"
    shard.write_bytes(shard.read_bytes()[:-7] + b"garbage")
    for make in (RigidityDataset, RigidityGraphs):
        with pytest.raises(DatasetError, match="shard-000002.npz does not match its checksum"):
            make(str(copy))


def test_the_example_trains_past_the_degree_rule(tmp_path):
    """A short run of examples/train_rigidity_gnn.py: on held-out graphs the
    network beats the best degree-only rule and the majority class."""
    import importlib.util

    path = pathlib.Path(__file__).parents[2] / "examples" / "train_rigidity_gnn.py"
    spec = importlib.util.spec_from_file_location("train_rigidity_gnn", path)
    example = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(example)
    data = tmp_path / "er"
    generate(str(data), 1500, "40:60", 2, seed=1, workers=2)
    results = example.train(str(data), minutes=0.35, seed=0, log=lambda line: None)
    assert results["epochs"] >= 2
    assert results["gnn"] > results["degree_rule"] + 0.05 > results["majority"], results
