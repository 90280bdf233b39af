#include "rank/front_elimination.hpp"

#include <algorithm>
#include <array>
#include <numeric>

#include "core/failure.hpp"
#include "rank/modular_rank.hpp"

namespace korvale {

namespace {

// Products below 2^122: 60 of them sum below 2^128 before a fold.
constexpr unsigned fold_every = 60;
// Rows reduced together against a front's earlier pivots, and pivots
// subtracted together in one pass over a row. A folded entry is below 2^61
// and each product below 2^122, so 63 products fit in 128 bits.
constexpr std::size_t block_rows = 8;
constexpr std::size_t pivot_group = 4;
constexpr unsigned most_unfolded = 63;

// The rows a front passes to its parent: their ids, ascending, and their
// values over the front's boundary (boundary nodes times d, one row after
// another).
struct Contribution {
    std::vector<std::uint32_t> rows;
    std::vector<std::uint32_t> positions;
    std::vector<std::uint64_t> values;
};

// What each front receives: per front, the edges whose earlier node it
// eliminates, ascending, in compressed rows.
void edges_by_front(const EdgeList& edges, const AssemblyTree& tree, std::vector<std::uint64_t>& start,
                    std::vector<std::uint32_t>& list) {
    auto front_of_edge = [&](const Edge& e) {
        return tree.front_of[std::min(tree.position[e.i], tree.position[e.j])];
    };
    start.assign(tree.fronts.size() + 1, 0);
    for (const Edge& e : edges) ++start[front_of_edge(e) + 1];
    for (std::size_t f = 0; f < tree.fronts.size(); ++f) start[f + 1] += start[f];
    list.resize(edges.size());
    std::vector<std::uint64_t> next(start.begin(), start.end() - 1);
    for (std::size_t e = 0; e < edges.size(); ++e) list[next[front_of_edge(edges[e])]++] = static_cast<std::uint32_t>(e);
}

// A front's size as the elimination will meet it, at most: its rows (its
// edges and what its children pass up), its columns (its own and all), and
// the rows it passes up.
struct FrontSize {
    std::size_t rows, width, own, up;
};

std::vector<FrontSize> front_sizes(std::size_t d, const EdgeList& edges, const AssemblyTree& tree) {
    std::vector<std::uint64_t> edge_start;
    std::vector<std::uint32_t> edge_list;
    edges_by_front(edges, tree, edge_start, edge_list);
    std::vector<std::size_t> received(tree.fronts.size(), 0);
    std::vector<FrontSize> sizes(tree.fronts.size());
    for (std::size_t f = 0; f < tree.fronts.size(); ++f) {
        const auto& front = tree.fronts[f];
        const std::size_t own = std::size_t{front.count} * d, boundary = front.boundary.size() * d;
        const std::size_t rows = received[f] + (edge_start[f + 1] - edge_start[f]);
        sizes[f] = {rows, own + boundary, own, std::min(rows, boundary)};
        if (front.parent != AssemblyTree::none) received[front.parent] += sizes[f].up;
    }
    return sizes;
}

}  // namespace

FrontElimination::FrontElimination(std::size_t d, const EdgeList& edges, const AssemblyTree& tree,
                                   const RowValues& values, bool keep_pivots, bool record, InterruptPoll& poll)
    : d_(d), labels_(edges.size(), 0), factors_(tree.fronts.size()) {
    std::vector<std::uint64_t> edge_start;
    std::vector<std::uint32_t> edge_list;
    edges_by_front(edges, tree, edge_start, edge_list);
    std::vector<std::vector<Contribution>> waiting(tree.fronts.size());
    std::vector<std::uint32_t> block_of(tree.order.size(), 0);  // local block of a position, in the current front

    // Per row being assembled: its id and where its values come from.
    struct Source {
        std::uint32_t row;
        std::uint32_t from;  // 0: an edge; c + 1: waiting contribution c
        std::uint32_t index;
    };
    std::vector<Source> sources;
    std::vector<std::uint64_t> matrix, pivots;
    std::vector<unsigned __int128> acc;
    std::vector<std::uint64_t> at_i(d), at_j(d);
    std::array<std::vector<std::uint64_t>, block_rows> met_factors;  // with record: per row of a block
    std::array<unsigned, block_rows> unfolded{};

    for (std::size_t f = 0; f < tree.fronts.size(); ++f) {
        const AssemblyTree::Front& front = tree.fronts[f];
        Factor& factor = factors_[f];
        std::vector<std::uint32_t> positions(front.count);
        std::iota(positions.begin(), positions.end(), front.first);
        positions.insert(positions.end(), front.boundary.begin(), front.boundary.end());
        for (std::size_t b = 0; b < positions.size(); ++b) block_of[positions[b]] = static_cast<std::uint32_t>(b);
        const std::size_t width = positions.size() * d, own = std::size_t{front.count} * d;

        sources.clear();
        for (std::uint64_t t = edge_start[f]; t < edge_start[f + 1]; ++t)
            sources.push_back({edge_list[t], 0, static_cast<std::uint32_t>(t)});
        std::vector<Contribution>& received = waiting[f];
        for (std::size_t c = 0; c < received.size(); ++c)
            for (std::size_t r = 0; r < received[c].rows.size(); ++r)
                sources.push_back({received[c].rows[r], static_cast<std::uint32_t>(c + 1), static_cast<std::uint32_t>(r)});
        std::sort(sources.begin(), sources.end(), [](const Source& a, const Source& b) { return a.row < b.row; });
        const std::size_t rows = sources.size();

        const Bytes working = (Bytes(rows) + width) * width * sizeof(std::uint64_t) +
                              Bytes(width) * (block_rows * sizeof(unsigned __int128)) +
                              (record ? Bytes(rows) * std::min(rows, width) * sizeof(std::uint64_t) : Bytes(0));
        require_memory(working);
        matrix.assign(rows * width, 0);
        for (std::size_t s = 0; s < rows; ++s) {
            std::uint64_t* row = matrix.data() + s * width;
            const Source& src = sources[s];
            if (src.from == 0) {
                const Edge& e = edges[src.row];
                values(src.row, at_i.data(), at_j.data());
                std::copy(at_i.begin(), at_i.end(), row + block_of[tree.position[e.i]] * d);
                std::copy(at_j.begin(), at_j.end(), row + block_of[tree.position[e.j]] * d);
            } else {
                const Contribution& c = received[src.from - 1];
                const std::size_t part = c.positions.size() * d;
                const std::uint64_t* from = c.values.data() + src.index * part;
                for (std::size_t b = 0; b < c.positions.size(); ++b)
                    std::copy(from + b * d, from + (b + 1) * d, row + block_of[c.positions[b]] * d);
            }
        }
        std::vector<Contribution>().swap(received);

        // Left-looking, in row order: each row reduced by the pivots made
        // before it, then its first non-zero column (the front's own
        // columns first) is its pivot. Rows and pivots are held in a column
        // order where pivot k sits at position k; normalized to 1 there and
        // zero at the earlier pivots' positions, pivot k touches positions k
        // and on only, and one pass in pivot order clears them all. Rows go
        // in blocks, and pivots in groups: the pivots made before a block
        // are read once for all its rows, a group of them in one pass over
        // a row.
        std::vector<std::uint32_t> perm(width), where(width);  // position -> column, column -> position
        std::iota(perm.begin(), perm.end(), 0);
        std::iota(where.begin(), where.end(), 0);
        pivots.clear();
        pivots.reserve(std::min(rows, width) * width);
        std::vector<std::uint32_t> pivot_row;
        acc.assign(block_rows * width, 0);
        for (std::size_t s0 = 0; s0 < rows; s0 += block_rows) {
            const std::size_t count = std::min(block_rows, rows - s0);
            for (std::size_t r = 0; r < count; ++r) {
                const std::uint64_t* row = matrix.data() + (s0 + r) * width;
                unsigned __int128* x = acc.data() + r * width;
                for (std::size_t t = 0; t < width; ++t) x[t] = row[perm[t]];
                met_factors[r].clear();
                unfolded[r] = 0;
            }
            // Subtracts pivots k .. k + g - 1 from row r: their factors first,
            // each read at its position after the group's earlier ones, then
            // all g in one pass over the positions from k on.
            auto subtract = [&](std::size_t r, std::size_t k, std::size_t g) {
                unsigned __int128* x = acc.data() + r * width;
                const std::uint64_t* u[pivot_group];
                std::uint64_t minus[pivot_group] = {};
                bool any = false;
                for (std::size_t j = 0; j < g; ++j) {
                    u[j] = pivots.data() + (k + j) * width;
                    unsigned __int128 v = mod61::reduce_wide(x[k + j]);
                    for (std::size_t i = 0; i < j; ++i) v += static_cast<unsigned __int128>(minus[i]) * u[i][k + j];
                    const std::uint64_t a = mod61::reduce_wide(v);
                    if (record) met_factors[r].push_back(a);
                    minus[j] = a == 0 ? 0 : mod61::P - a;
                    any = any || a != 0;
                }
                if (!any) return;
                if (g == pivot_group) {
                    for (std::size_t t = k; t < width; ++t)
                        x[t] += static_cast<unsigned __int128>(minus[0]) * u[0][t] +
                                static_cast<unsigned __int128>(minus[1]) * u[1][t] +
                                static_cast<unsigned __int128>(minus[2]) * u[2][t] +
                                static_cast<unsigned __int128>(minus[3]) * u[3][t];
                } else {
                    for (std::size_t j = 0; j < g; ++j)
                        if (minus[j] != 0)
                            for (std::size_t t = k + j; t < width; ++t)
                                x[t] += static_cast<unsigned __int128>(minus[j]) * u[j][t];
                }
                unfolded[r] += static_cast<unsigned>(g);
                if (unfolded[r] + pivot_group > most_unfolded) {
                    for (std::size_t t = k; t < width; ++t) x[t] = mod61::reduce_wide(x[t]);
                    unfolded[r] = 0;
                }
            };
            const std::size_t before = pivot_row.size();
            for (std::size_t k = 0; k < before; k += pivot_group)
                for (std::size_t r = 0; r < count; ++r) subtract(r, k, std::min(pivot_group, before - k));
            for (std::size_t r = 0; r < count; ++r) {
                for (std::size_t k = before; k < pivot_row.size(); ++k) subtract(r, k, 1);
                const std::size_t met = pivot_row.size();
                unsigned __int128* x = acc.data() + r * width;
                std::size_t lead = width;  // the position of the first non-zero column
                for (std::size_t t = met; t < width; ++t) {
                    x[t] = mod61::reduce_wide(x[t]);
                    if (x[t] != 0 && (lead == width || perm[t] < perm[lead])) lead = t;
                }
                std::uint64_t scale = 0;
                if (lead < width) {
                    // Move the pivot's column to position `met`, in every row
                    // held: the pivots and the block's rows.
                    std::swap(perm[met], perm[lead]);
                    where[perm[met]] = static_cast<std::uint32_t>(met);
                    where[perm[lead]] = static_cast<std::uint32_t>(lead);
                    for (std::size_t k = 0; k < met; ++k) std::swap(pivots[k * width + met], pivots[k * width + lead]);
                    for (std::size_t q = 0; q < count; ++q) std::swap(acc[q * width + met], acc[q * width + lead]);
                    scale = mod61::inverse(static_cast<std::uint64_t>(x[met]));
                    pivots.resize(pivots.size() + width);
                    std::uint64_t* u = pivots.data() + pivots.size() - width;
                    std::fill(u, u + met, 0);
                    for (std::size_t t = met; t < width; ++t) u[t] = mod61::mul(static_cast<std::uint64_t>(x[t]), scale);
                    pivot_row.push_back(sources[s0 + r].row);
                }
                if (record) {
                    factor.step_row.push_back(sources[s0 + r].row);
                    factor.step_met.push_back(static_cast<std::uint32_t>(met));
                    factor.step_scale.push_back(scale);
                    factor.factors.insert(factor.factors.end(), met_factors[r].begin(), met_factors[r].end());
                }
                poll(8 + met * width);
            }
        }
        std::vector<std::uint64_t>().swap(matrix);

        // Final pivots stay (in the front's column order); the others go to
        // the parent over the boundary.
        Contribution up;
        up.positions = front.boundary;
        for (std::size_t k = 0; k < pivot_row.size(); ++k) {
            const std::uint64_t* u = pivots.data() + k * width;
            if (perm[k] < own) {
                labels_[pivot_row[k]] = 1;
                ++rank_;
                if (keep_pivots) {
                    factor.pivot_row.push_back(pivot_row[k]);
                    factor.pivot_col.push_back(perm[k]);
                    const std::size_t at = factor.pivot_values.size();
                    factor.pivot_values.resize(at + width);
                    for (std::size_t t = 0; t < width; ++t) factor.pivot_values[at + perm[t]] = u[t];
                }
            } else {
                const std::size_t at = up.values.size();
                up.rows.push_back(pivot_row[k]);
                up.values.resize(at + width - own);
                for (std::size_t c = own; c < width; ++c) up.values[at + c - own] = u[where[c]];
            }
        }
        if (record) factor.all_pivot_rows = pivot_row;
        if (keep_pivots || record)
            for (std::uint32_t p : positions) factor.nodes.push_back(tree.order[p]);
        if (!up.rows.empty()) {
            if (front.parent == AssemblyTree::none) throw InternalFailure("a root front with a boundary");
            waiting[front.parent].push_back(std::move(up));
        }
    }
}

std::vector<std::uint64_t> FrontElimination::null_vector(std::vector<std::uint64_t> x, std::size_t prefix,
                                                         InterruptPoll& poll) const {
    std::vector<std::size_t> column;
    for (std::size_t f = factors_.size(); f-- > 0;) {
        const Factor& factor = factors_[f];
        if (factor.pivot_row.empty()) continue;
        column.resize(factor.nodes.size() * d_);
        for (std::size_t b = 0; b < factor.nodes.size(); ++b)
            for (std::size_t a = 0; a < d_; ++a) column[b * d_ + a] = std::size_t{factor.nodes[b]} * d_ + a;
        const std::size_t width = column.size();
        for (std::size_t k = factor.pivot_row.size(); k-- > 0;) {
            if (factor.pivot_row[k] >= prefix) continue;
            const std::uint64_t* u = factor.pivot_values.data() + k * width;
            const std::size_t pivot = factor.pivot_col[k];
            unsigned __int128 sum = 0;
            unsigned unfolded = 0;
            for (std::size_t t = 0; t < width; ++t) {
                if (t == pivot || u[t] == 0) continue;
                sum += static_cast<unsigned __int128>(u[t]) * x[column[t]];
                if (++unfolded == fold_every) {
                    sum = mod61::reduce_wide(sum);
                    unfolded = 1;
                }
            }
            x[column[pivot]] = mod61::sub(0, mod61::reduce_wide(sum));
        }
        poll(8 + factor.pivot_values.size());
    }
    return x;
}

std::vector<std::uint64_t> FrontElimination::left_null_vector(std::vector<std::uint64_t> omega,
                                                              InterruptPoll& poll) const {
    for (std::size_t f = factors_.size(); f-- > 0;) {
        const Factor& factor = factors_[f];
        std::size_t end = factor.factors.size();
        for (std::size_t s = factor.step_row.size(); s-- > 0;) {
            const std::uint32_t r = factor.step_row[s];
            if (factor.step_scale[s] != 0) omega[r] = mod61::mul(omega[r], factor.step_scale[s]);
            const std::size_t met = factor.step_met[s], begin = end - met;
            const std::uint64_t w = omega[r];
            if (w != 0)
                for (std::size_t k = 0; k < met; ++k) {
                    const std::uint64_t a = factor.factors[begin + k];
                    if (a != 0) omega[factor.all_pivot_rows[k]] = mod61::sub(omega[factor.all_pivot_rows[k]], mod61::mul(a, w));
                }
            end = begin;
        }
        poll(8 + factor.factors.size());
    }
    return omega;
}

Bytes front_elimination_bytes(std::size_t d, const EdgeList& edges, const AssemblyTree& tree, bool keep_pivots,
                              bool record) {
    // The fronts in order, as the elimination makes them: what is kept (the
    // final pivots, the recorded factors), the contributions waiting for
    // their parents, and the front being eliminated (its rows, pivots and
    // accumulators); the largest sum of the three.
    const std::vector<FrontSize> sizes = front_sizes(d, edges, tree);
    std::vector<Bytes> received(tree.fronts.size(), Bytes(0));
    Bytes kept(0), waiting(0), peak(0);
    for (std::size_t f = 0; f < tree.fronts.size(); ++f) {
        const FrontSize& z = sizes[f];
        const std::size_t pivots = std::min(z.rows, z.width);
        const Bytes working = (Bytes(z.rows) + pivots) * z.width * sizeof(std::uint64_t) +
                              Bytes(z.width) * (block_rows * sizeof(unsigned __int128));
        if (record) kept += Bytes(z.rows) * pivots * sizeof(std::uint64_t) + Bytes(z.rows) * 24;
        const Bytes now = kept + waiting + working;
        if (now.value() > peak.value()) peak = now;
        waiting = Bytes(waiting.value() - received[f].value());
        if (keep_pivots) kept += Bytes(std::min(z.rows, z.own)) * z.width * sizeof(std::uint64_t) + Bytes(z.width) * 4;
        const Bytes passed = Bytes(z.up) * ((z.width - z.own) * sizeof(std::uint64_t) + sizeof(std::uint32_t));
        waiting += passed;
        if (tree.fronts[f].parent != AssemblyTree::none) received[tree.fronts[f].parent] += passed;
    }
    // Beside the fronts: per front its records and waiting list, per
    // position a local block, per edge its place in its front's list and
    // its label.
    return peak + Bytes(tree.fronts.size()) * (sizeof(FrontElimination::Factor) + 48) + Bytes(tree.order.size()) * sizeof(std::uint32_t) +
           Bytes(edges.size()) * (sizeof(std::uint32_t) + sizeof(std::uint8_t));
}

double front_elimination_work(std::size_t d, const EdgeList& edges, const AssemblyTree& tree) {
    double work = 0.0;
    for (const FrontSize& z : front_sizes(d, edges, tree))
        work += static_cast<double>(z.rows) * static_cast<double>(std::min(z.rows, z.width)) * static_cast<double>(z.width);
    return work;
}

}  // namespace korvale
