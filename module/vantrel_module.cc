// The Vantrel extension module: argument conversion and registration only; every
// computation lives in the core library.
#include <pybind11/complex.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "module/bindings.h"

namespace py = pybind11;

namespace {

void register_module(py::module_& m) {
  vantrel::bind_generator_enum(m);
  vantrel::bind_classes22(m);
  vantrel::bind_classes44(m);
  vantrel::bind_checkers(m);
  vantrel::bind_generators(m);
  m.doc() = "[Module Vantrel]";
}

}  // namespace

// Single-phase initialisation: refuse any interpreter but 3.14, then register
// everything in order on a new module object.
extern "C" PYBIND11_EXPORT PyObject* PyInit_Vantrel() {
  PYBIND11_CHECK_PYTHON_VERSION
  PYBIND11_ENSURE_INTERNALS_READY
  static PyModuleDef def;
  auto m = py::module_::create_extension_module("Vantrel", nullptr, &def);
  try {
    register_module(m);
    return m.ptr();
  }
  PYBIND11_CATCH_INIT_EXCEPTIONS
  return nullptr;
}
