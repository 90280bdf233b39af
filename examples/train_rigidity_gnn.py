"""Train a small graph neural network to predict which bars of a random
graph are overconstrained (lie in a circuit of the plane's rigidity matroid),
and compare it with two baselines a model must beat.

    pip install korvale torch torch_geometric
    python examples/train_rigidity_gnn.py [--graphs 6000] [--minutes 4]

The data: Erdős–Rényi graphs of 40-60 nodes with mean degree drawn in
3.0-4.5 (around the rigidity-percolation threshold) written by
korvale-dataset, read back with korvale_data.torch.RigidityGraphs. The
label does not depend on the order of the bars, so the model has to reason
about the graph's structure, not about positions in a list.

The model: node features are the degrees; five GIN layers with residual
connections and layer norm; a bar is
classified from its two end nodes' embeddings (sum and product, so that the
two directions agree). Baselines: the majority class, and the best
degree-only rule "overconstrained when deg(i) + deg(j) >= t" (t chosen on the
training graphs)."""

import argparse
import tempfile
import time

import numpy as np
import torch
from torch import nn
from torch_geometric.loader import DataLoader
from torch_geometric.nn import GINConv

import korvale_data
from korvale_data.torch import RigidityGraphs


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
        for data in loader:
            guess = model(data) > 0
            right += int((guess == data.overconstrained.bool()).sum())
            total += data.overconstrained.numel()
    return right / total


def degree_rule(graphs):
    """Sum of end degrees and the label, over all bars of the graphs."""
    sums, labels = [], []
    for g in graphs:
        degree = np.bincount(g["edges"].ravel(), minlength=len(g["coords"]))
        sums.append(degree[g["edges"][:, 0]] + degree[g["edges"][:, 1]])
        labels.append(g["overconstrained"])
    return np.concatenate(sums), np.concatenate(labels).astype(bool)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--graphs", type=int, default=6000)
    parser.add_argument("--minutes", type=float, default=4.0, help="training time budget")
    parser.add_argument("--seed", type=int, default=0)
    args = parser.parse_args()
    torch.manual_seed(args.seed)
    torch.set_num_threads(max(1, torch.get_num_threads()))

    with tempfile.TemporaryDirectory() as out:
        start = time.perf_counter()
        korvale_data.generate(out, args.graphs, "40:60", 2, seed=args.seed, shard_size=1000,
                              model="erdos-renyi", mean_degree="3.0:4.5")
        print(f"dataset: {args.graphs} graphs written in {time.perf_counter() - start:.2f} s")
        graphs = list(korvale_data.load(out))
        data = list(RigidityGraphs(out))
    split = int(0.8 * len(data))
    train, test = data[:split], data[split:]
    over = np.concatenate([g["overconstrained"] for g in graphs[split:]]).astype(bool)
    majority = max(over.mean(), 1 - over.mean())

    sums, labels = degree_rule(graphs[:split])
    best = max(range(2, 40), key=lambda t: np.mean((sums >= t) == labels))
    sums, labels = degree_rule(graphs[split:])
    rule = np.mean((sums >= best) == labels)

    model = BarClassifier()
    optimiser = torch.optim.Adam(model.parameters(), lr=2e-3)
    train_loader = DataLoader(train, batch_size=64, shuffle=True)
    test_loader = DataLoader(test, batch_size=256)
    budget = args.minutes * 60
    start = time.perf_counter()
    epoch = 0
    while time.perf_counter() - start < budget:
        # Cosine decay of the learning rate over the time budget: the last
        # epochs settle instead of jumping around.
        for group in optimiser.param_groups:
            group["lr"] = 2e-3 * 0.5 * (1 + np.cos(np.pi * min(1.0, (time.perf_counter() - start) / budget)))
        model.train()
        for batch in train_loader:
            optimiser.zero_grad()
            loss = nn.functional.binary_cross_entropy_with_logits(model(batch), batch.overconstrained.float())
            loss.backward()
            optimiser.step()
        epoch += 1
        if epoch % 5 == 0:
            print(f"epoch {epoch:3d}  loss {loss.item():.4f}  test accuracy {accuracy(model, test_loader):.4f}"
                  f"  ({time.perf_counter() - start:.0f} s)", flush=True)
    trained = accuracy(model, test_loader)
    print(f"\ntest bars: {len(over)} in {len(test)} graphs; overconstrained {over.mean():.1%}")
    print(f"majority class           {majority:.4f}")
    print(f"degree rule (sum >= {best:2d})  {rule:.4f}")
    print(f"GIN, {epoch} epochs          {trained:.4f}  ({time.perf_counter() - start:.0f} s of training on CPU)")


if __name__ == "__main__":
    main()
