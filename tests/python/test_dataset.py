"""korvale-dataset and korvale_data: shards, determinism, resumption,
refusals, the loader, and a Dask cluster."""

import errno
import hashlib
import json
import os
import subprocess
import sys

import numpy as np
import pytest

import korvale
import korvale_data
from korvale_data import DatasetError, draw_coordinates, generate, load, to_edge_index
from korvale_data import shards as shard_module
from korvale_data.coordinates import coordinates_from_seeds
from korvale_data.streams import graph_seed, graph_seeds, mix


def files_of(path):
    return {name: open(os.path.join(path, name), "rb").read() for name in sorted(os.listdir(path))}


def run_cli(*args):
    return subprocess.run(
        [sys.executable, "-m", "korvale_data", *args], capture_output=True, text=True, timeout=300
    )


def distances(coords):
    """Euclidean distances summed coordinate by coordinate, in order."""
    diff = coords[:, :, None, :] - coords[:, None, :, :]
    total = diff[..., 0] * diff[..., 0]
    for c in range(1, coords.shape[-1]):
        total = total + diff[..., c] * diff[..., c]
    return np.sqrt(total)


@pytest.mark.parametrize("d, n", [(2, 1), (2, 7), (3, 12)])
@pytest.mark.parametrize("seed", [0, 12345, 2**64 - 3])
def test_coordinates_are_the_batchs_bit_for_bit(d, n, seed):
    batch = korvale.generate_training_batch(5, n, d, seed)
    coords = draw_coordinates(seed, 0, 5, n, d)
    got = distances(coords)
    for k, g in enumerate(batch):
        assert got[k].tobytes() == g["distance_matrix"].tobytes()
    if n > d:
        # The labels of the batch are simulate's labels on these coordinates.
        assert korvale.simulate(coords[3], d)["labels"].tolist() == batch[3]["labels"].tolist()
    later = draw_coordinates(seed, 3, 2, n, d)
    assert later.tobytes() == coords[3:].tobytes()


def test_dataset_contents(tmp_path):
    manifest = generate(str(tmp_path), 25, 6, 2, seed=7, shard_size=10, model="complete")
    assert [s["count"] for s in manifest["shards"]] == [10, 10, 5]
    assert manifest["format_version"] == 5
    assert manifest["arguments"] == {"graphs": 25, "nodes": 6, "dim": 2, "seed": 7, "shard_size": 10,
                                     "model": "complete", "parameters": {}}
    on_disk = json.load(open(tmp_path / "manifest.json"))
    assert on_disk == manifest
    for s in manifest["shards"]:
        assert hashlib.sha256((tmp_path / s["file"]).read_bytes()).hexdigest() == s["sha256"]
    graphs = list(load(str(tmp_path)))
    assert [g["index"] for g in graphs] == list(range(25))
    # Graph k is the module's own batch of one graph, seeded with s_k.
    seeds = graph_seeds(7, np.arange(25))
    coords = coordinates_from_seeds(seeds, 6, 2)
    for k, g in enumerate(graphs):
        b = korvale.generate_training_batch(1, 6, 2, graph_seed(7, k))[0]
        assert int(seeds[k]) == graph_seed(7, k)
        assert g["numeric"].tolist() == b["labels"].tolist()
        assert (g["rank"], g["max_rank"], g["rigid"]) == (b["final_rank"], b["max_rank"], b["is_rigid"])
        assert g["globally_rigid"] is True  # a complete graph, in any dimension
        assert g["edges"].shape == (15, 2) and g["edges"][-1].tolist() == [4, 5]
        assert g["coords"].tobytes() == coords[k].tobytes()
        assert distances(coords[k : k + 1])[0].tobytes() == b["distance_matrix"].tobytes()
    shards = list(load(str(tmp_path), by="shard"))
    assert [s["numeric"].shape for s in shards] == [(150,), (150,), (75,)]


