// The one random engine of the graph models, written out so that the same
// seed gives the same bits on every platform (korvale_data.streams mirrors
// its finaliser in NumPy for the per-graph seeds and splits of datasets).
//
// SplitMix64 (Steele, Lea and Flood 2014): the state advances by
// 0x9E3779B97F4A7C15 per draw (wrapping), and each output is the state
// mixed by  z = (z ^ z >> 30) * 0xBF58476D1CE4E5B9;  z = (z ^ z >> 27) *
// 0x94D049BB133111EB;  z ^ z >> 31.
//   - stream(seed, k): graph k of a dataset seeded with s starts at
//     mix(mix(s) ^ k), so neighbouring seeds and indices give unrelated
//     streams.
//   - uniform(): the top 53 bits times 2^-53, in [0, 1).
//   - below(bound): Lemire's multiply-and-reject, unbiased in [0, bound).
#pragma once

#include <cstdint>

namespace korvale {

class Engine {
public:
    static constexpr std::uint64_t golden = 0x9E3779B97F4A7C15ULL;

    explicit Engine(std::uint64_t seed) noexcept : state_(seed) {}
    static Engine stream(std::uint64_t seed, std::uint64_t k) noexcept { return Engine(mix(mix(seed) ^ k)); }

    static std::uint64_t mix(std::uint64_t z) noexcept {
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }

    std::uint64_t next() noexcept {
        state_ += golden;
        return mix(state_);
    }
    double uniform() noexcept { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    std::uint64_t below(std::uint64_t bound) noexcept {
        unsigned __int128 product = static_cast<unsigned __int128>(next()) * bound;
        auto low = static_cast<std::uint64_t>(product);
        if (low < bound) {
            const std::uint64_t threshold = (0 - bound) % bound;
            while (low < threshold) {
                product = static_cast<unsigned __int128>(next()) * bound;
                low = static_cast<std::uint64_t>(product);
            }
        }
        return static_cast<std::uint64_t>(product >> 64);
    }

private:
    std::uint64_t state_;
};

}  // namespace korvale
