#include "pebble/rigid_bodies.hpp"

#include <algorithm>

namespace korvale {

RigidBodies::RigidBodies(std::size_t n, std::uint32_t k, std::uint32_t l)
    : BodyMembership(n, l > k ? 2 : 1), k_(k), l_(l), contract_(contracts(k, l)), mark_(n, 0), fresh_mark_(n, 0) {}

bool RigidBodies::meets_keeper_uncounted(std::uint32_t b) const {
    // Bodies share at most one node; look for it from the smaller side.
    const bool from_b = members_[b].size() <= members_[keeper_].size();
    const std::uint32_t other = from_b ? keeper_ : b;
    for (std::uint32_t x : members_[from_b ? b : keeper_])
        if (in_body(x, other)) return mark_[x] != stamp_;
    return false;
}

void RigidBodies::add(std::size_t x) {
    if (mark_[x] == stamp_) return;
    if (keeper_ != none && in_body(x, keeper_)) {
        // A keeper node met through another body: its arcs into the set's new
        // nodes must be looked at, its membership updated.
        if (fresh_mark_[x] != stamp_) {
            fresh_mark_[x] = stamp_;
            keeper_side_.push_back(x);
        }
        return;
    }
    mark_[x] = stamp_;
    explicit_.push_back(x);
    for_each_body(x, [&](std::uint32_t b) { touch(b); });
}

void RigidBodies::touch(std::uint32_t b) {
    if (bodies_[b].merged) return;
    if (bodies_[b].stamp != stamp_) {
        bodies_[b].stamp = stamp_;
        bodies_[b].count = 0;
        bodies_[b].hinge = needed_ > 1 && keeper_ != none && meets_keeper_uncounted(b);
        touched_.push_back(b);
    }
    if (++bodies_[b].count + bodies_[b].hinge >= needed_) merge(b);
}

void RigidBodies::merge(std::uint32_t b) {
    bodies_[b].merged = 1;
    merged_list_.push_back(b);
    std::uint32_t enumerate = b;
    if (keeper_ == none || members_[b].size() > members_[keeper_].size()) {
        enumerate = keeper_;
        keeper_ = b;
        if (needed_ > 1) recount_against_keeper();
    }
    if (enumerate != none)
        for (std::uint32_t x : members_[enumerate]) pending_.push_back(x);
}

void RigidBodies::recount_against_keeper() {
    // Nodes of the previous keeper are about to be counted explicitly; a
    // body's hinge is now judged against the new one.
    for (std::size_t i = 0; i < touched_.size(); ++i) {
        const std::uint32_t b = touched_[i];
        if (bodies_[b].merged) continue;
        bodies_[b].hinge = meets_keeper_uncounted(b);
        if (bodies_[b].count + bodies_[b].hinge >= needed_) merge(b);
    }
}

std::size_t RigidBodies::absorb(const std::vector<std::size_t>& tight, KLPebbleGame::BasisEdits edits) {
    ++stamp_;
    keeper_ = none;
    pending_.assign(tight.begin(), tight.end());
    explicit_.clear();
    keeper_side_.clear();
    touched_.clear();
    merged_list_.clear();
    while (!pending_.empty()) {
        const std::size_t x = pending_.back();
        pending_.pop_back();
        add(x);
    }
    // Explicit nodes that ended up inside the keeper are keeper nodes; the
    // rest are new to the body.
    fresh_.clear();
    for (std::size_t x : explicit_) {
        if (keeper_ != none && in_body(x, keeper_)) {
            if (fresh_mark_[x] != stamp_) {
                fresh_mark_[x] = stamp_;
                keeper_side_.push_back(x);
            }
        } else {
            fresh_.push_back(x);
        }
    }
    for (std::size_t x : keeper_side_) fresh_mark_[x] = 0;
    for (std::size_t x : fresh_) fresh_mark_[x] = stamp_;

    // Two nodes alone are a bundle of parallel edges: too small to be worth
    // a body (every node of a sparse graph would hinge several).
    if (keeper_ == none && fresh_.size() <= 2) return fresh_.size();
    std::uint32_t body = keeper_;
    if (body == none) {
        body = static_cast<std::uint32_t>(bodies_.size());
        bodies_.emplace_back();
        members_.emplace_back();
        bodies_[body].root = static_cast<std::uint32_t>(fresh_[0]);
        bodies_[body].second = static_cast<std::uint32_t>(fresh_[1]);
    }
    if (contract_) replace_edges(edits, body);

    for (std::size_t x : fresh_) {
        relink(x, body);
        members_[body].push_back(static_cast<std::uint32_t>(x));
    }
    for (std::size_t x : keeper_side_) relink(x, body);
    for (std::uint32_t b : merged_list_) {
        bodies_[b].merged = 0;
        if (b != body) {
            bodies_[b] = Body{};
            std::vector<std::uint32_t>().swap(members_[b]);  // gives the memory back
        }
    }
    return members_[body].size();
}

// Drops every edge of the game inside the set except the keeper's star and
// attaches the new members to the body's root and second node.
void RigidBodies::replace_edges(KLPebbleGame::BasisEdits& edits, std::uint32_t body) {
    for (std::size_t x : fresh_) edits.drop_arcs(x, [&](std::uint32_t target) { return in_set(target); });
    // Keeper nodes met in the set or through a merged body; the game's other
    // edges inside the set lie inside the set itself or a merged body (tight
    // sets sharing enough nodes span no edge between their private parts),
    // so no other keeper node holds one.
    for (std::size_t y : keeper_side_)
        edits.drop_arcs(y, [&](std::uint32_t target) { return fresh_mark_[target] == stamp_; });

    const std::size_t root = bodies_[body].root, second = bodies_[body].second;
    const std::uint32_t to_root = std::min(k_, 2 * k_ - l_);
    for (std::size_t x : fresh_) {
        if (x == root) continue;
        const std::uint32_t copies_to_root = x == second ? 2 * k_ - l_ : to_root;
        const std::uint32_t copies_to_second = x == second ? 0 : k_ - to_root;
        for (std::uint32_t c = 0; c < copies_to_root; ++c) edits.insert_basis_edge(x, root);
        for (std::uint32_t c = 0; c < copies_to_second; ++c) edits.insert_basis_edge(x, second);
    }
}

void RigidBodies::relink(std::size_t x, std::uint32_t body) {
    std::vector<std::uint32_t> others;
    for_each_body(x, [&](std::uint32_t b) {
        if (b != body && !bodies_[b].merged) others.push_back(b);
    });
    set_bodies(x, body, std::move(others));
}

}  // namespace korvale
