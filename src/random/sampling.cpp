#include "random/sampling.hpp"

#include <cmath>

namespace korvale {

double portable_log(double x) {
    int exponent = 0;
    double m = std::frexp(x, &exponent);  // x = m 2^e, m in [0.5, 1): exact
    if (m < 0.7071067811865476) {         // m in [1/sqrt 2, sqrt 2), so that log(1) is 0
        m = m * 2.0;
        --exponent;
    }
    const double t = (m - 1.0) / (m + 1.0);  // |t| < 0.172
    const double t2 = t * t;
    double term = t, sum = 0.0;
    for (int k = 1; k <= 41; k += 2) {  // 0.172^42 is far below a unit in the last place
        sum = sum + term / k;
        term = term * t2;
    }
    return static_cast<double>(exponent) * 0.6931471805599453 + 2.0 * sum;
}

}  // namespace korvale
