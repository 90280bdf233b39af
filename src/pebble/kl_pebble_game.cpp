#include "pebble/kl_pebble_game.hpp"

#include <algorithm>
#include <limits>
#include <string>

#include "core/memory.hpp"
#include "pebble/pebble_search.hpp"

namespace korvale {

KLPebbleGame::KLPebbleGame(std::size_t n, std::uint32_t k, std::uint32_t l)
    : n_(n), k_(k), l_(l), pebbles_(n, k), arcs_(checked_capacity(n, k, sizeof(Arc))), seen_(n, 0),
      rigid_(n, 0), floppy_(n, 0), stack_(checked_capacity(n + 1, sizeof(SearchFrame))) {}

void KLPebbleGame::reverse(std::size_t from, std::size_t slot) {
    Arc* out = arcs_.data() + from * k_;
    const Arc arc = out[slot];
    out[slot] = out[out_degree(from) - 1];
    ++pebbles_[from];
    arcs_[static_cast<std::size_t>(arc.target) * k_ + out_degree(arc.target)] = {static_cast<std::uint32_t>(from),
                                                                              arc.edge};
    --pebbles_[arc.target];
}

// The search's view of the arcs (see pebble_search.hpp). Entering a node
// counts work and records it as reached; in a closure, nodes known rigid are
// not entered and a node known floppy counts as found.
template <bool InClosure>
struct KLPebbleGame::Walk {
    KLPebbleGame& game;
    std::uint32_t out_degree(std::uint32_t y) const noexcept { return game.out_degree(y); }
    std::uint32_t target(std::uint32_t y, std::uint32_t slot) const noexcept { return game.arcs(y)[slot].target; }
    bool enter(std::uint32_t w) {
        ++game.work_;
        if (game.seen_[w] == game.stamp_ || (InClosure && game.rigid_[w] == game.closure_)) return false;
        game.seen_[w] = game.stamp_;
        game.reached_.push_back(w);
        return true;
    }
    bool has_free(std::uint32_t w) const noexcept {
        return (InClosure && game.floppy_[w] == game.closure_) || game.free_pebble_at(w);
    }
};

// Reverses the path of a successful search, innermost arc first, so that
// every slot index on the stack stays valid until its turn.
void KLPebbleGame::reverse_path(const SearchFrame* top) {
    for (const SearchFrame* f = top;; --f) {
        reverse(f->node, f->next);
        if (f == stack_.data()) return;
    }
}

bool KLPebbleGame::bring_pebble(std::size_t x) {
    // A start node seen already in this round was searched through then,
    // and that search failed: nothing new is reachable from it.
    if (seen_[x] == stamp_) return false;
    seen_[x] = stamp_;
    reached_.push_back(x);
    Walk<false> walk{*this};
    const SearchFrame* top = search_free_pebble(walk, stack_.data(), static_cast<std::uint32_t>(x));
    if (top == nullptr) return false;
    reverse_path(top);
    return true;
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
    if (free_pebble_at(x)) {
        floppy_[x] = closure_;
        return true;
    }
    ++stamp_;
    const std::size_t first = reached_.size();
    seen_[x] = stamp_;
    reached_.push_back(x);
    Walk<true> walk{*this};
    const SearchFrame* top = search_free_pebble(walk, stack_.data(), static_cast<std::uint32_t>(x));
    if (top != nullptr) {
        const std::uint32_t w = walk.target(top->node, top->next);
        for (const SearchFrame* f = stack_.data(); f <= top; ++f) floppy_[f->node] = closure_;
        // Bring a found pebble to x: free pebbles then gather beside the
        // tight sets, and later searches (of this set and the next ones)
        // stop after a step or two instead of crossing a large cluster.
        if (free_pebble_at(w)) reverse_path(top);
        floppy_[w] = closure_;
        reached_.resize(first);
        return true;
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
                                                            const Labels& accepted, const BodyMembership* bodies) {
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

}  // namespace korvale
