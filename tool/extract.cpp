#include "extract.h"

#include "host.h"
#include "host_name.h"
#include "reporter.h"

namespace d88 {
namespace {

std::uint8_t transfer_buffer[kLargestFileSize];

}  // namespace

bool ProcessDisk(D88Image& image, const Options& options) {
  const Directory& directory = ReadDirectory(image);
  bool all_written = true;
  for (int j = 0; j < directory.entry_count; ++j) {
    const DirEntry& entry = directory.entries[j];
    report::ListingLine(entry, FileSize(entry));
    if (options.mode == Mode::kList) continue;
    if (ExtractFile(image, entry, options.unicode_names) ==
        FileOutcome::kWriteFailed) {
      all_written = false;
    }
  }
  return all_written;
}

EntryHostName HostNameOf(const DirEntry& entry, bool unicode_names) {
  EntryHostName name = {};
  name.mapped = HostFileName(
      entry.name, host::NameRules(),
      unicode_names ? NameEncoding::kUnicode : NameEncoding::kRaw, name.text);
  return name;
}

FileOutcome ExtractFile(D88Image& image, const DirEntry& entry,
                        bool unicode_names) {
  const FileRead read = ReadFile(image, entry, transfer_buffer);
  if (read.delivered == 0) return FileOutcome::kNotInImage;
  const EntryHostName name = HostNameOf(entry, unicode_names);
  const char* host_name = name.text;
  if (!host::WriteFile(host_name, unicode_names, transfer_buffer,
                       static_cast<std::size_t>(read.data_end),
                       static_cast<std::size_t>(read.size))) {
    report::Note("cannot write file \"%s\": %s", host_name,
                 host::FileErrorText());
    return FileOutcome::kWriteFailed;
  }
  if (name.mapped) {
    report::Note("file \"%s\" saved as \"%s\"",
                 report::ShowName(entry.name).text, host_name);
  }
  return FileOutcome::kWritten;
}

}  // namespace d88
