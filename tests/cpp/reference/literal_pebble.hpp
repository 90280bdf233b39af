// The pebble game transcribed literally: recursive search, a hash set for
// visited nodes. The production game must leave exactly the same state.
#pragma once

#include <cstdint>
#include <unordered_set>
#include <vector>

namespace reference {

struct PebbleGame {
    struct Move {
        int kind;  // 0 take, 1 gather, 2 reverse
        std::size_t a, b;
    };
    std::vector<std::int32_t> pebbles;
    std::vector<std::vector<std::size_t>> out_edges;

    explicit PebbleGame(std::size_t n) : pebbles(n, 2), out_edges(n) {}

    bool find_pebble(std::size_t x, std::unordered_set<std::size_t>& visited, std::vector<Move>& moves) {
        if (visited.count(x)) return false;
        visited.insert(x);
        if (pebbles[x] > 0) {
            pebbles[x] -= 1;
            moves.push_back({0, x, 0});
            return true;
        }
        const std::size_t L = out_edges[x].size();
        for (std::size_t i = 0; i < L; ++i) {
            const std::size_t w = out_edges[x][i];
            if (find_pebble(w, visited, moves)) {
                out_edges[x].erase(out_edges[x].begin() + static_cast<std::ptrdiff_t>(i));
                out_edges[w].push_back(x);
                moves.push_back({2, x, w});
                return true;
            }
        }
        return false;
    }

    void undo_moves(const std::vector<Move>& moves) {
        for (std::size_t k = moves.size(); k > 0; --k) {
            const Move& m = moves[k - 1];
            if (m.kind == 0) pebbles[m.a] += 1;
            if (m.kind == 1) pebbles[m.a] -= 1;
            if (m.kind == 2) {
                auto& list = out_edges[m.b];
                for (auto it = list.begin(); it != list.end(); ++it) {
                    if (*it == m.a) {
                        list.erase(it);
                        break;
                    }
                }
                out_edges[m.a].push_back(m.b);
            }
        }
    }

    bool offer_edge(std::size_t u, std::size_t v) {
        std::vector<Move> moves;
        while (true) {
            std::int32_t pu = pebbles[u], pv = pebbles[v];
            if (pu + pv >= 4) {
                pebbles[v] -= 1;
                out_edges[v].push_back(u);
                return true;
            }
            pebbles[u] = 0;
            pebbles[v] = 0;
            bool gathered_u = false;
            if (pu <= 1) {
                std::unordered_set<std::size_t> visited;
                if (find_pebble(u, visited, moves)) {
                    moves.push_back({1, u, 0});
                    pu += 1;
                    pebbles[u] = pu;
                    pebbles[v] = pv;
                    gathered_u = true;
                }
            }
            if (gathered_u) continue;
            std::unordered_set<std::size_t> visited;
            const bool found = find_pebble(v, visited, moves);
            if (found) {
                moves.push_back({1, v, 0});
                pv += 1;
            }
            pebbles[u] = pu;
            pebbles[v] = pv;
            if (!found) {
                undo_moves(moves);
                return false;
            }
        }
    }
};

}  // namespace reference
