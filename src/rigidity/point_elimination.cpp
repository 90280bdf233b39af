#include "rigidity/point_elimination.hpp"

#include <algorithm>

#include "core/failure.hpp"
#include "rigidity/max_rank.hpp"

namespace korvale {

PointElimination::PointElimination(std::size_t n, const EdgeList& edges, std::size_t d, Engine& engine, bool stress)
    : n_(n),
      d_(d),
      edges_(edges),
      engine_(engine),
      stress_(stress),
      max_rank_(max_independent_edges(n, d).value()),
      point_(checked_capacity(n, d, sizeof(std::uint64_t))),
      tracker_(n * d, std::min<std::uint64_t>(edges.size(), max_rank_)),
      labels_(edges.size(), 0) {
    for (std::uint64_t& x : point_) x = engine.below(mod61::P);
    if (stress_) {
        tracker_.record_factors();
        omega_.assign(edges.size(), 0);
    }
}

void PointElimination::advance(std::size_t prefix, InterruptPoll& poll) {
    for (; offered_ < prefix; ++offered_) {
        // Past a full rank every row is dependent; only the stress needs
        // their reductions.
        if (!stress_ && tracker_.rank() == max_rank_) continue;
        modular_row(point_, d_, edges_[offered_], row_);
        const std::uint64_t before = tracker_.work();
        const auto& factors = tracker_.last_factors();
        if (!stress_) {
            labels_[offered_] = tracker_.add_row(row_);
        } else if (tracker_.add_row(row_)) {
            labels_[offered_] = 1;
            basis_edge_.push_back(offered_);
            pivot_.push_back(tracker_.last_pivot());
            weight_.push_back(0);
            // The factors grow with the fill-in; past each doubling the
            // headroom is checked again, as the basis does.
            const std::size_t held = h_.size() * sizeof(h_[0]), need = held + factors.size() * sizeof(h_[0]);
            if (need > h_checked_) {
                const std::size_t next = std::max(2 * h_checked_, need + small_request);
                require_memory(next - held);
                h_checked_ = next;
            }
            h_.insert(h_.end(), factors.begin(), factors.end());
            h_start_.push_back(h_.size());
        } else {
            const std::uint64_t lambda = engine_.below(mod61::P);
            omega_[offered_] = lambda;
            for (const auto& f : factors) weight_[f.row] = mod61::add(weight_[f.row], mod61::mul(lambda, f.value));
        }
        poll(8 + tracker_.work() - before + factors.size());
    }
}

std::vector<std::uint64_t> PointElimination::motion(InterruptPoll& poll) {
    std::vector<std::uint64_t> free(point_.size());
    for (std::size_t c = free.size(); c-- > 0;) free[c] = engine_.below(mod61::P);
    poll(tracker_.work() / 4 + free.size());  // about one pass over the basis
    return tracker_.null_vector(std::move(free));
}

std::vector<std::uint64_t> PointElimination::stress(InterruptPoll& poll) {
    if (!stress_ || offered_ != edges_.size()) throw InternalFailure("the stress needs every edge offered, with stress");
    std::vector<std::uint64_t> omega = omega_;
    std::vector<std::uint64_t> weight = weight_;
    for (std::size_t k = basis_edge_.size(); k-- > 0;) {
        const std::uint64_t c = mod61::mul(weight[k], mod61::inverse(pivot_[k]));
        omega[basis_edge_[k]] = mod61::sub(0, c);
        for (std::size_t t = h_start_[k]; t < h_start_[k + 1]; ++t)
            weight[h_[t].row] = mod61::sub(weight[h_[t].row], mod61::mul(c, h_[t].value));
        poll(8 + h_start_[k + 1] - h_start_[k]);
    }
    return omega;
}

Bytes point_elimination_bytes(std::size_t n, std::size_t m, std::size_t d, bool stress) {
    const Bytes ncols = Bytes(n) * d;
    const std::size_t rows = std::min<std::uint64_t>(m, max_independent_edges(n, d).value_or(Bytes::most));
    const Bytes point = ncols * sizeof(std::uint64_t);
    const Bytes motion = ncols * (2 * sizeof(std::uint64_t));  // the free values and the motion
    const Bytes labels = Bytes(m);
    Bytes total = point + motion + ModularRankTracker::fixed_bytes(ncols.value(), rows) + labels;
    if (stress) {
        // omega twice (kept and unwound), and per accepted row its edge,
        // pivot, weight (twice) and factor start.
        total += Bytes(m) * (2 * sizeof(std::uint64_t)) +
                 Bytes(rows) * (2 * sizeof(std::size_t) + 3 * sizeof(std::uint64_t));
    }
    return total;
}

void modular_row(const std::vector<std::uint64_t>& point, std::size_t d, const Edge& e,
                 std::vector<ModularEntry>& row) {
    row.clear();
    for (std::size_t a = 0; a < d; ++a) {
        const std::uint64_t diff = mod61::sub(point[e.i * d + a], point[e.j * d + a]);
        if (diff == 0) continue;
        row.push_back({e.i * d + a, diff});
        row.push_back({e.j * d + a, mod61::P - diff});
    }
}

}  // namespace korvale
