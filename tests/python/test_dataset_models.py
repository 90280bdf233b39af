"""korvale-dataset with graph models: the same graphs whatever the sharding,
the workers or Dask; the stacked layout; labels equal to korvale_graphs
called directly; refusals; and the PyTorch Geometric class without torch."""

import json
import os
import pathlib
import shutil
import subprocess
import sys

import numpy as np
import pytest

import korvale
import korvale_graphs as kg
from korvale_data import DatasetError, generate, load

MODELS = {
    "erdos-renyi": {"nodes": "20:40", "mean_degree": "3.0:4.5"},
    "regular": {"nodes": "15:25", "degree": 3},
    "geometric": {"nodes": 30, "radius": "0.15:0.3", "periodic": True},
    "lattice": {"nodes": "16:49", "bond_probability": "0.6:0.9"},
    "henneberg": {"nodes": "10:20", "extra": 3},
}


def graphs_of(path):
    return list(load(str(path)))


def same_graphs(a, b):
    assert len(a) == len(b)
    for g, h in zip(a, b):
        assert g.keys() == h.keys()
        for key in g:
            assert np.array_equal(g[key], h[key]), key


@pytest.mark.parametrize("model", list(MODELS))
@pytest.mark.parametrize("dim", [2, 3])
def test_each_graph_depends_on_the_seed_and_its_index_alone(tmp_path, model, dim):
    if model == "lattice" and dim == 3:
        pytest.skip("a plane model")
    options = MODELS[model]
    generate(str(tmp_path / "a"), 23, dim=dim, seed=5, shard_size=23, model=model, **options)
    generate(str(tmp_path / "b"), 23, dim=dim, seed=5, shard_size=4, workers=2, model=model, **options)
    first = graphs_of(tmp_path / "a")
    same_graphs(first, graphs_of(tmp_path / "b"))
    # Another seed, other graphs.
    generate(str(tmp_path / "c"), 23, dim=dim, seed=6, shard_size=23, model=model, **options)
    assert any(not np.array_equal(g["edges"], h["edges"]) for g, h in zip(first, graphs_of(tmp_path / "c")))
    # The labels are those of korvale_graphs called directly.
    for g in first:
        n = len(g["coords"])
        if dim == 2:
            game = kg.pebble_game(n, g["edges"])
            assert np.array_equal(g["independent"], game["labels"])
            assert np.array_equal(g["overconstrained"], game["overconstrained"])
            assert np.array_equal(g["component"], game["components"])
            assert g["largest_component"] == game["largest_component"] and g["rigid"] == game["is_rigid"]
        else:
            exact = kg.generic_rank(n, g["edges"], 3, clusters=True)
            assert np.array_equal(g["independent"], exact["labels"]) and g["rank"] == exact["rank"]
            assert g["max_rank"] == exact["max_rank"] and g["rigid"] == exact["is_rigid"]
            assert np.array_equal(g["overconstrained"], exact["overconstrained"])
            assert np.array_equal(g["component"], exact["edge_cluster"])
            assert g["largest_component"] == exact["largest_cluster"]
        assert g["globally_rigid"] is kg.global_rigidity(n, g["edges"], dim)["is_globally_rigid"]


def test_stacked_layout_and_manifest(tmp_path):
    generate(str(tmp_path), 30, "10:20", 2, seed=3, shard_size=12, model="erdos-renyi", mean_degree=4.0, numeric=True)
    manifest = json.loads((tmp_path / "manifest.json").read_text())
    assert manifest["format_version"] == 5 and manifest["arguments"]["model"] == "erdos-renyi"
    assert manifest["arguments"]["parameters"] == {"nodes": [10, 20], "mean_degree": [4.0, 4.0], "numeric": True}
    shards = list(load(str(tmp_path), by="shard"))
    assert [len(s["graph_index"]) for s in shards] == [12, 12, 6]
    for s in shards:
        nodes, edges = s["node_ptr"], s["edge_ptr"]
        assert nodes[0] == 0 and edges[0] == 0 and len(nodes) == len(edges) == len(s["graph_index"]) + 1
        assert s["coords"].shape == (nodes[-1], 2) and s["edges"].shape == (edges[-1], 2)
        for name in ("independent", "overconstrained", "component", "numeric"):
            assert s[name].shape == (edges[-1],)
        for g in range(len(s["graph_index"])):
            local = s["edges"][edges[g]:edges[g + 1]]
            assert local.min(initial=0) >= 0 and local.max(initial=0) < nodes[g + 1] - nodes[g]
            assert 10 <= nodes[g + 1] - nodes[g] <= 20
    for g in load(str(tmp_path)):
        assert np.array_equal(g["numeric"], kg.label_edges(g["coords"], g["edges"])["labels"])
        assert g["parameter"] == 4.0


