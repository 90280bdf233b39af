// The entry points of the module's functions, in registration order.
#pragma once

#include "boundary/python.hpp"

namespace korvale::py {

PyObject* simulate_entry(PyObject* self, PyObject* args, PyObject* kwargs);
PyObject* gram_from_dist_entry(PyObject* self, PyObject* args, PyObject* kwargs);
PyObject* generate_training_batch_entry(PyObject* self, PyObject* args, PyObject* kwargs);
PyObject* max_independent_entry(PyObject* self, PyObject* args, PyObject* kwargs);
PyObject* reconstruct_entry(PyObject* self, PyObject* args, PyObject* kwargs);
PyObject* pebble_game_entry(PyObject* self, PyObject* args, PyObject* kwargs);

}  // namespace korvale::py