def test_graph_seeds_mix_seed_and_index():
    """s_k = mix(mix(seed) ^ k) with the SplitMix64 finaliser: its first
    outputs are the published ones, and neighbouring seeds share no seed."""
    # SplitMix64 from state 0 outputs mix(golden), mix(2 golden), ...
    golden = 0x9E3779B97F4A7C15
    assert [int(mix(np.uint64(k * golden % 2**64))) for k in (1, 2, 3)] == [
        0xE220A8397B1DCDAF, 0x6E789E6AA1B965F4, 0x06C45D188009454F]
    assert graph_seed(2**64 - 1, 2**64 - 1) == int(mix(mix(np.uint64(2**64 - 1)) ^ np.uint64(2**64 - 1)))
    a, b = graph_seeds(0, np.arange(10000)), graph_seeds(1, np.arange(10000))
    assert len(np.intersect1d(a, b)) == 0 and len(np.unique(a)) == 10000
    with pytest.raises(ValueError):
        graph_seed(-1, 0)


def test_output_is_byte_identical_whatever_the_workers(tmp_path):
    one = tmp_path / "one"
    two = tmp_path / "two"
    generate(str(one), 40, 8, 3, seed=3, shard_size=7, model="complete", workers=1)
    generate(str(two), 40, 8, 3, seed=3, shard_size=7, model="complete", workers=3)
    assert files_of(one) == files_of(two)
    other = tmp_path / "other"
    generate(str(other), 40, 8, 3, seed=3, shard_size=16, model="complete", workers=2)
    for a, b in zip(load(str(one)), load(str(other))):
        assert a["index"] == b["index"]
        for key in ("coords", "edges", "numeric"):
            assert a[key].tobytes() == b[key].tobytes()


def test_rerun_keeps_intact_shards_and_rebuilds_damaged_ones(tmp_path):
    generate(str(tmp_path), 30, 5, 2, seed=1, shard_size=10, model="complete")
    original = files_of(tmp_path)
    os.remove(tmp_path / "shard-000001.npz")
    damaged = tmp_path / "shard-000002.npz"
    damaged.write_bytes(damaged.read_bytes()[:-10] + b"0123456789")
    kept = os.stat(tmp_path / "shard-000000.npz").st_mtime_ns
    generate(str(tmp_path), 30, 5, 2, seed=1, shard_size=10, model="complete")
    assert files_of(tmp_path) == original
    assert os.stat(tmp_path / "shard-000000.npz").st_mtime_ns == kept


def test_a_crash_leaves_only_complete_shards(tmp_path, monkeypatch):
    real = shard_module.build_complete_shard
    out = tmp_path / "crashed"

    def failing(seed, first, count, n, d):
        if first == 20:
            raise RuntimeError("worker lost")
        return real(seed, first, count, n, d)

    monkeypatch.setattr("korvale_data.request.build_complete_shard", failing)
    with pytest.raises(RuntimeError, match="worker lost"):
        generate(str(out), 40, 5, 2, seed=2, shard_size=10, model="complete")
    names = sorted(os.listdir(out))
    assert not any(".tmp-" in name for name in names)
    assert "shard-000002.npz" not in names
    with pytest.raises(DatasetError, match="never completed"):
        list(load(str(out)))
    monkeypatch.undo()
    generate(str(out), 40, 5, 2, seed=2, shard_size=10, model="complete")
    fresh = tmp_path / "fresh"
    generate(str(fresh), 40, 5, 2, seed=2, shard_size=10, model="complete")
    assert files_of(out) == files_of(fresh)


@pytest.mark.parametrize(
    "args, message",
    [
        (["--graphs", "-1", "--nodes", "5", "--dim", "2"], "graphs must not be negative"),
        (["--graphs", "3", "--nodes", "5", "--dim", "4"], "dim must be 2 or 3"),
        (["--graphs", "3", "--nodes", "0", "--dim", "2"], "nodes must be at least 1"),
        (["--graphs", "3", "--nodes", "5", "--dim", "2", "--shard-size", "0"], "shard size must be at least 1"),
        (["--graphs", "3", "--nodes", "5", "--dim", "2", "--seed", "-4"], "seed must be in"),
        (["--graphs", "x", "--nodes", "5", "--dim", "2"], "invalid int value"),
        (["--graphs", "3", "--nodes", "5", "--dim", "2", "--workers", "0"], "workers must be a positive integer"),
        (["--graphs", "100000000000000000000", "--nodes", "5", "--dim", "2"], "graphs must be below 2**63"),
        (["--graphs", "10000000000000", "--nodes", "20", "--dim", "2"], "on disk and"),
        (["--graphs", "4", "--nodes", "200000", "--dim", "2", "--shard-size", "2"], "of memory and"),
        (["--graphs", "3", "--nodes", "5", "--dim", "2", "--dask", "tcp://127.0.0.1:1", "--dask-timeout", "inf"],
         "--dask-timeout must be a finite number of seconds above 0"),
    ],
)
def test_bad_arguments_exit_2_with_one_line(tmp_path, args, message):
    proc = run_cli(*args, "--out", str(tmp_path / "out"), "--quiet", "--model", "complete")
    assert proc.returncode == 2
    assert proc.stderr.count("\n") == 1 and message in proc.stderr
    assert not (tmp_path / "out" / "manifest.json").exists()