def test_overconstrained_in_space_is_a_circuit_property(tmp_path):
    generate(str(tmp_path), 6, 14, 3, seed=2, model="erdos-renyi", mean_degree=6.5)
    checked = 0
    for g in load(str(tmp_path)):
        n, edges = len(g["coords"]), g["edges"]
        rank = kg.generic_rank(n, edges, 3)["rank"]
        for e in range(len(edges)):
            without = kg.generic_rank(n, np.delete(edges, e, axis=0), 3)["rank"]
            assert g["overconstrained"][e] == (without == rank)
            checked += 1
    assert checked > 100


def test_datasets_written_before_load_and_refuse_to_be_extended(tmp_path):
    """Formats 1 (complete graphs from seed + k), 2 (graph models) and 3
    (no global rigidity label) load as they were written; the tool refuses
    to add to them, in one line naming the format, and leaves them
    untouched."""
    before = pathlib.Path(__file__).parent / "data"
    old = graphs_of(before / "format-1-complete")
    assert set(old[0]) == {"index", "coords", "edges", "labels", "final_rank", "max_rank", "is_rigid"}
    batch = korvale.generate_training_batch(10, 7, 2, 1)  # format 1: graph k from seed + k
    assert [g["labels"].tolist() for g in old] == [b["labels"].tolist() for b in batch]
    er = graphs_of(before / "format-2-erdos-renyi")
    assert {"independent", "overconstrained", "component", "rigid", "largest_component"} <= set(er[0])
    space = graphs_of(before / "format-3-erdos-renyi-space")
    assert len(space) == 10 and "globally_rigid" not in space[0] and "component" not in space[0]
    for g in space:
        assert np.array_equal(g["independent"], kg.generic_rank(len(g["coords"]), g["edges"], 3)["labels"])
    for name, arguments in (("format-1-complete", dict(nodes=7, model="complete")),
                            ("format-2-erdos-renyi", dict(nodes="10:20", model="erdos-renyi", mean_degree=3.5)),
                            ("format-3-erdos-renyi-space", dict(nodes="10:16", model="erdos-renyi", mean_degree=5.5))):
        copy = tmp_path / name
        shutil.copytree(before / name, copy)
        version = name.split("-")[1]
        with pytest.raises(DatasetError, match=f"format version {version} .* reads but does not extend") as info:
            generate(str(copy), 12, dim=3 if "space" in name else 2, seed=1, shard_size=6, **arguments)
        assert "\n" not in str(info.value)
        assert sorted(os.listdir(copy)) == sorted(os.listdir(before / name))
    new = tmp_path / "new"
    generate(str(new), 5, 6, 2, seed=1, model="henneberg")
    assert all(g["rigid"] and g["rank"] == 9 for g in graphs_of(new))  # Henneberg graphs are minimally rigid


def test_resuming_a_model_dataset_keeps_its_shards(tmp_path):
    arguments = dict(graphs=20, nodes="8:12", dim=2, seed=4, shard_size=5, model="regular", degree=3)
    generate(str(tmp_path), **arguments)
    os.remove(tmp_path / "shard-000002.npz")
    stamps = {name: os.stat(tmp_path / name).st_mtime_ns for name in ("shard-000000.npz", "shard-000001.npz")}
    generate(str(tmp_path), **arguments)
    assert {name: os.stat(tmp_path / name).st_mtime_ns for name in stamps} == stamps
    assert len(graphs_of(tmp_path)) == 20
    with pytest.raises(DatasetError, match="holds another dataset"):
        generate(str(tmp_path), **(arguments | {"degree": 4}))


