// Which known rigid bodies hold each node: the index that RigidBodies keeps
// and the game's closures read. A node may belong to several bodies (a
// hinge); each node keeps its first body, and a hinge the list of the rest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace korvale {

class BodyMembership {
public:
    BodyMembership(std::size_t n, std::uint32_t needed) : needed_(needed), primary_(n, none), hinge_node_(n, 0) {}

    // Whether one body holds both u and v.
    bool together(std::size_t u, std::size_t v) const;

    // Calls f(b) for every body b holding x.
    template <class F>
    void for_each_body(std::size_t x, F&& f) const {
        if (primary_[x] == none) return;
        f(primary_[x]);
        if (!hinge_node_[x]) return;
        for (std::uint32_t b : extra_.at(static_cast<std::uint32_t>(x))) f(b);
    }
    // Body ids are below id_bound(); a merged-away id has no members.
    std::size_t id_bound() const noexcept { return members_.size(); }
    const std::vector<std::uint32_t>& members(std::uint32_t b) const noexcept { return members_[b]; }
    // Shared nodes that make two tight sets tight together.
    std::uint32_t needed() const noexcept { return needed_; }

protected:
    static constexpr std::uint32_t none = static_cast<std::uint32_t>(-1);

    bool in_body(std::size_t x, std::uint32_t b) const;
    // Makes body the first body of x, with `others` (possibly none) the rest.
    void set_bodies(std::size_t x, std::uint32_t body, std::vector<std::uint32_t>&& others);

    std::uint32_t needed_;
    std::vector<std::vector<std::uint32_t>> members_;  // per body
    std::vector<std::uint32_t> primary_;  // per node, its first body
    std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> extra_;  // hinges: their other bodies
    std::vector<std::uint8_t> hinge_node_;  // 1 when extra_ holds the node
};

}  // namespace korvale
