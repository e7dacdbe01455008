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
    auto text = py::reinterpret_steal<py::object>(PyUnicode_DecodeUTF8(
        what.data(), static_cast<Py_ssize_t>(what.size()), "backslashreplace"));
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

// Registers everything on the module object the interpreter made. The module holds
// pybind11 state that belongs to one interpreter; a legacy subinterpreter shares
// the main one's GIL and would share its types too, and tear them down with it, so
// every interpreter but the main one is refused (isolated ones by the interpreter,
// from the slot below). A second import in the main interpreter gets the first
// module again.
int exec_module(PyObject* module) {
  if (PyInterpreterState_Get() != PyInterpreterState_Main()) {
    PyErr_SetString(PyExc_ImportError, "Vantrel can only be imported in the main interpreter");
    return -1;
  }
  try {
    py::detail::ensure_internals();
    auto m = py::reinterpret_borrow<py::module_>(module);
    if (py::detail::get_cached_module(m.attr("__spec__").attr("name")) == nullptr) {
      register_module(m);
      py::detail::cache_completed_module(m);
    }
    return 0;
  }
  PYBIND11_CATCH_INIT_EXCEPTIONS
  return -1;
}

}  // namespace

// Refuses any interpreter but 3.14; the module itself is made per import, in the
// importing interpreter (exec_module).
extern "C" PYBIND11_EXPORT PyObject* PyInit_Vantrel() {
  PYBIND11_CHECK_PYTHON_VERSION
  try {
    py::detail::ensure_internals();
    static auto slots =
        py::detail::init_slots(&exec_module, py::multiple_interpreters::not_supported());
    static PyModuleDef def{PyModuleDef_HEAD_INIT, "Vantrel", nullptr, 0,      nullptr,
                           slots.data(),          nullptr,   nullptr, nullptr};
    return PyModuleDef_Init(&def);
  }
  PYBIND11_CATCH_INIT_EXCEPTIONS
  return nullptr;
}
