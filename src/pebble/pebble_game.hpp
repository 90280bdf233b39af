// The (2, 3) pebble game: a combinatorial independence test for bars in the
// plane. Every node owns two pebbles; an accepted bar is covered by a pebble
// of one endpoint and directed out of it; a bar (u, v) is accepted exactly
// when four free pebbles can be gathered on u and v together.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/records.hpp"
#include "pebble/pebble_search.hpp"

namespace korvale {

struct PebbleMove {
    enum class Kind : std::uint8_t { Take, Gather, Reverse };
    Kind kind;
    std::uint32_t a;
    std::uint32_t b;  // Reverse only
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

    const std::vector<std::int32_t>& pebbles() const noexcept { return pebbles_; }
    // Every node's out-edges in list order (a copy, for tests and checks).
    std::vector<std::vector<std::size_t>> out_edges() const;
    // Nodes entered by searches so far: a measure of the work done.
    std::uint64_t visits() const noexcept { return visits_; }

    // The game's memory per node, every buffer included.
    static constexpr std::size_t bytes_per_node() noexcept;

private:
    // Depth-first search from x for a free pebble, reversing the path to it
    // (see pebble_search.hpp). Nodes visited since the last new_search() are
    // not entered again.
    bool find_pebble(std::uint32_t x);

    // Starts a new search: every node becomes unvisited without clearing.
    void new_search() noexcept { ++generation_; }

    // Rolls back the move log of the bar under test.
    void undo_moves() noexcept;

    void log(PebbleMove::Kind kind, std::uint32_t a, std::uint32_t b = 0) noexcept {
        moves_[move_count_++] = {kind, a, b};
    }

    // A node's out-edges in order. A node covers at most two bars (it owns
    // two pebbles), so two slots hold the list; erasing keeps the order of
    // the rest and appending goes to the end, as with a growable list.
    struct OutEdges {
        std::uint32_t to[2];
        std::uint32_t size = 0;
        void push_back(std::uint32_t x) noexcept { to[size++] = x; }
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
    // Both are sized once for the worst case, so the hot loops never grow
    // them: a search is at most n frames deep, and one bar takes at most
    // four successful searches of at most n reversals, a take and a gather.
    std::vector<SearchFrame> stack_;
    std::vector<PebbleMove> moves_;
    std::size_t move_count_ = 0;
};

constexpr std::size_t PebbleGame::bytes_per_node() noexcept {
    return sizeof(std::int32_t) + sizeof(OutEdges) + sizeof(std::uint64_t) + sizeof(SearchFrame) + 4 * sizeof(PebbleMove);
}

// Memory of a run over the complete graph of n nodes: labels, accepted edges
// and the game's state.
std::size_t pebble_bytes(std::size_t n);

// Offers every edge once, in order, with no early stop.
PebbleResult run_pebble_game(std::size_t n, const EdgeList& edges);

// The same over every pair of the n nodes in candidate order, walked without
// a list.
PebbleResult run_pebble_game_all_pairs(std::size_t n);

}  // namespace korvale
