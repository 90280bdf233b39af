// The (k, l) pebble game's state on any multigraph, for 1 <= k and
// 0 <= l < 2k: every node holds k pebbles; an accepted edge is covered by a
// pebble of one endpoint and directed out of it, so a node has at most k
// out-edges. An edge (u, v) is accepted exactly when l + 1 pebbles can be
// gathered on u and v by reversing paths to free pebbles. Rejections need no
// rollback: moving pebbles keeps a valid covering of the accepted edges.
// kl_runs.hpp runs it over edge lists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/records.hpp"
#include "graph/incidence.hpp"
#include "pebble/body_membership.hpp"
#include "pebble/pebble_search.hpp"

namespace korvale {

class KLPebbleGame {
public:
    KLPebbleGame(std::size_t n, std::uint32_t k, std::uint32_t l);

    // Tests edge `id` = (u, v); accepts it when independent. When it is
    // rejected, the nodes of the smallest tight set holding u and v are in
    // last_tight_set().
    bool offer_edge(std::size_t u, std::size_t v, std::size_t id);
    const std::vector<std::size_t>& last_tight_set() const noexcept { return reached_; }

    // Accepted edges out of node x (target, edge id).
    struct Arc {
        std::uint32_t target;
        std::uint32_t edge;
    };
    const Arc* arcs(std::size_t x) const noexcept { return arcs_.data() + x * k_; }
    std::uint32_t out_degree(std::size_t x) const noexcept { return k_ - pebbles_[x]; }

    // The nodes of the largest tight set holding u and v, or nothing when no
    // tight set holds both. Moves pebbles (validly) to find it. The accepted
    // edges are those of `incidence` with accepted[edge] == 1.
    //
    // With `bodies` (l >= 1, and every component before the last accepted
    // edge known as a body) the set grows body by body: a body meeting it in
    // enough nodes lies inside it whole, and the members of the largest such
    // body are neither listed nor searched from (every other node of the
    // component is linked to the new edge without passing through it). The
    // list then holds the nodes found one by one, which include enough of
    // every body inside for RigidBodies::absorb to merge them.
    const std::vector<std::size_t>& tight_closure(std::size_t u, std::size_t v, const Incidence& incidence,
                                                  const Labels& accepted, const BodyMembership* bodies = nullptr);

    // Edges that stand in for a body's accepted edges (see rigid_bodies.hpp)
    // carry this id instead of an edge of the graph.
    static constexpr std::uint32_t basis_edge = static_cast<std::uint32_t>(-1);

    // Edits for callers that know a tight set of the accepted edges:
    // dropping the edges inside it and covering another basis of them in
    // their place leaves the span, and so every later verdict and tight set,
    // unchanged (RigidBodies contracts its bodies so); dropping alone removes
    // a component whose edges lie in no other tight set.
    class BasisEdits {
    public:
        explicit BasisEdits(KLPebbleGame& game) noexcept : game_(game) {}
        // Drops the arcs out of x whose target satisfies `doomed`, giving
        // their pebbles back to x.
        template <class F>
        void drop_arcs(std::size_t x, F&& doomed) {
            game_.drop_arcs(x, doomed);
        }
        // Adds an edge known to keep the accepted set independent, covering
        // it with a pebble brought to x or t.
        void insert_basis_edge(std::size_t x, std::size_t t) { game_.insert_basis_edge(x, t); }

    private:
        KLPebbleGame& game_;
    };
    BasisEdits basis_edits() noexcept { return BasisEdits(*this); }

    std::uint64_t work() const noexcept { return work_; }

private:
    // The edits BasisEdits offers.
    template <class F>
    void drop_arcs(std::size_t x, F&& doomed) {
        Arc* out = arcs_.data() + x * k_;
        for (std::uint32_t a = 0; a < out_degree(x);) {
            ++work_;
            if (!doomed(out[a].target)) {
                ++a;
                continue;
            }
            out[a] = out[out_degree(x) - 1];
            ++pebbles_[x];
        }
    }
    void insert_basis_edge(std::size_t x, std::size_t t);

    // Gathers pebbles on u and v until they hold `want` together; the nodes
    // reached by the last, failed search are left in reached_.
    bool gather(std::size_t u, std::size_t v, std::uint32_t want);
    // Depth-first search from x along out-arcs for a node with a free
    // pebble (see pebble_search.hpp); on success the path is reversed and x
    // has one more pebble.
    bool bring_pebble(std::size_t x);
    // Whether w holds a pebble a search may take: u and v hold theirs aside.
    bool free_pebble_at(std::size_t w) const noexcept { return w != held_u_ && w != held_v_ && pebbles_[w] > 0; }
    // Whether a free pebble (held-aside and known-rigid nodes excepted) can
    // be reached from x; nodes of a failed search are marked rigid.
    bool reaches_free_pebble(std::size_t x);
    void reverse(std::size_t from, std::size_t slot);
    void reverse_path(const SearchFrame* top);
    template <bool InClosure>
    struct Walk;
    void keep_part_holding(std::size_t u, std::size_t v, const Incidence& incidence, const Labels& accepted);

    std::size_t n_;
    std::size_t held_u_ = static_cast<std::size_t>(-1);  // endpoints whose pebbles are held aside
    std::size_t held_v_ = static_cast<std::size_t>(-1);
    std::uint32_t k_;
    std::uint32_t l_;
    std::vector<std::uint32_t> pebbles_;
    std::vector<Arc> arcs_;  // k slots per node, the first k - pebbles used
    std::vector<std::uint64_t> seen_;  // search stamp of the last visit
    std::uint64_t stamp_ = 0;
    std::vector<std::uint64_t> rigid_;  // closure stamp of rigid nodes
    std::vector<std::uint64_t> floppy_;
    std::uint64_t closure_ = 0;
    std::vector<SearchFrame> stack_;  // room for a search n nodes deep
    std::vector<std::size_t> reached_;
    std::vector<std::size_t> closure_nodes_;
    // Body-by-body growth: per body, the closure stamp and the count of its
    // members found; nodes whose edges are still to be followed.
    std::vector<std::uint64_t> body_seen_;
    std::vector<std::uint32_t> body_found_;
    std::vector<std::size_t> to_scan_;
    std::uint64_t work_ = 0;
};

}  // namespace korvale