def test_another_dataset_or_foreign_files_are_never_overwritten(tmp_path):
    out = tmp_path / "out"
    assert run_cli(*cli_args(out)).returncode == 0
    before = files_of(out)
    proc = run_cli(*cli_args(out)[:7], "2", *cli_args(out)[8:])
    assert proc.returncode == 2 and "holds another dataset" in proc.stderr and proc.stderr.count("\n") == 1
    assert files_of(out) == before
    foreign = tmp_path / "foreign"
    foreign.mkdir()
    (foreign / "notes.txt").write_text("mine")
    proc = run_cli(*cli_args(foreign))
    assert proc.returncode == 2 and "holds no korvale dataset" in proc.stderr
    assert os.listdir(foreign) == ["notes.txt"]
    (out / "manifest.json").write_text("{broken")
    proc = run_cli(*cli_args(out))
    assert proc.returncode == 2 and proc.stderr.count("\n") == 1


def test_console_script_reports_its_work(tmp_path):
    proc = run_cli("--graphs", "5", "--nodes", "4", "--dim", "3", "--out", str(tmp_path / "d"), "--shard-size", "2",
                   "--model", "complete")
    assert proc.returncode == 0, proc.stderr
    assert "5 graphs in 3 shards" in proc.stderr
    assert len(list(load(str(tmp_path / "d")))) == 5


def test_to_edge_index():
    edges = np.array([[0, 1], [0, 2], [1, 2]])
    index, y = to_edge_index(edges, np.array([1, 0, 1], dtype=np.uint8))
    assert index.tolist() == [[0, 0, 1, 1, 2, 2], [1, 2, 2, 0, 0, 1]]
    assert y.tolist() == [1, 0, 1, 1, 0, 1] and y.dtype == np.int64 and index.dtype == np.int64
    directed, y1 = to_edge_index(edges, [1, 0, 1], undirected=False)
    assert directed.tolist() == [[0, 0, 1], [1, 2, 2]] and y1.tolist() == [1, 0, 1]
    assert to_edge_index(edges)[1] is None
    with pytest.raises(ValueError):
        to_edge_index(edges, [1, 0])


def test_dask_cluster_gives_the_local_output(tmp_path):
    distributed = pytest.importorskip("distributed")
    local = tmp_path / "local"
    generate(str(local), 30, 7, 2, seed=9, shard_size=8, model="complete")
    model = dict(graphs=30, nodes="10:30", dim=2, seed=9, shard_size=8, model="geometric", radius="0.2:0.3")
    generate(str(tmp_path / "model"), **model)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=False, dashboard_address=None) as cluster:
        with distributed.Client(cluster) as client:
            generate(str(tmp_path / "dask"), 30, 7, 2, seed=9, shard_size=8, model="complete", client=client)
            generate(str(tmp_path / "dask-model"), **model, client=client)
    assert files_of(local) == files_of(tmp_path / "dask")
    assert files_of(tmp_path / "model") == files_of(tmp_path / "dask-model")


def test_package_keeps_the_module_namespace_untouched():
    assert korvale.__all__ == [
        "simulate", "gram_from_dist", "generate_training_batch", "max_independent", "reconstruct", "pebble_game"
    ]
    assert korvale_data.__all__ == ["DatasetError", "draw_coordinates", "generate", "load", "to_edge_index"]


def cli_args(out, *extra):
    return ("--graphs", "12", "--nodes", "5", "--dim", "2", "--seed", "1", "--shard-size", "4", "--out", str(out),
            "--quiet", "--model", "complete", *extra)


