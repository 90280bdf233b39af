#include "rigidity/point_elimination.hpp"

#include <algorithm>

#include "core/failure.hpp"
#include "graph/nested_dissection.hpp"
#include "rank/assembly_tree.hpp"
#include "rigidity/max_rank.hpp"

namespace korvale {

namespace {

// Below this many columns the incremental basis is as fast as any front
// tree, and needs no ordering. Above it, the fronts win on graphs with
// small separators (geometric graphs, lattices: their fronts' work bound is
// a few hundredths of the columns cubed) and lose, by up to twenty times,
// on graphs without (random graphs: about the columns cubed); the work
// bound picks.
constexpr std::size_t fronts_from_columns = 3000;
constexpr double fronts_at_most = 0.1;  // work bound / columns^3

}  // namespace

PointElimination::PointElimination(std::size_t n, const EdgeList& edges, std::size_t d, Engine& engine, bool stress,
                                   InterruptPoll& poll, Path path)
    : n_(n),
      d_(d),
      engine_(engine),
      stress_(stress),
      max_rank_(max_independent_edges(n, d).value()),
      point_(checked_capacity(n, d, sizeof(std::uint64_t))) {
    for (std::uint64_t& x : point_) x = engine.below(mod61::P);
    // The fronts number rows in 32 bits.
    if (edges.size() > 0xFFFFFFFFu || (path == Path::automatic && n * d < fronts_from_columns)) path = Path::dense;
    if (path == Path::dense) {
        eliminate_dense(edges, poll);
        return;
    }
    // Nodes without edges hold no rows: the tree is made over the others,
    // renumbered in order (their columns stay free in every motion).
    EdgeList local;
    {
        std::vector<std::uint32_t> compact(n, 0);
        for (const Edge& e : edges) compact[e.i] = compact[e.j] = 1;
        for (std::size_t x = 0; x < n; ++x)
            if (compact[x]) {
                compact[x] = static_cast<std::uint32_t>(active_.size());
                active_.push_back(static_cast<std::uint32_t>(x));
            }
        local.reserve(edges.size());
        for (const Edge& e : edges) local.push_back({compact[e.i], compact[e.j]});
    }
    const std::size_t nodes = active_.size();
    std::vector<std::uint64_t> start;
    std::vector<std::uint32_t> adjacency;
    node_graph(nodes, local, start, adjacency);
    AssemblyTree tree = assembly_tree(nodes, local, nested_dissection_order(start, adjacency));
    std::vector<std::uint64_t>().swap(start);
    std::vector<std::uint32_t>().swap(adjacency);
    const double columns = static_cast<double>(nodes * d);
    if (path == Path::automatic && front_elimination_work(d, local, tree) > fronts_at_most * columns * columns * columns) {
        tree = AssemblyTree();  // freed before the basis grows
        EdgeList().swap(local);
        std::vector<std::uint32_t>().swap(active_);
        eliminate_dense(edges, poll);
        return;
    }
    require_memory(front_elimination_bytes(d, local, tree, true, stress));
    const auto row = [&](std::size_t e, std::uint64_t* at_i, std::uint64_t* at_j) {
        const Edge& edge = edges[e];
        for (std::size_t a = 0; a < d; ++a) {
            at_i[a] = mod61::sub(point_[edge.i * d + a], point_[edge.j * d + a]);
            at_j[a] = mod61::sub(0, at_i[a]);
        }
    };
    fronts_ = std::make_unique<FrontElimination>(d, local, tree, row, true, stress, poll);
    if (stress) {
        lambda_.assign(edges.size(), 0);
        const Labels& labels = fronts_->labels();
        for (std::size_t e = 0; e < edges.size(); ++e)
            if (!labels[e]) lambda_[e] = engine.below(mod61::P);
    }
}

PointElimination::~PointElimination() = default;

void PointElimination::eliminate_dense(const EdgeList& edges, InterruptPoll& poll) {
    tracker_ = std::make_unique<ModularRankTracker>(n_ * d_, std::min<std::uint64_t>(edges.size(), max_rank_));
    ModularRankTracker& tracker = *tracker_;
    labels_.assign(edges.size(), 0);
    if (stress_) {
        tracker.record_factors();
        lambda_.assign(edges.size(), 0);
    }
    std::vector<ModularEntry> row;
    for (std::size_t e = 0; e < edges.size(); ++e) {
        // Past a full rank every row is dependent; only the stress needs
        // their reductions.
        if (!stress_ && tracker.rank() == max_rank_) break;
        modular_row(point_, d_, edges[e], row);
        const std::uint64_t before = tracker.work();
        const auto& factors = tracker.last_factors();
        if (tracker.add_row(row)) {
            labels_[e] = 1;
            basis_edge_.push_back(e);
            if (stress_) {
                pivot_.push_back(tracker.last_pivot());
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
            }
        } else if (stress_) {
            const std::uint64_t lambda = engine_.below(mod61::P);
            lambda_[e] = lambda;
            for (const auto& f : factors) weight_[f.row] = mod61::add(weight_[f.row], mod61::mul(lambda, f.value));
        }
        poll(8 + tracker.work() - before + factors.size());
    }
}

const Labels& PointElimination::labels() const noexcept { return fronts_ ? fronts_->labels() : labels_; }

std::uint64_t PointElimination::rank() const noexcept { return fronts_ ? fronts_->rank() : tracker_->rank(); }

std::vector<std::uint64_t> PointElimination::motion(std::size_t prefix, InterruptPoll& poll) {
    std::vector<std::uint64_t> free(point_.size());
    for (std::size_t c = free.size(); c-- > 0;) free[c] = engine_.below(mod61::P);
    if (fronts_) {
        // Solved over the nodes with edges; the others keep their values.
        std::vector<std::uint64_t> held(active_.size() * d_);
        for (std::size_t k = 0; k < active_.size(); ++k)
            std::copy_n(free.begin() + static_cast<std::ptrdiff_t>(active_[k] * d_), d_, held.begin() + static_cast<std::ptrdiff_t>(k * d_));
        held = fronts_->null_vector(std::move(held), prefix, poll);
        for (std::size_t k = 0; k < active_.size(); ++k)
            std::copy_n(held.begin() + static_cast<std::ptrdiff_t>(k * d_), d_, free.begin() + static_cast<std::ptrdiff_t>(active_[k] * d_));
        return free;
    }
    // The basis rows of the edges before the prefix come first.
    const auto rows = static_cast<std::size_t>(
        std::lower_bound(basis_edge_.begin(), basis_edge_.end(), prefix) - basis_edge_.begin());
    poll(tracker_->work() / 4 + free.size());  // about one pass over the basis
    return tracker_->null_vector(std::move(free), rows);
}

std::vector<std::uint64_t> PointElimination::stress(InterruptPoll& poll) {
    if (!stress_) throw InternalFailure("the stress needs an elimination made with stress");
    if (fronts_) return fronts_->left_null_vector(lambda_, poll);
    std::vector<std::uint64_t> omega = lambda_;
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
    const Bytes labels = Bytes(m) + Bytes(rows) * sizeof(std::size_t);
    Bytes total = point + motion + ModularRankTracker::fixed_bytes(ncols.value(), rows) + labels;
    // The fronts' tree is made, and weighed, before either path runs.
    if (ncols.value() >= fronts_from_columns) total += assembly_tree_bytes(n, m);
    if (stress) {
        // lambda and omega, and per accepted row its pivot, weight (twice)
        // and factor start.
        total += Bytes(m) * (2 * sizeof(std::uint64_t)) +
                 Bytes(rows) * (sizeof(std::size_t) + 3 * sizeof(std::uint64_t));
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
