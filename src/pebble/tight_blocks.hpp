// Known tight sets of accepted edges, kept so that a later edge with both
// endpoints in one of them is rejected without a search: a tight set spans
// all the edges the count allows, so any further edge inside is dependent.
//
// Two tight sets sharing at least two nodes (one when l <= k) are tight
// together and span no edge between their private parts, so they merge into
// one block; merging keeps a property that every set added has (the game's
// use: every accepted edge inside lies in a circuit). A node keeps the last
// block that took it; a hinge between blocks that were not merged keeps only
// one of them, which only costs a search later, never a wrong answer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace korvale {

class TightBlocks {
public:
    TightBlocks(std::size_t n, std::uint32_t k, std::uint32_t l);

    // Whether one known block holds both u and v.
    bool together(std::size_t u, std::size_t v);

    // Records a tight set (its node list).
    void add(const std::vector<std::size_t>& nodes);

private:
    static constexpr std::uint32_t none = static_cast<std::uint32_t>(-1);
    std::uint32_t find(std::uint32_t b);

    std::vector<std::uint32_t> block_;   // per node
    std::vector<std::uint32_t> parent_;  // union-find over block ids
    std::vector<std::uint32_t> shared_;  // per block, scratch count of shared nodes
    std::vector<std::uint32_t> touched_;
    std::uint32_t needed_;
};

}  // namespace korvale
