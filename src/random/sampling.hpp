// Sampling built on the engine with IEEE arithmetic alone (no library
// functions whose last bits differ between platforms).
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "random/engine.hpp"

namespace korvale {

// Natural logarithm of x > 0 from frexp (exact) and the series of
// 2 atanh((m - 1)/(m + 1)), m in [1/sqrt 2, sqrt 2), summed in a fixed
// order: not correctly rounded, but the same bits everywhere; log(1) = 0.
double portable_log(double x);

// Fisher-Yates from the last position down, with unbiased bounded draws.
template <class T>
void shuffle(std::vector<T>& items, Engine& engine) {
    for (std::size_t i = items.size(); i > 1; --i) std::swap(items[i - 1], items[engine.below(i)]);
}

}  // namespace korvale
