"""The up-front memory checks against the memory calls really use.

    python bench/memory_checks.py [--only NAME]

For every function with a check, on a large input: the bytes the check asks
for, 1 MiB for the call's overhead included (read from the MemoryError of a run whose cgroup limit leaves 4 MiB of
headroom) beside the peak resident memory the call adds when it runs (VmHWM
after a reset, less the resident size before the call). The request should
lie between the peak and about twice it. Needs root and a writable memory
cgroup hierarchy for the requests; the peaks are measured anyway."""

import argparse
import os
import re
import subprocess
import sys
import textwrap

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "python"))
from memory_cgroup import JOIN, memory_cgroup  # noqa: E402

SETUP = """
import re, gc
import numpy as np
import korvale, korvale_graphs as kg
def status(key):
    with open("/proc/self/status") as f:
        return int(re.search(key + r":\\s+(\\d+)", f.read()).group(1)) * 1024
"""

PEAK = SETUP + """
{setup}
gc.collect()
before = status("VmRSS")
with open("/proc/self/clear_refs", "w") as f:
    f.write("5")
{call}
print(status("VmHWM") - before)
"""

REQUEST = JOIN + SETUP + """
{setup}
gc.collect()
squeeze(4 << 20)
try:
    {call}
except Exception as e:  # MemoryError, or the dataset tool's refusal
    print(e)
else:
    print("no refusal")
"""

LATTICE = "edges = kg.triangular_lattice(1024, 1.0, 1)[1]"
ER = "edges = kg.erdos_renyi(10**6, 3.6, 1)"

# (function, input, the check's formula, setup, call)
CASES = [
    ("kg.pebble_game", "triangular lattice 1024^2", "16m copy + 26m + n(8k + 160)", LATTICE,
     "kg.pebble_game(1024**2, edges)"),
    ("kg.pebble_game", "erdos_renyi(10^6, 3.6)", "16m copy + 26m + n(8k + 160)", ER, "kg.pebble_game(10**6, edges)"),
    ("kg.percolation", "triangular lattice 1024^2", "16m copy + 33m + n(8k + 160)", LATTICE,
     "kg.percolation(1024**2, edges)"),
    ("kg.generic_rank", "2^24 nodes, no edges, d=1", "16m copy + 20nd + 56 min(m, r) + m; basis as it grows",
     "edges = np.zeros((0, 2), np.int64)", "kg.generic_rank(2**24, edges, 1)"),
    ("kg.label_edges", "2000 nodes, erdos_renyi 4.0, d=2", "16m copy + 8nd + 16nd(min(m, r) + 4) + n(48 + 8d) + m",
     "coords = np.random.default_rng(1).random((2000, 2)); edges = kg.erdos_renyi(2000, 4.0, 1)",
     "kg.label_edges(coords, edges)"),
    ("kg.erdos_renyi", "10^6 nodes, mean degree 3.6", "16(1.1 E + 64), E = n c / 2", "pass",
     "kg.erdos_renyi(10**6, 3.6, 1)"),
    ("kg.random_regular", "10^6 nodes, degree 3", "48 n k", "pass", "kg.random_regular(10**6, 3, 1)"),
    ("kg.random_regular", "4000 nodes, degree 3990", "48 n (n-1-k) + 8 n k", "pass", "kg.random_regular(4000, 3990, 1)"),
    ("kg.random_geometric", "2*10^5 points, radius 0.01, d=2", "n(8d + 24) + 16(1.1 E + 1024)", "pass",
     "kg.random_geometric(200000, 0.01, 2, 0)"),
    ("kg.triangular_lattice", "1024^2, p = 1", "16n + 16 min(3.15 n p + 1024, 3n)", "pass",
     "kg.triangular_lattice(1024, 1.0, 1)"),
    ("kg.henneberg", "10^6 nodes, d=3, 10^5 extra", "8dn + 64(3n - 6 + extra)", "pass", "kg.henneberg(10**6, 3, 0, 10**5)"),
    ("korvale.simulate", "3000 nodes, d=2", "8n^2 + 16r + n^2/2 + 16nd(nd + 4) + 136nd", 
     "coords = np.random.default_rng(0).uniform(0, 1, (3000, 2))", "korvale.simulate(coords, 2)"),
    ("korvale.simulate", "1500 nodes, d=3", "8n^2 + 16r + n^2/2 + 16nd(nd + 4) + 136nd",
     "coords = np.random.default_rng(0).uniform(0, 1, (1500, 3))", "korvale.simulate(coords, 3)"),
    ("korvale.generate_training_batch", "2000 graphs of 60 nodes, d=3", "N(8n^2 + n^2/2 + 152r) + one pass", "pass",
     "korvale.generate_training_batch(2000, 60, 3, 0)"),
    ("korvale.pebble_game", "20000 nodes", "n^2/2 + 304n + n * state", "coords = np.zeros((20000, 2))",
     "korvale.pebble_game(coords, 2)"),
    ("korvale.gram_from_dist", "4000 x 4000", "3 * 8n^2", "dist = np.ones((4000, 4000))", "korvale.gram_from_dist(dist)"),
    ("korvale.reconstruct", "2000 x 2000", "6 * 8n^2", "dist = np.zeros((2000, 2000))", "korvale.reconstruct(dist, 2)"),
    ("korvale-dataset", "erdos-renyi, 2 x 2*10^5 nodes, d=2", "W(max(w + 2KA, 3KA) + KA), see budget.py",
     "import os, tempfile, korvale_data",
     "korvale_data.generate(tempfile.mkdtemp(), 2, 200000, 2, shard_size=2, model='erdos-renyi', mean_degree=4.0)"),
    ("korvale-dataset", "complete, 2000 x 60 nodes, d=3, W=2", "W K (8n^2 + n^2/2 + 152r + 3 arrays)",
     "import os, tempfile, korvale_data",
     "korvale_data.generate(tempfile.mkdtemp(), 2000, 60, 3, shard_size=1000, workers=2, model='complete')"),
]


def run(script, *args):
    done = subprocess.run([sys.executable, "-c", textwrap.dedent(script), *args], capture_output=True, text=True,
                          timeout=900)
    if done.returncode != 0:
        return None, done.stderr.strip().splitlines()[-1] if done.stderr.strip() else f"exit {done.returncode}"
    return done.stdout.strip().splitlines()[-1], None


def mib(x):
    return f"{x / 2**20:10.1f}"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--only", help="cases whose function contains this text")
    args = parser.parse_args()
    print(f"{'function':<32} {'input':<36} {'check':<52} {'request MiB':>11} {'peak MiB':>10} {'ratio':>6}")
    for function, label, formula, setup, call in CASES:
        if args.only and args.only not in function:
            continue
        peak_text, error = run(PEAK.format(setup=setup, call=call))
        peak = int(peak_text) if peak_text else None
        request = None
        with memory_cgroup(None) as cgroup:
            if cgroup is not None:
                text, _ = run(REQUEST.format(setup=setup, call=call), cgroup)
                found = re.search(r"needs ([0-9,]+) bytes", text or "")
                request = int(found.group(1).replace(",", "")) if found else None
        shown_peak = mib(peak) if peak is not None else f"{'failed':>10}"
        shown_request = mib(request) if request is not None else f"{'-':>10}"
        ratio = f"{request / peak:6.2f}" if request and peak else f"{'':>6}"
        print(f"{function:<32} {label:<36} {formula:<52} {shown_request:>11} {shown_peak} {ratio}", flush=True)
        if error:
            print(f"    {error}")


if __name__ == "__main__":
    main()
