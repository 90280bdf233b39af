#include "rank/front_elimination.hpp"

#include <algorithm>
#include <numeric>

#include "core/failure.hpp"
#include "rank/modular_rank.hpp"

namespace korvale {

namespace {

// Products below 2^122: 60 of them sum below 2^128 before a fold.
constexpr unsigned fold_every = 60;

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
                              Bytes(width) * sizeof(unsigned __int128) +
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
        // before it (each normalized to 1 in its pivot column and zero in the
        // earlier pivots' columns, so one pass in pivot order clears them
        // all), then its first non-zero column is its pivot.
        pivots.clear();
        std::vector<std::uint32_t> pivot_col, pivot_row;
        acc.assign(width, 0);
        for (std::size_t s = 0; s < rows; ++s) {
            const std::uint64_t* row = matrix.data() + s * width;
            for (std::size_t t = 0; t < width; ++t) acc[t] = row[t];
            unsigned unfolded = 0;
            const std::size_t met = pivot_col.size();
            for (std::size_t k = 0; k < met; ++k) {
                const std::uint64_t a = mod61::reduce_wide(acc[pivot_col[k]]);
                if (record) factor.factors.push_back(a);
                if (a == 0) continue;
                const std::uint64_t minus_a = mod61::P - a;
                const std::uint64_t* u = pivots.data() + k * width;
                for (std::size_t t = 0; t < width; ++t) acc[t] += static_cast<unsigned __int128>(minus_a) * u[t];
                if (++unfolded == fold_every) {
                    for (auto& v : acc) v = mod61::reduce_wide(v);
                    unfolded = 0;
                }
            }
            std::size_t lead = width;
            for (std::size_t t = 0; t < width; ++t) {
                acc[t] = mod61::reduce_wide(acc[t]);
                if (lead == width && acc[t] != 0) lead = t;
            }
            std::uint64_t scale = 0;
            if (lead < width) {
                scale = mod61::inverse(static_cast<std::uint64_t>(acc[lead]));
                pivots.resize(pivots.size() + width);
                std::uint64_t* u = pivots.data() + pivots.size() - width;
                for (std::size_t t = 0; t < width; ++t) u[t] = mod61::mul(static_cast<std::uint64_t>(acc[t]), scale);
                pivot_col.push_back(static_cast<std::uint32_t>(lead));
                pivot_row.push_back(sources[s].row);
            }
            if (record) {
                factor.step_row.push_back(sources[s].row);
                factor.step_met.push_back(static_cast<std::uint32_t>(met));
                factor.step_scale.push_back(scale);
            }
            poll(8 + met * width);
        }
        std::vector<std::uint64_t>().swap(matrix);

        // Final pivots stay; the others go to the parent over the boundary.
        Contribution up;
        up.positions = front.boundary;
        for (std::size_t k = 0; k < pivot_col.size(); ++k) {
            const std::uint64_t* u = pivots.data() + k * width;
            if (pivot_col[k] < own) {
                labels_[pivot_row[k]] = 1;
                ++rank_;
                if (keep_pivots) {
                    factor.pivot_row.push_back(pivot_row[k]);
                    factor.pivot_col.push_back(pivot_col[k]);
                    factor.pivot_values.insert(factor.pivot_values.end(), u, u + width);
                }
            } else {
                up.rows.push_back(pivot_row[k]);
                up.values.insert(up.values.end(), u + own, u + width);
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

Bytes front_elimination_bytes(std::size_t d, const AssemblyTree& tree, std::size_t m, bool keep_pivots) {
    // Kept pivots (at most the front's own columns, a front width each),
    // every contribution at once (at most its boundary's columns squared),
    // and the largest front's rows (its edges and contributions) with its
    // pivots.
    Bytes kept(0), passed(0), largest(0);
    std::vector<Bytes> received(tree.fronts.size(), Bytes(0));
    for (std::size_t f = 0; f < tree.fronts.size(); ++f) {
        const auto& front = tree.fronts[f];
        const Bytes width = Bytes(front.count + front.boundary.size()) * d;
        const Bytes boundary = Bytes(front.boundary.size()) * d;
        if (keep_pivots) kept += Bytes(front.count) * d * width * sizeof(std::uint64_t);
        passed += boundary * boundary * sizeof(std::uint64_t);
        const Bytes rows = received[f] + Bytes(front.count) * d;  // a front's rank is at most its width
        const Bytes front_bytes = (rows + width) * width * sizeof(std::uint64_t);
        if (front_bytes.value() > largest.value()) largest = front_bytes;
        if (front.parent != AssemblyTree::none) received[front.parent] += boundary;
    }
    return kept + passed + largest + Bytes(m) * (sizeof(std::uint32_t) + 16);
}

}  // namespace korvale
