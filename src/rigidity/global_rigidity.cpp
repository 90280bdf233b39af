#include "rigidity/global_rigidity.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include "core/failure.hpp"
#include "core/interrupt.hpp"
#include "graph/connectivity.hpp"
#include "graph/incidence.hpp"
#include "pebble/kl_runs.hpp"
#include "random/engine.hpp"
#include "rank/dense_modular_rank.hpp"
#include "rank/modular_rank.hpp"
#include "rigidity/max_rank.hpp"
#include "rigidity/point_elimination.hpp"

namespace korvale {

namespace {

bool redundant(const KLGameResult& game) {
    return game.rank == game.max_rank &&
           std::all_of(game.overconstrained.begin(), game.overconstrained.end(), [](std::uint8_t o) { return o == 1; });
}

// Whether every pair of the n nodes is joined by an edge.
bool complete(std::size_t n, const EdgeList& edges) {
    std::vector<std::uint8_t> joined(n * n, 0);
    for (const Edge& e : edges) joined[e.i * n + e.j] = joined[e.j * n + e.i] = 1;
    for (std::size_t a = 0; a < n; ++a)
        for (std::size_t b = a + 1; b < n; ++b)
            if (!joined[a * n + b]) return false;
    return true;
}

bool uses_stress(std::size_t d, GlobalRoute route) {
    if (route == GlobalRoute::combinatorial && d > 2)
        throw InputError("global rigidity has no combinatorial characterization in d = " + std::to_string(d) +
                         ": use the stress test");
    return route == GlobalRoute::stress || d > 2;
}

// d = 1: rigid is connected, redundant is connected without a bridge,
// globally rigid is 2-connected. d = 2: rank and redundancy from the (2, 3)
// pebble game, then 3-connectivity. Exact: the error bound is 0.
GlobalRigidityResult by_characterization(std::size_t n, const EdgeList& edges, std::size_t d) {
    const Incidence incidence(n, edges);
    Connectivity connectivity(incidence);
    GlobalRigidityResult out;
    if (d == 1) {
        const std::size_t parts = n == 0 ? 0 : connectivity.components();
        out.rank = n - parts;
        out.is_rigid = parts <= 1;
        const std::vector<std::uint8_t> bridge = connectivity.bridges();
        out.is_redundantly_rigid = out.is_rigid && std::none_of(bridge.begin(), bridge.end(), [](std::uint8_t b) { return b; });
        out.is_globally_rigid = n <= 2 ? complete(n, edges) : out.is_rigid && connectivity.biconnected();
    } else {
        const KLGameResult game = kl_pebble_game(n, edges, 2, 3);
        out.rank = game.rank;
        out.is_rigid = game.rank == game.max_rank;
        out.is_redundantly_rigid = redundant(game);
        out.is_globally_rigid = plane_globally_rigid(n, edges, game);
    }
    out.stress_dimension = edges.size() - out.rank;
    return out;
}


}  // namespace

GlobalRigidityResult global_rigidity_by_stress(std::size_t n, const EdgeList& edges, std::size_t d,
                                               PointElimination& elimination, InterruptPoll& poll) {
    const std::uint64_t max_rank = max_independent_edges(n, d).value();
    const std::vector<std::uint64_t> omega = elimination.stress(poll);
    const std::size_t m = edges.size();
    GlobalRigidityResult out;
    out.rank = elimination.rank();
    out.is_rigid = out.rank == max_rank;
    out.stress_dimension = m - out.rank;
    out.labels = elimination.labels();
    out.overconstrained.resize(m);
    for (std::size_t e = 0; e < m; ++e) out.overconstrained[e] = omega[e] != 0;
    out.is_redundantly_rigid =
        out.is_rigid && std::all_of(out.overconstrained.begin(), out.overconstrained.end(), [](std::uint8_t o) { return o; });

    // The stress matrix: -omega_ij off the diagonal, the row sums on it,
    // over the nodes the stress touches (the others' rows and columns are
    // zero and add nothing to the rank).
    std::vector<std::size_t> place(n, n);
    std::size_t touched = 0;
    for (std::size_t e = 0; e < m; ++e)
        if (omega[e] != 0)
            for (std::size_t x : {edges[e].i, edges[e].j})
                if (place[x] == n) place[x] = touched++;
    std::vector<std::uint64_t> matrix(checked_capacity(touched, touched, sizeof(std::uint64_t)), 0);
    for (std::size_t e = 0; e < m; ++e) {
        const std::uint64_t w = omega[e];
        if (w == 0) continue;
        const std::size_t i = place[edges[e].i], j = place[edges[e].j];
        matrix[i * touched + j] = mod61::sub(matrix[i * touched + j], w);
        matrix[j * touched + i] = mod61::sub(matrix[j * touched + i], w);
        matrix[i * touched + i] = mod61::add(matrix[i * touched + i], w);
        matrix[j * touched + j] = mod61::add(matrix[j * touched + j], w);
    }
    const std::uint64_t stress_rank = touched == 0 ? 0 : dense_modular_rank(matrix, touched, touched);
    out.stress_rank = stress_rank;
    out.is_globally_rigid = n <= d + 1 ? complete(n, edges) : out.is_rigid && stress_rank == n - d - 1;

    // The bound (docs/korvale_graphs.md): with r the generic rank, the basis
    // is the generic one unless a minor of degree r vanishes (r / P); then
    // each omega_e, and a minor of order n - d - 1 of the stress matrix, are
    // polynomials in the point and the coefficients of degree at most r + 1
    // and (n - d - 1)(r + 1) once the common denominator is cleared.
    const double r = static_cast<double>(std::min<std::uint64_t>(m, max_rank));
    const double order = n > d + 1 ? static_cast<double>(n - d - 1) : 0.0;
    out.error_bound = (r + (static_cast<double>(m) + order) * (r + 1.0)) / static_cast<double>(mod61::P);
    return out;
}

bool plane_globally_rigid(std::size_t n, const EdgeList& edges, const KLGameResult& game) {
    if (n <= 3) return complete(n, edges);
    if (!redundant(game)) return false;
    const Incidence incidence(n, edges);
    InterruptPoll poll;
    return Connectivity(incidence).triconnected(poll);
}

GlobalRigidityResult global_rigidity(std::size_t n, const EdgeList& edges, std::size_t d, std::uint64_t seed,
                                     GlobalRoute route) {
    if (d < 1) throw InputError("d must be at least 1, got 0");
    const auto max_rank = max_independent_edges(n, d);
    if (!max_rank) throw InputError("n * d is too large: " + std::to_string(n) + " * " + std::to_string(d));
    const bool stress = uses_stress(d, route);
    require_memory(global_rigidity_bytes(n, edges.size(), d, route));
    if (!stress) return by_characterization(n, edges, d);
    Engine engine = Engine::stream(seed, 0);
    InterruptPoll poll;
    PointElimination elimination(n, edges, d, engine, true, poll);
    return global_rigidity_by_stress(n, edges, d, elimination, poll);
}

Bytes global_rigidity_bytes(std::size_t n, std::size_t m, std::size_t d, GlobalRoute route) {
    if (!uses_stress(d, route)) {
        // The incidence, the search's arrays, the game's state and labels.
        return Bytes(m) * (2 * sizeof(Incidence::Item) + 16) + Bytes(n) * 200;
    }
    const Bytes matrix = Bytes(n) * n * sizeof(std::uint64_t);
    return point_elimination_bytes(n, m, d, true) + matrix + dense_modular_rank_bytes(n, n);
}

}  // namespace korvale
