// Module creation: one module object per process, bound to the interpreter
// that imported it first, with the six functions added one by one.
#include <atomic>
#include <cstdint>

#include "lib/docstrings.hpp"
#include "lib/entries.hpp"
#include "lib/errors.hpp"

namespace korvale::py {

namespace {

std::atomic<std::int64_t> owning_interpreter{-1};
PyObject* module_slot = nullptr;  // set once, never released

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "korvale", "", 0, nullptr, nullptr, nullptr, nullptr, nullptr,
};

template <PyObject* (*Entry)(PyObject*, PyObject*, PyObject*)>
constexpr PyCFunction entry() {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(Entry));
}

PyMethodDef functions[] = {
    {"simulate", entry<simulate_entry>(), METH_VARARGS | METH_KEYWORDS, simulate_doc},
    {"gram_from_dist", entry<gram_from_dist_entry>(), METH_VARARGS | METH_KEYWORDS, gram_from_dist_doc},
    {"generate_training_batch", entry<generate_training_batch_entry>(), METH_VARARGS | METH_KEYWORDS,
     generate_training_batch_doc},
    {"max_independent", entry<max_independent_entry>(), METH_VARARGS | METH_KEYWORDS, max_independent_doc},
    {"reconstruct", entry<reconstruct_entry>(), METH_VARARGS | METH_KEYWORDS, reconstruct_doc},
    {"pebble_game", entry<pebble_game_entry>(), METH_VARARGS | METH_KEYWORDS, pebble_game_doc},
};

// The module's __all__, created as an empty list when it is missing.
PyObject* all_list(PyObject* module) {
    PyObject* all = PyObject_GetAttrString(module, "__all__");
    if (all == nullptr) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) throw PyError::take();
        PyErr_Clear();
        all = ok_or_throw(PyList_New(0));
        if (PyObject_SetAttrString(module, "__all__", all) != 0) {
            Py_DECREF(all);
            throw PyError::take();
        }
    }
    if (!PyList_Check(all)) {
        Py_DECREF(all);
        throw PyError::make(PyExc_TypeError, "__all__ must be a list");
    }
    return all;
}

void add_function(PyObject* module, PyObject* module_name, PyMethodDef* def) {
    Ref function = Ref::steal(ok_or_throw(PyCMethod_New(def, module, module_name, nullptr)));
    Ref name = Ref::steal(ok_or_throw(PyObject_GetAttrString(function.get(), "__name__")));
    Ref all = Ref::steal(all_list(module));
    if (PyList_Append(all.get(), name.get()) != 0) {
        PyErr_Clear();
        internal_failure("could not append __name__ to __all__");
    }
    if (PyObject_SetAttr(module, name.get(), function.get()) != 0) throw PyError::take();
}

PyObject* init() {
    const std::int64_t current = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (current == -1) throw PyError::take();
    std::int64_t expected = -1;
    if (!owning_interpreter.compare_exchange_strong(expected, current) && expected != current)
        throw PyError::make(PyExc_ImportError,
                            "korvale does not support sub-interpreters: it is already loaded in "
                            "another interpreter of this process");
    if (module_slot != nullptr) return Ref::borrow(module_slot).release();

    Ref module = Ref::steal(ok_or_throw(PyModule_Create2(&module_def, PYTHON_ABI_VERSION)));
    Ref module_name = Ref::steal(ok_or_throw(PyModule_GetNameObject(module.get())));
    for (PyMethodDef& def : functions) add_function(module.get(), module_name.get(), &def);

    if (module_slot == nullptr) module_slot = module.release();
    return Ref::borrow(module_slot).release();
}

}  // namespace

}  // namespace korvale::py

PyMODINIT_FUNC PyInit_korvale() {
    return korvale::py::guarded([] { return korvale::py::init(); });
}
