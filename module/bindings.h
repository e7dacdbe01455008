// Registration of the module's names, in the order the module body calls them.
#pragma once

#include "module/casters.h"

namespace vantrel {

namespace py = pybind11;

void bind_generator_enum(py::module_& m);
void bind_classes22(py::module_& m);
void bind_classes44(py::module_& m);
void bind_checkers(py::module_& m);
void bind_generators(py::module_& m);

// A read-only property whose getter carries the property's name, so that an attempt
// to assign to it names the property.
template <class Class, class Field, class Owner>
void readonly(py::class_<Class>& cls, const char* name, const Field Owner::*field) {
  cls.def_property_readonly(
      name,
      py::cpp_function([field](const Class& c) -> const Field& { return c.*field; }, py::name(name),
                       py::is_method(cls)),
      py::return_value_policy::reference_internal);
}

// The element record class (properties only, no constructor) and the query class of
// one group. Element lists are copied out, so an element object never refers into
// a query object that was reloaded or destroyed.
template <class Group>
void bind_query_classes(py::module_& m, const char* record_name, const char* query_name) {
  using Record = typename Group::Record;
  using Query = RB<Group>;
  py::class_<Record> record(m, record_name);
  readonly(record, "arr", &Record::arr);
  readonly(record, "buffer", &Record::buffer);
  readonly(record, "size", &Record::size);
  constexpr auto ref = py::return_value_policy::reference;
  py::class_<Query> query(m, query_name);
  query.def(py::init<>());
  readonly(query, "N", &Query::N);
  query
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
