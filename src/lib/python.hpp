// The one place the boundary includes the interpreter's header.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>
