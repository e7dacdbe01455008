// Moving bytes through a file descriptor, for the table file's writer and reader.
#pragma once

#include <algorithm>
#include <cerrno>
#include <cstddef>

namespace vantrel {

// Moves all `size` bytes with `step(offset, count)`, a read() or write() of `count`
// bytes at `offset` into the buffer, a piece at a time: Windows moves at most
// INT_MAX bytes a call, and a call that a signal interrupted is made again. False
// when a call fails or moves nothing.
template <class Step>
bool transfer_all(std::size_t size, Step step) {
  for (std::size_t done = 0; done < size;) {
    const std::size_t chunk = std::min<std::size_t>(size - done, 1u << 30);
    const auto moved = step(done, static_cast<unsigned>(chunk));
    if (moved > 0) {
      done += static_cast<std::size_t>(moved);
    } else if (moved == 0 || errno != EINTR) {
      return false;
    }
  }
  return true;
}

}  // namespace vantrel
