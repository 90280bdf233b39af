#include "rigidity/rigid_clusters.hpp"

#include <algorithm>
#include <numeric>

#include "core/failure.hpp"
#include "graph/incidence.hpp"
#include "rank/modular_rank.hpp"

namespace korvale {

namespace {

class ClusterSearch {
public:
    std::vector<std::vector<std::uint32_t>> clusters;  // node lists, in the order found
    std::vector<std::vector<std::uint32_t>> of_node;   // per node, the clusters holding it

    ClusterSearch(std::size_t n, std::span<const Edge> edges, std::size_t d, const std::vector<std::uint64_t>& point,
                  const std::vector<std::uint64_t>& motion, InterruptPoll& poll)
        : of_node(n), d_(d), point_(point), motion_(motion), bars_(n, edges), seen_(n, 0), poll_(poll) {}

    // Every cluster holding the bar (u, v).
    void bar(std::size_t u, std::size_t v) {
        std::vector<std::uint32_t> q{static_cast<std::uint32_t>(u)};
        if (d_ > 1) q.push_back(static_cast<std::uint32_t>(v));
        extend(q);
    }

private:
    // Whether the distance between u and v is fixed under the motion.
    bool implied(std::size_t u, std::size_t v) const {
        unsigned __int128 sum = 0;
        for (std::size_t a = 0; a < d_; ++a) {
            const std::uint64_t dp = mod61::sub(point_[u * d_ + a], point_[v * d_ + a]);
            const std::uint64_t dx = mod61::sub(motion_[u * d_ + a], motion_[v * d_ + a]);
            sum += static_cast<unsigned __int128>(dp) * dx;
            if (a % 60 == 59) sum = mod61::reduce_wide(sum);  // 60 products stay below 2^128
        }
        return mod61::reduce_wide(sum) == 0;
    }
    bool implied_with_all(std::size_t x, const std::vector<std::uint32_t>& q) const {
        return std::all_of(q.begin(), q.end(), [&](std::uint32_t f) { return implied(x, f); });
    }
    // Whether a cluster found already holds every node of q.
    bool held(const std::vector<std::uint32_t>& q) const {
        for (std::uint32_t c : of_node[q[0]]) {
            bool all = true;
            for (std::size_t t = 1; t < q.size() && all; ++t) {
                const auto& list = of_node[q[t]];
                all = std::find(list.begin(), list.end(), c) != list.end();
            }
            if (all) return true;
        }
        return false;
    }

    // q is pairwise implied. With d nodes it is a frame; with fewer, it is
    // extended by each node joined by a bar to one of its nodes and implied
    // with all of them, and is a cluster itself when no node extends it.
    void extend(const std::vector<std::uint32_t>& q) {
        if (q.size() >= d_) {
            if (!held(q)) grow(q);
            return;
        }
        const std::uint32_t round = next_round();
        for (std::uint32_t f : q) seen_[f] = round;
        std::vector<std::uint32_t> candidates;
        for (std::uint32_t f : q)
            for (const Incidence::Item& item : bars_.at(f))
                if (seen_[item.node] != round) {
                    seen_[item.node] = round;
                    candidates.push_back(item.node);
                }
        poll_(candidates.size() * q.size() * d_ + 8);
        bool extended = false;
        for (std::uint32_t w : candidates) {
            if (!implied_with_all(w, q)) continue;
            extended = true;
            std::vector<std::uint32_t> wider = q;
            wider.push_back(w);
            if (!held(wider)) extend(wider);
        }
        if (!extended && !held(q)) record(q);
    }

    // The frame's cluster: the nodes reached along bars from it that are
    // implied with every node of the frame.
    void grow(const std::vector<std::uint32_t>& frame) {
        const std::uint32_t round = next_round();
        std::vector<std::uint32_t> members = frame;
        for (std::uint32_t f : frame) seen_[f] = round;
        for (std::size_t next = 0; next < members.size(); ++next) {
            const auto items = bars_.at(members[next]);
            for (const Incidence::Item& item : items) {
                if (seen_[item.node] == round) continue;
                seen_[item.node] = round;
                if (implied_with_all(item.node, frame)) members.push_back(item.node);
            }
            poll_(items.size() * frame.size() * d_ + 8);
        }
        record(members);
    }

    void record(const std::vector<std::uint32_t>& members) {
        const auto id = static_cast<std::uint32_t>(clusters.size());
        for (std::uint32_t x : members) of_node[x].push_back(id);
        clusters.push_back(members);
    }

    std::uint32_t next_round() {
        if (++round_ == 0) {  // wrapped: forget every old mark
            std::fill(seen_.begin(), seen_.end(), 0);
            round_ = 1;
        }
        return round_;
    }

    std::size_t d_;
    const std::vector<std::uint64_t>& point_;
    const std::vector<std::uint64_t>& motion_;
    Incidence bars_;
    std::vector<std::uint32_t> seen_;
    std::uint32_t round_ = 0;
    InterruptPoll& poll_;
};

}  // namespace

RigidClusters rigid_clusters(std::size_t n, std::span<const Edge> edges, std::size_t d,
                             const std::vector<std::uint64_t>& point, const std::vector<std::uint64_t>& motion,
                             InterruptPoll& poll) {
    ClusterSearch search(n, edges, d, point, motion, poll);
    for (const Edge& e : edges) search.bar(e.i, e.j);
    auto& found = search.clusters;

    // Each cluster's first bar, and every bar's holders.
    const std::size_t none = edges.size();
    std::vector<std::size_t> first(found.size(), none);
    auto holders = [&](const Edge& e, auto&& visit) {
        for (std::uint32_t c : search.of_node[e.i]) {
            const auto& other = search.of_node[e.j];
            if (std::find(other.begin(), other.end(), c) != other.end()) visit(c);
        }
    };
    for (std::size_t e = 0; e < edges.size(); ++e)
        holders(edges[e], [&](std::uint32_t c) { first[c] = std::min(first[c], e); });
    for (auto& members : found) std::sort(members.begin(), members.end());
    std::vector<std::size_t> order(found.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return first[a] != first[b] ? first[a] < first[b] : found[a] < found[b];
    });
    std::vector<std::int64_t> number(found.size());
    RigidClusters out;
    for (std::size_t k = 0; k < order.size(); ++k) {
        const auto& members = found[order[k]];
        number[order[k]] = static_cast<std::int64_t>(k);
        out.nodes.insert(out.nodes.end(), members.begin(), members.end());
        out.ptr.push_back(static_cast<std::int64_t>(out.nodes.size()));
        out.largest = std::max<std::uint64_t>(out.largest, members.size());
    }
    out.edge_cluster.assign(edges.size(), -1);
    for (std::size_t e = 0; e < edges.size(); ++e) {
        holders(edges[e], [&](std::uint32_t c) {
            auto& id = out.edge_cluster[e];
            id = id < 0 ? number[c] : std::min(id, number[c]);
        });
        if (out.edge_cluster[e] < 0) throw InternalFailure("a bar outside every rigid cluster");
    }
    return out;
}

Bytes rigid_clusters_bytes(std::size_t n, std::size_t m) {
    // Per node: a mark, the incidence's start, the list of its clusters and
    // one entry in it, a slot in the clusters' node lists and in the output.
    // Per edge: two incidence items, its first-bar and output ids.
    return Bytes(n) * (3 * sizeof(std::uint32_t) + sizeof(std::vector<std::uint32_t>) + 2 * sizeof(std::int64_t) + 16) +
           Bytes(m) * (2 * sizeof(Incidence::Item) + 2 * sizeof(std::int64_t));
}

}  // namespace korvale
