#pragma once

#include <cstddef>

#include "core/records.hpp"

namespace korvale {

// Number of pairs of n nodes, n(n-1)/2; "capacity overflow" when the edge
// list of that length could not be addressed.
std::size_t edge_count(std::size_t n);

// All pairs (i, j), i < j, in lexicographic order, one at a time: the order
// in which bars are offered, labelled and reported, walked without a list.
// next(e) sets e to the next pair and returns false after the last one.
class AllPairs {
public:
    explicit AllPairs(std::size_t n) : n_(n), size_(edge_count(n)) {}
    std::size_t size() const noexcept { return size_; }
    bool next(Edge& e) noexcept {
        if (++j_ >= n_) {
            ++i_;
            j_ = i_ + 1;
            if (j_ >= n_) return false;
        }
        e = {i_, j_};
        return true;
    }

private:
    std::size_t n_, size_, i_ = 0, j_ = 0;
};

// An edge list read the same way.
class ListedEdges {
public:
    explicit ListedEdges(const EdgeList& edges) noexcept : edges_(edges) {}
    std::size_t size() const noexcept { return edges_.size(); }
    bool next(Edge& e) noexcept {
        if (k_ == edges_.size()) return false;
        e = edges_[k_++];
        return true;
    }

private:
    const EdgeList& edges_;
    std::size_t k_ = 0;
};

}  // namespace korvale
