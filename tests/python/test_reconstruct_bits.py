"""reconstruct gives the same bits whatever the C library's choice of code
path: a corpus of reconstructions computed with and without the glibc
tunables that disable its AVX2/FMA variants of atan, cos and sin (which
change some results in the last bit) must be identical."""

import hashlib
import os
import subprocess
import sys

import numpy as np

import korvale

TUNABLES = "glibc.cpu.hwcaps=-AVX2,-FMA,-FMA4"


def corpus():
    """80 distance matrices: exact, noisy and integer-valued, in the plane and in space."""
    rng = np.random.default_rng(2024)
    for t in range(80):
        n = int(rng.integers(5, 60))
        d = 2 + t % 2
        points = rng.uniform(-3, 3, (n, d))
        dist = np.sqrt(((points[:, None] - points[None]) ** 2).sum(-1))
        if t % 4 == 1:
            noise = rng.normal(0, 0.05, (n, n))
            dist = np.abs(dist + (noise + noise.T) / 2)
            np.fill_diagonal(dist, 0)
        elif t % 4 == 2:
            dist = np.round(dist * 4)
        yield dist, d


def digests():
    out = []
    for dist, d in corpus():
        r = korvale.reconstruct(dist, d)
        h = hashlib.sha256(np.asarray(r["coords"]).tobytes() + np.asarray(r["eigenvalues"]).tobytes())
        h.update(np.float64(r["stress"]).tobytes())
        out.append(h.hexdigest()[:16])
    return out


def digests_in_subprocess(environment):
    code = "import sys; sys.path.insert(0, sys.argv[1]); import test_reconstruct_bits as t; print(' '.join(t.digests()))"
    done = subprocess.run([sys.executable, "-c", code, os.path.dirname(__file__)], capture_output=True, text=True,
                          timeout=600, check=True, env=environment)
    return done.stdout.split()


def test_results_do_not_depend_on_the_c_librarys_code_path():
    plain = digests_in_subprocess(os.environ | {"GLIBC_TUNABLES": ""})
    restricted = digests_in_subprocess(os.environ | {"GLIBC_TUNABLES": TUNABLES})
    assert len(plain) == 80
    differing = [i for i, (a, b) in enumerate(zip(plain, restricted)) if a != b]
    assert differing == []
    assert plain == digests()  # and the same as in this process
