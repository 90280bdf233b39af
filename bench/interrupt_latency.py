"""Seconds from SIGINT to KeyboardInterrupt during long korvale and
korvale_graphs calls, on the main thread (the signal is sent by a timer
thread). The tests only bound it loosely (2 s), so that they hold on a busy
machine; this is the figure.

    python bench/interrupt_latency.py [--delay 0.5] [--repeat 3]

With a korvale that does not check for signals the figure is simply the
rest of the call."""

import argparse
import signal
import statistics
import threading
import time

import numpy as np

import korvale
import korvale_graphs as kg


def points_on_a_line(n):
    t = np.random.default_rng(1).uniform(0, 10, n)
    return np.stack([t, 0.5 * t], axis=1)


def noisy_matrix(n):
    m = np.random.default_rng(2).uniform(0, 1, (n, n))
    return m + m.T


CALLS = {
    "simulate, 1,500 nodes on a line": lambda: korvale.simulate(points_on_a_line(1500), 2),
    "generate_training_batch 4000 x 100, d=3": lambda: korvale.generate_training_batch(4000, 100, 3, 5),
    "pebble_game, 6,000 nodes": lambda: korvale.pebble_game(np.zeros((6000, 2)), 2),
    "reconstruct, random 1,200 x 1,200": lambda: korvale.reconstruct(noisy_matrix(1200), 2),
}
GRAPH_INPUTS = {
    "er": lambda: kg.erdos_renyi(10**6, 3.6, 1),
    "lattice": lambda: kg.triangular_lattice(1024, 1.0, 1)[1],
    "er3000": lambda: kg.erdos_renyi(3000, 6.0, 1),
}
GRAPH_CALLS = {
    "kg.pebble_game, erdos_renyi(10^6, 3.6)": ("er", lambda e: kg.pebble_game(10**6, e)),
    "kg.percolation, lattice 1024^2": ("lattice", lambda e: kg.percolation(1024**2, e)),
    "kg.generic_rank, erdos_renyi(3000, 6), d=3": ("er3000", lambda e: kg.generic_rank(3000, e, 3)),
}


def latency(call, delay):
    sent = []

    def fire():
        sent.append(time.perf_counter())
        signal.pthread_kill(threading.main_thread().ident, signal.SIGINT)

    timer = threading.Timer(delay, fire)
    timer.start()
    try:
        call()
    except KeyboardInterrupt:
        return time.perf_counter() - sent[0]
    finally:
        timer.join()
    return float("nan")  # finished before the signal


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--delay", type=float, default=0.5)
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()
    print(f"{'call':<42} {'median s':>9} {'max s':>9}")
    calls = dict(CALLS)
    for name, (key, call) in GRAPH_CALLS.items():
        edges = GRAPH_INPUTS[key]()
        calls[name] = lambda call=call, edges=edges: call(edges)
    for name, call in calls.items():
        figures = [latency(call, args.delay) for _ in range(args.repeat)]
        print(f"{name:<42} {statistics.median(figures):>9.3f} {max(figures):>9.3f}", flush=True)


if __name__ == "__main__":
    main()
