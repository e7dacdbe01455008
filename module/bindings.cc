#include "module/bindings.h"

#include <iostream>

#include "engine/generators22.h"
#include "tables/checkers.h"
#include "tables/generate.h"

namespace vantrel {

void bind_generator_enum(py::module_& m) {
  py::enum_<Generator22Enum>(m, "Generator22Enum")
      .value("Generator_I22", Generator_I22)
      .value("Generator_X", Generator_X)
      .value("Generator_Y", Generator_Y)
      .value("Generator_SX", Generator_SX)
      .value("Generator_SY", Generator_SY)
      .value("Generator_SXdag", Generator_SXdag)
      .value("Generator_SYdag", Generator_SYdag)
      .export_values();
}

void bind_classes22(py::module_& m) {
  bind_query_classes<Clifford22>(m, "KeyValueClifford22", "RB22");
}

void bind_classes44(py::module_& m) {
  bind_query_classes<Clifford44>(m, "KeyValueClifford44", "RB44");
}

void bind_checkers(py::module_& m) {
  m.def("rb22_checker", &rb22_checker);
  m.def("rb44_checker", &rb44_checker);
}

void bind_generators(py::module_& m) {
  m.def(
      "generate_table22",
      [](const PathArg& path) { return generate_table22(path.bytes, std::cout); },
      py::arg("path") = "rb22.dat", "Generate Clifford-22 multiplication table and write to path");
  m.def(
      "generate_table44",
      [](const PathArg& path) { return generate_table44(path.bytes, std::cout); },
      py::arg("path") = "rb44.dat", "Generate Clifford-44 multiplication table and write to path");
}

}  // namespace vantrel
