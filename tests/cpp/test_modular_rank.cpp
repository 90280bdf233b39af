// Arithmetic modulo 2^61 - 1 against plain 128-bit remainders, and the exact
// tracker on rows with planted dependencies, including ones that floating
// point cannot see.
#include <gtest/gtest.h>

#include "core/failure.hpp"
#include "random/engine.hpp"
#include "rank/modular_rank.hpp"

namespace korvale {
namespace {

using mod61::P;

TEST(Mod61, MatchesRemaindersAtTheEdges) {
    const std::uint64_t edge[] = {0, 1, 2, P - 2, P - 1, (std::uint64_t{1} << 60), (std::uint64_t{1} << 32) + 7};
    Engine engine(3);
    std::vector<std::uint64_t> values(std::begin(edge), std::end(edge));
    for (int t = 0; t < 200; ++t) values.push_back(engine.below(P));
    for (std::uint64_t a : values)
        for (std::uint64_t b : values) {
            const auto product = static_cast<unsigned __int128>(a) * b;
            ASSERT_EQ(mod61::mul(a, b), static_cast<std::uint64_t>(product % P));
            ASSERT_EQ(mod61::sub(a, b), static_cast<std::uint64_t>((static_cast<unsigned __int128>(a) + P - b) % P));
        }
    for (std::uint64_t a : values)
        if (a != 0) ASSERT_EQ(mod61::mul(a, mod61::inverse(a)), 1u);
    // The largest value reduce() accepts.
    const unsigned __int128 top = static_cast<unsigned __int128>(P - 1) * (P - 1);
    EXPECT_EQ(mod61::reduce(top), static_cast<std::uint64_t>(top % P));
}

std::vector<ModularEntry> dense(const std::vector<std::uint64_t>& row) {
    std::vector<ModularEntry> out;
    for (std::size_t c = 0; c < row.size(); ++c)
        if (row[c] != 0) out.push_back({c, row[c]});
    return out;
}

TEST(ModularRankTracker, FindsPlantedDependencies) {
    Engine engine(9);
    for (std::size_t width : {1u, 5u, 40u}) {
        ModularRankTracker tracker(width);
        std::vector<std::vector<std::uint64_t>> accepted;
        for (int t = 0; t < 200; ++t) {
            std::vector<std::uint64_t> row(width, 0);
            const bool combination = accepted.size() >= 2 && t % 3 == 0;
            if (combination) {
                // a random combination of accepted rows: always dependent
                for (const auto& a : accepted) {
                    const std::uint64_t f = engine.below(P);
                    for (std::size_t c = 0; c < width; ++c) row[c] = (row[c] + mod61::mul(f, a[c])) % P;
                }
            } else {
                for (std::size_t c = engine.below(width); c < width; c += 1 + engine.below(3)) row[c] = engine.below(P);
            }
            const std::size_t before = tracker.rank();
            const bool independent = tracker.add_row(dense(row));
            if (combination) ASSERT_FALSE(independent);
            ASSERT_EQ(tracker.rank(), before + independent);
            if (independent) accepted.push_back(row);
        }
        EXPECT_EQ(tracker.rank(), width);  // random rows fill every column eventually
    }
}

TEST(ModularRankTracker, SeesDependenciesBeyondDoublePrecision) {
    // (1, 2^53 + 1) and (1, 2^53) are independent, though equal in doubles;
    // (2, 2^54 + 2) is twice the first and dependent.
    ModularRankTracker tracker(2);
    const std::uint64_t big = std::uint64_t{1} << 53;
    EXPECT_TRUE(tracker.add_row({{0, 1}, {1, big + 1}}));
    EXPECT_TRUE(tracker.add_row({{0, 1}, {1, big}}));
    ModularRankTracker other(2);
    EXPECT_TRUE(other.add_row({{0, 1}, {1, big + 1}}));
    EXPECT_FALSE(other.add_row({{1, 2 * big + 2}, {0, 2}}));
    EXPECT_FALSE(other.add_row({}));
}

}  // namespace
}  // namespace korvale

namespace korvale {
namespace {

TEST(ModularRankTracker, NullVectorsAnnihilateEveryOfferedRow) {
    // Sparse rows over 30 columns, a third of them combinations of earlier
    // ones; the null vector keeps the given values off the pivots.
    Engine engine(4);
    ModularRankTracker tracker(30);
    std::vector<std::vector<std::uint64_t>> offered;
    for (int t = 0; t < 24; ++t) {
        std::vector<std::uint64_t> row(30, 0);
        if (t % 3 == 2) {
            for (const auto& a : offered) {
                const std::uint64_t f = engine.below(2) ? engine.below(P) : 0;
                for (std::size_t c = 0; c < 30; ++c) row[c] = mod61::add(row[c], mod61::mul(f, a[c]));
            }
        } else {
            for (int k = 0; k < 4; ++k) row[engine.below(30)] = engine.below(P);
        }
        tracker.add_row(dense(row));
        offered.push_back(row);
    }
    std::vector<std::uint64_t> free(30);
    for (std::uint64_t& v : free) v = engine.below(P);
    const std::vector<std::uint64_t> x = tracker.null_vector(free);
    std::size_t kept = 0;
    for (std::size_t c = 0; c < 30; ++c) kept += x[c] == free[c];
    EXPECT_GE(kept, 30 - tracker.rank());
    for (const auto& row : offered) {
        std::uint64_t dot = 0;
        for (std::size_t c = 0; c < 30; ++c) dot = mod61::add(dot, mod61::mul(row[c], x[c]));
        ASSERT_EQ(dot, 0u);
    }
    EXPECT_THROW(tracker.null_vector({}), InternalFailure);
}

}  // namespace
}  // namespace korvale
