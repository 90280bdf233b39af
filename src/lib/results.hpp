// Conversion of the module's results into Python objects. Buffers become
// NumPy array data without copying; a PySliceContainer owns each of them and
// frees it when the last array using it goes away.
#pragma once

#include <cstdint>
#include <vector>

#include "core/records.hpp"
#include "boundary/ref.hpp"

namespace korvale::py {

Ref array_from_labels(Labels&& labels);
Ref array_from_floats(std::vector<double>&& values);
Ref array_from_matrix(Matrix&& matrix);

Ref int_from_u64(std::uint64_t value);
Ref float_from_f64(double value);
Ref bool_from(bool value);
Ref edge_tuple(const Edge& edge);
Ref edge_list(const EdgeList& edges);

Ref new_dict();
Ref new_list();
// Inserts value under a new str key; a failed insertion is the caller's error.
void dict_set(PyObject* dict, const char* key, Ref value);
void dict_set(PyObject* dict, PyObject* key, Ref value);
// A new str from UTF-8 text.
Ref text(const char* utf8);
void list_append(PyObject* list, PyObject* item);

}  // namespace korvale::py
