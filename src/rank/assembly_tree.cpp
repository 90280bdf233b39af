#include "rank/assembly_tree.hpp"

#include <algorithm>

namespace korvale {

void node_graph(std::size_t n, const EdgeList& edges, std::vector<std::uint64_t>& start,
                std::vector<std::uint32_t>& adjacency) {
    start.assign(n + 1, 0);
    for (const Edge& e : edges) {
        ++start[e.i + 1];
        ++start[e.j + 1];
    }
    for (std::size_t x = 0; x < n; ++x) start[x + 1] += start[x];
    adjacency.resize(start[n]);
    std::vector<std::uint64_t> next(start.begin(), start.end() - 1);
    for (const Edge& e : edges) {
        adjacency[next[e.i]++] = static_cast<std::uint32_t>(e.j);
        adjacency[next[e.j]++] = static_cast<std::uint32_t>(e.i);
    }
    // Parallel edges give one neighbour: sort each list, keep distinct ones.
    std::uint64_t kept = 0;
    for (std::size_t x = 0; x < n; ++x) {
        const auto begin = adjacency.begin() + static_cast<std::ptrdiff_t>(start[x]);
        const auto end = adjacency.begin() + static_cast<std::ptrdiff_t>(start[x + 1]);
        std::sort(begin, end);
        const auto last = std::unique(begin, end);
        start[x] = kept;
        for (auto it = begin; it != last; ++it) adjacency[kept++] = *it;
    }
    start[n] = kept;
    adjacency.resize(kept);
}

Bytes assembly_tree_bytes(std::size_t n, std::size_t m) {
    // Per node: the order, position and front (12 bytes), the tree's
    // parent, ancestor, child count and mark (16), each structure's and
    // child list's header (48), the graph's start (8), a front (40), the
    // partitioner's copies and work (about 64) and a renumbering (4). Per
    // edge: the renumbered copy (16), the graph's two entries (8), the
    // partitioner's copies (about 40), the structures' entries (a few per
    // edge at most; 16).
    return Bytes(n) * 192 + Bytes(m) * 80;
}

AssemblyTree assembly_tree(std::size_t n, const EdgeList& edges, std::vector<std::uint32_t> order) {
    constexpr std::uint32_t none = AssemblyTree::none;
    AssemblyTree t;
    t.order = std::move(order);
    t.position.assign(n, 0);
    for (std::size_t k = 0; k < n; ++k) t.position[t.order[k]] = static_cast<std::uint32_t>(k);
    std::vector<std::uint64_t> start;
    std::vector<std::uint32_t> adjacency;
    node_graph(n, edges, start, adjacency);

    // Elimination tree (Liu): k is the parent of the root of every subtree
    // holding an earlier neighbour of k; ancestors are compressed on the way.
    std::vector<std::uint32_t> parent(n, none), ancestor(n, none), children(n, 0);
    for (std::size_t k = 0; k < n; ++k) {
        const std::uint32_t x = t.order[k];
        for (std::uint64_t a = start[x]; a < start[x + 1]; ++a) {
            std::uint32_t j = t.position[adjacency[a]];
            if (j >= k) continue;
            while (ancestor[j] != none && ancestor[j] != k) {
                const std::uint32_t up = ancestor[j];
                ancestor[j] = static_cast<std::uint32_t>(k);
                j = up;
            }
            if (ancestor[j] == none) {
                ancestor[j] = static_cast<std::uint32_t>(k);
                parent[j] = static_cast<std::uint32_t>(k);
                ++children[k];
            }
        }
    }

    // Structures, position by position: the later neighbours and the
    // children's structures without k itself. A child's structure is freed
    // once its parent's is made; the last node of a front keeps its own as
    // the front's boundary.
    std::vector<std::vector<std::uint32_t>> structure(n);
    std::vector<std::vector<std::uint32_t>> child_list(n);
    for (std::size_t k = 0; k < n; ++k)
        if (parent[k] != none) child_list[parent[k]].push_back(static_cast<std::uint32_t>(k));
    std::vector<std::uint32_t> mark(n, none);
    t.front_of.assign(n, none);
    for (std::size_t k = 0; k < n; ++k) {
        const auto kk = static_cast<std::uint32_t>(k);
        std::vector<std::uint32_t>& s = structure[k];
        mark[k] = kk;
        const std::uint32_t x = t.order[k];
        for (std::uint64_t a = start[x]; a < start[x + 1]; ++a) {
            const std::uint32_t j = t.position[adjacency[a]];
            if (j > k && mark[j] != kk) {
                mark[j] = kk;
                s.push_back(j);
            }
        }
        for (std::uint32_t c : child_list[k]) {
            for (std::uint32_t j : structure[c])
                if (mark[j] != kk) {
                    mark[j] = kk;
                    s.push_back(j);
                }
        }
        std::sort(s.begin(), s.end());
        // k continues the front of k - 1 when that front's last node has k
        // as its only parent and k is its only child, with nested structures.
        const bool continues = k > 0 && parent[k - 1] == kk && children[k] == 1 &&
                               structure[k - 1].size() == s.size() + 1;
        if (continues) {
            ++t.fronts.back().count;
        } else {
            t.fronts.push_back({kk, 1, {}, none});
        }
        t.front_of[k] = static_cast<std::uint32_t>(t.fronts.size() - 1);
        for (std::uint32_t c : child_list[k]) std::vector<std::uint32_t>().swap(structure[c]);
        std::vector<std::uint32_t>().swap(child_list[k]);
        // The front's boundary so far is k's structure; the next node may
        // still extend the front (it then takes the boundary over).
        t.fronts.back().boundary = s;
    }
    for (auto& f : t.fronts) {
        const std::uint32_t last = f.first + f.count - 1;
        if (parent[last] != none) f.parent = t.front_of[parent[last]];
    }
    return t;
}

}  // namespace korvale
