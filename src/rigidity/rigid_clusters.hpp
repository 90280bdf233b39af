// Rigid clusters in any dimension: the maximal sets of nodes whose pairwise
// distances are all fixed by the bars (the maximal cliques of the closure of
// the edge set in the generic d-rigidity matroid), read from a random
// infinitesimal motion at the point of an exact elimination.
//
// The pair (u, v) is implied (its distance fixed) when
// (p_u - p_v) . (x_u - x_v) = 0 for the motion x. Generic facts make the
// search local: two clusters share at most d - 1 nodes (d shared nodes in
// general position pin one to the other), so d pairwise implied nodes, a
// frame, lie in exactly one cluster, which holds every node implied with all
// of the frame. Each bar (u, v) is extended to frames through the nodes
// joined by a bar to it (a pair {u, v} with no such extension is a cluster
// by itself; in d = 1 the frame is {u}); a frame in no cluster found yet
// grows its cluster along the bars, testing each node met against the frame.
//
// Growing along bars finds every cluster on a line and in the plane, whose
// clusters are spanned by their own bars. In space a rigid set can hold
// nodes that no bar inside it joins to the rest (four nodes made mutually
// rigid by double bananas hung on their six pairs hold no bar at all); such
// nodes are not searched for, and clusters are reported as grown from the
// bars.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/interrupt.hpp"
#include "core/memory.hpp"
#include "core/records.hpp"

namespace korvale {

struct RigidClusters {
    // Cluster c holds nodes[ptr[c] .. ptr[c+1]), ascending. Clusters are
    // numbered by their first bar in edge order (a bar lies in one cluster
    // at least), clusters sharing a first bar by their node lists.
    std::vector<std::int64_t> ptr{0}, nodes;
    // Per edge, the lowest-numbered cluster holding both its ends (a bar on
    // a hinge shared by clusters, possible from d = 3 on, lies in several).
    std::vector<std::int64_t> edge_cluster;
    std::uint64_t largest = 0;  // nodes in the largest cluster; 0 without bars

    std::size_t count() const noexcept { return ptr.size() - 1; }
};

// point and motion hold n d values modulo P = 2^61 - 1, node by node; the
// motion annihilates the rows of the edges. Node ids must lie in 0..n-1.
// Each pair test is wrong with probability at most 1 / P for a uniformly
// random motion, and only if the pair is not implied.
RigidClusters rigid_clusters(std::size_t n, std::span<const Edge> edges, std::size_t d,
                             const std::vector<std::uint64_t>& point, const std::vector<std::uint64_t>& motion,
                             InterruptPoll& poll);

// What the search holds beside its inputs for n nodes and m edges, with the
// result, before clusters are found (their lists grow with them).
Bytes rigid_clusters_bytes(std::size_t n, std::size_t m);

}  // namespace korvale
