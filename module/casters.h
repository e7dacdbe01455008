// How the module's arguments and results cross into and out of Python. Included by
// every file of the module before anything is bound, so that these conversions are
// the only ones the bindings use:
//   - an int takes an int or an object with __index__, nothing else, and must fit
//     32 bits; an int list takes a sequence (not str or bytes) of such items;
//   - a path takes str or an os.PathLike (encoded with the file-system encoding, as
//     open() does) or bytes (as they are);
//   - an error raised by an argument's own __index__, __len__, __getitem__ or
//     __fspath__ reaches the caller unchanged;
//   - a result or argument that cannot be built (memory exhausted) raises
//     MemoryError;
//   - a query or record object whose constructor never ran is refused with
//     TypeError instead of being read.
#pragma once

#include <pybind11/complex.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <array>
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "clifford1q/group22.h"
#include "clifford2q/group44.h"
#include "tables/rb22.h"
#include "tables/rb44.h"

namespace vantrel {

// A file-system path as the core takes it: its bytes.
struct PathArg {
  std::string bytes;
};

}  // namespace vantrel

namespace pybind11::detail {

// A new list of `size` items, item(k) giving a new reference to item k.
template <class Item>
handle new_list(std::size_t size, Item item) {
  auto list = reinterpret_steal<object>(PyList_New(static_cast<ssize_t>(size)));
  if (!list) throw error_already_set();
  for (std::size_t k = 0; k < size; ++k) {
    PyObject* value = item(k);
    if (value == nullptr) throw error_already_set();
    PyList_SET_ITEM(list.ptr(), static_cast<ssize_t>(k), value);
  }
  return list.release();
}

template <>
struct type_caster<std::int32_t> {
  PYBIND11_TYPE_CASTER(std::int32_t, io_name("typing.SupportsInt | typing.SupportsIndex", "int"));

  bool load(handle src, bool) {
    // A float, Decimal or Fraction has no __index__; neither has a NumPy float.
    if (!src || !PyIndex_Check(src.ptr())) return false;
    object index;
    if (!PyLong_CheckExact(src.ptr())) {
      index = reinterpret_steal<object>(PyNumber_Index(src.ptr()));
      if (!index) throw error_already_set();
      src = index;
    }
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(src.ptr(), &overflow);
    if (v == -1 && PyErr_Occurred()) throw error_already_set();
    if (overflow != 0 || v < INT32_MIN || v > INT32_MAX) return false;
    value = static_cast<std::int32_t>(v);
    return true;
  }
  static handle cast(std::int32_t src, return_value_policy, handle) {
    PyObject* result = PyLong_FromLong(src);
    if (result == nullptr) throw error_already_set();
    return result;
  }
};

template <>
struct type_caster<std::vector<std::int32_t>> {
  using Item = make_caster<std::int32_t>;
  PYBIND11_TYPE_CASTER(std::vector<std::int32_t>, io_name("collections.abc.Sequence", "list") +
                                                      const_name("[") + Item::name +
                                                      const_name("]"));

