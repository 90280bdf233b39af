// Internal failures of the domain code and the boundary alike.
//
// A violated guard is reported once on standard error at the place where it
// failed, then carried to the entry point as an InternalFailure, which the
// boundary raises as the internal-failure exception.
#pragma once

#include <cstddef>
#include <exception>
#include <initializer_list>
#include <source_location>
#include <string>
#include <vector>

namespace korvale {

class InternalFailure : public std::exception {
public:
    explicit InternalFailure(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& message() const noexcept { return message_; }

private:
    std::string message_;
};

// A request the caller can correct (a node outside the graph, a count out of
// range): the message names the offending argument and value. Boundaries
// raise it as ValueError.
class InputError : public std::exception {
public:
    explicit InputError(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

// Writes the diagnostic (unit, line, column, message) and throws.
[[noreturn]] void internal_failure(std::string message,
                                   std::source_location where = std::source_location::current());

// Throws "capacity overflow" when count elements of elem_size bytes would
// need more bytes than the largest signed machine word; returns count.
std::size_t checked_capacity(std::size_t count, std::size_t elem_size,
                             std::source_location where = std::source_location::current());

// count_a * count_b elements of elem_size bytes, with the same guard.
std::size_t checked_capacity(std::size_t count_a, std::size_t count_b, std::size_t elem_size,
                             std::source_location where = std::source_location::current());

// The sum of byte counts, with the same guard.
std::size_t checked_sum(std::initializer_list<std::size_t> parts,
                        std::source_location where = std::source_location::current());

[[noreturn]] void index_out_of_bounds(std::size_t len, std::size_t index,
                                      std::source_location where = std::source_location::current());

// Bounds-checked element access for the few places where an index comes from
// data rather than from a loop bound.
template <class T>
inline T& checked_at(std::vector<T>& v, std::size_t i,
                     std::source_location where = std::source_location::current()) {
    if (i >= v.size()) index_out_of_bounds(v.size(), i, where);
    return v[i];
}

template <class T>
inline const T& checked_at(const std::vector<T>& v, std::size_t i,
                           std::source_location where = std::source_location::current()) {
    if (i >= v.size()) index_out_of_bounds(v.size(), i, where);
    return v[i];
}

}  // namespace korvale
