// The generation run shared by both groups: enumerate, make the multiplication and
// inverse tables while writing the table file, write the readable listing, and
// report on stdout.
#pragma once

#include <cstdint>
#include <iostream>
#include <optional>
#include <span>
#include <streambuf>
#include <string>
#include <vector>

#include "clifford1q/group.h"
#include "clifford1q/multiplication_table.h"
#include "clifford1q/output_file.h"

namespace vantrel {

// "[c1, c2, ...]", "[]" for an empty word.
std::string format_word(std::span<const std::int32_t> word);

// Writes one "%5d : %s\n" line per word (its index and the word) to `out`, the
// listing's file at `name`, and closes it; commit() then puts it in place. Prints
// "File not found." when the file could not be opened and "Cannot write file: "
// when writing failed; returns 0 on success, -1 otherwise.
int write_listing(OutputFile& out, const char* name, std::span<const Word> words);

// Prints "Cannot write file: " and the name unless `out` is put in place.
bool commit(OutputFile& out, const std::string& name);

// A stream buffer that passes everything on to `out` and keeps a copy: a run keeps
// what its enumeration printed, to print it again before the listing.
class Transcript : public std::streambuf {
 public:
  explicit Transcript(std::ostream& out) : out_(out) {}
  const std::string& text() const { return text_; }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char ch = traits_type::to_char_type(c);
    return xsputn(&ch, 1) == 1 ? c : traits_type::eof();
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    text_.append(s, static_cast<std::size_t>(n));
    return out_.write(s, n) ? n : 0;
  }
  int sync() override { return out_.flush() ? 0 : -1; }

 private:
  std::ostream& out_;
  std::string text_;
};

// One group's run. `Group` supplies Record, kProgress, kListingName and
// enumerate(), gates() (normalised, by code) and special_keys().
// Returns 0 when the table file and the listing were written, -1 otherwise; throws
// for a path with a NUL character before doing anything. A table path that names
// the listing, or the file or pipe standard output goes to, is refused before
// anything is written. Both files are put at their names only once both are
// complete (see OutputFile): a run that fails leaves both names as they were.
template <class Group>
int generate_table(const std::string& path) {
  reject_nul(path);
  if (same_file(path, Group::kListingName) || is_standard_output(path)) {
    std::cout << "Generate Failed." << std::endl;
    return -1;
  }
  using Record = typename Group::Record;
  std::optional<OutputFile> out;
  WriteStatus status;
  Transcript enumeration(std::cout);
  std::vector<Word> words;
  {
    std::ostream progress(&enumeration);
    const auto group = Group::enumerate(progress);
    for (const auto& entry : group.entries()) words.push_back(entry.word);
    const std::vector<Record> records = group_records<Record>(group);
    std::vector<std::int32_t> special;
    for (const auto& key : Group::special_keys()) special.push_back(group.index_of(key));
    const MultiplicationTable table(group, std::span<const Record>(records), Group::gates());

    // Everything that can fail has been checked: the table is made as it is written.
    // A file that cannot be opened still sees the table made, and reported, first.
    out.emplace(path, "wb");
    const std::size_t n = records.size();
    out->reserve(4 * (special.size() + n * n + n) + sizeof(Record) * n);
    out->write(std::span<const std::int32_t>(special));
    table.produce(Group::kProgress, [&](std::span<const std::int32_t> rows) { out->write(rows); });
    out->write(std::span<const std::int32_t>(table.inverse()));
    out->write(std::span<const Record>(records));
    status = out->close();
  }
  switch (status) {
    case WriteStatus::kOk:
      break;
    case WriteStatus::kOpenFailed:
      std::cout << "Cannot open file: " << path << std::endl;
      std::cout << "Generate Failed." << std::endl;
      return -1;
    case WriteStatus::kWriteFailed:
      std::cout << "Cannot write file: " << path << std::endl;
      std::cout << "Generate Failed." << std::endl;
      return -1;
  }

  // The console shows the enumeration's lines a second time here, before the
  // listing; the listing's words are the run's own enumeration's, which a second
  // enumeration would only repeat. Renaming is all that is left once both files are
  // complete; should the second rename fail, the table stands new beside the old
  // listing (both hold the same group).
  std::cout << enumeration.text();
  OutputFile listing(Group::kListingName, "w");
  if (write_listing(listing, Group::kListingName, words) != 0 || !commit(*out, path) ||
      !commit(listing, Group::kListingName)) {
    std::cout << "Generate Failed." << std::endl;
    return -1;
  }
  std::cout << "Generate End" << std::endl;
  return 0;
}

}  // namespace vantrel
