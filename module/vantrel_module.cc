// The Vantrel extension module: argument conversion and registration only; every
// computation lives in the core library.
#include <exception>
#include <stdexcept>
#include <string_view>

#include "module/bindings.h"

namespace py = pybind11;

namespace {

// A runtime error of the core reaches Python as RuntimeError with the same text; a
// path in it that is not UTF-8 keeps its bytes as backslash escapes. When a Python
// error is already pending (a result that could not be allocated), it stands.
void translate_runtime_error(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const py::builtin_exception&) {
    throw;  // TypeError, ValueError and the rest of the binding library's own
  } catch (const std::range_error&) {
    throw;
  } catch (const std::overflow_error&) {
    throw;
  } catch (const std::runtime_error& e) {
    if (PyErr_Occurred() != nullptr) return;
    const std::string_view what = e.what();
    auto text = py::reinterpret_steal<py::object>(
        PyUnicode_DecodeUTF8(what.data(), static_cast<Py_ssize_t>(what.size()), "backslashreplace"));
    if (text) PyErr_SetObject(PyExc_RuntimeError, text.ptr());
  }
}

void register_module(py::module_& m) {
  py::register_local_exception_translator(translate_runtime_error);
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
