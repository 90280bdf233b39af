#include "pebble/pebble_game.hpp"

#include "core/interrupt.hpp"
#include "core/memory.hpp"
#include "pebble/pebble_search.hpp"
#include "graph/candidate_edges.hpp"

namespace korvale {

PebbleGame::PebbleGame(std::size_t n)
    : pebbles_(checked_capacity(n, sizeof(std::int32_t)), 2),
      out_edges_(checked_capacity(n, sizeof(OutEdges))),
      visited_at_(n, 0),
      stack_(checked_capacity(n + 1, sizeof(SearchFrame))),
      moves_(checked_capacity(4 * (n + 2), sizeof(PebbleMove))) {
    if (n >= 0xFFFFFFFFu) internal_failure("capacity overflow");
}

std::vector<std::vector<std::size_t>> PebbleGame::out_edges() const {
    std::vector<std::vector<std::size_t>> lists(out_edges_.size());
    for (std::size_t x = 0; x < out_edges_.size(); ++x)
        lists[x].assign(out_edges_[x].to, out_edges_[x].to + out_edges_[x].size);
    return lists;
}

bool PebbleGame::find_pebble(std::uint32_t x) {
    // The state in locals: stores through these pointers cannot then make
    // the compiler reload the members on every step.
    struct Walk {
        OutEdges* out;
        std::int32_t* pebbles;
        std::uint64_t* visited_at;
        std::uint64_t generation;
        std::uint64_t visits;
        std::uint32_t out_degree(std::uint32_t y) const noexcept { return out[y].size; }
        std::uint32_t target(std::uint32_t y, std::uint32_t slot) const noexcept { return out[y].to[slot]; }
        bool enter(std::uint32_t w) noexcept {
            if (visited_at[w] == generation) return false;
            visited_at[w] = generation;
            ++visits;
            return true;
        }
        bool has_free(std::uint32_t w) const noexcept { return pebbles[w] > 0; }
    } walk{out_edges_.data(), pebbles_.data(), visited_at_.data(), generation_, 0};

    if (!walk.enter(x)) return false;  // searched from already: nothing new
    if (walk.pebbles[x] > 0) {
        --walk.pebbles[x];
        log(PebbleMove::Kind::Take, x);
        visits_ += walk.visits;
        return true;
    }
    SearchFrame* const top = search_free_pebble(walk, stack_.data(), x);
    visits_ += walk.visits;
    if (top == nullptr) return false;
    // Take the found pebble and reverse the path, innermost edge first, as
    // the recursive search does on its way back. A failed search changes
    // nothing, so every list is as it was while it was scanned.
    const std::uint32_t w = walk.target(top->node, top->next);
    --walk.pebbles[w];
    log(PebbleMove::Kind::Take, w);
    for (SearchFrame* f = top;; --f) {
        const std::uint32_t from = f->node;
        const std::uint32_t to = walk.out[from].to[f->next];
        walk.out[from].erase_at(f->next);
        walk.out[to].push_back(from);
        log(PebbleMove::Kind::Reverse, from, to);
        if (f == stack_.data()) return true;
    }
}

void PebbleGame::undo_moves() noexcept {
    for (std::size_t k = move_count_; k-- > 0;) {
        const PebbleMove& m = moves_[k];
        switch (m.kind) {
            case PebbleMove::Kind::Take:
                ++pebbles_[m.a];
                break;
            case PebbleMove::Kind::Gather:
                --pebbles_[m.a];
                break;
            case PebbleMove::Kind::Reverse: {
                OutEdges& list = out_edges_[m.b];
                for (std::uint32_t i = 0; i < list.size; ++i) {
                    if (list.to[i] == m.a) {
                        list.erase_at(i);
                        break;
                    }
                }
                out_edges_[m.a].push_back(m.b);
                break;
            }
        }
    }
    move_count_ = 0;
}

bool PebbleGame::offer_edge(std::size_t u_index, std::size_t v_index) {
    const auto u = static_cast<std::uint32_t>(u_index), v = static_cast<std::uint32_t>(v_index);
    move_count_ = 0;
    for (;;) {
        std::int32_t pu = pebbles_[u];
        std::int32_t pv = pebbles_[v];
        if (pu + pv >= 4) {
            --pebbles_[v];
            out_edges_[v].push_back(u);
            return true;
        }
        // Hold the endpoints' own pebbles aside so no search uses them up;
        // searches may still pass through u and v.
        pebbles_[u] = 0;
        pebbles_[v] = 0;
        if (pu <= 1) {
            new_search();
            if (find_pebble(u)) {
                log(PebbleMove::Kind::Gather, u);
                pebbles_[u] = ++pu;
                pebbles_[v] = pv;
                continue;
            }
        }
        new_search();
        const bool found = find_pebble(v);
        if (found) {
            log(PebbleMove::Kind::Gather, v);
            ++pv;
        }
        pebbles_[u] = pu;
        pebbles_[v] = pv;
        if (!found) {
            undo_moves();
            return false;
        }
    }
}

std::size_t pebble_bytes(std::size_t n) {
    const std::size_t per_node = PebbleGame::bytes_per_node();
    return checked_sum({
        edge_count(n),                                                  // labels
        // accepted (2n - 3), and the caller's result list of them
        checked_capacity(n, 2 * (sizeof(Edge) + result_edge_bytes)) * 2 * (sizeof(Edge) + result_edge_bytes),
        checked_capacity(n, per_node) * per_node,
    });
}

namespace {

template <class Edges>
PebbleResult play(std::size_t n, Edges edges) {
    PebbleGame game(n);
    PebbleResult result;
    result.labels.reserve(edges.size());
    InterruptPoll poll;
    std::uint64_t visits = 0;
    Edge e;
    while (edges.next(e)) {
        if (e.i >= n) index_out_of_bounds(n, e.i);
        if (e.j >= n) index_out_of_bounds(n, e.j);
        const bool accepted = game.offer_edge(e.i, e.j);
        result.labels.push_back(accepted ? 1 : 0);
        if (accepted) result.accepted_edges.push_back(e);
        poll(8 + 4 * (game.visits() - visits));
        visits = game.visits();
    }
    return result;
}

}  // namespace

PebbleResult run_pebble_game(std::size_t n, const EdgeList& edges) { return play(n, ListedEdges(edges)); }

PebbleResult run_pebble_game_all_pairs(std::size_t n) { return play(n, AllPairs(n)); }

}  // namespace korvale
