// Binding of positional and keyword arguments to a function's parameters,
// and conversion of the bound objects into the values the bodies need.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/records.hpp"
#include "boundary/ref.hpp"

namespace korvale::py {

inline constexpr std::size_t max_params = 4;

struct ParameterList {
    const char* function;  // used in messages as "name()"
    std::array<const char*, max_params> names;
    std::size_t count;
    std::size_t required;
};

// Borrowed references, one per parameter; NULL when unbound.
using Slots = std::array<PyObject*, max_params>;

Slots bind_arguments(const ParameterList& params, PyObject* args, PyObject* kwargs);

std::uint64_t read_u64(PyObject* slot, const char* name);
double read_optional_f64(PyObject* slot, const char* name, double fallback);

// A read-only view of a two-dimensional float64 array argument, read through
// its own byte strides, as the array was when the view was taken. Python
// code must not run while it is in use: it could resize the array.
class MatrixView {
public:
    double at(std::size_t i, std::size_t j) const {
        double value;
        std::memcpy(&value,
                         data_ + static_cast<std::ptrdiff_t>(i) * row_stride_ +
                             static_cast<std::ptrdiff_t>(j) * col_stride_,
                         sizeof value);
        return value;
    }
    std::size_t rows() const noexcept { return rows_; }
    std::size_t cols() const noexcept { return cols_; }

    // A row-major copy, the module's own storage.
    Matrix copy() const;

private:
    friend class ArrayArgument;
    MatrixView() = default;

    const char* data_ = nullptr;
    std::size_t rows_ = 0;
    std::size_t cols_ = 0;
    std::ptrdiff_t row_stride_ = 0;
    std::ptrdiff_t col_stride_ = 0;
};

// A two-dimensional float64 array argument, checked when it is read and
// referenced until destroyed (always with the interpreter lock held). Its
// data, shape and strides are taken only by view(), once every other
// argument has been converted: a conversion can run Python code (__index__,
// __float__) that resizes or retypes the array and frees its old buffer.
class ArrayArgument {
public:
    // Checks the array again (the same TypeError if it no longer qualifies)
    // and takes its layout as it is now.
    MatrixView view() const;

private:
    friend ArrayArgument read_f64_array2(PyObject* slot, const char* name);
    ArrayArgument(Ref array, const char* name) : array_(std::move(array)), name_(name) {}

    Ref array_;
    const char* name_;
};

ArrayArgument read_f64_array2(PyObject* slot, const char* name);

}  // namespace korvale::py
