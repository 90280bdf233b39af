// The fronts of a sparse elimination whose rows each join two nodes (a
// node standing for a block of columns): the elimination tree of the node
// graph in a given order, its columns' structures (which later nodes fill
// in), and the fundamental supernodes, chains of nodes whose structures nest,
// merged into one dense front each.
//
// Front f eliminates the nodes at positions first .. first + count - 1 of
// the order; its other columns are its boundary, later nodes that the rows
// reaching it touch. Every row whose earlier node lies in a front's pivot
// nodes is assembled there; what the front leaves of a row lies in its
// boundary, which lies in the parent front's nodes. Children come before
// their parent in front order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/memory.hpp"
#include "core/records.hpp"

namespace korvale {

struct AssemblyTree {
    static constexpr std::uint32_t none = 0xFFFFFFFF;
    struct Front {
        std::uint32_t first = 0, count = 0;  // pivot positions
        std::vector<std::uint32_t> boundary;  // positions, ascending
        std::uint32_t parent = none;          // front
    };
    std::vector<std::uint32_t> order;     // order[k]: the node at position k
    std::vector<std::uint32_t> position;  // position[node]
    std::vector<std::uint32_t> front_of;  // per position
    std::vector<Front> fronts;
};

// The tree for n nodes joined by the edges, in the given order (a
// permutation of 0..n-1).
AssemblyTree assembly_tree(std::size_t n, const EdgeList& edges, std::vector<std::uint32_t> order);

// What making the tree holds at most for n nodes and m edges, its order
// (nested dissection's copies of the graph and its own work) and a
// renumbered copy of the edges included.
Bytes assembly_tree_bytes(std::size_t n, std::size_t m);

// The distinct-neighbour graph of the edges, in compressed rows (start has
// n + 1 entries).
void node_graph(std::size_t n, const EdgeList& edges, std::vector<std::uint64_t>& start,
                std::vector<std::uint32_t>& adjacency);

}  // namespace korvale
