#include "reconstruct/double_center.hpp"

#include "core/interrupt.hpp"

namespace korvale {

std::size_t square_bytes(std::size_t n, std::size_t count) {
    return checked_capacity(checked_capacity(n, n, sizeof(double)) * sizeof(double), count, 1);
}

Matrix double_center(const DistanceMatrix& dist) {
    const std::size_t n = dist.rows;
    InterruptPoll poll;
    Matrix sq(n, n);
    for (std::size_t i = 0; i < n; ++i) {
        const double* x = dist.row(i);
        double* s = sq.row(i);
        for (std::size_t j = 0; j < n; ++j) s[j] = x[j] * x[j];
        poll(n);
    }

    const double w = 1.0 / static_cast<double>(n);
    std::vector<double> row_mean(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double* s = sq.row(i);
        double sum = 0.0;
        for (std::size_t j = 0; j < n; ++j) sum += s[j];
        row_mean[i] = sum * w;
        poll(2 * n);
    }
    double total = 0.0;
    for (std::size_t i = 0; i < n; ++i) total += row_mean[i];
    const double grand = total * w;

    Matrix gram(n, n);
    for (std::size_t i = 0; i < n; ++i) {
        const double* s = sq.row(i);
        double* g = gram.row(i);
        for (std::size_t j = 0; j < n; ++j)
            g[j] = (((s[j] - row_mean[i]) - row_mean[j]) + grand) * -0.5;
        poll(4 * n);
    }
    return gram;
}

}  // namespace korvale
