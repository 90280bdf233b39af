#include <algorithm>
#include <string>
#include <unordered_set>

#include "core/interrupt.hpp"
#include "core/memory.hpp"
#include "graph/incidence.hpp"
#include "models/graph_models.hpp"
#include "random/sampling.hpp"

namespace korvale {

namespace {

// Attempts before a request is given up. An attempt fails only when its
// last stubs admit no allowed pair; for degrees up to (n - 1) / 2 (the only
// ones paired directly) that happens rarely, so reaching the bound is
// vanishingly unlikely for any request that can be met.
constexpr int max_attempts = 1000;

std::uint64_t pair_key(std::size_t a, std::size_t b) {
    return a < b ? (std::uint64_t{a} << 32) | b : (std::uint64_t{b} << 32) | a;
}

// One attempt: pairs random free stubs, refusing loops and repeats; false
// when the remaining stubs admit no allowed pair.
bool try_pairing(std::size_t n, std::size_t degree, Engine& engine, EdgeList& edges, InterruptPoll& poll) {
    std::vector<std::size_t> stubs(n * degree);
    for (std::size_t s = 0; s < stubs.size(); ++s) stubs[s] = s / degree;
    std::unordered_set<std::uint64_t> present;
    present.reserve(stubs.size());
    edges.clear();
    std::size_t left = stubs.size();
    while (left > 0) {
        bool paired = false;
        for (std::size_t attempt = 0; attempt < 64 && !paired; ++attempt) {
            const std::size_t i = engine.below(left), j = engine.below(left);
            const std::size_t a = stubs[i], b = stubs[j];
            if (a == b || present.count(pair_key(a, b))) continue;
            present.insert(pair_key(a, b));
            edges.push_back(a < b ? Edge{a, b} : Edge{b, a});
            // Remove both stubs, the higher position first.
            const std::size_t hi = i > j ? i : j, lo = i > j ? j : i;
            stubs[hi] = stubs[--left];
            stubs[lo] = stubs[--left];
            paired = true;
        }
        if (paired) {
            poll(8);
            continue;
        }
        // Many refusals: see whether any allowed pair is left at all.
        bool any = false;
        for (std::size_t i = 0; i < left && !any; ++i)
            for (std::size_t j = i + 1; j < left && !any; ++j)
                any = stubs[i] != stubs[j] && !present.count(pair_key(stubs[i], stubs[j]));
        if (!any) return false;
        poll(left * left);
    }
    return true;
}

// A degree-regular graph by repeated attempts, its edges in pairing order.
EdgeList pairing(std::size_t n, std::size_t degree, Engine& engine, InterruptPoll& poll) {
    EdgeList edges;
    for (int attempt = 0; attempt < max_attempts; ++attempt)
        if (try_pairing(n, degree, engine, edges, poll)) return edges;
    throw InputError("no simple " + std::to_string(degree) + "-regular graph on " + std::to_string(n) +
                     " nodes was found in " + std::to_string(max_attempts) + " attempts");
}

// The pairs (v, w), v < w, that are not edges of the simple graph given, in
// lexicographic order.
EdgeList complement(std::size_t n, const EdgeList& edges, InterruptPoll& poll) {
    const Incidence incidence(n, edges);
    std::vector<std::uint32_t> near;
    EdgeList out;
    out.reserve(n * (n - 1) / 2 - edges.size());
    for (std::size_t v = 0; v < n; ++v) {
        near.clear();
        for (const Incidence::Item& item : incidence.at(v)) near.push_back(item.node);
        std::sort(near.begin(), near.end());
        auto next = near.begin();
        for (std::size_t w = v + 1; w < n; ++w) {
            while (next != near.end() && *next < w) ++next;
            if (next != near.end() && *next == w) continue;
            out.push_back({v, w});
        }
        poll(n);
    }
    return out;
}

}  // namespace

EdgeList random_regular(std::size_t n, std::size_t degree, Engine& engine) {
    if (n > 0xFFFFFFFFu) throw InputError("n must be below 2**32");
    if (degree >= n && n > 0) throw InputError("degree must be below n = " + std::to_string(n));
    if ((n * degree) % 2 != 0) throw InputError("n * degree must be even");
    // Dense degrees are drawn as the complement of a sparse graph: the
    // complement of a random (n - 1 - degree)-regular graph is a random
    // degree-regular one, and pairing stubs directly gets stuck ever more
    // often as the degree nears n - 1.
    const bool dense = 2 * degree > n - 1;
    const std::size_t paired = dense ? n - 1 - degree : degree;
    // Pairing: the stubs, the set of pairs made, the edges. A complement
    // also holds its own edges.
    constexpr std::size_t pairing_bytes_per_stub = 48;
    require_memory(Bytes(n) * paired * pairing_bytes_per_stub +
                   (dense ? Bytes(n) * degree * (sizeof(Edge) / 2) : Bytes(0)));
    InterruptPoll poll;
    EdgeList edges = pairing(n, paired, engine, poll);
    if (dense) edges = complement(n, edges, poll);
    shuffle(edges, engine);
    return edges;
}

}  // namespace korvale
