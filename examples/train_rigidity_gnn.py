"""Train a small graph neural network to predict which bars of a random
graph are overconstrained (lie in a circuit of the plane's rigidity matroid),
and compare it on held-out graphs with two baselines a model must beat.

    pip install "korvale[torch]"
    python examples/train_rigidity_gnn.py [--graphs 6000] [--minutes 4] [--data DIR]

The data: korvale-dataset's default model, Erdős–Rényi graphs of 40-60
nodes with mean degree drawn in 3.0-4.5 (around the rigidity-percolation
threshold), read back with korvale_data.torch.RigidityDataset in its train,
val and test splits (fixed by each graph's index, so they never overlap).
The label does not depend on the order of the bars, so the model has to
reason about the graph's structure, not about positions in a list.

The model: node features are the degrees (the datasets' default
pre_transform); five GIN layers with residual connections and layer norm; a
bar is classified from its two end nodes' embeddings (sum and product, so
that the two directions agree). The epoch with the best validation accuracy
is the one tested. Baselines: the majority class, and the best degree-only
rule "overconstrained when deg(i) + deg(j) >= t" (t chosen on the training
graphs)."""

import argparse
import copy
import os
import tempfile
import time

import torch
from torch import nn
from torch_geometric.loader import DataLoader
from torch_geometric.nn import GINConv

import korvale_data
from korvale_data.torch import RigidityDataset


class BarClassifier(nn.Module):
    def __init__(self, width=64, layers=5):
        super().__init__()
        self.embed = nn.Linear(1, width)
        self.convs = nn.ModuleList(
            GINConv(nn.Sequential(nn.Linear(width, width), nn.ReLU(), nn.Linear(width, width)), train_eps=True)
            for _ in range(layers)
        )
        self.norms = nn.ModuleList(nn.LayerNorm(width) for _ in range(layers))
        self.head = nn.Sequential(nn.Linear(2 * width, width), nn.ReLU(), nn.Linear(width, 1))

    def forward(self, data):
        h = self.embed(torch.log1p(data.x))
        for conv, norm in zip(self.convs, self.norms):
            h = h + torch.relu(norm(conv(h, data.edge_index)))
        a, b = h[data.edge_index[0]], h[data.edge_index[1]]
        return self.head(torch.cat([a + b, a * b], dim=1)).squeeze(1)


def accuracy(model, loader):
    model.eval()
    right = total = 0
    with torch.no_grad():
        for batch in loader:
            guess = model(batch) > 0
            right += int((guess == batch.overconstrained.bool()).sum())
            total += batch.overconstrained.numel()
    return right / total


def degree_sums(dataset):
    """deg(i) + deg(j) and the label of every directed bar of the dataset."""
    sums, labels = [], []
    for batch in DataLoader(dataset, batch_size=1024):
        degree = batch.x[:, 0]
        sums.append(degree[batch.edge_index[0]] + degree[batch.edge_index[1]])
        labels.append(batch.overconstrained.bool())
    return torch.cat(sums), torch.cat(labels)


def train(data: str, minutes: float, seed: int = 0, log=print) -> dict:
    """Trains on the train split of the dataset in `data` for about
    `minutes`, and returns the held-out figures."""
    torch.manual_seed(seed)
    splits = {name: RigidityDataset(data, split=name) for name in ("train", "val", "test")}
    sums, labels = degree_sums(splits["train"])
    best_t = max(range(2, 40), key=lambda t: float(((sums >= t) == labels).float().mean()))
    sums, labels = degree_sums(splits["test"])
    results = {
        "graphs": {name: len(split) for name, split in splits.items()},
        "overconstrained": float(labels.float().mean()),
        "majority": max(float(labels.float().mean()), 1 - float(labels.float().mean())),
        "degree_rule": float(((sums >= best_t) == labels).float().mean()),
        "threshold": best_t,
    }

    model = BarClassifier()
    optimiser = torch.optim.Adam(model.parameters(), lr=2e-3)
    train_loader = DataLoader(splits["train"], batch_size=64, shuffle=True)
    val_loader = DataLoader(splits["val"], batch_size=256)
    budget, start, epoch = minutes * 60, time.perf_counter(), 0
    best = (-1.0, None)
    while time.perf_counter() - start < budget:
        model.train()
        for batch in train_loader:
            # Cosine decay of the learning rate over the time budget: the
            # last epochs settle instead of jumping around.
            progress = min(1.0, (time.perf_counter() - start) / budget)
            for group in optimiser.param_groups:
                group["lr"] = 2e-3 * 0.5 * (1 + torch.cos(torch.tensor(torch.pi * progress)).item())
            optimiser.zero_grad()
            loss = nn.functional.binary_cross_entropy_with_logits(model(batch), batch.overconstrained.float())
            loss.backward()
            optimiser.step()
        epoch += 1
        val = accuracy(model, val_loader)
        if val > best[0]:
            best = (val, copy.deepcopy(model.state_dict()))
        log(f"epoch {epoch:3d}  loss {loss.item():.4f}  val accuracy {val:.4f}  ({time.perf_counter() - start:.0f} s)")
    model.load_state_dict(best[1])
    results |= {"epochs": epoch, "val": best[0], "seconds": time.perf_counter() - start,
                "gnn": accuracy(model, DataLoader(splits["test"], batch_size=256))}
    return results


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--graphs", type=int, default=6000)
    parser.add_argument("--minutes", type=float, default=4.0, help="training time budget")
    parser.add_argument("--seed", type=int, default=0)
    parser.add_argument("--data", help="a dataset directory to use (written here first if it holds none)")
    args = parser.parse_args()
    torch.set_num_threads(max(1, torch.get_num_threads()))
    with tempfile.TemporaryDirectory() as scratch:
        data = args.data or os.path.join(scratch, "er")
        start = time.perf_counter()
        korvale_data.generate(data, args.graphs, "40:60", 2, seed=args.seed, workers=os.cpu_count() or 1)
        print(f"dataset: {args.graphs} graphs in {data} ({time.perf_counter() - start:.2f} s)")
        r = train(data, args.minutes, args.seed, log=lambda line: print(line, flush=True))
    print(f"\nsplits (graphs): {r['graphs']}; test bars overconstrained {r['overconstrained']:.1%}")
    print(f"majority class           {r['majority']:.4f}")
    print(f"degree rule (sum >= {r['threshold']:2d})  {r['degree_rule']:.4f}")
    print(f"GIN, best of {r['epochs']} epochs  {r['gnn']:.4f}  ({r['seconds']:.0f} s of training on CPU)")


if __name__ == "__main__":
    main()
