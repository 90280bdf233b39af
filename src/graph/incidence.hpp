// The edges at each node of an edge list, in compressed rows: node x's
// (neighbour, edge id) pairs are items[start[x] .. start[x+1]), in edge order.
// One allocation for all nodes instead of one per node.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/records.hpp"

namespace korvale {

struct Incidence {
    struct Item {
        std::uint32_t node;
        std::uint32_t edge;
    };
    std::vector<std::uint32_t> start;
    std::vector<Item> items;

    // Any prefix of an edge list will do (edge ids are positions in it).
    Incidence(std::size_t n, std::span<const Edge> edges);
    std::span<const Item> at(std::size_t x) const noexcept {
        return {items.data() + start[x], items.data() + start[x + 1]};
    }
};

}  // namespace korvale
