// The seeded coordinate generator and the batch records.
#include <gtest/gtest.h>

#include <cstdint>

#include "core/failure.hpp"
#include "core/memory.hpp"
#include "simulation/coordinate_generator.hpp"
#include "simulation/training_batch.hpp"

using namespace korvale;

TEST(CoordinateGenerator, SeedZeroStatesAndCoordinates) {
    CoordinateGenerator g(0);
    EXPECT_EQ(g.next_coordinate(), 0.3910432733574517);
    EXPECT_EQ(g.state(), 0x14057B7EF767814FULL);
    EXPECT_EQ(g.state() >> 33, 167951807u);
    EXPECT_EQ(g.next_coordinate(), 0.5084937998346272);
    EXPECT_EQ(g.state(), 0x1A08EE1184BA6D32ULL);
    EXPECT_EQ(g.next_coordinate(), 3.026616613619639);
    EXPECT_EQ(g.state(), 0x9AF678222E728119ULL);
    EXPECT_EQ(g.state() >> 33, 1299921937u);
}

TEST(CoordinateGenerator, NodesAreDrawnRowByRow) {
    const CoordinateMatrix three = CoordinateGenerator(0).generate_coordinates(3, 2);
    ASSERT_EQ(three.rows, 3u);
    ASSERT_EQ(three.cols, 2u);
    EXPECT_EQ(three.data, (std::vector<double>{0.3910432733574517, 0.5084937998346272, 3.026616613619639,
                                               2.0060810172013195, 1.918128983098578, 2.8042981663728828}));
    const CoordinateMatrix two = CoordinateGenerator(0).generate_coordinates(2, 3);
    EXPECT_EQ(two.cols, 3u);
    EXPECT_EQ(two.data, three.data);
}

TEST(CoordinateGenerator, ExtremeOutputs) {
    // Seeds whose first step lands on a chosen state: s = (t - c) * a^-1.
    std::uint64_t inverse = CoordinateGenerator::multiplier;  // Newton: x <- x(2 - ax)
    for (int k = 0; k < 6; ++k) inverse *= 2 - CoordinateGenerator::multiplier * inverse;
    ASSERT_EQ(inverse * CoordinateGenerator::multiplier, 1u);
    auto seed_for = [&](std::uint64_t target) { return (target - CoordinateGenerator::increment) * inverse; };

    CoordinateGenerator top(seed_for(~std::uint64_t{0}));
    EXPECT_EQ(top.next_coordinate(), 4.999999998835847);
    CoordinateGenerator bottom(seed_for((std::uint64_t{1} << 33) - 1));
    EXPECT_EQ(bottom.next_coordinate(), 0.0);
}

TEST(TrainingBatch, SeedSumWrapsAndGraphsAreIndependentOfTheBatch) {
    const auto wrapped = generate_batch(2, 6, 2, ~std::uint64_t{0});
    const auto zero = generate_batch(1, 6, 2, 0);
    EXPECT_EQ(wrapped[1].distance_matrix.data, zero[0].distance_matrix.data);
    EXPECT_EQ(wrapped[1].labels, zero[0].labels);
    const auto later = generate_batch(1, 6, 2, 41);
    const auto batch = generate_batch(5, 6, 2, 37);
    EXPECT_EQ(batch[4].distance_matrix.data, later[0].distance_matrix.data);
}

TEST(TrainingBatch, FailuresAndTheirOrder) {
    EXPECT_TRUE(generate_batch(0, 0, 7, 0).empty());
    auto message = [](auto&& call) {
        try {
            call();
        } catch (const InternalFailure& e) {
            return std::string(e.what());
        }
        return std::string("no failure");
    };
    EXPECT_EQ(message([] { generate_batch(1, 0, 7, 0); }), "Node list must not be empty");
    EXPECT_EQ(message([] { generate_batch(3, 4, 4, 0); }), "Only d=2 and d=3 are supported");
    EXPECT_EQ(message([] { generate_batch(1, 1, 1, 0); }), "Only d=2 and d=3 are supported");
    EXPECT_EQ(message([] { generate_batch(std::uint64_t{1} << 62, std::uint64_t{1} << 31, 2, 0); }),
              "capacity overflow");
    EXPECT_THROW(generate_batch(std::uint64_t{1} << 30, 2000, 3, 0), std::bad_alloc);
}

TEST(TrainingBatch, RecordBytes) {
    const std::size_t per_graph =
        sizeof(SimulationResult) + 30 * 30 * sizeof(double) + 435 + 84 * (sizeof(Edge) + result_edge_bytes);
    EXPECT_EQ(batch_bytes(1000, 30, 84), 1000 * per_graph);
    EXPECT_EQ(batch_bytes(0, 30, 84), 0u);
}
