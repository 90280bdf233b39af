"""What users would otherwise run: a NumPy version of korvale's labelling,
rigidity matrices for numpy.linalg.matrix_rank, and classical MDS by eigh."""

import numpy as np


def candidate_edges(n):
    return [(i, j) for i in range(n) for j in range(i + 1, n)]


def rigidity_matrix(coords, edges):
    n, d = coords.shape
    m = np.zeros((len(edges), n * d))
    for row, (i, j) in enumerate(edges):
        diff = coords[i] - coords[j]
        m[row, i * d : i * d + d] = diff
        m[row, j * d : j * d + d] = -diff
    return m


class NumpyTracker:
    """The incremental rank test with NumPy row operations: the same
    arithmetic in the same order, so its answers match korvale's exactly."""

    def __init__(self, ncols, tol):
        self.basis = np.empty((ncols, ncols))
        self.pivots = []
        self.tol = tol

    def add_row(self, row):
        tol, basis = self.tol, self.basis
        for r, p in enumerate(self.pivots):
            f = row[p]
            if abs(f) > tol:
                row -= basis[r] * f
        hits = np.flatnonzero(np.abs(row) > tol)
        if hits.size == 0:
            return False
        c = hits[np.argmax(np.abs(row[hits]))]
        row /= row[c]
        rank = len(self.pivots)
        if rank:
            g = basis[:rank, c].copy()
            mask = np.abs(g) > tol
            basis[:rank][mask] -= g[mask, None] * row[None, :]
        basis[rank] = row
        self.pivots.append(c)
        return True


def numpy_labels(coords, tol=1e-9):
    """Labels every candidate bar, stopping once the maximum rank is reached."""
    n, d = coords.shape
    max_rank = n * d - d * (d + 1) // 2
    tracker = NumpyTracker(n * d, tol)
    labels = np.zeros(n * (n - 1) // 2, dtype=np.uint8)
    for k, (i, j) in enumerate(candidate_edges(n)):
        row = np.zeros(n * d)
        diff = coords[i] - coords[j]
        row[i * d : i * d + d] = diff
        row[j * d : j * d + d] = -diff
        labels[k] = tracker.add_row(row)
        if len(tracker.pivots) == max_rank:
            break
    return labels


def eigh_mds(dist, d):
    """Classical MDS the usual way: double centring and numpy.linalg.eigh."""
    b = dist**2
    b -= b.mean(axis=0)
    b -= b.mean(axis=1, keepdims=True)
    b *= -0.5
    w, v = np.linalg.eigh(b)
    w, v = w[::-1][:d], v[:, ::-1][:, :d]
    return np.sqrt(np.maximum(w, 0)) * v
