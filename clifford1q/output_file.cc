#include "clifford1q/output_file.h"

#include "clifford1q/open_flags.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <utility>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#ifndef W_OK
#define W_OK 2
#endif
#else
#include <unistd.h>
#endif

namespace vantrel {
namespace {

namespace fs = std::filesystem;

using namespace open_flags;

// The path with its symbolic links followed, as far as they lead. *open_file is set
// when one of them lies under /dev or /proc: /dev/stdout and /proc/self/fd/1 name a
// file the process has open, which must be written, not replaced.
fs::path follow_links(fs::path path, bool* open_file = nullptr) {
  std::error_code ec;
  for (int hops = 0; hops < 40 && fs::is_symlink(path, ec); ++hops) {
    const std::string name = fs::absolute(path, ec).string();
    if (open_file && (name.starts_with("/dev/") || name.starts_with("/proc/"))) *open_file = true;
    const fs::path to = fs::read_symlink(path, ec);
    if (ec) break;
    path = to.is_absolute() ? to : path.parent_path() / to;
  }
  return path;
}

// A new file beside `target`, created exclusively; -1 when none can be created.
int create_beside(const fs::path& target, int flags, std::string* name) {
  std::random_device entropy;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name_only = ".";  // at most 216 bytes, well within any name limit
    name_only.append(target.filename().string().substr(0, 200)).append(".");
    name_only.append(std::to_string(entropy())).append(".tmp");
    const fs::path candidate = target.parent_path() / name_only;
    const int fd = ::open(candidate.string().c_str(), flags | O_CREAT | O_EXCL, 0666);
    if (fd >= 0 || errno != EEXIST) {
      *name = candidate.string();
      return fd;
    }
  }
  return -1;
}

// Puts the complete, closed file `from` at the name `to`, in one step. The data
// are not flushed to the disk first: measured, that put generate_table44 above
// twice the time of a bulk write of its bytes, for a power cut, which is rare and
// after which the table can be made again.
bool replace(const std::string& from, const std::string& to) {
#ifdef _WIN32
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
  return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

}  // namespace

void reject_nul(const std::string& path) {
  if (path.find('\0') != std::string::npos) {
    throw std::invalid_argument("path contains a NUL character");
  }
}

OutputFile::OutputFile(const std::string& path, const char* mode) {
  reject_nul(path);
  const bool text = mode[1] != 'b';
  const int flags = O_WRONLY | kCloseOnExec | (text ? kText : kBinary);
  bool open_file = false;
  target_ = follow_links(path, &open_file).string();
  struct stat st;
  const bool exists = ::stat(target_.c_str(), &st) == 0;
  int fd;
  if (open_file || (exists && !S_ISREG(st.st_mode))) {
    fd = ::open(path.c_str(), flags | O_TRUNC | kNonBlocking);
#if !defined(_WIN32)
    if (fd >= 0) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~kNonBlocking);
#endif
  } else if (fs::path(target_).filename().empty() ||
             (exists && ::access(target_.c_str(), W_OK) != 0)) {
    fd = -1;  // no file name ("", "dir/"), or a file that could not be overwritten
  } else {
    fd = create_beside(target_, flags, &temporary_);
    if (fd < 0) temporary_.clear();
#if !defined(_WIN32)
    if (fd >= 0 && exists) ::fchmod(fd, st.st_mode & 07777);  // keep the old file's mode
#endif
  }
  if (fd < 0) return;
  file_ = ::fdopen(fd, mode);
  if (file_ == nullptr) {
    ::close(fd);
    discard();
  }
}

OutputFile::~OutputFile() { discard(); }

void OutputFile::discard() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  if (!temporary_.empty()) std::remove(temporary_.c_str());
  temporary_.clear();
}

void OutputFile::reserve([[maybe_unused]] std::size_t size) {
  if (file_ == nullptr) return;
#ifdef POSIX_FADV_DONTNEED
  // The pages the old file has in the page cache go back to the system now rather
  // than at the rename; its bytes on the disk stay as they are. The new file's pages
  // then reuse them: memory the system has not touched for a while can cost a fault
  // in the host of a virtual machine per page, which measured more than doubled
  // generate_table44 over a table it had made before.
  if (!temporary_.empty()) {
    const int old = ::open(target_.c_str(), O_RDONLY | kCloseOnExec | kNonBlocking);
    if (old >= 0) {
      ::posix_fadvise(old, 0, 0, POSIX_FADV_DONTNEED);
      ::close(old);
    }
  }
#endif
#ifdef __linux__
  if (size > 0 && ::fallocate(fileno(file_), 0, 0, static_cast<off_t>(size)) != 0 &&
      errno == ENOSPC) {
    ok_ = false;
  }
#endif
}

void OutputFile::write_bytes(std::span<const std::byte> bytes) {
  if (file_ == nullptr || !ok_) return;
  ok_ = std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size();
}

WriteStatus OutputFile::close() {
  if (file_ == nullptr) return WriteStatus::kOpenFailed;
  ok_ = std::fflush(file_) == 0 && ok_;
  ok_ = std::fclose(std::exchange(file_, nullptr)) == 0 && ok_;
  if (ok_ && !temporary_.empty()) {
    ok_ = replace(temporary_, target_);
    if (ok_) temporary_.clear();
  }
  discard();
  return ok_ ? WriteStatus::kOk : WriteStatus::kWriteFailed;
}

bool same_file(const std::string& a, const std::string& b) {
  std::error_code ec;
  const fs::path x = follow_links(a), y = follow_links(b);
  if (fs::exists(x, ec) && fs::exists(y, ec)) return fs::equivalent(x, y, ec);
  return fs::weakly_canonical(fs::absolute(x, ec), ec) ==
         fs::weakly_canonical(fs::absolute(y, ec), ec);
}

}  // namespace vantrel
