// The generation run of either group: enumerate, make the multiplication and
// inverse tables while writing the table file, write the readable listing, and
// report on the console stream the caller passes.
#pragma once

#include <cassert>
#include <cstdint>
#include <optional>
#include <ostream>
#include <span>
#include <streambuf>
#include <string>
#include <vector>

#include "engine/group.h"
#include "engine/multiplication_recipe.h"
#include "tables/output_file.h"
#include "tables/platform.h"
#include "tables/table_layout.h"

namespace vantrel {

// Why a run could not write its files: `line`, when not empty, is printed before
// "Generate Failed.". Only generate_table catches it.
struct GenerateFailed {
  std::string line;
};

// Closes `file`, which is complete; throws GenerateFailed with `open_failure` when
// it could not be opened and with "Cannot write file: NAME" when a write or the
// close failed.
void close_complete(OutputFile& file, const std::string& name, const std::string& open_failure);

// Puts `file` at its name, or throws GenerateFailed with "Cannot write file: NAME".
void commit(OutputFile& file, const std::string& name);

// Writes the listing of `words` to the file `name` and closes it ("File not found."
// when it could not be opened); commit() then puts it in place.
void write_listing(OutputFile& file, const std::string& name, std::span<const Word> words);

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

// Writes both files of one group's run, or throws GenerateFailed. `Group` supplies
// Record, kProgress, kListingName and enumerate(), gates() (normalised, by code) and
// special_keys(). A table path that names the listing, or the file or pipe standard
// output goes to, is refused before anything is written. Both files are put at
// their names only once both are complete (see OutputFile): a run that fails
// leaves both names as they were.
template <class Group>
void write_table_files(const std::string& path, std::ostream& console) {
  if (same_file(path, Group::kListingName) || platform::is_standard_output(path)) {
    throw GenerateFailed{};
  }
  using Record = typename Group::Record;
  std::optional<OutputFile> out;
  Transcript enumeration(console);
  std::vector<Word> words;
  {
    std::ostream progress(&enumeration);
    const auto group = Group::enumerate(progress);
    for (const auto& entry : group.entries()) words.push_back(entry.word);
    const std::vector<Record> records = group_records<Record>(group);
    assert(records.size() == TableLayout<Group>::kElements);
    std::vector<std::int32_t> special;
    for (const auto& key : Group::special_keys()) special.push_back(group.index_of(key));
    const MultiplicationRecipe recipe(group, std::span<const Record>(records), Group::gates());

    // Everything that can fail has been checked: the table is made as it is written.
    // A file that cannot be opened still sees the table made, and reported, first.
    out.emplace(path, "wb");
    out->release_replaced_pages();
    out->reserve(TableLayout<Group>::kFileSize);
    out->write(std::span<const std::int32_t>(special));
    recipe.produce(Group::kProgress, console,
                   [&](std::span<const std::int32_t> rows) { out->write(rows); });
    out->write(std::span<const std::int32_t>(recipe.inverse()));
    out->write(std::span<const Record>(records));
    close_complete(*out, path, "Cannot open file: " + path);
  }

  // The console shows the enumeration's lines a second time here, before the
  // listing; the listing's words are the run's own enumeration's, which a second
  // enumeration would only repeat. Renaming is all that is left once both files are
  // complete; should the second rename fail, the table stands new beside the old
  // listing (both hold the same group).
  console << enumeration.text();
  OutputFile listing(Group::kListingName, "w");
  write_listing(listing, Group::kListingName, words);
  commit(*out, path);
  commit(listing, Group::kListingName);
}

// One group's run: writes both files and prints "Generate End", or prints why it
// could not and "Generate Failed.". Returns 0 or -1; throws std::invalid_argument for
// a path with a NUL character, before doing anything.
template <class Group>
int generate_table(const std::string& path, std::ostream& console) {
  platform::reject_nul(path);
  try {
    write_table_files<Group>(path, console);
  } catch (const GenerateFailed& failure) {
    if (!failure.line.empty()) console << failure.line << std::endl;
    console << "Generate Failed." << std::endl;
    return -1;
  }
  console << "Generate End" << std::endl;
  return 0;
}

}  // namespace vantrel
