"""Labelled random graphs as files: sharded, reproducible GNN training sets
of sparse graph models (with korvale_graphs) or of complete graphs (with
korvale.generate_training_batch), their loader, pictures, and a PyTorch
Geometric dataset (korvale_data.torch)."""

from importlib import metadata as _metadata

from korvale_data.coordinates import draw_coordinates
from korvale_data.dataset import generate
from korvale_data.errors import DatasetError
from korvale_data.loader import load, to_edge_index

try:
    __version__ = _metadata.version("korvale")
except _metadata.PackageNotFoundError:  # running from a source tree
    __version__ = "unknown"

__all__ = ["DatasetError", "draw_coordinates", "generate", "load", "to_edge_index"]
