// The labelling driver: the documented frameworks with the path each takes,
// and a randomized comparison with the literal reference.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "reference/literal_simulation.hpp"
#include "graph/candidate_edges.hpp"
#include "simulation/coordinate_generator.hpp"
#include "rigidity/labelling.hpp"
#include "rigidity/max_rank.hpp"
#include "test_support.hpp"

using namespace korvale;

namespace {

// The pass as simulate runs it, walking the pairs, which must agree with the
// same pass over the listed candidates.
LabelledEdges production(const CoordinateMatrix& coords, std::uint64_t d, double tol) {
    const std::uint64_t max_rank = *max_independent_edges(coords.rows, d);
    LabelledEdges walked = label_all_pairs(coords, max_rank, tol);
    const LabelledEdges listed = label_edges(coords, candidate_edges(coords.rows), max_rank, tol);
    EXPECT_EQ(walked.labels, listed.labels);
    EXPECT_EQ(walked.accepted, listed.accepted);
    EXPECT_EQ(walked.rank, listed.rank);
    return walked;
}

struct Case {
    std::vector<std::vector<double>> coords;
    std::uint64_t d;
    Labels labels;
    std::uint64_t final_rank;
    bool fast;
};

}  // namespace

TEST(Labelling, DocumentedFrameworks) {
    const std::vector<Case> cases = {
        {{{0, 0}, {1, 0}, {2, 0}}, 2, {1, 1, 0}, 2, false},
        {{{0, 0}, {1, 0}, {0.3, 1.1}, {1.4, 0.9}}, 2, {1, 1, 1, 1, 1, 0}, 5, true},
        {{{0, 0}, {1, 0}, {1, 1}, {0, 1}}, 2, {1, 1, 1, 1, 1, 0}, 5, true},
        {{{0, 0}, {1, 0}, {0, 0}, {0, 1}}, 2, {1, 0, 1, 1, 1, 1}, 5, false},
        {{{1, 1}, {1, 1}, {1, 1}, {1, 1}}, 2, {0, 0, 0, 0, 0, 0}, 0, false},
        {{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, 3, {1, 1, 1, 1, 1, 1}, 6, true},
        {{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {2, 3, 0}}, 3, {1, 1, 1, 1, 1, 1, 1, 0, 0, 0}, 7, false},
        {{{0, 0}, {1, 0}, {0.5, 1.5}, {2, 0}, {3, 2}}, 2, {1, 1, 1, 1, 1, 0, 1, 1, 0, 0}, 7, false},
    };
    for (const Case& c : cases) {
        const CoordinateMatrix nodes = make_coords(c.coords);
        const LabelledEdges got = production(nodes, c.d, 1e-9);
        EXPECT_EQ(got.labels, c.labels);
        EXPECT_EQ(got.rank, c.final_rank);
        EXPECT_EQ(got.accepted.size(), c.final_rank);
        // The reference takes the documented path and reaches the same labels.
        const reference::Outcome literal = reference::simulate(nodes, c.d, 1e-9);
        EXPECT_EQ(literal.fast_path, c.fast);
        EXPECT_EQ(literal.labels, got.labels);
    }
}

TEST(Labelling, NanToleranceLabelsEverythingRedundant) {
    const CoordinateMatrix nodes = make_coords({{0, 0}, {1, 0}, {0.3, 1.1}, {1.4, 0.9}});
    const LabelledEdges got = production(nodes, 2, std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(got.labels, Labels(6, 0));
    EXPECT_TRUE(got.accepted.empty());
    EXPECT_EQ(got.rank, 0u);
}

namespace {

// The later kinds make tiny pivots: points 1e-9 apart, sets within 1e-9 of
// a line or a plane, and large coordinates whose differences lose digits.
enum class Kind { general, grid, flat, near_degenerate, non_finite, close_pairs, near_line, near_plane, far_out };

CoordinateMatrix random_framework(std::mt19937_64& rng, Kind kind, std::size_t n, std::size_t d) {
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::uniform_int_distribution<int> small(0, 2);
    std::vector<std::vector<double>> pts(n, std::vector<double>(d));
    const double a = unit(rng), b = unit(rng);
    for (auto& p : pts) {
        const bool integer = kind == Kind::grid || kind == Kind::flat || kind == Kind::near_degenerate ||
                             kind == Kind::non_finite;
        for (auto& x : p) x = integer ? small(rng) : unit(rng) * 10;
        if (kind == Kind::flat && d == 3) p[2] = a * p[0] + b * p[1];
        if (kind == Kind::near_degenerate)
            for (auto& x : p) x += unit(rng) * 1e-8;
    }
    if (kind == Kind::close_pairs)
        for (std::size_t k = 1; k < n; k += 2)
            for (std::size_t c = 0; c < d; ++c) pts[k][c] = pts[k - 1][c] + unit(rng) * 1e-9;
    if (kind == Kind::near_line || kind == Kind::near_plane) {
        // Every point on the line (or plane) through the origin spanned by
        // random directions, then nudged off it by up to 1e-9.
        std::vector<double> u(d), v(d);
        for (std::size_t c = 0; c < d; ++c) u[c] = unit(rng), v[c] = unit(rng);
        for (auto& p : pts) {
            const double s = unit(rng) * 10, t = kind == Kind::near_plane ? unit(rng) * 10 : 0.0;
            for (std::size_t c = 0; c < d; ++c) p[c] = s * u[c] + t * v[c] + unit(rng) * 1e-9;
        }
    }
    if (kind == Kind::far_out)
        for (auto& p : pts)
            for (auto& x : p) x = 1e6 + unit(rng);
    if (kind == Kind::non_finite) {
        const double specials[] = {std::numeric_limits<double>::infinity(),
                                   std::numeric_limits<double>::quiet_NaN(), 1e300};
        pts[rng() % n][rng() % d] = specials[rng() % 3];
    }
    return make_coords(pts);
}

}  // namespace

TEST(Labelling, MatchesLiteralReferenceOnRandomFrameworks) {
    std::mt19937_64 rng(20261208);
    const double tols[] = {1e-9, 1e-6, 1e-12, 0.0, 1e-3, -1.0, std::numeric_limits<double>::quiet_NaN()};
    const Kind kinds[] = {Kind::general,     Kind::grid,       Kind::flat,      Kind::near_degenerate,
                          Kind::non_finite,  Kind::close_pairs, Kind::near_line, Kind::near_plane,
                          Kind::far_out};
    constexpr int n_kinds = sizeof(kinds) / sizeof(kinds[0]);
    int compared = 0, fast = 0;
    for (int round = 0; round < 180; ++round) {
        for (std::size_t d : {2u, 3u}) {
            const Kind kind = kinds[round % n_kinds];
            const std::size_t n = d + 1 + rng() % 14;
            const double tol = round % 3 == 0 ? tols[rng() % 7] : 1e-9;
            const CoordinateMatrix nodes = random_framework(rng, kind, n, d);
            const reference::Outcome want = reference::simulate(nodes, d, tol);
            const LabelledEdges got = production(nodes, d, tol);
            ASSERT_EQ(got.labels, want.labels) << "round " << round << " d " << d << " tol " << tol;
            ASSERT_EQ(got.accepted, want.accepted);
            ASSERT_EQ(got.rank, want.final_rank);
            ++compared;
            fast += want.fast_path;
        }
    }
    // Wide frameworks take the live-column layout inside label_edges.
    for (int round = 0; round < 18; ++round) {
        const std::size_t d = 2 + round % 2;
        const std::size_t n = 90 + rng() % 40;
        const CoordinateMatrix nodes = random_framework(rng, kinds[round % n_kinds], n, d);
        const reference::Outcome want = reference::simulate(nodes, d, 1e-9);
        const LabelledEdges got = production(nodes, d, 1e-9);
        ASSERT_EQ(got.labels, want.labels) << "wide round " << round;
        ASSERT_EQ(got.rank, want.final_rank);
    }
    // Both paths must have been exercised for the comparison to mean much.
    EXPECT_EQ(compared, 360);
    EXPECT_GT(fast, 20);
    EXPECT_LT(fast, 340);
}

// Rows of up to 64 entries are reduced by code compiled for their width, one
// variant per width: every width a framework can have (n * d for d = 2, 3)
// is compared with the literal reference, on general and degenerate
// frameworks and tolerances that let zeros take part.
TEST(Labelling, EveryRowWidthMatchesTheLiteralReference) {
    std::mt19937_64 rng(64);
    const Kind kinds[] = {Kind::general, Kind::grid, Kind::near_degenerate, Kind::non_finite};
    for (std::size_t d : {2u, 3u}) {
        for (std::size_t n = d + 1; n * d <= 66; ++n) {
            for (Kind kind : kinds) {
                const double tol = kind == Kind::grid ? -1.0 : 1e-9;
                const CoordinateMatrix nodes = random_framework(rng, kind, n, d);
                const reference::Outcome want = reference::simulate(nodes, d, tol);
                const LabelledEdges got = production(nodes, d, tol);
                ASSERT_EQ(got.labels, want.labels) << "n " << n << " d " << d;
                ASSERT_EQ(got.rank, want.final_rank) << "n " << n << " d " << d;
            }
        }
    }
}

TEST(Labelling, WellConditionedFrameworkOnceReportedFlexible) {
    // Graph 0 of the training batch with seed 112266: 40 random nodes in
    // space whose rigidity matrix has full rank 114 with its smallest
    // singular value near 7. A pivot of 1.2e-9 chosen by position once drove
    // the basis to overflow and the rank stopped at 108.
    const CoordinateMatrix nodes = CoordinateGenerator(112266).generate_coordinates(40, 3);
    const LabelledEdges got = production(nodes, 3, 1e-9);
    EXPECT_EQ(got.rank, 114u);
    const reference::Outcome literal = reference::simulate(nodes, 3, 1e-9);
    EXPECT_EQ(literal.labels, got.labels);
    EXPECT_EQ(literal.final_rank, 114u);
}
