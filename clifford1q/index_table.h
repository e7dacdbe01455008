// Storage for multiplication tables, which reach half a gigabyte.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

namespace vantrel {

// Takes memory straight from the kernel, zeroed and mapped in one go (MAP_POPULATE):
// elements are not value-initialised a second time, and filling a table, or reading
// one from a file, takes no page fault per page, which is most of the cost of
// touching half a gigabyte.
template <class T>
struct KernelAllocator {
  using value_type = T;
  KernelAllocator() = default;
  template <class U>
  KernelAllocator(const KernelAllocator<U>&) {}

  T* allocate(std::size_t n) {
    const std::size_t bytes = n * sizeof(T);
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    return static_cast<T*>(p);
  }
  void deallocate(T* p, std::size_t n) { munmap(p, n * sizeof(T)); }

  // Default construction leaves the kernel's zeros in place.
  template <class U>
  void construct(U* p) {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }

  friend bool operator==(const KernelAllocator&, const KernelAllocator&) { return true; }
};

// A row-major n·n table of element indices, zero when created.
using IndexTable = std::vector<std::int32_t, KernelAllocator<std::int32_t>>;

}  // namespace vantrel
