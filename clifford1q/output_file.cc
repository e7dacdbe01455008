#include "clifford1q/output_file.h"

#include "clifford1q/descriptor.h"
#include "clifford1q/open_flags.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
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

// The path with its symbolic links followed, as far as they lead: for a name that
// does not exist yet, the one the file will be created at.
fs::path follow_links(fs::path path) {
  std::error_code ec;
  for (int hops = 0; hops < 40 && fs::is_symlink(path, ec); ++hops) {
    const fs::path to = fs::read_symlink(path, ec);
    if (ec) break;
    path = to.is_absolute() ? to : path.parent_path() / to;
  }
  return path;
}

bool same_inode(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
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
  struct stat st;
  const bool exists = ::stat(path.c_str(), &st) == 0;
  // A loop of links, a file taken for a directory, a directory that may not be
  // searched: open() would fail, and so does this.
  if (!exists && errno != ENOENT) return;
  bool by_name = !exists;
  if (exists) {
    // The file's real name. A link in /proc to an open file shows a name that may
    // not reach it ("/tmp/x (deleted)", "pipe:[7]"), so the name must lead to the
    // very file the path does.
    std::error_code ec;
    target_ = fs::canonical(path, ec).string();
    struct stat named;
    by_name = !ec && ::stat(target_.c_str(), &named) == 0 && same_inode(named, st);
  } else {
    target_ = follow_links(path).string();
  }
  if (exists && (!S_ISREG(st.st_mode) || !by_name)) {
    fd_ = ::open(path.c_str(), flags | O_TRUNC | kNonBlocking);
#if !defined(_WIN32)
    if (fd_ >= 0) ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~kNonBlocking);
#endif
  } else if (fs::path(target_).filename().empty() ||
             (exists && ::access(target_.c_str(), W_OK) != 0)) {
    // no file name ("", "dir/"), or a file that could not be overwritten
  } else {
    fd_ = create_beside(target_, flags, &temporary_);
    if (fd_ < 0) temporary_.clear();
#if !defined(_WIN32)
    if (fd_ >= 0 && exists) ::fchmod(fd_, st.st_mode & 07777);  // keep the old file's mode
#endif
  }
  opened_ = fd_ >= 0;
}

OutputFile::~OutputFile() { discard(); }

void OutputFile::discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temporary_.empty()) std::remove(temporary_.c_str());
  temporary_.clear();
}

void OutputFile::reserve([[maybe_unused]] std::size_t size) {
  if (fd_ < 0) return;
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
  if (size > 0 && ::fallocate(fd_, 0, 0, static_cast<off_t>(size)) != 0 && errno == ENOSPC) {
    ok_ = false;
  }
#endif
}

void OutputFile::write_bytes(std::span<const std::byte> bytes) {
  if (fd_ < 0 || !ok_) return;
  ok_ = transfer_all(bytes.size(), [&](std::size_t at, unsigned count) {
    return ::write(fd_, bytes.data() + at, count);
  });
}

WriteStatus OutputFile::close() {
  if (!opened_) return WriteStatus::kOpenFailed;
  if (fd_ >= 0) ok_ = ::close(std::exchange(fd_, -1)) == 0 && ok_;
  if (!ok_) discard();
  return ok_ ? WriteStatus::kOk : WriteStatus::kWriteFailed;
}

bool OutputFile::commit() {
  ok_ = close() == WriteStatus::kOk;
  if (ok_ && !temporary_.empty()) {
    ok_ = replace(temporary_, target_);
    if (ok_) temporary_.clear();
  }
  discard();
  return ok_;
}

bool same_file(const std::string& a, const std::string& b) {
  std::error_code ec;
  const fs::path x = follow_links(a), y = follow_links(b);
  if (fs::exists(x, ec) && fs::exists(y, ec)) return fs::equivalent(x, y, ec);
  return fs::weakly_canonical(fs::absolute(x, ec), ec) ==
         fs::weakly_canonical(fs::absolute(y, ec), ec);
}

bool is_standard_output([[maybe_unused]] const std::string& path) {
#ifdef _WIN32
  return false;  // no /dev/stdout, and no inode numbers to tell a file by
#else
  struct stat out, named;
  if (::fstat(STDOUT_FILENO, &out) != 0 || S_ISCHR(out.st_mode) || S_ISBLK(out.st_mode)) {
    return false;
  }
  return ::stat(path.c_str(), &named) == 0 && same_inode(named, out);
#endif
}

}  // namespace vantrel
