#include "tables/output_file.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>
#include <utility>

#include "tables/platform.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;

using namespace platform;

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

}  // namespace

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
    if (fd_ >= 0) make_blocking(fd_);
  } else if (fs::path(target_).filename().empty() || (exists && !may_write(target_))) {
    // no file name ("", "dir/"), or a file that could not be overwritten
  } else {
    fd_ = create_beside(target_, flags, &temporary_);
    if (fd_ < 0) temporary_.clear();
    if (fd_ >= 0 && exists) keep_mode(fd_, st.st_mode);
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

void OutputFile::release_replaced_pages() {
  if (fd_ >= 0 && !temporary_.empty()) drop_cached_pages(target_);
}

void OutputFile::reserve(std::size_t size) {
  if (fd_ >= 0 && !allocate(fd_, size)) ok_ = false;
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
  // The new file is not flushed to the disk before the rename: measured, that put
  // generate_table44 above twice the time of a bulk write of its bytes, for a power
  // cut, which is rare and after which the table can be made again.
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

}  // namespace vantrel
