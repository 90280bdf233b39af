"""Concurrency: many threads mixing every function get the sequential
results, and the long calls really release the interpreter lock."""

import threading
import time

import numpy as np
import pytest

import korvale

rng = np.random.default_rng(99)
POINTS_2D = rng.uniform(0, 5, size=(70, 2))
POINTS_3D = rng.uniform(0, 5, size=(40, 3))
GRID = rng.integers(0, 4, size=(30, 2)).astype(np.float64)
DIST = np.sqrt(((POINTS_2D[:, None] - POINTS_2D[None]) ** 2).sum(-1))

WORK = [
    ("simulate 2d", lambda: korvale.simulate(POINTS_2D, 2)),
    ("simulate 3d", lambda: korvale.simulate(POINTS_3D, 3)),
    ("simulate grid", lambda: korvale.simulate(GRID, 2)),
    ("gram", lambda: korvale.gram_from_dist(DIST)),
    ("batch", lambda: korvale.generate_training_batch(20, 12, 3, 7)),
    ("max", lambda: korvale.max_independent(1000, 3)),
    ("reconstruct", lambda: korvale.reconstruct(DIST, 2)),
    ("pebble", lambda: korvale.pebble_game(np.zeros((150, 2)), 2)),
]


def fingerprint(value):
    """A comparable form of any result: arrays by their bytes."""
    if isinstance(value, dict):
        return {k: fingerprint(v) for k, v in value.items()}
    if isinstance(value, list):
        return [fingerprint(v) for v in value]
    if isinstance(value, np.ndarray):
        return (value.dtype.str, value.shape, value.tobytes())
    return (type(value).__name__, value)


def test_eight_threads_mixing_all_functions():
    expected = {name: fingerprint(fn()) for name, fn in WORK}
    errors = []
    calls = [0] * 8
    stop = time.perf_counter() + 4.0

    def worker(k):
        i = k
        while time.perf_counter() < stop:
            name, fn = WORK[i % len(WORK)]
            try:
                if fingerprint(fn()) != expected[name]:
                    errors.append(f"thread {k}: {name} differs")
            except BaseException as e:  # noqa: BLE001
                errors.append(f"thread {k}: {name} raised {e!r}")
            calls[k] += 1
            i += 3

    threads = [threading.Thread(target=worker, args=(k,)) for k in range(8)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert errors == []
    assert min(calls) > 5


# Each long call grows until it takes long enough to tell a released lock
# from a held one on this machine.
LONG_CALLS = [
    ("simulate", [450, 600, 800, 1000], lambda n: korvale.simulate(np.random.default_rng(1).uniform(0, 5, size=(n, 3)), 3)),
    ("batch", [2000, 5000, 12000], lambda n: korvale.generate_training_batch(n, 40, 3, 3)),
    ("reconstruct", [250, 350, 500], lambda n: korvale.reconstruct(np.abs(np.random.default_rng(2).normal(size=(n, n))), 2)),
    ("pebble", [4000, 6000, 9000], lambda n: korvale.pebble_game(np.zeros((n, 2)), 2)),
]


def long_enough(sizes, call):
    for size in sizes:
        t0 = time.perf_counter()
        call(size)
        if time.perf_counter() - t0 > 0.3:
            break
    return lambda: call(size)


@pytest.mark.parametrize("name, sizes, sized_call", LONG_CALLS, ids=[c[0] for c in LONG_CALLS])
def test_long_calls_let_other_threads_run(name, sizes, sized_call):
    call = long_enough(sizes, sized_call)
    done = threading.Event()
    duration = []

    def worker():
        t0 = time.perf_counter()
        call()
        duration.append(time.perf_counter() - t0)
        done.set()

    thread = threading.Thread(target=worker)
    last = time.perf_counter()
    longest_gap = 0.0
    ticks = 0
    thread.start()
    while not done.is_set():
        now = time.perf_counter()
        longest_gap = max(longest_gap, now - last)
        last = now
        ticks += 1
    thread.join()
    assert duration[0] > 0.2, "the call must be long enough to tell"
    # Holding the lock for the whole call would stall this loop as long.
    assert longest_gap < duration[0] / 2, (longest_gap, duration[0])
    assert ticks > 1000
