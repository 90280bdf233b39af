// Vertex and edge connectivity of a multigraph, by iterative depth-first
// search with Tarjan's low points (no recursion, so no node count can
// overflow the thread's stack).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/interrupt.hpp"
#include "graph/incidence.hpp"

namespace korvale {

class Connectivity {
public:
    explicit Connectivity(const Incidence& graph);

    // Whether the graph without node `removed` (none: the whole graph) is
    // connected and stays so after removing any one more node.
    static constexpr std::size_t none = static_cast<std::size_t>(-1);
    bool biconnected(std::size_t removed = none);

    // Whether it stays connected after removing any two nodes (for n >= 4):
    // the graph without each node in turn is biconnected, O(n (n + m)).
    bool triconnected(InterruptPoll& poll);

    // The number of connected components (a node alone is one), and the
    // edges in no cycle (1 per bridge; a parallel edge is in a cycle).
    std::size_t components();
    std::vector<std::uint8_t> bridges();

private:
    // Forgets every node's discovery.
    void reset();
    // A depth-first search from root over the nodes not yet reached (node
    // `removed` never is), giving every node reached its discovery time and
    // low point; after each child's subtree, done(parent, child, edge) with
    // the child's low point final. Returns the root's number of children.
    template <class Done>
    std::size_t search(std::size_t root, std::size_t removed, Done&& done);

    const Incidence& graph_;
    std::size_t n_;
    std::vector<std::uint32_t> order_;  // discovery time + 1, 0 unreached
    std::vector<std::uint32_t> low_;
    struct Frame {
        std::uint32_t node;
        std::uint32_t parent_edge;
        std::uint32_t next;  // index of the next incidence item
    };
    std::vector<Frame> stack_;
    std::uint32_t clock_ = 0;
};

}  // namespace korvale
