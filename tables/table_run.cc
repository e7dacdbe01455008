#include "tables/table_run.h"

#include "tables/listing.h"

namespace vantrel {

void close_complete(OutputFile& file, const std::string& name, const std::string& open_failure) {
  switch (file.close()) {
    case WriteStatus::kOk:
      return;
    case WriteStatus::kOpenFailed:
      throw GenerateFailed{open_failure};
    case WriteStatus::kWriteFailed:
      throw GenerateFailed{"Cannot write file: " + name};
  }
}

void commit(OutputFile& file, const std::string& name) {
  if (!file.commit()) throw GenerateFailed{"Cannot write file: " + name};
}

void write_listing(OutputFile& file, const std::string& name, std::span<const Word> words) {
  if (file.is_open()) {
    const std::string text = listing_text(words);
    file.write_bytes(std::as_bytes(std::span(text)));
  }
  close_complete(file, name, "File not found.");
}

}  // namespace vantrel
