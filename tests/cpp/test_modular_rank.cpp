// Arithmetic modulo 2^61 - 1 against plain 128-bit remainders, and the exact
// tracker on rows with planted dependencies, including ones that floating
// point cannot see.
#include <gtest/gtest.h>

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

TEST(ModularRankTracker, NamesTheCircuitOfADependentRow) {
    // r3 = 2 r0 - r2 (r1 is not involved), r4 = r1 alone.
    ModularRankTracker tracker(4, true);
    EXPECT_TRUE(tracker.add_row({{0, 1}, {1, 5}}));
    EXPECT_TRUE(tracker.add_row({{1, 1}, {3, 2}}));
    EXPECT_TRUE(tracker.add_row({{0, 3}, {2, 7}}));
    EXPECT_FALSE(tracker.add_row({{0, 2 - 3 + mod61::P}, {1, 10}, {2, mod61::P - 7}}));
    EXPECT_EQ(tracker.last_circuit(), (std::vector<std::size_t>{0, 2}));
    EXPECT_FALSE(tracker.add_row({{1, 4}, {3, 8}}));
    EXPECT_EQ(tracker.last_circuit(), (std::vector<std::size_t>{1}));
    EXPECT_TRUE(tracker.add_row({{3, 1}}));
    EXPECT_TRUE(tracker.last_circuit().empty());
}

}  // namespace
}  // namespace korvale
