"""Requests are measured against the memory the process can get, as a user
in a container meets it: under a memory cgroup limit (one the test creates)
a call whose real peak fits runs, and one that cannot fit (though it would
fit in the machine's RAM) raises MemoryError at once instead of starting
and being killed by the kernel."""

import os
import subprocess
import sys
import textwrap

import pytest

from memory_cgroup import JOIN, memory_cgroup

CHILD = JOIN + """
import numpy as np
import korvale
import korvale_graphs as kg
{setup}
try:
    {call}
except MemoryError as e:
    print("MemoryError:", e)
else:
    print("started and finished")
"""


def run_limited(limit, call, setup="pass"):
    """Runs call in a child process confined to a new cgroup of `limit`
    bytes; its last line of output, or the way it died."""
    with memory_cgroup(limit) as cgroup:
        if cgroup is None:
            pytest.skip("cannot create a memory cgroup here (needs root and a writable hierarchy)")
        proc = subprocess.run(
            [sys.executable, "-c", textwrap.dedent(CHILD).format(setup=setup, call=call), cgroup],
            capture_output=True, text=True, timeout=300,
        )
    assert proc.returncode == 0, (proc.returncode, proc.stderr[-2000:])
    return proc.stdout.strip().splitlines()[-1]


def physical_memory():
    return os.sysconf("SC_PHYS_PAGES") * os.sysconf("SC_PAGE_SIZE")


@pytest.mark.parametrize(
    "limit, call, needed",
    [
        # the distances (72 MB), the candidate bars and a full basis (288 MB)
        (300 << 20, "korvale.simulate(np.random.default_rng(0).uniform(0, 1, (3000, 2)), 2)", 500 << 20),
        # six matrices of 3000 x 3000 doubles
        (300 << 20, "korvale.reconstruct(np.zeros((3000, 3000)), 2)", 432 << 20),
        # the point, pivots and work row: 20 bytes a column (1.3 GB); it ran
        # unchecked until the kernel killed it
        (1 << 30, "kg.generic_rank(2**26, [], 1)", 1300 << 20),
        # 72 million bars, all pairs (1.1 GB); ran unchecked as well
        (1 << 30, "kg.random_geometric(12000, 10.0, 2, 0)", 1100 << 20),
    ],
    ids=["simulate", "reconstruct", "generic_rank", "random_geometric"],
)
def test_request_beyond_the_cgroup_limit_is_a_memory_error(limit, call, needed):
    assert limit < needed < physical_memory()  # a check against the machine's RAM lets it start
    outcome = run_limited(limit, call)
    assert outcome.startswith("MemoryError: not enough memory: the call needs"), outcome


@pytest.mark.parametrize(
    "limit, setup, call",
    [
        (300 << 20, "pass", "korvale.reconstruct(np.zeros((1500, 1500)), 2)"),
        # the full 1024 x 1024 triangular lattice: a peak of about 0.25 GB
        # beside its 50 MB of edges; refused before, when the check counted
        # 4 KiB a node and an edge
        (1 << 30, "edges = kg.triangular_lattice(1024, 1.0, 1)[1]", "kg.pebble_game(1024**2, edges)"),
    ],
    ids=["reconstruct", "pebble_game"],
)
def test_requests_within_the_limit_still_run(limit, setup, call):
    assert run_limited(limit, call, setup) == "started and finished"