@pytest.mark.parametrize(
    "args, message",
    [
        (["--model", "lattice", "--dim", "3"], "the lattice model is a plane model"),
        (["--model", "erdos-renyi", "--mean-degree", "5:4"], "mean-degree must lie in"),
        (["--model", "erdos-renyi", "--mean-degree", "x"], "mean-degree must be a number or a range"),
        (["--model", "erdos-renyi", "--nodes", "4", "--mean-degree", "3:6"], "mean-degree must be at most nodes - 1 = 3"),
        (["--model", "regular", "--nodes", "5", "--degree", "5"], "degree must be below nodes = 5"),
        (["--model", "henneberg", "--nodes", "5", "--extra", "9"], "extra must lie in [0, 3]"),
        (["--model", "complete", "--nodes", "5:9"], "--nodes must be a number for the complete model"),
        (["--model", "geometric", "--nodes", "9:3"], "nodes must be a number or a range"),
        # These passed the checks and died with a traceback after writing
        # the manifest, or never ended.
        (["--model", "geometric", "--radius", "inf"], "radius must be finite, got 'inf'"),
        (["--model", "geometric", "--radius", "0.1:1e400"], "radius must be finite"),
        (["--model", "erdos-renyi", "--mean-degree", "nan"], "mean-degree must be finite"),
        (["--model", "erdos-renyi", "--nodes", "2000000000", "--graphs", "1"], "of memory and"),
        (["--model", "geometric", "--nodes", "200000", "--radius", "5", "--graphs", "1"], "of memory and"),
        (["--model", "erdos-renyi", "--graphs", "100000000000000000000"], "graphs must be below 2**63"),
        (["--model", "regular", "--graphs", "1000000000000000"], "on disk and"),
        # Options of another model are refused, not ignored.
        (["--model", "regular", "--radius", "0.3"], "--radius applies to --model geometric, not to --model regular"),
        (["--mean-degree", "4", "--model", "lattice"], "--mean-degree applies to --model erdos-renyi"),
        (["--periodic"], "--periodic applies to --model geometric or lattice, not to --model erdos-renyi"),
        (["--model", "complete", "--labels", "numeric", "--nodes", "6"], "--labels applies to a graph model"),
        (["--model", "geometric", "--extra", "0"], "--extra applies to --model henneberg"),
    ],
)
def test_bad_model_arguments_exit_2_with_one_line(tmp_path, args, message):
    base = ["--graphs", "3", "--dim", "2", "--nodes", "20"]
    proc = subprocess.run([sys.executable, "-m", "korvale_data", *base, *args, "--out", str(tmp_path / "o"), "--quiet"],
                          capture_output=True, text=True, timeout=120)
    assert proc.returncode == 2 and proc.stderr.count("\n") == 1 and message in proc.stderr, proc.stderr
    assert not (tmp_path / "o").exists()  # refused before anything was written


def test_the_torch_classes_name_their_install_when_torch_is_missing(tmp_path):
    import importlib.util

    if importlib.util.find_spec("torch") is not None:
        pytest.skip("torch is installed here")
    import korvale_data.torch as kt

    for make in (kt.RigidityDataset, kt.RigidityGraphs):
        with pytest.raises(ImportError, match=r'pip install "korvale\[torch\]"'):
            make(str(tmp_path))
    assert "torch" not in sys.modules


def test_packages_report_the_distribution_version():
    from importlib import metadata

    import korvale_data

    assert korvale_data.__version__ == kg.__version__ == metadata.version("korvale")


def test_the_default_model_is_erdos_renyi_around_the_threshold(tmp_path):
    cli = [sys.executable, "-m", "korvale_data"]
    for dim, degrees in ((2, [3.0, 4.5]), (3, [5.0, 6.5])):
        out = tmp_path / f"d{dim}"
        proc = subprocess.run([*cli, "--graphs", "40", "--nodes", "40:60", "--dim", str(dim), "--out", str(out),
                               "--quiet"], capture_output=True, text=True, timeout=300)
        assert proc.returncode == 0, proc.stderr
        arguments = json.loads((out / "manifest.json").read_text())["arguments"]
        assert arguments["model"] == "erdos-renyi" and arguments["parameters"]["mean_degree"] == degrees
        # Around the threshold: neither label is rare.
        over = np.concatenate([g["overconstrained"] for g in load(str(out))]).mean()
        assert 0.2 < over < 0.8, over
    help_text = subprocess.run([*cli, "--help"], capture_output=True, text=True, timeout=60).stdout
    assert "erdos-renyi (default" in help_text and "examples:" in help_text and "5.0:6.5" in help_text
    version = subprocess.run([*cli, "--version"], capture_output=True, text=True, timeout=60)
    assert version.returncode == 0 and version.stdout.startswith("korvale-dataset ")


@pytest.mark.parametrize("model, nodes", [("erdos-renyi", "20:30"), ("complete", 8)])
def test_datasets_of_different_seeds_share_no_graph(tmp_path, model, nodes):
    def fingerprints(seed):
        generate(str(tmp_path / f"{seed}"), 200, nodes, 2, seed=seed, shard_size=64, model=model)
        return {g["coords"].tobytes() for g in load(str(tmp_path / f"{seed}"))}

    zero, one = fingerprints(0), fingerprints(1)
    assert len(zero) == len(one) == 200 and not zero & one
