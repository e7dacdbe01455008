#include "tables/platform.h"

#include <cstdio>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#ifndef W_OK
#define W_OK 2
#endif
#endif

namespace vantrel::platform {

void reject_nul(const std::string& path) {
  if (path.find('\0') != std::string::npos) {
    throw std::invalid_argument("path contains a NUL character");
  }
}

bool may_write(const std::string& path) { return ::access(path.c_str(), W_OK) == 0; }

void make_blocking([[maybe_unused]] int fd) {
#ifndef _WIN32
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~kNonBlocking);
#endif
}

void keep_mode([[maybe_unused]] int fd, [[maybe_unused]] unsigned mode) {
#ifndef _WIN32
  ::fchmod(fd, static_cast<mode_t>(mode & 07777));
#endif
}

void drop_cached_pages([[maybe_unused]] const std::string& path) {
#ifdef POSIX_FADV_DONTNEED
  const int fd = ::open(path.c_str(), O_RDONLY | kCloseOnExec | kNonBlocking);
  if (fd >= 0) {
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
  }
#endif
}

bool allocate([[maybe_unused]] int fd, [[maybe_unused]] std::size_t size) {
#ifdef __linux__
  return size == 0 || ::fallocate(fd, 0, 0, static_cast<off_t>(size)) == 0 || errno != ENOSPC;
#else
  return true;
#endif
}

bool replace(const std::string& from, const std::string& to) {
#ifdef _WIN32
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
  return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

bool is_standard_output([[maybe_unused]] const std::string& path) {
#ifdef _WIN32
  return false;  // no /dev/stdout, and no inode numbers to tell a file by
#else
  struct stat out, named;
  if (::fstat(STDOUT_FILENO, &out) != 0 || S_ISCHR(out.st_mode) || S_ISBLK(out.st_mode)) {
    return false;
  }
  return ::stat(path.c_str(), &named) == 0 && named.st_dev == out.st_dev &&
         named.st_ino == out.st_ino;
#endif
}

}  // namespace vantrel::platform
