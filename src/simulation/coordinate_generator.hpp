#pragma once

#include <cstddef>
#include <cstdint>

#include "core/records.hpp"

namespace korvale {

// The coordinates of korvale's complete-graph functions (the graph models
// draw theirs from random/engine.hpp): a 64-bit linear congruential
// generator (MMIX multiplier and increment) seeded with the
// seed as it is, its top 31 bits scaled to [0, 5) by a rounded division and
// a rounded multiplication, so the same seed gives the same bits everywhere.
class CoordinateGenerator {
public:
    static constexpr std::uint64_t multiplier = 6364136223846793005ULL;
    static constexpr std::uint64_t increment = 1442695040888963407ULL;

    explicit CoordinateGenerator(std::uint64_t seed) : state_(seed) {}

    double next_coordinate() {
        state_ = state_ * multiplier + increment;  // wraps modulo 2^64
        const double top = static_cast<double>(state_ >> 33);
        // Two roundings: 10/4294967295 as one constant gives other bits.
        const double quotient = top / 4294967295.0;
        return quotient * 10.0;
    }

    // n_nodes nodes of d coordinates, drawn row by row.
    CoordinateMatrix generate_coordinates(std::size_t n_nodes, std::size_t d);

    std::uint64_t state() const noexcept { return state_; }

private:
    std::uint64_t state_;
};

}  // namespace korvale
