// Storage for multiplication tables, which reach half a gigabyte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>
#include <vector>

#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#define VANTREL_HAVE_MMAP 1
#endif

namespace vantrel {

// Hands out memory that is already zero, so elements are not value-initialised a
// second time. Where the system has mmap the memory comes straight from the kernel,
// page by page as it is first touched, in 2 MiB pages where the system grants them
// (MADV_HUGEPAGE): a fault per 4 KiB page was most of the cost of reading a table from
// its file (measured on a virtual machine, 1.3-1.5 s of system time for a two-qubit
// load, 0.05-0.8 s with huge pages). Elsewhere (Windows) it comes from calloc, whose
// large blocks are the system's zeroed pages too.
template <class T>
struct KernelAllocator {
  using value_type = T;
  KernelAllocator() = default;
  template <class U>
  KernelAllocator(const KernelAllocator<U>&) {}

  T* allocate(std::size_t n) {
#ifdef VANTREL_HAVE_MMAP
#ifdef MAP_ANONYMOUS
    int flags = MAP_PRIVATE | MAP_ANONYMOUS;
#else
    int flags = MAP_PRIVATE | MAP_ANON;  // the older BSD name
#endif
    void* p = mmap(nullptr, n * sizeof(T), PROT_READ | PROT_WRITE, flags, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    ::madvise(p, n * sizeof(T), MADV_HUGEPAGE);
#endif
#else
    void* p = std::calloc(n, sizeof(T));
    if (p == nullptr) throw std::bad_alloc();
#endif
    return static_cast<T*>(p);
  }
  void deallocate(T* p, [[maybe_unused]] std::size_t n) {
#ifdef VANTREL_HAVE_MMAP
    munmap(p, n * sizeof(T));
#else
    std::free(p);
#endif
  }

  // Default construction leaves the zeros in place.
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
