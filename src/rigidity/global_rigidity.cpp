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
#include "rigidity/generic_rank.hpp"
#include "rigidity/max_rank.hpp"

namespace korvale {

namespace {

// The edges' rigidity rows at the point, offered in edge order, and a random
// stress: omega with sum_e omega_e row_e = 0.
//
// A dependent row reduces to zero: row_e = sum_j f_ej basis_j over the basis
// rows j it met. An accepted row b_k was reduced by some basis rows before
// its first free column: row_{b_k} = s_k basis_k + sum_j h_kj basis_j. So
// with lambda_e drawn for each dependent edge,
//   sum_e lambda_e row_e = sum_k G_k basis_k,   G_k = sum_e lambda_e f_ek,
// and unwinding basis_k = (row_{b_k} - sum_j h_kj basis_j) / s_k from the
// last accepted row down gives sum_k c_k row_{b_k}; omega_e = lambda_e on the
// dependent edges and -c_k on the accepted ones. The h are kept (checked
// against the memory available as they grow); no r x r table is needed.
struct Stress {
    std::vector<std::uint64_t> omega;  // per edge
    Labels labels;                     // per edge: 1 independent
    std::uint64_t rank = 0;
};

Stress random_stress(std::size_t n, const EdgeList& edges, std::size_t d, Engine& engine) {
    const std::size_t ncols = n * d;
    const std::vector<std::uint64_t> coords = modular_point(n, d, engine);

    const std::size_t m = edges.size();
    ModularRankTracker tracker(ncols, false, std::min<std::uint64_t>(m, ncols));
    tracker.record_factors();
    Stress out;
    out.omega.assign(m, 0);
    out.labels.assign(m, 0);
    std::vector<std::size_t> basis_edge;  // edge of each accepted row
    std::vector<std::uint64_t> pivot;     // s_k
    std::vector<std::uint64_t> weight;    // G_k
    std::vector<std::size_t> h_start{0};  // h_k is h[h_start[k] .. h_start[k+1])
    std::vector<ModularRankTracker::Factor> h;
    std::size_t h_checked = 0;
    InterruptPoll poll;
    std::vector<ModularEntry> row;
    for (std::size_t e = 0; e < m; ++e) {
        modular_row(coords, d, edges[e], row);
        const std::uint64_t before = tracker.work();
        const auto& factors = tracker.last_factors();
        if (tracker.add_row(row)) {
            out.labels[e] = 1;
            basis_edge.push_back(e);
            pivot.push_back(tracker.last_pivot());
            weight.push_back(0);
            // The factors grow with the fill-in; past each doubling the
            // headroom is checked again, as the basis does.
            const std::size_t held = h.size() * sizeof(h[0]), need = held + factors.size() * sizeof(h[0]);
            if (need > h_checked) {
                const std::size_t next = std::max(2 * h_checked, need + small_request);
                require_memory(next - held);
                h_checked = next;
            }
            h.insert(h.end(), factors.begin(), factors.end());
            h_start.push_back(h.size());
        } else {
            const std::uint64_t lambda = engine.below(mod61::P);
            out.omega[e] = lambda;
            for (const auto& f : factors) weight[f.row] = mod61::add(weight[f.row], mod61::mul(lambda, f.value));
        }
        poll(8 + tracker.work() - before + factors.size());
    }
    out.rank = basis_edge.size();
    for (std::size_t k = basis_edge.size(); k-- > 0;) {
        const std::uint64_t c = mod61::mul(weight[k], mod61::inverse(pivot[k]));
        out.omega[basis_edge[k]] = mod61::sub(0, c);
        for (std::size_t t = h_start[k]; t < h_start[k + 1]; ++t)
            weight[h[t].row] = mod61::sub(weight[h[t].row], mod61::mul(c, h[t].value));
        poll(8 + h_start[k + 1] - h_start[k]);
    }
    return out;
}

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

GlobalRigidityResult by_stress(std::size_t n, const EdgeList& edges, std::size_t d, std::uint64_t seed,
                               std::uint64_t max_rank) {
    Engine engine = Engine::stream(seed, 0);
    Stress stress = random_stress(n, edges, d, engine);
    const std::size_t m = edges.size();
    GlobalRigidityResult out;
    out.rank = stress.rank;
    out.is_rigid = stress.rank == max_rank;
    out.stress_dimension = m - stress.rank;
    out.labels = std::move(stress.labels);
    out.overconstrained.resize(m);
    for (std::size_t e = 0; e < m; ++e) out.overconstrained[e] = stress.omega[e] != 0;
    out.is_redundantly_rigid =
        out.is_rigid && std::all_of(out.overconstrained.begin(), out.overconstrained.end(), [](std::uint8_t o) { return o; });

    // The stress matrix: -omega_ij off the diagonal, the row sums on it,
    // over the nodes the stress touches (the others' rows and columns are
    // zero and add nothing to the rank).
    std::vector<std::size_t> place(n, n);
    std::size_t touched = 0;
    for (std::size_t e = 0; e < m; ++e)
        if (stress.omega[e] != 0)
            for (std::size_t x : {edges[e].i, edges[e].j})
                if (place[x] == n) place[x] = touched++;
    std::vector<std::uint64_t> matrix(checked_capacity(touched, touched, sizeof(std::uint64_t)), 0);
    for (std::size_t e = 0; e < m; ++e) {
        const std::uint64_t w = stress.omega[e];
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
    return stress ? by_stress(n, edges, d, seed, *max_rank) : by_characterization(n, edges, d);
}

Bytes global_rigidity_bytes(std::size_t n, std::size_t m, std::size_t d, GlobalRoute route) {
    if (!uses_stress(d, route)) {
        // The incidence, the search's arrays, the game's state and labels.
        return Bytes(m) * (2 * sizeof(Incidence::Item) + 16) + Bytes(n) * 200;
    }
    const Bytes stress = Bytes(m) * sizeof(std::uint64_t);
    const Bytes per_row = Bytes(sizeof(std::size_t)) + 2 * sizeof(std::uint64_t) + sizeof(std::size_t);
    const std::size_t rows = std::min<std::uint64_t>(m, max_independent_edges(n, d).value_or(Bytes::most));
    const Bytes matrix = Bytes(n) * n * sizeof(std::uint64_t);
    return generic_rank_bytes(n, m, d) + stress + Bytes(rows) * per_row + matrix + dense_modular_rank_bytes(n, n);
}

}  // namespace korvale