def assert_one_line_refusal(proc, *words):
    assert proc.returncode == 2, (proc.returncode, proc.stderr)
    assert proc.stderr.count("\n") == 1 and proc.stderr.startswith("korvale-dataset: error: "), proc.stderr
    for word in words:
        assert word in proc.stderr, proc.stderr


def test_only_the_tools_own_files_are_ever_removed(tmp_path):
    # A file that merely looks temporary is the user's: the directory is refused untouched.
    photos = tmp_path / "photos"
    photos.mkdir()
    (photos / "photo.tmp-1.jpg").write_bytes(b"\xff\xd8 a picture")
    assert_one_line_refusal(run_cli(*cli_args(photos)), str(photos))
    assert files_of(photos) == {"photo.tmp-1.jpg": b"\xff\xd8 a picture"}
    # Beside a dataset, too: a stray file (even one named like a shard the
    # dataset does not have) makes the rerun refuse and touch nothing.
    out = tmp_path / "out"
    assert run_cli(*cli_args(out)).returncode == 0
    for stray in ("notes.txt", "shard-000009.npz", "manifest.json.tmp-x"):
        (out / stray).write_text("mine")
        before = files_of(out)
        assert_one_line_refusal(run_cli(*cli_args(out)), stray)
        assert files_of(out) == before
        os.remove(out / stray)
    # The tool's own leftovers (its exact temporary names) are cleaned up.
    (out / "shard-000001.npz.tmp-4242").write_bytes(b"partial")
    os.remove(out / "shard-000001.npz")
    assert run_cli(*cli_args(out)).returncode == 0
    assert sorted(os.listdir(out)) == ["manifest.json", "shard-000000.npz", "shard-000001.npz", "shard-000002.npz"]


def test_malformed_manifests_are_refused_in_one_line(tmp_path):
    out = tmp_path / "out"
    assert run_cli(*cli_args(out)).returncode == 0
    manifest = json.loads((out / "manifest.json").read_text())
    for shards in ([1, 2, 3], "shards", [{"file": "../escape.npz", "sha256": None}], [{"file": 7}]):
        (out / "manifest.json").write_text(json.dumps({**manifest, "shards": shards}))
        before = files_of(out)
        assert_one_line_refusal(run_cli(*cli_args(out)), "manifest")
        assert files_of(out) == before
        with pytest.raises(DatasetError):
            list(load(str(out)))


def test_unusable_targets_are_refused_in_one_line(tmp_path):
    blocker = tmp_path / "file"
    blocker.write_text("x")
    assert_one_line_refusal(run_cli(*cli_args(blocker / "below")))
    assert_one_line_refusal(run_cli(*cli_args(blocker)), "not a directory")


def mounted_tmpfs(path, options):
    """Mounts a tmpfs at path (root only); False where that is not allowed."""
    path.mkdir()
    proc = subprocess.run(["mount", "-t", "tmpfs", "-o", options, "tmpfs", str(path)], capture_output=True)
    return proc.returncode == 0


@pytest.fixture
def tmpfs(tmp_path):
    mounts = []

    def make(name, options):
        path = tmp_path / name
        if not mounted_tmpfs(path, options):
            pytest.skip("cannot mount a tmpfs here")
        mounts.append(path)
        return path

    yield make
    for path in mounts:
        subprocess.run(["umount", str(path)], check=True)


def test_read_only_and_full_disks_are_refused_in_one_line(tmpfs, monkeypatch):
    read_only = tmpfs("ro", "ro,size=1m")
    assert_one_line_refusal(run_cli(*cli_args(read_only / "out")), "Read-only")
    full = tmpfs("full", "size=64k")
    arguments = dict(graphs=400, nodes=30, dim=3, shard_size=100, model="complete")
    proc = run_cli("--graphs", "400", "--nodes", "30", "--dim", "3", "--shard-size", "100", "--out", str(full / "out"),
                   "--quiet", "--model", "complete")
    assert_one_line_refusal(proc, "on disk and")  # the estimate already says it cannot fit
    assert not (full / "out").exists()
    # A disk that fills up all the same (another writer, a low estimate).
    monkeypatch.setattr("korvale_data.budget.free_disk", lambda out: 2**60)
    with pytest.raises(OSError) as info:
        generate(str(full / "out"), **arguments)
    assert info.value.errno == errno.ENOSPC
    names = os.listdir(full / "out")
    assert not any(".tmp-" in name for name in names), names
    manifest = json.loads((full / "out" / "manifest.json").read_text())
    for entry in manifest["shards"]:  # every shard on disk is complete and recorded
        assert (entry["file"] in names) == (entry["sha256"] is not None)
        if entry["sha256"]:
            assert hashlib.sha256((full / "out" / entry["file"]).read_bytes()).hexdigest() == entry["sha256"]


