#include "pebble/tight_blocks.hpp"

namespace korvale {

TightBlocks::TightBlocks(std::size_t n, std::uint32_t k, std::uint32_t l)
    : block_(n, none), needed_(l > k ? 2 : 1) {}

std::uint32_t TightBlocks::find(std::uint32_t b) {
    while (parent_[b] != b) {
        parent_[b] = parent_[parent_[b]];
        b = parent_[b];
    }
    return b;
}

bool TightBlocks::together(std::size_t u, std::size_t v) {
    return block_[u] != none && block_[v] != none && find(block_[u]) == find(block_[v]);
}

void TightBlocks::add(const std::vector<std::size_t>& nodes) {
    const auto id = static_cast<std::uint32_t>(parent_.size());
    parent_.push_back(id);
    shared_.push_back(0);
    for (std::size_t x : nodes) {
        if (block_[x] == none) continue;
        const std::uint32_t root = find(block_[x]);
        if (shared_[root]++ == 0) touched_.push_back(root);
    }
    for (std::uint32_t root : touched_) {
        if (shared_[root] >= needed_) parent_[root] = id;
        shared_[root] = 0;
    }
    touched_.clear();
    for (std::size_t x : nodes) block_[x] = id;
}

}  // namespace korvale
