// The interpreter's header, with sizes as Py_ssize_t; the boundaries include
// it through here (nanobind includes it the same way for its own headers).
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>
