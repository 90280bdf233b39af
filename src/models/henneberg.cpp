#include <string>
#include <unordered_set>

#include "core/interrupt.hpp"
#include "core/memory.hpp"
#include "models/graph_models.hpp"
#include "random/sampling.hpp"

namespace korvale {

namespace {

std::uint64_t key(std::size_t a, std::size_t b) {
    return a < b ? (std::uint64_t{a} << 32) | b : (std::uint64_t{b} << 32) | a;
}

}  // namespace

GraphSample henneberg(std::size_t n, std::size_t d, std::size_t extra, Engine& engine) {
    if (d != 2 && d != 3) throw InputError("d must be 2 or 3, got " + std::to_string(d));
    if (n > 0xFFFFFFFFu) throw InputError("n must be below 2**32");
    const std::size_t possible = n < 2 ? 0 : n * (n - 1) / 2;
    const std::size_t minimal = n >= d ? n * d - d * (d + 1) / 2 : possible;
    if (extra > possible - minimal)
        throw InputError("extra must be at most " + std::to_string(possible - minimal) + " for n = " + std::to_string(n));
    // The coordinates, the edges, and the set of pairs present (a node of
    // the set with its allocation header, and its share of the buckets).
    constexpr std::size_t set_bytes_per_pair = 48;
    require_memory(Bytes(n) * d * sizeof(double) + Bytes(minimal + extra) * (sizeof(Edge) + set_bytes_per_pair));
    GraphSample out;
    out.coords = CoordinateMatrix(n, d);
    for (double& x : out.coords.data) x = engine.uniform();
    std::unordered_set<std::uint64_t> present;
    present.reserve(minimal + extra);
    out.edges.reserve(minimal + extra);
    auto add = [&](std::size_t a, std::size_t b) {
        present.insert(key(a, b));
        out.edges.push_back(a < b ? Edge{a, b} : Edge{b, a});
    };
    const std::size_t base = n < d ? n : d;
    for (std::size_t a = 0; a < base; ++a)
        for (std::size_t b = a + 1; b < base; ++b) add(a, b);
    InterruptPoll poll;
    std::vector<std::size_t> chosen;
    for (std::size_t v = base; v < n; ++v) {
        // 1-extension: split an edge (a, b) by v, which also joins d - 1
        // other nodes; needs d + 1 nodes. 0-extension: join d nodes.
        const bool split = v >= d + 1 && !out.edges.empty() && engine.below(2) == 1;
        chosen.clear();
        if (split) {
            const std::size_t at = engine.below(out.edges.size());
            const Edge e = out.edges[at];
            out.edges[at] = out.edges.back();
            out.edges.pop_back();
            present.erase(key(e.i, e.j));
            chosen = {e.i, e.j};
        }
        const std::size_t joined = split ? d + 1 : d;
        while (chosen.size() < joined) {
            const std::size_t w = engine.below(v);
            bool seen = false;
            for (std::size_t c : chosen) seen = seen || c == w;
            if (!seen) chosen.push_back(w);
        }
        for (std::size_t w : chosen) add(w, v);
        poll(16);
    }
    for (std::size_t added = 0; added < extra;) {
        const std::size_t a = engine.below(n), b = engine.below(n);
        if (a == b || present.count(key(a, b))) continue;
        add(a, b);
        ++added;
        poll(4);
    }
    shuffle(out.edges, engine);
    return out;
}

}  // namespace korvale
