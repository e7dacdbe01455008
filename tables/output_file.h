// Files written by a generation run: the table file and the listing. A file appears
// at its name complete or not at all.
#pragma once

#include <bit>
#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "tables/table_layout.h"

namespace vantrel {

enum class WriteStatus { kOk, kOpenFailed, kWriteFailed };

// A file created or replaced at `path`. What the name finally stands for decides, its
// symbolic links followed: where that is a regular file reached by that chain, or
// nothing yet, the bytes go to a new file beside it, which commit() renames over it
// once close() found it complete; any failure before then, an exception included,
// leaves whatever was at the name untouched and removes the new file. Anything else
// (a device, a FIFO with a reader, a file only /proc still names) is written in
// place; opening never blocks, so a FIFO without a reader fails to open. A name that
// cannot be resolved (a loop of links) fails to open, as it would for open().
class OutputFile {
 public:
  // `mode` is the C library's: "wb" for binary, "w" for text.
  OutputFile(const std::string& path, const char* mode);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // False when the file could not be opened; writes then do nothing.
  bool is_open() const { return opened_; }
  // Lets the file this one replaces give up its pages in the page cache now, rather
  // than at the rename; its bytes on the disk stay as they are. The new file's pages
  // then reuse them: memory the system has not touched for a while can cost a fault
  // in the host of a virtual machine per page, which measured more than doubled
  // generate_table44 over a table it had made before.
  void release_replaced_pages();
  // Reserves the file's final size on the disk where the file system can, which
  // saves allocating it piece by piece; a disk too small counts as a failed write.
  void reserve(std::size_t size);
  // Writes the items in the file's byte order.
  template <class T>
  void write(std::span<const T> items) {
    if constexpr (std::endian::native == std::endian::little) {
      write_bytes(std::as_bytes(items));
    } else {
      std::vector<T> copy(items.begin(), items.end());
      file_byte_order(std::span(copy));
      write_bytes(std::as_bytes(std::span(copy)));
    }
  }
  // Unbuffered: one call per piece, resumed after a signal interrupts it.
  void write_bytes(std::span<const std::byte> bytes);
  // Marks the file as failed, so that it is not put in place.
  void fail() { ok_ = false; }
  // Closes the file: kOpenFailed when it could not be opened, kWriteFailed after any
  // failed write or close, kOk when it is complete. A new file stays beside the name
  // until commit(), so that a run writing several files can put them in place only
  // once all of them are complete.
  WriteStatus close();
  // Closes the file if still open and renames the complete new file over the name
  // (nothing to do in place); false, the new file removed, when the file is not
  // complete or the rename failed.
  bool commit();

 private:
  void discard();

  int fd_ = -1;
  bool opened_ = false;
  std::string target_;     // the file replaced: the path with its links followed
  std::string temporary_;  // empty when writing in place
  bool ok_ = true;
};

// Whether two paths name the same file, or would once created: links followed,
// compared as absolute paths, or by identity where both exist.
bool same_file(const std::string& a, const std::string& b);

}  // namespace vantrel
