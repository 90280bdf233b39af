"""Counts random frameworks that korvale reports as not rigid although
NumPy's SVD gives their rigidity matrix full rank with a clear margin
(the max_rank-th singular value above 1e-6).

    python bench/wrong_verdicts.py [--also OTHER_PYTHON ...]

--also runs the same count with another interpreter (for example one whose
environment holds an older korvale) in the same run and prints both rows."""

import argparse
import json
import subprocess
import sys

CASES = [(20000, 40, 3, 1), (1000, 100, 3, 1)]  # graphs, nodes, d, seed


def rigidity_matrix(coords):
    import numpy as np

    n, d = coords.shape
    i, j = np.triu_indices(n, 1)
    m = np.zeros((len(i), n * d))
    diff = coords[i] - coords[j]
    rows = np.arange(len(i))
    for k in range(d):
        m[rows, i * d + k] = diff[:, k]
        m[rows, j * d + k] = -diff[:, k]
    return m


def count(graphs, nodes, d, seed):
    import numpy as np

    import korvale
    from korvale_data.coordinates import draw_coordinates

    wrong = flexible = 0
    chunk = 1000
    for first in range(0, graphs, chunk):
        size = min(chunk, graphs - first)
        batch = korvale.generate_training_batch(size, nodes, d, seed + first)
        coords = draw_coordinates(seed, first, size, nodes, d)
        for k, record in enumerate(batch):
            if record["is_rigid"]:
                continue
            flexible += 1
            s = np.linalg.svd(rigidity_matrix(coords[k]), compute_uv=False)
            wrong += s[record["max_rank"] - 1] > 1e-6
    return {"graphs": graphs, "nodes": nodes, "d": d, "not_rigid": flexible, "wrong": int(wrong)}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--also", action="append", default=[])
    parser.add_argument("--json", action="store_true", help="print one JSON line per case")
    args = parser.parse_args()
    if args.json:
        for case in CASES:
            print(json.dumps(count(*case)))
        return
    runs = [sys.executable] + args.also
    print(f"{'interpreter':<48} {'case':<22} {'reported not rigid':>18} {'wrongly':>8}")
    for python in runs:
        out = subprocess.run([python, __file__, "--json"], capture_output=True, text=True, check=True).stdout
        for line in out.splitlines():
            r = json.loads(line)
            case = f"{r['graphs']} x {r['nodes']} nodes d={r['d']}"
            print(f"{python:<48} {case:<22} {r['not_rigid']:>18} {r['wrong']:>8}")


if __name__ == "__main__":
    main()
