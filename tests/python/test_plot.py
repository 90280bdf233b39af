"""The pictures: drawn with the Agg backend, of the right size, not blank."""

import numpy as np
import pytest

matplotlib = pytest.importorskip("matplotlib")
matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

import korvale  # noqa: E402
from korvale_data.plot import align, draw_framework, draw_reconstruction  # noqa: E402


def rendered(ax, path):
    figure = ax.figure
    figure.savefig(path, dpi=50)
    plt.close(figure)
    image = plt.imread(path)
    return image


def assert_drawn(image):
    assert image.shape[0] >= 250 and image.shape[1] >= 250
    rgb = image[..., :3]
    not_white = (rgb < 0.95).any(axis=-1).mean()
    assert not_white > 0.01
    assert len(np.unique(rgb.reshape(-1, 3), axis=0)) > 20


@pytest.mark.parametrize("d", [2, 3])
def test_framework_picture(tmp_path, d):
    coords = np.random.default_rng(d).uniform(0, 5, size=(7, d))
    result = korvale.simulate(coords, d)
    ax = draw_framework(coords, result)
    assert ax.get_title().startswith(f"rank {result['final_rank']} of {result['max_rank']}")
    solid = [line for line in ax.lines if line.get_linestyle() == "-"]
    assert len(solid) == int(result["labels"].sum())
    assert len(ax.lines) == 21
    assert_drawn(rendered(ax, tmp_path / "f.png"))


def test_reconstruction_picture(tmp_path):
    coords = np.random.default_rng(0).uniform(0, 5, size=(12, 2))
    rec = korvale.reconstruct(korvale.simulate(coords, 2)["distance_matrix"], 2)
    aligned = align(coords, rec["coords"])
    assert np.allclose(aligned, coords, atol=1e-9)
    ax = draw_reconstruction(coords, rec["coords"], rec["stress"])
    assert "stress" in ax.get_title()
    assert_drawn(rendered(ax, tmp_path / "r.png"))
