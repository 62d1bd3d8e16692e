#include "extract.h"

#include "damage.h"
#include "host.h"
#include "host_name.h"
#include "json_report.h"
#include "reporter.h"

namespace d88 {
namespace {

std::uint8_t transfer_buffer[kLargestFileSize];

// Reads the file as an extraction would and says what is wrong with it.
// Returns true when the file was read whole from clean sectors, or when the
// entry holds no file at all.
bool TestFile(D88Image& image, const DirEntry& entry, const Options& options,
              DiskPlace place) {
  const FileRead read = ReadFile(image, entry, transfer_buffer);
  if (options.json) JsonEntry(entry, &read);
  if (read.size <= 0) return true;
  const FileLabel label =
      LabelFile(place.folder, HostNameOf(entry, options.unicode_names).text);
  if (read.delivered == 0) {
    NoteMissingStart(label, read);
    return false;
  }
  NoteFileDamage(label, read);
  return read.delivered == read.size && read.damaged_count == 0;
}

}  // namespace

DiskResult ProcessDisk(D88Image& image, const Options& options,
                       DiskPlace place) {
  NoteDiskHeader(image, place.disk);
  const Directory& directory = ReadDirectory(image);
  DiskResult result = {true, true};
  if (options.json) JsonBeginEntries();
  for (int j = 0; j < directory.entry_count; ++j) {
    const DirEntry& entry = directory.entries[j];
    if (!options.json) report::ListingLine(entry, FileSize(entry));
    if (options.mode == Mode::kList) {
      if (options.json) JsonEntry(entry, nullptr);
    } else if (options.mode == Mode::kTest) {
      if (!TestFile(image, entry, options, place)) result.all_whole = false;
    } else if (ExtractFile(image, entry, options, place, j + 1) ==
               FileOutcome::kWriteFailed) {
      result.all_written = false;
    }
  }
  if (options.json) JsonEndEntries();
  return result;
}

EntryHostName HostNameOf(const DirEntry& entry, bool unicode_names) {
  EntryHostName name = {};
  name.mapped = HostFileName(
      entry.name, host::NameRules(),
      unicode_names ? NameEncoding::kUnicode : NameEncoding::kRaw, name.text);
  return name;
}

FileOutcome ExtractFile(D88Image& image, const DirEntry& entry,
                        const Options& options, DiskPlace place,
                        int entry_number) {
  const FileRead read = ReadFile(image, entry, transfer_buffer);
  if (read.delivered == 0) return FileOutcome::kNotInImage;
  const EntryHostName name = HostNameOf(entry, options.unicode_names);
  const char* host_name = name.text;
  if (!host::WriteFile(host_name, options.unicode_names, transfer_buffer,
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
  NoteWritten(host_name, options.unicode_names, entry, place.disk,
              entry_number, options.folders);
  NoteFileDamage(LabelFile(place.folder, host_name), read);
  return FileOutcome::kWritten;
}

}  // namespace d88
