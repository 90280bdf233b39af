#include "pebble/kl_runs.hpp"

#include <algorithm>
#include <limits>
#include <string>

#include "core/interrupt.hpp"
#include "graph/incidence.hpp"
#include "pebble/kl_pebble_game.hpp"
#include "pebble/rigid_bodies.hpp"

namespace korvale {

void check_sparsity_counts(std::uint64_t k, std::uint64_t l) {
    if (k < 1 || k > 1u << 20) throw InputError("k must be between 1 and 2**20, got " + std::to_string(k));
    if (l >= 2 * k)
        throw InputError("l must satisfy 0 <= l < 2k (got k=" + std::to_string(k) + ", l=" + std::to_string(l) +
                         "); bar-joint rigidity in space is not a pebble-game count: use generic_rank");
}

namespace {

// Per node, beside its k arcs: pebble count, search and closure stamps,
// the search stack and the node lists a search or closure fills (at most n
// entries each), the set stamps, and the bodies' membership, marks and
// scratch lists. Measured at about 95 bytes a node on lattices and random
// graphs; the figure leaves room for bodies that share nodes.
constexpr std::size_t node_state_bytes = 160;

// Counts and sizes checked before any work.
void check_counts(std::size_t n, std::size_t m, std::uint32_t k, std::uint32_t l) {
    check_sparsity_counts(k, l);
    if (n > std::numeric_limits<std::uint32_t>::max() || m > std::numeric_limits<std::uint32_t>::max())
        throw InputError("at most 2**32 - 1 nodes and edges are supported");
}

}  // namespace

Bytes kl_game_bytes(std::size_t n, std::size_t m, std::uint32_t k) {
    // Per edge: its label and overconstrained flag, its component id, and
    // its two incidence items.
    const Bytes per_edge = 2 * sizeof(std::uint8_t) + sizeof(std::int64_t) + 2 * sizeof(Incidence::Item);
    return Bytes(m) * per_edge + Bytes(n) * (Bytes(k) * sizeof(KLPebbleGame::Arc) + node_state_bytes);
}

Bytes kl_percolation_bytes(std::size_t n, std::size_t m, std::uint32_t k) {
    // Per edge: its label, the rank and largest cluster after it, and its
    // two incidence items.
    const Bytes per_edge = sizeof(std::uint8_t) + 2 * sizeof(std::int64_t) + 2 * sizeof(Incidence::Item);
    return Bytes(m) * per_edge + Bytes(n) * (Bytes(k) * sizeof(KLPebbleGame::Arc) + node_state_bytes);
}

PercolationResult kl_percolation(std::size_t n, const EdgeList& edges, std::uint32_t k, std::uint32_t l) {
    check_counts(n, edges.size(), k, l);
    require_memory(kl_percolation_bytes(n, edges.size(), k));
    const std::size_t m = edges.size();
    PercolationResult out;
    out.labels.assign(m, 0);
    out.rank.assign(m, 0);
    out.largest_component.assign(m, 0);
    KLPebbleGame game(n, k, l);
    const Incidence incidence(n, edges);  // out.labels marks the accepted edges so far
    // The components found so far, as bodies: an edge inside one is rejected
    // at once, and searches cross them in a step or two.
    RigidBodies components(n, k, l);
    InterruptPoll poll;
    std::int64_t rank = 0;
    std::uint64_t largest = 0;
    for (std::size_t e = 0; e < m; ++e) {
        const std::size_t u = edges[e].i, v = edges[e].j;
        const std::uint64_t before = game.work();
        if (!components.together(u, v) && game.offer_edge(u, v, e)) {
            out.labels[e] = 1;
            ++rank;
            const auto& component = game.tight_closure(u, v, incidence, out.labels, l > 0 ? &components : nullptr);
            if (!component.empty())
                largest = std::max<std::uint64_t>(largest, components.absorb(component, game.basis_edits()));
        }
        out.rank[e] = rank;
        out.largest_component[e] = static_cast<std::int64_t>(largest);
        poll(16 + 4 * (game.work() - before));
    }
    return out;
}

KLGameResult kl_pebble_game(std::size_t n, const EdgeList& edges, std::uint32_t k, std::uint32_t l) {
    check_counts(n, edges.size(), k, l);
    require_memory(kl_game_bytes(n, edges.size(), k));
    const std::size_t m = edges.size();
    KLGameResult out;
    out.labels.assign(m, 0);
    out.overconstrained.assign(m, 0);
    out.components.assign(m, -1);
    const std::uint64_t kn = static_cast<std::uint64_t>(k) * n;
    out.max_rank = kn > l ? kn - l : 0;

    KLPebbleGame game(n, k, l);
    const Incidence incidence(n, edges);
    InterruptPoll poll;
    std::vector<std::uint64_t> in_set(n, 0);
    std::uint64_t set_stamp = 0;
    // The smallest tight sets of rejected edges, as bodies: every accepted
    // edge inside lies in a circuit, so an edge inside one marks nothing new;
    // the circuits of later edges through them are found with the body's
    // star in place of its edges, all of which are marked already.
    RigidBodies stressed(n, k, l);
    for (std::size_t e = 0; e < m; ++e) {
        const std::size_t u = edges[e].i, v = edges[e].j;
        const std::uint64_t before = game.work();
        if (stressed.together(u, v)) {
            out.overconstrained[e] = 1;
        } else if (game.offer_edge(u, v, e)) {
            out.labels[e] = 1;
            ++out.rank;
        } else {
            // The edge closes a circuit with every accepted edge inside the
            // smallest tight set holding its endpoints.
            out.overconstrained[e] = 1;
            ++set_stamp;
            const auto& tight = game.last_tight_set();
            for (std::size_t x : tight) in_set[x] = set_stamp;
            for (std::size_t x : tight) {
                const auto* arcs = game.arcs(x);
                for (std::uint32_t a = 0; a < game.out_degree(x); ++a)
                    if (in_set[arcs[a].target] == set_stamp && arcs[a].edge != KLPebbleGame::basis_edge)
                        out.overconstrained[arcs[a].edge] = 1;
            }
            stressed.absorb(tight, game.basis_edits());
        }
        poll(16 + 4 * (game.work() - before));
    }

    // Components, numbered by the first edge in each.
    constexpr std::int64_t unassigned = -2;
    std::fill(out.components.begin(), out.components.end(), unassigned);
    for (std::size_t e = 0; e < m; ++e) {
        if (out.components[e] != unassigned) continue;
        const std::uint64_t before = game.work();
        const auto& nodes = game.tight_closure(edges[e].i, edges[e].j, incidence, out.labels);
        if (nodes.empty()) {
            out.components[e] = -1;
            continue;
        }
        const auto id = static_cast<std::int64_t>(out.n_components++);
        out.largest_component = std::max<std::uint64_t>(out.largest_component, nodes.size());
        ++set_stamp;
        for (std::size_t x : nodes) in_set[x] = set_stamp;
        for (std::size_t x : nodes) {
            for (const Incidence::Item& f : incidence.at(x))
                if (in_set[f.node] == set_stamp && out.components[f.edge] == unassigned) out.components[f.edge] = id;
        }
        // A component shares at most one node with any other (none for
        // l <= k), so its edges lie in no other tight set: without them the
        // rest decomposes the same, and searches no longer cross it.
        if (l > 0)
            for (std::size_t x : nodes)
                game.basis_edits().drop_arcs(x, [&](std::uint32_t y) { return in_set[y] == set_stamp; });
        poll(16 + 4 * (game.work() - before) + nodes.size());
    }
    return out;
}

}  // namespace korvale
