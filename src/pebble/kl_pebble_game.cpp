#include "pebble/kl_pebble_game.hpp"

#include <algorithm>
#include <limits>
#include <string>

#include "core/memory.hpp"
#include "pebble/rigid_bodies.hpp"

namespace korvale {

void check_sparsity_counts(std::uint64_t k, std::uint64_t l) {
    if (k < 1 || k > 1u << 20) throw InputError("k must be between 1 and 2**20, got " + std::to_string(k));
    if (l >= 2 * k)
        throw InputError("l must satisfy 0 <= l < 2k (got k=" + std::to_string(k) + ", l=" + std::to_string(l) +
                         "); bar-joint rigidity in space is not a pebble-game count: use generic_rank");
}

KLPebbleGame::KLPebbleGame(std::size_t n, std::uint32_t k, std::uint32_t l)
    : n_(n), k_(k), l_(l), pebbles_(n, k), arcs_(checked_capacity(n, k, sizeof(Arc))), seen_(n, 0),
      rigid_(n, 0), floppy_(n, 0) {}

void KLPebbleGame::reverse(std::size_t from, std::size_t slot) {
    Arc* out = arcs_.data() + from * k_;
    const Arc arc = out[slot];
    out[slot] = out[out_degree(from) - 1];
    ++pebbles_[from];
    arcs_[static_cast<std::size_t>(arc.target) * k_ + out_degree(arc.target)] = {static_cast<std::uint32_t>(from),
                                                                              arc.edge};
    --pebbles_[arc.target];
}

bool KLPebbleGame::bring_pebble(std::size_t x) {
    // A start node seen already in this round was searched through then,
    // and that search failed: nothing new is reachable from it.
    if (seen_[x] == stamp_) return false;
    seen_[x] = stamp_;
    reached_.push_back(x);
    stack_.clear();
    stack_.push_back({static_cast<std::uint32_t>(x), 0});
    while (!stack_.empty()) {
        Frame& top = stack_.back();
        if (top.next == out_degree(top.node)) {
            stack_.pop_back();
            if (!stack_.empty()) ++stack_.back().next;
            continue;
        }
        const std::size_t w = arcs(top.node)[top.next].target;
        ++work_;
        if (seen_[w] == stamp_) {
            ++top.next;
            continue;
        }
        seen_[w] = stamp_;
        reached_.push_back(w);
        if (w == held_u_ || w == held_v_ || pebbles_[w] == 0) {
            stack_.push_back({static_cast<std::uint32_t>(w), 0});
            continue;
        }
        // Found: reverse the path, innermost arc first, so that every slot
        // index on the stack stays valid until its turn.
        for (std::size_t f = stack_.size(); f-- > 0;) reverse(stack_[f].node, stack_[f].next);
        return true;
    }
    return false;
}

bool KLPebbleGame::gather(std::size_t u, std::size_t v, std::uint32_t want) {
    held_u_ = u;
    held_v_ = v;
    while (pebbles_[u] + pebbles_[v] < want) {
        // Both searches of a round share one stamp: what the first reached in
        // vain need not be searched again by the second.
        ++stamp_;
        reached_.clear();
        if (pebbles_[u] < k_ && bring_pebble(u)) continue;
        if (pebbles_[v] < k_ && bring_pebble(v)) continue;
        for (std::size_t x : {u, v})
            if (seen_[x] != stamp_) reached_.push_back(x);
        return false;
    }
    return true;
}

bool KLPebbleGame::offer_edge(std::size_t u, std::size_t v, std::size_t id) {
    if (!gather(u, v, l_ + 1)) return false;
    const std::size_t from = pebbles_[u] > 0 ? u : v;
    const std::size_t to = from == u ? v : u;
    arcs_[from * k_ + out_degree(from)] = {static_cast<std::uint32_t>(to), static_cast<std::uint32_t>(id)};
    --pebbles_[from];
    return true;
}

bool KLPebbleGame::reaches_free_pebble(std::size_t x) {
    if (rigid_[x] == closure_) return false;
    if (floppy_[x] == closure_) return true;
    if (x != held_u_ && x != held_v_ && pebbles_[x] > 0) {
        floppy_[x] = closure_;
        return true;
    }
    ++stamp_;
    const std::size_t first = reached_.size();
    seen_[x] = stamp_;
    reached_.push_back(x);
    stack_.clear();
    stack_.push_back({static_cast<std::uint32_t>(x), 0});
    while (!stack_.empty()) {
        Frame& top = stack_.back();
        if (top.next == out_degree(top.node)) {
            stack_.pop_back();
            if (!stack_.empty()) ++stack_.back().next;
            continue;
        }
        const std::size_t w = arcs(top.node)[top.next].target;
        ++work_;
        if (seen_[w] == stamp_ || rigid_[w] == closure_) {
            ++top.next;
            continue;
        }
        seen_[w] = stamp_;
        if (floppy_[w] == closure_ || (w != held_u_ && w != held_v_ && pebbles_[w] > 0)) {
            for (const Frame& f : stack_) floppy_[f.node] = closure_;
            // Bring a found pebble to x: free pebbles then gather beside the
            // tight sets, and later searches (of this set and the next ones)
            // stop after a step or two instead of crossing a large cluster.
            if (w != held_u_ && w != held_v_ && pebbles_[w] > 0)
                for (std::size_t f = stack_.size(); f-- > 0;) reverse(stack_[f].node, stack_[f].next);
            floppy_[w] = closure_;
            reached_.resize(first);
            return true;
        }
        reached_.push_back(w);
        stack_.push_back({static_cast<std::uint32_t>(w), 0});
    }
    // Nothing free is reachable from any node visited: all are rigid.
    for (std::size_t k = first; k < reached_.size(); ++k) {
        rigid_[reached_[k]] = closure_;
        closure_nodes_.push_back(reached_[k]);
    }
    reached_.resize(first);
    return false;
}

const std::vector<std::size_t>& KLPebbleGame::tight_closure(std::size_t u, std::size_t v, const Incidence& incidence,
                                                            const Labels& accepted, const RigidBodies* bodies) {
    ++closure_;
    closure_nodes_.clear();
    // l pebbles can always be held on the endpoints of an edge that is
    // accepted or spanned by accepted ones.
    if (!gather(u, v, l_)) internal_failure("cannot gather l pebbles on an edge of the graph");
    reached_.clear();
    // Any pebble beyond those l is free: if u and v hold one or can reach
    // one, no tight set holds both.
    if (pebbles_[u] + pebbles_[v] > l_ || reaches_free_pebble(u) || reaches_free_pebble(v)) {
        closure_nodes_.clear();  // their marks expire with this round
        return closure_nodes_;
    }
    // Grow the set: a neighbour that cannot reach a free pebble closes a
    // larger tight set with it.
    if (bodies != nullptr && body_seen_.size() < bodies->id_bound()) {
        body_seen_.resize(bodies->id_bound(), 0);
        body_found_.resize(bodies->id_bound(), 0);
    }
    constexpr auto none = static_cast<std::uint32_t>(-1);
    std::uint32_t largest = none;  // the largest body inside, not searched from
    const auto inside = [&](std::size_t w) {
        if (rigid_[w] == closure_) return true;
        bool whole = false;
        if (bodies != nullptr)
            bodies->for_each_body(w, [&](std::uint32_t b) {
                whole = whole || (body_seen_[b] == closure_ && body_found_[b] >= bodies->needed());
            });
        return whole;
    };
    const auto count_bodies = [&](std::size_t x) {
        bodies->for_each_body(x, [&](std::uint32_t b) {
            if (body_seen_[b] != closure_) {
                body_seen_[b] = closure_;
                body_found_[b] = 0;
            }
            if (++body_found_[b] != bodies->needed()) return;
            // The body lies inside whole; all but the largest get searched from.
            std::uint32_t scanned = b;
            if (largest == none || bodies->members(b).size() > bodies->members(largest).size())
                std::swap(scanned, largest);
            if (scanned == none) return;
            const auto& members = bodies->members(scanned);
            to_scan_.insert(to_scan_.end(), members.begin(), members.end());
        });
    };
    to_scan_.clear();
    std::size_t counted = 0, next = 0, next_scan = 0;
    for (;;) {
        if (bodies != nullptr)
            for (; counted < closure_nodes_.size(); ++counted) count_bodies(closure_nodes_[counted]);
        std::size_t x;
        if (next < closure_nodes_.size())
            x = closure_nodes_[next++];
        else if (next_scan < to_scan_.size())
            x = to_scan_[next_scan++];
        else
            break;
        for (const Incidence::Item& w : incidence.at(x))
            if (accepted[w.edge] && !inside(w.node)) reaches_free_pebble(w.node);
    }
    if (l_ == 0) keep_part_holding(u, v, incidence, accepted);
    return closure_nodes_;
}

// With l = 0 disjoint tight sets are tight together; a component is the
// connected part holding u, and v must be in it.
void KLPebbleGame::keep_part_holding(std::size_t u, std::size_t v, const Incidence& incidence,
                                     const Labels& accepted) {
    ++stamp_;
    reached_.assign(1, u);
    seen_[u] = stamp_;
    for (std::size_t next = 0; next < reached_.size(); ++next)
        for (const Incidence::Item& item : incidence.at(reached_[next])) {
            const std::size_t w = item.node;
            if (accepted[item.edge] && rigid_[w] == closure_ && seen_[w] != stamp_) {
                seen_[w] = stamp_;
                reached_.push_back(w);
            }
        }
    closure_nodes_.clear();
    if (seen_[v] == stamp_) closure_nodes_.swap(reached_);
    reached_.clear();
}

void KLPebbleGame::insert_basis_edge(std::size_t x, std::size_t t) {
    if (!gather(x, t, 1)) internal_failure("cannot cover an edge of a body's basis");
    const std::size_t from = pebbles_[x] > 0 ? x : t;
    arcs_[from * k_ + out_degree(from)] = {static_cast<std::uint32_t>(from == x ? t : x), basis_edge};
    --pebbles_[from];
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
                largest = std::max<std::uint64_t>(largest, components.absorb(component, game));
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
            stressed.absorb(tight, game);
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
            for (std::size_t x : nodes) game.drop_arcs(x, [&](std::uint32_t y) { return in_set[y] == set_stamp; });
        poll(16 + 4 * (game.work() - before) + nodes.size());
    }
    return out;
}

}  // namespace korvale
