"""Labelled random frameworks as files: sharded, reproducible GNN training
sets built with korvale.generate_training_batch."""

from korvale_data.coordinates import draw_coordinates
from korvale_data.dataset import DatasetError, generate
from korvale_data.loader import load, to_edge_index

__all__ = ["DatasetError", "draw_coordinates", "generate", "load", "to_edge_index"]
