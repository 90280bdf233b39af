// Known tight sets of the game's accepted edges, kept as bodies: an edge
// with both endpoints in one body is dependent (a tight set spans every
// edge the count allows) and is rejected without a search.
//
// Bodies are merged exactly: a tight set sharing at least two nodes with a
// body (one when l <= k) is tight together with it, so after each absorb
// two bodies share at most one node (none when l <= k). Which bodies hold a
// node is kept in the BodyMembership this class extends.
//
// Contraction. Inside a tight set any basis of its edges spans the same
// edges, and replacing one basis by another leaves the span of all accepted
// edges, hence every later verdict, unchanged; the tight sets holding two
// nodes of it keep their node sets, so components do not change either. A
// body's accepted edges are therefore swapped for a star: a core edge
// bundle between its root and second node and, from every other member,
// min(k, 2k - l) edges to the root and the rest to the second node. Searches
// then cross a body in one or two steps instead of wandering through it.
// The star is (k, l)-sparse when 2l <= 3k; other counts keep bodies as plain
// node sets. Merging keeps the largest body's star and re-attaches the other
// members, so a node is re-attached O(log n) times over a whole run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "pebble/body_membership.hpp"
#include "pebble/kl_pebble_game.hpp"

namespace korvale {

class RigidBodies : public BodyMembership {
public:
    RigidBodies(std::size_t n, std::uint32_t k, std::uint32_t l);

    // Whether the star replacement applies to these counts.
    static bool contracts(std::uint32_t k, std::uint32_t l) noexcept { return l >= 1 && 2 * l <= 3 * k; }

    // Adds `tight`, a tight set of the game's current edges, merging every
    // body that shares enough nodes with it, and (when the counts allow)
    // replaces the game's edges inside the result by its star, through
    // `edits`. Returns the node count of the body now holding the set (a set
    // of two nodes that meets no body is left alone).
    std::size_t absorb(const std::vector<std::size_t>& tight, KLPebbleGame::BasisEdits edits);

private:
    // Per body, beside its members.
    struct Body {
        std::uint32_t root = none;
        std::uint32_t second = none;
        // Scratch of one absorb, valid while stamp is current: the body's
        // explicit nodes in the set, whether it meets the keeper at a node
        // not counted, whether it is merged.
        std::uint64_t stamp = 0;
        std::uint32_t count = 0;
        bool hinge = false;
        bool merged = false;
    };

    bool in_set(std::size_t x) const { return mark_[x] == stamp_ || (keeper_ != none && in_body(x, keeper_)); }
    // Whether b shares a node with the keeper that is not counted yet.
    bool meets_keeper_uncounted(std::uint32_t b) const;
    void add(std::size_t x);
    void touch(std::uint32_t b);
    void merge(std::uint32_t b);
    void recount_against_keeper();
    void relink(std::size_t x, std::uint32_t body);
    void replace_edges(KLPebbleGame::BasisEdits& edits, std::uint32_t body);

    std::uint32_t k_, l_;
    bool contract_;
    std::vector<Body> bodies_;  // parallel to members_

    // Scratch of one absorb, valid while a node's stamp is current.
    std::uint64_t stamp_ = 0;
    std::vector<std::uint64_t> mark_;        // node taken explicitly into the set
    std::vector<std::uint64_t> fresh_mark_;  // node new to the resulting body
    std::uint32_t keeper_ = none;  // the largest merged body, whose members stay implicit
    std::vector<std::size_t> pending_, explicit_, keeper_side_, fresh_;
    std::vector<std::uint32_t> touched_, merged_list_;
};

}  // namespace korvale
