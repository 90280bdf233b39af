// The optimised routines against the literal references kept with the tests.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "pebble/pebble_game.hpp"
#include "reconstruct/double_center.hpp"
#include "reconstruct/jacobi_eigen.hpp"
#include "reference/literal_jacobi.hpp"
#include "reference/literal_pebble.hpp"
#include "reference/literal_simulation.hpp"
#include "graph/candidate_edges.hpp"
#include "test_support.hpp"
#include "rigidity/labelling.hpp"
#include "rigidity/max_rank.hpp"

using namespace korvale;

namespace {

CoordinateMatrix random_nodes(std::size_t n, std::size_t d, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> u(0.0, 5.0);
    CoordinateMatrix nodes(n, d);
    for (double& x : nodes.data) x = u(rng);
    return nodes;
}

Matrix exact_gram(std::size_t n) {
    const CoordinateMatrix nodes = random_nodes(n, 2, 7);
    Matrix dist(n, n);
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < n; ++j)
            dist(i, j) = std::hypot(nodes(i, 0) - nodes(j, 0), nodes(i, 1) - nodes(j, 1));
    return double_center(dist);
}

void labelling(benchmark::State& state) {
    const std::size_t n = state.range(0), d = state.range(1);
    const CoordinateMatrix nodes = random_nodes(n, d, 1);
    const EdgeList edges = candidate_edges(n);
    const std::uint64_t max_rank = *max_independent_edges(n, d);
    for (auto _ : state) benchmark::DoNotOptimize(label_edges(nodes, edges, max_rank, 1e-9));
}

void labelling_literal(benchmark::State& state) {
    const CoordinateMatrix nodes = random_nodes(state.range(0), state.range(1), 1);
    for (auto _ : state) benchmark::DoNotOptimize(reference::simulate(nodes, state.range(1), 1e-9));
}

void pebble(benchmark::State& state) {
    const EdgeList edges = candidate_edges(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(run_pebble_game(state.range(0), edges));
}

void pebble_literal(benchmark::State& state) {
    const EdgeList edges = candidate_edges(state.range(0));
    for (auto _ : state) {
        reference::PebbleGame game(state.range(0));
        for (const Edge& e : edges) benchmark::DoNotOptimize(game.offer_edge(e.i, e.j));
    }
}

void jacobi(benchmark::State& state) {
    const Matrix gram = exact_gram(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(jacobi_eigen(gram));
}

void jacobi_literal(benchmark::State& state) {
    const Matrix gram = exact_gram(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(reference::jacobi(gram, 0));
}

}  // namespace

BENCHMARK(labelling)->Args({20, 2})->Args({30, 3})->Args({100, 2})->Args({300, 2})->Args({100, 3})->Unit(benchmark::kMillisecond);
BENCHMARK(labelling_literal)->Args({20, 2})->Args({30, 3})->Args({100, 2})->Args({300, 2})->Args({100, 3})->Unit(benchmark::kMillisecond);
BENCHMARK(pebble)->Arg(200)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(pebble_literal)->Arg(200)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(jacobi)->Arg(100)->Arg(300)->Unit(benchmark::kMillisecond);
BENCHMARK(jacobi_literal)->Arg(100)->Arg(300)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
