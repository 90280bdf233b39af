// _korvale_graphs: the native half of korvale_graphs. Failures map to
// Python exceptions here, once, as in the other module (InputError to
// ValueError, memory to MemoryError, an interrupt as raised; see
// boundary/python_error.hpp), except that an internal failure becomes
// _korvale_graphs.InternalError (an Exception).
#include "boundary/python_error.hpp"
#include "core/failure.hpp"
#include "graphs_module/boundary.hpp"

NB_MODULE(_korvale_graphs, m) {
    namespace nb = nanobind;
    m.doc() = "Native half of korvale_graphs; use that package.";
    nb::exception<korvale::InternalFailure>(m, "InternalError", PyExc_Exception);
    // Tried before the InternalError translator; what it does not set is
    // passed on by rethrowing, as nanobind asks of translators.
    nb::register_exception_translator([](const std::exception_ptr& p, void*) {
        if (!korvale::py::set_python_error(p)) std::rethrow_exception(p);
    });
    korvale::graphs::bind_pebble(m);
    korvale::graphs::bind_models(m);
    korvale::graphs::bind_rank(m);
}
