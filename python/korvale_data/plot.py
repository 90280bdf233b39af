"""Pictures of labelled frameworks and of reconstructions (needs matplotlib,
the `korvale[plot]` extra)."""

from typing import Any

import numpy as np
import numpy.typing as npt


def _figure(dim: int, ax: Any) -> Any:
    import matplotlib.pyplot as plt

    if ax is not None:
        return ax
    figure = plt.figure(figsize=(6, 6))
    return figure.add_subplot(projection="3d" if dim == 3 else None)


def draw_framework(coords: npt.ArrayLike, result: dict[str, Any], ax: Any = None) -> Any:
    """Draws a framework in the plane or in space with the candidate bars of a
    simulate result: independent bars solid, redundant ones faint and dashed,
    nodes numbered, the rank and the verdict in the title. Returns the axes."""
    points = np.asarray(coords, dtype=np.float64)
    n, dim = points.shape
    ax = _figure(dim, ax)
    edges = [(i, j) for i in range(n) for j in range(i + 1, n)]
    for (i, j), label in zip(edges, result["labels"]):
        xs = points[[i, j]].T
        if label:
            ax.plot(*xs, color="#1f4e9c", linewidth=2.0, zorder=2)
        else:
            ax.plot(*xs, color="#9aa5b1", linewidth=0.8, linestyle="--", alpha=0.45, zorder=1)
    ax.scatter(*points.T, s=60, color="#d9480f", zorder=3)
    for k, p in enumerate(points):
        ax.text(*p, f" {k}", fontsize=9, zorder=4)
    verdict = "rigid" if result["is_rigid"] else "flexible"
    ax.set_title(f"rank {result['final_rank']} of {result['max_rank']}: {verdict}")
    if dim == 2:
        ax.set_aspect("equal")
    return ax


def draw_rigid_clusters(coords: npt.ArrayLike, edges: npt.ArrayLike, labels: dict[str, Any], ax: Any = None) -> Any:
    """Draws a graph with its rigid clusters: every cluster of two or more
    bars in a colour of its own, bars that are clusters alone thin and grey,
    overconstrained bars (in a circuit) thick with a dark core, nodes as
    dots. labels is a korvale_graphs.pebble_game result or a graph of a
    graph-model dataset ("components"/"component", "overconstrained",
    "rank", "max_rank"). Returns the axes."""
    import matplotlib as mpl

    points = np.asarray(coords, dtype=np.float64)
    pairs = np.asarray(edges, dtype=np.int64).reshape(-1, 2)
    components = np.asarray(labels["components"] if "components" in labels else labels["component"])
    stressed = np.asarray(labels["overconstrained"], dtype=bool)
    ax = _figure(points.shape[1], ax)
    sizes = np.bincount(components[components >= 0], minlength=1) if len(components) else np.zeros(1, int)
    clusters = [c for c in range(len(sizes)) if sizes[c] >= 2]
    palette = mpl.colormaps["tab20"]
    colour = {c: palette(k % 20) for k, c in enumerate(sorted(clusters, key=lambda c: -sizes[c]))}
    for (i, j), c, hot in zip(pairs, components, stressed):
        xs = points[[i, j]].T
        if c in colour:
            ax.plot(*xs, color=colour[c], linewidth=3.2 if hot else 2.0, zorder=2, solid_capstyle="round")
        else:
            ax.plot(*xs, color="#9aa5b1", linewidth=0.9, zorder=1)
        if hot:
            ax.plot(*xs, color="#111111", linewidth=0.6, alpha=0.8, zorder=3)
    ax.scatter(*points.T, s=12, color="#343a40", zorder=4)
    rigid = labels.get("is_rigid", labels.get("rigid"))
    ax.set_title(
        f"rank {labels['rank']} of {labels['max_rank']}, {len(clusters)} clusters of 2+ bars, "
        f"{int(stressed.sum())} overconstrained: {'rigid' if rigid else 'flexible'}",
        fontsize=9,
    )
    if points.shape[1] == 2:
        ax.set_aspect("equal")
    return ax


def align(reference: npt.ArrayLike, moving: npt.ArrayLike) -> npt.NDArray[np.float64]:
    """moving rotated, reflected and shifted onto reference (least squares,
    orthogonal Procrustes): reconstructions are only defined up to these."""
    a = np.asarray(reference, dtype=np.float64)
    b = np.asarray(moving, dtype=np.float64)
    a0, b0 = a - a.mean(axis=0), b - b.mean(axis=0)
    u, _, vt = np.linalg.svd(b0.T @ a0)
    return np.asarray(b0 @ (u @ vt) + a.mean(axis=0), dtype=np.float64)


def draw_reconstruction(original: npt.ArrayLike, reconstructed: npt.ArrayLike, stress: float, ax: Any = None) -> Any:
    """Original coordinates against reconstructed ones aligned onto them,
    each pair joined, with the stress in the title. Returns the axes."""
    a = np.asarray(original, dtype=np.float64)
    b = align(a, reconstructed)
    ax = _figure(a.shape[1], ax)
    for p, q in zip(a, b):
        ax.plot(*np.stack([p, q]).T, color="#9aa5b1", linewidth=0.8)
    ax.scatter(*a.T, s=70, facecolors="none", edgecolors="#1f4e9c", label="original")
    ax.scatter(*b.T, s=25, marker="x", color="#d9480f", label="reconstructed")
    ax.legend(loc="best")
    ax.set_title(f"classical MDS: stress {stress:.2e}")
    if a.shape[1] == 2:
        ax.set_aspect("equal")
    return ax
