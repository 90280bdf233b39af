"""Reading datasets back: a damaged shard, whatever the damage and whether
or not its checksum is verified, is the loader's own error naming the file;
its structure (offsets, id ranges, dtypes, lengths) is checked on read."""

import hashlib
import io
import json
import pathlib
import shutil
import zipfile

import numpy as np
import pytest

from korvale_data import DatasetError, generate, load
from korvale_data.graph_shards import FIELDS
from korvale_data.shards import shard_bytes


# Datasets written by earlier versions of the tool, kept as they were.
WRITTEN_BEFORE = pathlib.Path(__file__).parent / "data"


@pytest.fixture(scope="module")
def datasets(tmp_path_factory):
    base = tmp_path_factory.mktemp("datasets")
    generate(str(base / "model"), 10, "10:20", 2, seed=1, shard_size=10, model="erdos-renyi", mean_degree=3.5)
    shutil.copytree(WRITTEN_BEFORE / "format-1-complete", base / "complete")
    return base


def damaged(datasets, tmp_path, kind, damage):
    """A copy of the dataset whose first shard is damaged, its checksum in
    the manifest made to match (so that only the loader's checks are left)."""
    out = tmp_path / kind
    shutil.copytree(datasets / kind, out)
    shard = out / "shard-000000.npz"
    data = damage(shard.read_bytes())
    shard.write_bytes(data)
    manifest = json.loads((out / "manifest.json").read_text())
    manifest["shards"][0]["sha256"] = hashlib.sha256(data).hexdigest()
    (out / "manifest.json").write_text(json.dumps(manifest))
    return out


def rewritten(change):
    """Damage that rewrites the shard's arrays."""

    def damage(data):
        with np.load(io.BytesIO(data)) as archive:
            arrays = {name: archive[name] for name in archive.files}
        change(arrays)
        names = [name for name in FIELDS if name in arrays] + [name for name in arrays if name not in FIELDS]
        return shard_bytes(arrays, names, compress=False)

    return damage


def set_item(name, index, value):
    return rewritten(lambda a: a[name].__setitem__(index, value))


def flipped_bit(data):
    data = bytearray(data)
    data[len(data) // 2] ^= 0x10
    return bytes(data)


def with_object_array(data):
    buffer = io.BytesIO()
    with zipfile.ZipFile(io.BytesIO(data)) as source, zipfile.ZipFile(buffer, "w") as target:
        for name in source.namelist():
            if name != "rank.npy":
                target.writestr(name, source.read(name))
        member = io.BytesIO()
        np.lib.format.write_array(member, np.array([None] * 10, dtype=object), allow_pickle=True)
        target.writestr("rank.npy", member.getvalue())
    return buffer.getvalue()


MODEL_DAMAGE = {
    "truncated": (lambda data: data[: len(data) // 3], "cannot be read"),
    "bit flip": (flipped_bit, "cannot be read"),
    "object array": (with_object_array, "cannot be read"),
    "node_ptr out of order": (set_item("node_ptr", 2, 1), "node_ptr does not run from 0"),
    "edge id of 10**6": (set_item("edges", (0, 0), 10**6), "an edge has a node outside its graph"),
    "negative id": (set_item("edges", (3, 1), -1), "an edge has a node outside its graph"),
    "float edges": (rewritten(lambda a: a.__setitem__("edges", a["edges"].astype(float))), "edges holds float64"),
    "edge_ptr past the end": (set_item("edge_ptr", -1, 10**5), "edge_ptr does not run from 0"),
    "short labels": (rewritten(lambda a: a.__setitem__("independent", a["independent"][:-3])), "independent has shape"),
    "no rigid": (rewritten(lambda a: a.pop("rigid")), "it lacks rigid"),
    "other graphs": (set_item("graph_index", 0, 7), "graph_index is not graphs 0..9"),
}


@pytest.mark.parametrize("verify", [True, False])
@pytest.mark.parametrize("kind", list(MODEL_DAMAGE))
def test_a_damaged_graph_model_shard_is_named(datasets, tmp_path, kind, verify):
    damage, reason = MODEL_DAMAGE[kind]
    out = damaged(datasets, tmp_path, "model", damage)
    with pytest.raises(DatasetError) as info:
        list(load(str(out), verify=verify))
    assert str(out / "shard-000000.npz") in str(info.value) and reason in str(info.value), str(info.value)


@pytest.mark.parametrize(
    "damage, reason",
    [
        (set_item("edges", (0, 1), 7), "edges are not pairs of the graph's nodes"),
        (rewritten(lambda a: a.__setitem__("labels", a["labels"][:, :-1])), "labels has shape"),
        (rewritten(lambda a: a.__setitem__("coords", a["coords"][:4])), "coords has shape"),
    ],
)
def test_a_damaged_complete_shard_is_named(datasets, tmp_path, damage, reason):
    out = damaged(datasets, tmp_path, "complete", damage)
    with pytest.raises(DatasetError, match=reason):
        list(load(str(out)))


def test_sound_shards_still_load(datasets):
    assert len(list(load(str(datasets / "model")))) == 10
    assert len(list(load(str(datasets / "complete"), by="shard"))) == 2
