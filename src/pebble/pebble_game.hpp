// The (2, 3) pebble game: a combinatorial independence test for bars in the
// plane. Every node owns two pebbles; an accepted bar is covered by a pebble
// of one endpoint and directed out of it; a bar (u, v) is accepted exactly
// when four free pebbles can be gathered on u and v together.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/records.hpp"

namespace korvale {

struct PebbleMove {
    enum class Kind : std::uint8_t { Take, Gather, Reverse };
    Kind kind;
    std::size_t a;
    std::size_t b;  // Reverse only
};

struct PebbleResult {
    Labels labels;
    EdgeList accepted_edges;
};

class PebbleGame {
public:
    explicit PebbleGame(std::size_t n);

    // Tests one bar; on rejection every move of the test is rolled back.
    bool offer_edge(std::size_t u, std::size_t v);

    // Depth-first search from x for a free pebble, reversing the path to it.
    // Iterative, so that no node count can overflow the thread's stack; it
    // visits out-edges in list order exactly as the recursive search does.
    // Nodes visited since the last new_search() are not entered again.
    bool find_pebble(std::size_t x, std::vector<PebbleMove>& moves);

    // Starts a new search: every node becomes unvisited without clearing.
    void new_search() noexcept { ++generation_; }

    void undo_moves(const std::vector<PebbleMove>& moves);

    const std::vector<std::int32_t>& pebbles() const noexcept { return pebbles_; }
    // Every node's out-edges in list order (a copy, for tests and checks).
    std::vector<std::vector<std::size_t>> out_edges() const;
    // Nodes entered by searches so far: a measure of the work done.
    std::uint64_t visits() const noexcept { return visits_; }

private:
    bool visit(std::size_t x) noexcept;

    struct Frame {
        std::size_t node;
        std::size_t next;  // index of the out-edge being tried
    };

    // A node's out-edges in order. A node covers at most two bars (it owns
    // two pebbles), so two slots hold the list; erasing keeps the order of
    // the rest and appending goes to the end, as with a growable list.
    struct OutEdges {
        std::uint32_t to[2];
        std::uint32_t size = 0;
        void push_back(std::size_t x) noexcept { to[size++] = static_cast<std::uint32_t>(x); }
        void erase_at(std::size_t i) noexcept {
            if (i == 0) to[0] = to[1];
            --size;
        }
    };

    std::vector<std::int32_t> pebbles_;
    std::vector<OutEdges> out_edges_;
    std::vector<std::uint64_t> visited_at_;  // generation of the last visit
    std::uint64_t generation_ = 1;  // nodes start at 0: unvisited
    std::uint64_t visits_ = 0;
    std::vector<Frame> stack_;
    std::vector<PebbleMove> moves_;
};

// Memory of a run over the complete graph of n nodes: candidates, labels,
// accepted edges and the game's state.
std::size_t pebble_bytes(std::size_t n);

// Offers every edge once, in order, with no early stop.
PebbleResult run_pebble_game(std::size_t n, const EdgeList& edges);

}  // namespace korvale
