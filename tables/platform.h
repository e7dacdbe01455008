// What differs between the systems the table files are written and read on, in one
// place, so that the writer and the reader hold no conditional code. Where a flag
// of open() is missing it is 0 here, which is what the system does without it (no
// text translation to turn off, no descriptors inherited by programs the process
// never starts, no FIFOs); where a call is missing, its function here does what the
// system would do without it.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <string>

#ifdef _WIN32
#include <io.h>  // open, read, write, lseek, close
#else
#include <unistd.h>
#endif

namespace vantrel::platform {

#ifdef O_BINARY
inline constexpr int kBinary = O_BINARY, kText = O_TEXT;
#else
inline constexpr int kBinary = 0, kText = 0;
#endif
#ifdef O_CLOEXEC
inline constexpr int kCloseOnExec = O_CLOEXEC;
#else
inline constexpr int kCloseOnExec = 0;
#endif
#ifdef O_NONBLOCK
inline constexpr int kNonBlocking = O_NONBLOCK;
#else
inline constexpr int kNonBlocking = 0;
#endif

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

// Throws std::invalid_argument when path holds a NUL character, which the C library
// would take as its end.
void reject_nul(const std::string& path);

// Whether the process may write the existing file at `path`.
bool may_write(const std::string& path);

// Makes reads and writes on fd wait again, after an open() that did not.
void make_blocking(int fd);

// Gives the new file behind fd the permission bits of `mode`.
void keep_mode(int fd, unsigned mode);

// Lets the pages the file at `path` holds in the page cache go back to the system
// now; its bytes on the disk stay as they are.
void drop_cached_pages(const std::string& path);

// Allocates the first `size` bytes of fd's file on the disk where the file system
// can; false only when the disk is too small for them.
bool allocate(int fd, std::size_t size);

// Puts the complete, closed file `from` at the name `to` in one step, replacing
// what was there.
bool replace(const std::string& from, const std::string& to);

// Whether `path` is the regular file, pipe or socket the process's standard output
// writes to (/dev/stdout, or the file's own name), whose bytes would mix with the
// lines printed there. Devices are not: the console or /dev/null takes both.
bool is_standard_output(const std::string& path);

}  // namespace vantrel::platform
