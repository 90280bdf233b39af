#include "pebble/pebble_game.hpp"

#include "core/interrupt.hpp"
#include "core/memory.hpp"
#include "graph/candidate_edges.hpp"

namespace korvale {

PebbleGame::PebbleGame(std::size_t n)
    : pebbles_(checked_capacity(n, sizeof(std::int32_t)), 2),
      out_edges_(checked_capacity(n, sizeof(OutEdges))),
      visited_at_(n, 0),
      stack_(checked_capacity(n + 1, sizeof(Frame))),
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
    std::uint64_t* const visited_at = visited_at_.data();
    std::int32_t* const pebbles = pebbles_.data();
    OutEdges* const out_edges = out_edges_.data();
    const std::uint64_t generation = generation_;
    std::uint64_t visits = 0;
    const auto visit = [&](std::uint32_t y) {
        if (visited_at[y] == generation) return false;
        visited_at[y] = generation;
        ++visits;
        return true;
    };
    const auto done = [&](bool found) {
        visits_ += visits;
        return found;
    };

    if (!visit(x)) return done(false);
    if (pebbles[x] > 0) {
        --pebbles[x];
        log(PebbleMove::Kind::Take, x);
        return done(true);
    }
    // Each frame is a node whose out-edges are being scanned. A failed search
    // changes nothing, so a node's list stays as it was while it is scanned.
    Frame* const bottom = stack_.data();
    Frame* top = bottom;
    *top = {x, 0};
    for (;;) {
        const OutEdges& out = out_edges[top->node];
        if (top->next == out.size) {
            if (top == bottom) return done(false);
            --top;
            ++top->next;
            continue;
        }
        const std::uint32_t w = out.to[top->next];
        if (!visit(w)) {
            ++top->next;
            continue;
        }
        if (pebbles[w] == 0) {
            *++top = {w, 0};
            continue;
        }
        // Found: take w's pebble and reverse the path, innermost edge first,
        // as the recursive search does on its way back.
        --pebbles[w];
        log(PebbleMove::Kind::Take, w);
        for (Frame* f = top;; --f) {
            const std::uint32_t from = f->node;
            const std::uint32_t to = out_edges[from].to[f->next];
            out_edges[from].erase_at(f->next);
            out_edges[to].push_back(from);
            log(PebbleMove::Kind::Reverse, from, to);
            if (f == bottom) return done(true);
        }
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
