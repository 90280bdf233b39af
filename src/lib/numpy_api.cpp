#include "lib/numpy_api.hpp"

#include <string>

#include "lib/errors.hpp"

namespace korvale::py::numpy {

namespace {

// Slot numbers in the table; unchanged from NumPy 1.17 through 2.x.
constexpr int SLOT_ARRAY_TYPE = 2;
constexpr int SLOT_DESCR_FROM_TYPE = 45;
constexpr int SLOT_NEW_FROM_DESCR = 94;
constexpr int SLOT_EQUIV_TYPES = 182;
constexpr int SLOT_SET_BASE_OBJECT = 282;

bool loaded = false;
Api table{};
std::string core_module;  // "numpy._core" or "numpy.core", once known

const char* capsule_failure = "Failed to access NumPy array API capsule";

[[noreturn]] void fail_with_pending() {
    PyError error = PyError::take();
    internal_failure(std::string(capsule_failure) + ": " + describe_exception(error.exception()));
}

PyObject* need(PyObject* p) {
    if (p == nullptr) fail_with_pending();
    return p;
}

// NumPy 2 moved its core to numpy._core; NumPy 1 has it at numpy.core.
const std::string& core_module_name() {
    if (!core_module.empty()) return core_module;
    Ref numpy = Ref::steal(need(PyImport_ImportModule("numpy")));
    Ref version = Ref::steal(need(PyObject_GetAttrString(numpy.get(), "__version__")));
    Ref lib = Ref::steal(need(PyImport_ImportModule("numpy.lib")));
    Ref parsed = Ref::steal(need(PyObject_CallMethod(lib.get(), "NumpyVersion", "O", version.get())));
    Ref major_obj = Ref::steal(need(PyObject_GetAttrString(parsed.get(), "major")));
    long major = PyLong_AsLong(major_obj.get());
    if (major == -1 && PyErr_Occurred()) fail_with_pending();
    core_module = major >= 2 ? "numpy._core" : "numpy.core";
    return core_module;
}

void load() {
    const std::string module_name = core_module_name() + ".multiarray";
    Ref multiarray = Ref::steal(need(PyImport_ImportModule(module_name.c_str())));
    Ref capsule = Ref::steal(need(PyObject_GetAttrString(multiarray.get(), "_ARRAY_API")));
    if (!PyCapsule_CheckExact(capsule.get()))
        internal_failure(std::string(capsule_failure) + ": _ARRAY_API is not a capsule");
    const char* name = PyCapsule_GetName(capsule.get());
    if (name == nullptr) PyErr_Clear();
    void* pointer = PyCapsule_GetPointer(capsule.get(), name);
    if (pointer == nullptr) {
        PyErr_Clear();
        internal_failure(std::string(capsule_failure) + ": the capsule holds no pointer");
    }
    void** slots = static_cast<void**>(pointer);
    table.array_type = static_cast<PyTypeObject*>(slots[SLOT_ARRAY_TYPE]);
    table.descr_from_type = reinterpret_cast<decltype(table.descr_from_type)>(slots[SLOT_DESCR_FROM_TYPE]);
    table.new_from_descr = reinterpret_cast<decltype(table.new_from_descr)>(slots[SLOT_NEW_FROM_DESCR]);
    table.equiv_types = reinterpret_cast<decltype(table.equiv_types)>(slots[SLOT_EQUIV_TYPES]);
    table.set_base_object = reinterpret_cast<decltype(table.set_base_object)>(slots[SLOT_SET_BASE_OBJECT]);
    loaded = true;
}

}  // namespace

const Api& api() {
    if (!loaded) load();
    return table;
}

}  // namespace korvale::py::numpy
