"""A dataset on disk: the manifest and its format versions, checksums,
atomic writes, the directory lock, and what a directory may hold. The
writer and the loader both stand on it."""

import contextlib
import hashlib
import json
import os
import re
from importlib import metadata
from typing import TYPE_CHECKING, Any

from korvale_data.errors import DatasetError

if TYPE_CHECKING:  # the request's type only: storage needs none of its code
    from korvale_data.request import Spec

FORMAT = "korvale-dataset"
# Version 5 (written now): every model in the stacked layout, graph k drawn
# from the per-graph seed s_k = mix(mix(seed) ^ k) (korvale_data.streams),
# rigid clusters in the plane and in space. Read, never extended: version 1
# (the complete model only, one candidate list for all graphs, graph k from
# seed + k), version 2 (the graph models, in the layout of version 5),
# version 3 (every model, no global rigidity label) and version 4 (no rigid
# clusters in space).
FORMAT_VERSION = 5
FORMATS = {
    1: "complete graphs drawn from seed + k",
    2: "graph models only",
    3: "without the globally_rigid label",
    4: "without rigid clusters in space",
}
MANIFEST = "manifest.json"
# The only names the tool writes: shards, the manifest, and their temporary
# names while they are written. Nothing else in a directory is ever touched.
SHARD_NAME = re.compile(r"shard-[0-9]{6}\.npz")
TEMPORARY_NAME = re.compile(r"(manifest\.json|shard-[0-9]{6}\.npz)\.tmp-[0-9]+")


def package_version() -> str:
    try:
        return metadata.version("korvale")
    except metadata.PackageNotFoundError:
        return "unknown"


def sha256_of(path: str) -> str:
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def write_atomically(path: str, data: bytes):
    """The file appears complete or not at all; a failed write (a full disk)
    leaves nothing behind."""
    temporary = f"{path}.tmp-{os.getpid()}"
    try:
        with open(temporary, "wb") as f:
            f.write(data)
            f.flush()
            os.fsync(f.fileno())
        os.replace(temporary, path)
    except BaseException:
        with contextlib.suppress(OSError):
            os.remove(temporary)
        raise


def read_manifest(out: str):
    path = os.path.join(out, MANIFEST)
    if not os.path.exists(path):
        return None
    try:
        with open(path) as f:
            manifest = json.load(f)
    except (OSError, ValueError) as e:
        raise DatasetError(f"{path} is not a readable manifest: {e}") from None
    if not isinstance(manifest, dict) or manifest.get("format") != FORMAT:
        raise DatasetError(f"{out} holds something other than a korvale dataset")
    shards = manifest.get("shards")
    if not isinstance(shards, list) or not all(
        isinstance(entry, dict)
        and isinstance(entry.get("file"), str)
        and SHARD_NAME.fullmatch(entry["file"])
        and (entry.get("sha256") is None or isinstance(entry.get("sha256"), str))
        and all(type(entry.get(key)) is int and entry[key] >= 0 for key in ("first_graph", "count"))
        for entry in shards
    ):
        raise DatasetError(f"{path} is not a readable manifest: its shards are not a list of shard entries")
    return manifest


@contextlib.contextmanager
def exclusive(out: str):
    """Holds an exclusive lock on the directory itself for the whole run, so
    that two runs never write into one directory at once. The kernel drops
    the lock when the process ends, however it ends; no lock file is left."""
    try:
        import fcntl
    except ImportError:  # no flock on this platform
        yield
        return
    fd = os.open(out, os.O_RDONLY | os.O_DIRECTORY)
    try:
        try:
            fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except BlockingIOError:
            raise DatasetError(f"{out} is in use by another korvale-dataset run") from None
        yield
    finally:
        os.close(fd)


class Writer:
    """The manifest on disk, rewritten (atomically) as shards complete."""

    def __init__(self, out: str, spec: "Spec", known: dict):
        self.out = out
        self.manifest: dict[str, Any] = {
            "format": FORMAT,
            "format_version": FORMAT_VERSION,
            "korvale_version": package_version(),
            "arguments": spec.arguments(),
            "shards": [
                {"file": name, "first_graph": first, "count": count, "sha256": known.get(name)}
                for name, first, count in spec.shards()
            ],
        }
        self.entries = {s["file"]: s for s in self.manifest["shards"]}
        self.save()

    def save(self):
        text = json.dumps(self.manifest, indent=1, sort_keys=True) + "\n"
        write_atomically(os.path.join(self.out, MANIFEST), text.encode())

    def write(self, name: str, data: bytes) -> str:
        """Writes a shard file (any thread may) and returns its checksum."""
        write_atomically(os.path.join(self.out, name), data)
        return hashlib.sha256(data).hexdigest()

    def record(self, name: str, checksum: str):
        """Enters a written shard in the manifest (one thread at a time)."""
        self.entries[name]["sha256"] = checksum
        self.save()


def make_directory(out: str):
    if os.path.exists(out) and not os.path.isdir(out):
        raise DatasetError(f"{out} exists and is not a directory")
    try:
        os.makedirs(out, exist_ok=True)
    except OSError as e:
        raise DatasetError(f"cannot create {out}: {e.strerror or e}") from None


def prepare(out: str, spec: "Spec") -> dict:
    """Checks the output directory (under the lock) and returns the shards
    already present and intact: file name -> checksum. The directory must
    hold nothing but this dataset's own files: otherwise it is refused and
    left as it is."""
    names = os.listdir(out)
    manifest = read_manifest(out)
    version = manifest.get("format_version") if manifest is not None else None
    if manifest is not None and version != FORMAT_VERSION:
        written = FORMATS.get(version, "unknown") if isinstance(version, int) else "unknown"
        raise DatasetError(f"{out} holds a dataset of format version {version} ({written}), which this version "
                           f"reads but does not extend; write a new one (format {FORMAT_VERSION}) elsewhere")
    if manifest is not None and manifest.get("arguments") != spec.arguments():
        raise DatasetError(f"{out} holds another dataset ({manifest.get('arguments')}); choose another directory")
    ours = {MANIFEST} | {name for name, _, _ in spec.shards()} if manifest is not None else set()
    foreign = sorted(name for name in names if name not in ours and not TEMPORARY_NAME.fullmatch(name))
    if foreign:
        if manifest is None:
            raise DatasetError(f"{out} is not empty and holds no korvale dataset")
        shown = ", ".join(foreign[:3]) + (", ..." if len(foreign) > 3 else "")
        raise DatasetError(f"{out} holds files that are not part of its dataset ({shown}); move them away")
    for name in names:
        if TEMPORARY_NAME.fullmatch(name):  # an interrupted write of this tool
            os.remove(os.path.join(out, name))
    if manifest is None:
        return {}
    known = {}
    for entry in manifest["shards"]:
        path = os.path.join(out, entry["file"])
        if entry["file"] in ours and entry.get("sha256") and os.path.exists(path) and sha256_of(path) == entry["sha256"]:
            known[entry["file"]] = entry["sha256"]
    return known
