"""Requests are measured against the memory the process can get: under a
memory cgroup limit (one the test creates) a request that fits in the
machine's RAM but not in the limit raises MemoryError instead of starting
and being killed by the kernel."""

import os
import subprocess
import sys
import textwrap
import uuid

import pytest

LIMIT = 300 << 20


def own_memory_cgroup():
    """(directory of this process's memory cgroup, limit file, v2?) or None."""
    with open("/proc/self/cgroup") as f:
        lines = [line.rstrip("\n").split(":", 2) for line in f]
    for ident, controllers, path in lines:
        if "memory" in controllers.split(","):
            base = "/sys/fs/cgroup/memory" + path.rstrip("/")
            if os.path.exists(base + "/memory.limit_in_bytes"):
                return base, "memory.limit_in_bytes"
    for ident, controllers, path in lines:
        if ident == "0" and controllers == "":
            base = "/sys/fs/cgroup" + path.rstrip("/")
            if "memory" in open(base + "/cgroup.controllers").read().split():
                return base, "memory.max"
    return None


@pytest.fixture
def limited_cgroup():
    found = own_memory_cgroup()
    if found is None:
        pytest.skip("no memory cgroup controller")
    base, limit_file = found
    path = os.path.join(base, f"korvale-test-{uuid.uuid4().hex[:8]}")
    try:
        os.mkdir(path)
        with open(os.path.join(path, limit_file), "w") as f:
            f.write(str(LIMIT))
    except OSError as e:
        if os.path.isdir(path):
            os.rmdir(path)
        pytest.skip(f"cannot create a memory cgroup here: {e}")
    yield path
    os.rmdir(path)


CHILD = """
import os, sys
with open(os.path.join(sys.argv[1], "cgroup.procs"), "w") as f:
    f.write(str(os.getpid()))
import numpy as np
import korvale
try:
    {call}
except MemoryError:
    print("MemoryError")
else:
    print("started and finished")
"""


@pytest.mark.parametrize(
    "call, needed",
    [
        # the distances (72 MB), the candidate bars and a full basis (288 MB)
        ("korvale.simulate(np.random.default_rng(0).uniform(0, 1, (3000, 2)), 2)", 500 << 20),
        # six matrices of 3000 x 3000 doubles
        ("korvale.reconstruct(np.zeros((3000, 3000)), 2)", 432 << 20),
    ],
    ids=["simulate", "reconstruct"],
)
def test_request_beyond_the_cgroup_limit_is_a_memory_error(limited_cgroup, call, needed):
    physical = os.sysconf("SC_PHYS_PAGES") * os.sysconf("SC_PAGE_SIZE")
    assert LIMIT < needed < physical  # a check against the machine's RAM lets it start
    proc = subprocess.run(
        [sys.executable, "-c", textwrap.dedent(CHILD).format(call=call), limited_cgroup],
        capture_output=True,
        text=True,
        timeout=300,
    )
    assert proc.returncode == 0, (proc.returncode, proc.stderr[-2000:])
    assert proc.stdout.strip() == "MemoryError"


def test_requests_within_the_limit_still_run(limited_cgroup):
    code = textwrap.dedent(CHILD).format(call="korvale.reconstruct(np.zeros((1500, 1500)), 2)")
    proc = subprocess.run([sys.executable, "-c", code, limited_cgroup], capture_output=True, text=True, timeout=300)
    assert proc.stdout.strip() == "started and finished", proc.stderr[-2000:]
