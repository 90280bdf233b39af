// _korvale_graphs: the native half of korvale_graphs. Failures map to
// Python exceptions here, once: InputError to ValueError, an internal
// failure to _korvale_graphs.InternalError (an Exception), a request refused
// up front to MemoryError with its message, and any other memory exhaustion
// to MemoryError (nanobind's own mapping of std::bad_alloc).
#include "core/failure.hpp"
#include "core/memory.hpp"
#include "graphs_module/boundary.hpp"

NB_MODULE(_korvale_graphs, m) {
    namespace nb = nanobind;
    m.doc() = "Native half of korvale_graphs; use that package.";
    nb::exception<korvale::InternalFailure>(m, "InternalError", PyExc_Exception);
    nb::register_exception_translator([](const std::exception_ptr& p, void*) {
        try {
            std::rethrow_exception(p);
        } catch (const korvale::InputError& e) {
            PyErr_SetString(PyExc_ValueError, e.what());
        } catch (const korvale::MemoryShortage& e) {
            PyErr_SetString(PyExc_MemoryError, e.what());
        }
    });
    korvale::graphs::bind_pebble(m);
    korvale::graphs::bind_models(m);
    korvale::graphs::bind_rank(m);
}
