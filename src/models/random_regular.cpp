#include <string>
#include <unordered_set>

#include "core/interrupt.hpp"
#include "core/memory.hpp"
#include "models/graph_models.hpp"
#include "random/sampling.hpp"

namespace korvale {

namespace {

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

}  // namespace

EdgeList random_regular(std::size_t n, std::size_t degree, Engine& engine) {
    if (n > 0xFFFFFFFFu) throw InputError("n must be below 2**32");
    if (degree >= n && n > 0) throw InputError("degree must be below n = " + std::to_string(n));
    if ((n * degree) % 2 != 0) throw InputError("n * degree must be even");
    require_memory(checked_capacity(n, degree, 4 * sizeof(std::size_t)) * 4 * sizeof(std::size_t));
    EdgeList edges;
    InterruptPoll poll;
    while (!try_pairing(n, degree, engine, edges, poll)) {
    }
    shuffle(edges, engine);
    return edges;
}

}  // namespace korvale
