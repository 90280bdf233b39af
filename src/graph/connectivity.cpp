#include "graph/connectivity.hpp"

#include <algorithm>

namespace korvale {

Connectivity::Connectivity(const Incidence& graph)
    : graph_(graph), n_(graph.start.empty() ? 0 : graph.start.size() - 1), order_(n_, 0), low_(n_, 0) {
    stack_.reserve(n_);
}

void Connectivity::reset() {
    std::fill(order_.begin(), order_.end(), 0);
    clock_ = 0;
}

template <class Done>
std::size_t Connectivity::search(std::size_t root, std::size_t removed, Done&& done) {
    constexpr auto no_edge = static_cast<std::uint32_t>(-1);
    order_[root] = low_[root] = ++clock_;
    stack_.assign(1, {static_cast<std::uint32_t>(root), no_edge, 0});
    std::size_t children = 0;
    while (!stack_.empty()) {
        Frame& top = stack_.back();
        const auto items = graph_.at(top.node);
        if (top.next == items.size()) {
            const Frame finished = top;
            stack_.pop_back();
            if (!stack_.empty()) {
                const std::uint32_t parent = stack_.back().node;
                low_[parent] = std::min(low_[parent], low_[finished.node]);
                done(parent, finished.node, finished.parent_edge);
            }
            continue;
        }
        const Incidence::Item item = items[top.next++];
        // Only the edge walked in is not a way back: a parallel one is.
        if (item.node == removed || item.edge == top.parent_edge) continue;
        if (order_[item.node] == 0) {
            if (top.node == root) ++children;
            order_[item.node] = low_[item.node] = ++clock_;
            stack_.push_back({item.node, item.edge, 0});
        } else {
            low_[top.node] = std::min(low_[top.node], order_[item.node]);
        }
    }
    return children;
}

bool Connectivity::biconnected(std::size_t removed) {
    reset();
    std::size_t root = 0;
    while (root < n_ && root == removed) ++root;
    if (root == n_) return true;
    bool cut = false;
    const std::size_t children = search(root, removed, [&](std::size_t parent, std::size_t child, std::uint32_t) {
        if (parent != root && low_[child] >= order_[parent]) cut = true;
    });
    const std::size_t present = n_ - (removed < n_ ? 1 : 0);
    return !cut && children <= 1 && clock_ == present;
}

bool Connectivity::triconnected(InterruptPoll& poll) {
    for (std::size_t x = 0; x < n_; ++x) {
        if (!biconnected(x)) return false;
        poll(4 * (n_ + graph_.items.size()));
    }
    return true;
}

std::size_t Connectivity::components() {
    reset();
    std::size_t count = 0;
    for (std::size_t x = 0; x < n_; ++x)
        if (order_[x] == 0) {
            ++count;
            search(x, none, [](std::size_t, std::size_t, std::uint32_t) {});
        }
    return count;
}

std::vector<std::uint8_t> Connectivity::bridges() {
    reset();
    std::vector<std::uint8_t> bridge(graph_.items.size() / 2, 0);
    for (std::size_t x = 0; x < n_; ++x)
        if (order_[x] == 0)
            search(x, none, [&](std::size_t parent, std::size_t child, std::uint32_t edge) {
                if (low_[child] > order_[parent]) bridge[edge] = 1;
            });
    return bridge;
}

}  // namespace korvale
