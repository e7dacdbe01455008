// Registration of the module's names, in the order the module body calls them.
#pragma once

#include <pybind11/complex.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "tables/rb.h"

namespace vantrel {

namespace py = pybind11;

// A file-system path as the core takes it: the bytes of a str (UTF-8), of a bytes
// object, or of what the __fspath__ of an os.PathLike returns.
struct PathArg {
  std::string bytes;
};

void bind_generator_enum(py::module_& m);
void bind_classes22(py::module_& m);
void bind_classes44(py::module_& m);
void bind_checkers(py::module_& m);
void bind_generators(py::module_& m);

// The element record class (properties only, no constructor) and the query class of
// one group. Element lists are copied out, so an element object never refers into
// a query object that was reloaded or destroyed.
template <class Group>
void bind_query_classes(py::module_& m, const char* record_name, const char* query_name) {
  using Record = typename Group::Record;
  using Query = RB<Group>;
  py::class_<Record>(m, record_name)
      .def_readonly("arr", &Record::arr)
      .def_readonly("buffer", &Record::buffer)
      .def_readonly("size", &Record::size);
  constexpr auto ref = py::return_value_policy::reference;
  py::class_<Query>(m, query_name)
      .def(py::init<>())
      .def_readonly("N", &Query::N)
      .def("load_from_file",
           [](Query& q, const PathArg& path) { return q.load_from_file(path.bytes); })
      .def("get_multiplication_table_elem", &Query::get_multiplication_table_elem)
      .def("get_inverse", &Query::get_inverse)
      .def("get_group_elements", &Query::get_group_elements, py::return_value_policy::copy)
      .def("get_table", &Query::get_table, ref)
      .def("get_inverse_table", &Query::get_inverse_table, ref)
      .def("get_matrix", &Query::get_matrix, ref)
      .def("get_generator", &Query::get_generator, ref)
      .def("get_generator_size", &Query::get_generator_size)
      .def("get_full_sequence_and_inverse_sequence", &Query::get_full_sequence_and_inverse_sequence)
      .def("get_special_operations", &Query::get_special_operations, ref)
      .def("get_special_operations_str", &Query::get_special_operations_str);
}

}  // namespace vantrel

namespace pybind11::detail {

// Whatever the string caster takes, str and bytes, goes through it unchanged; other
// objects are asked for their file-system path, and an error raised by their
// __fspath__ reaches the caller as it is.
template <>
struct type_caster<vantrel::PathArg> {
  PYBIND11_TYPE_CASTER(vantrel::PathArg, const_name("os.PathLike | str | bytes"));

  bool load(handle src, bool convert) {
    if (load_string(src, convert)) return true;
    auto* type = reinterpret_cast<PyObject*>(Py_TYPE(src.ptr()));
    if (PyUnicode_Check(src.ptr()) || PyBytes_Check(src.ptr()) ||
        !PyObject_HasAttrString(type, "__fspath__")) {
      return false;
    }
    auto path = reinterpret_steal<object>(PyOS_FSPath(src.ptr()));
    if (!path) throw error_already_set();
    return load_string(path, convert);
  }

 private:
  bool load_string(handle src, bool convert) {
    make_caster<std::string> text;
    if (!text.load(src, convert)) return false;
    value.bytes = cast_op<std::string&&>(std::move(text));
    return true;
  }
};

}  // namespace pybind11::detail