  bool load(handle src, bool convert) {
    PyObject* seq = src.ptr();
    // Sets, dict views, iterators and generators are not sequences.
    if (!seq || !PySequence_Check(seq) || PyUnicode_Check(seq) || PyBytes_Check(seq)) {
      return false;
    }
    const ssize_t size = PySequence_Size(seq);
    if (size < 0) throw error_already_set();
    // A length no vector can hold (range(2**62)) is memory that cannot be had.
    if (static_cast<std::size_t>(size) > value.max_size()) {
      PyErr_NoMemory();
      throw error_already_set();
    }
    value.clear();
    value.reserve(static_cast<std::size_t>(size));
    for (ssize_t k = 0; k < size; ++k) {
      // A new reference each: an item's __index__ may change the sequence.
      auto item = reinterpret_steal<object>(PySequence_GetItem(seq, k));
      if (!item) throw error_already_set();
      Item conv;
      if (!conv.load(item, convert)) return false;
      value.push_back(conv);
    }
    return true;
  }
  template <class Values>
  static handle cast(const Values& src, return_value_policy, handle) {
    return new_list(src.size(), [&](std::size_t k) { return PyLong_FromLong(src[k]); });
  }
};

// A whole multiplication table: one int object per distinct value serves every entry
// that holds it, as the values are element indices 0..n-1 of an n·n table.
template <>
struct type_caster<vantrel::IndexTable> {
  PYBIND11_TYPE_CASTER(vantrel::IndexTable, const_name("list[int]"));
  bool load(handle, bool) { return false; }
  static handle cast(const vantrel::IndexTable& src, return_value_policy, handle) {
    std::size_t n = 0;
    while (n * n < src.size()) ++n;
    std::vector<object> ints(n);
    for (std::size_t v = 0; v < n; ++v) {
      ints[v] = reinterpret_steal<object>(PyLong_FromSize_t(v));
      if (!ints[v]) throw error_already_set();
    }
    return new_list(src.size(), [&](std::size_t k) {
      PyObject* value = ints[static_cast<std::size_t>(src[k])].ptr();
      Py_INCREF(value);
      return value;
    });
  }
};

// A record's word slots or matrix entries, as a new list; named as the binding
// library names a fixed-size list result.
inline PyObject* new_item(std::int32_t v) { return PyLong_FromLong(v); }
inline PyObject* new_item(vantrel::Complex z) { return PyComplex_FromDoubles(z.real(), z.imag()); }
template <class T, std::size_t N>
struct fixed_list_caster {
  using Array = std::array<T, N>;
  static constexpr auto kItem = const_name<std::is_same_v<T, std::int32_t>>("int", "complex");
  PYBIND11_TYPE_CASTER(Array, const_name("typing.Annotated[list[") + kItem +
                                  const_name("], \"FixedSize(") + const_name<N>() +
                                  const_name(")\"]"));
  bool load(handle, bool) { return false; }
  static handle cast(const Array& src, return_value_policy, handle) {
    return new_list(N, [&](std::size_t k) { return new_item(src[k]); });
  }
};
template <std::size_t N>
struct type_caster<std::array<std::int32_t, N>> : fixed_list_caster<std::int32_t, N> {};
template <std::size_t N>
struct type_caster<std::array<vantrel::Complex, N>> : fixed_list_caster<vantrel::Complex, N> {};

// Query and record objects: refused, not read, when their constructor never ran
// (made with __new__, or a subclass calling a method before __init__).
template <class T>
struct constructed_caster : type_caster_base<T> {
  bool load(handle src, bool convert) {
    const type_info* type = this->typeinfo;
    if (src && PyObject_TypeCheck(src.ptr(), type->type)) {
      auto* inst = reinterpret_cast<instance*>(src.ptr());
      if (!inst->get_value_and_holder(type).holder_constructed()) {
        throw type_error(std::string(type->type->tp_name) +
                         " object is not initialised: its __init__ was not called");
      }
    }
    return type_caster_base<T>::load(src, convert);
  }
};
template <>
struct type_caster<vantrel::RB22> : constructed_caster<vantrel::RB22> {};
template <>
struct type_caster<vantrel::RB44> : constructed_caster<vantrel::RB44> {};
template <>
struct type_caster<vantrel::KeyValueClifford22> : constructed_caster<vantrel::KeyValueClifford22> {
};
template <>
struct type_caster<vantrel::KeyValueClifford44> : constructed_caster<vantrel::KeyValueClifford44> {
};

template <class Record>
struct record_list_caster {
  using Records = std::vector<Record>;
  PYBIND11_TYPE_CASTER(Records, const_name("list[") + make_caster<Record>::name + const_name("]"));
  bool load(handle, bool) { return false; }
  static handle cast(const std::vector<Record>& src, return_value_policy, handle parent) {
    return new_list(src.size(), [&](std::size_t k) {
      return make_caster<Record>::cast(src[k], return_value_policy::copy, parent).ptr();
    });
  }
};
template <>
struct type_caster<std::vector<vantrel::KeyValueClifford22>>
    : record_list_caster<vantrel::KeyValueClifford22> {};
template <>
struct type_caster<std::vector<vantrel::KeyValueClifford44>>
    : record_list_caster<vantrel::KeyValueClifford44> {};

template <>
struct type_caster<vantrel::PathArg> {
  PYBIND11_TYPE_CASTER(vantrel::PathArg, const_name("os.PathLike | str | bytes"));

  bool load(handle src, bool) {
    PyObject* path = src.ptr();
    object fspath;
    if (!PyUnicode_Check(path) && !PyBytes_Check(path)) {
      auto* type = reinterpret_cast<PyObject*>(Py_TYPE(path));
      if (!PyObject_HasAttrString(type, "__fspath__")) return false;
      fspath = reinterpret_steal<object>(PyOS_FSPath(path));
      if (!fspath) throw error_already_set();
      path = fspath.ptr();
    }
    object encoded;
    if (PyUnicode_Check(path)) {
      encoded = reinterpret_steal<object>(PyUnicode_EncodeFSDefault(path));
      if (!encoded) throw error_already_set();
      path = encoded.ptr();
    }
    if (!PyBytes_Check(path)) return false;
    value.bytes.assign(PyBytes_AS_STRING(path), static_cast<std::size_t>(PyBytes_GET_SIZE(path)));
    return true;
  }
};

}  // namespace pybind11::detail