def test_dask_problems_are_one_line_within_seconds(tmp_path):
    pytest.importorskip("distributed")
    import socket
    import time

    with socket.socket() as s:  # a port where nothing listens
        s.bind(("127.0.0.1", 0))
        port = s.getsockname()[1]
    start = time.monotonic()
    proc = run_cli(*cli_args(tmp_path / "a", "--dask", f"tcp://127.0.0.1:{port}", "--dask-timeout", "2"))
    assert_one_line_refusal(proc, f"127.0.0.1:{port}")
    # Within the 2 s asked for plus an interpreter's start and Dask's import
    # (seconds under the sanitizers), far below Dask's own 30 s.
    assert time.monotonic() - start < 15
    code = ("import sys; sys.modules['distributed'] = None\n"
            "from korvale_data.cli import main\n"
            f"sys.exit(main({list(cli_args(tmp_path / 'b', '--dask', 'tcp://127.0.0.1:1'))!r}))")
    proc = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=60)
    assert_one_line_refusal(proc, "pip install korvale[dask]")


def test_a_second_run_into_the_same_directory_is_refused_at_once(tmp_path):
    import fcntl

    out = tmp_path / "out"
    assert run_cli(*cli_args(out)).returncode == 0
    before = files_of(out)
    fd = os.open(out, os.O_RDONLY)
    try:
        fcntl.flock(fd, fcntl.LOCK_EX)  # as a running generator holds it
        assert_one_line_refusal(run_cli(*cli_args(out)), str(out), "in use")
    finally:
        os.close(fd)
    assert files_of(out) == before
    # Two real runs started together: one writes, the other refuses or (if it
    # came second) finds the work done; nothing is lost either way.
    big = tmp_path / "big"
    args = ("--graphs", "3000", "--nodes", "20", "--dim", "3", "--shard-size", "100", "--model", "complete", "--out",
            str(big), "--quiet")
    runs = [subprocess.Popen([sys.executable, "-m", "korvale_data", *args], stderr=subprocess.PIPE, text=True)
            for _ in range(2)]
    outcomes = [(p.wait(timeout=300), p.stderr.read()) for p in runs]
    for code, err in outcomes:
        assert code == 0 or (code == 2 and "in use" in err and err.count("\n") == 1), outcomes
    assert 0 in [code for code, _ in outcomes]
    fresh = tmp_path / "fresh"
    assert run_cli(*args[:-3], "--out", str(fresh)).returncode == 0
    assert files_of(big) == files_of(fresh)


def test_progress_starts_at_the_graphs_already_written(tmp_path, monkeypatch, capsys):
    import types

    bars = []

    class Bar:
        def __init__(self, **kwargs):
            bars.append(kwargs)

        def update(self, n):
            bars[-1]["initial"] += n

        def close(self):
            pass

    monkeypatch.setitem(sys.modules, "tqdm", types.SimpleNamespace(tqdm=Bar))
    generate(str(tmp_path), 30, 5, 2, seed=1, shard_size=10, model="complete")
    assert bars == []  # no bar unless asked for
    os.remove(tmp_path / "shard-000002.npz")
    generate(str(tmp_path), 30, 5, 2, seed=1, shard_size=10, model="complete", progress=True)
    assert bars[0]["total"] == 30 and bars[0]["initial"] == 30  # started at 20, then one shard of 10
    monkeypatch.setitem(sys.modules, "tqdm", None)  # not installed
    os.remove(tmp_path / "shard-000001.npz")
    generate(str(tmp_path), 30, 5, 2, seed=1, shard_size=10, model="complete", progress=True)
    assert capsys.readouterr().err.count("pip install korvale[dataset]") == 1
