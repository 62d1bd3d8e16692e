#include "commands/extract.h"

#include <cstring>

#include "host/host.h"
#include "host/written_files.h"
#include "report/damage_notes.h"
#include "report/file_output.h"
#include "report/reporter.h"

namespace d88 {

void Extractor::BeginRun() { ForgetWrittenFiles(); }

// Writes the host file; false when it was not written, for whatever reason
// (then said, unless the user asked for silence).
bool Extractor::Write(const DiskVisit& disk, const EntryFacts& facts) {
  const FileRead& read = *facts.read;
  const char* host_name = facts.host_name.text;
  const OutputOutcome outcome = WriteOutputFile(
      LabelFile(disk.folder, host_name).text, host_name, unicode_names_,
      facts.data, static_cast<std::size_t>(read.data_end),
      static_cast<std::size_t>(read.size), old_files_);
  if (outcome == OutputOutcome::kWritten) return true;
  if (outcome == OutputOutcome::kFailed) {
    // A failed write removed the file, and the host may hand its identity
    // to the next new file, which replaces nothing.
    ForgetWrittenFile(host::WrittenFileIdentity());
    status_ = RunStatus::kFailed;
  }
  return false;
}

// A file whose first sector is not in the image has nothing to write; one
// whose run breaks off later is written with zeros for what is missing.
void Extractor::Entry(const DiskVisit& disk, const EntryFacts& facts) {
  const FileRead& read = *facts.read;
  if (read.delivered == 0) return;
  if (!Write(disk, facts)) return;
  const char* host_name = facts.host_name.text;
  if (facts.host_name.mapped) {
    report::Note("file \"%s\" saved as \"%s\"",
                 report::ShowName(facts.entry.name).text, host_name);
  }
  FileWriter writer = {disk.number, facts.number, {}};
  std::memcpy(writer.entry_name, facts.entry.name, sizeof writer.entry_name);
  // Whether the write landed on a file written earlier is the host's
  // answer, not a guess from the names: only the host knows which
  // spellings it folds into one file.
  const EarlierWriter earlier =
      RememberWrittenFile(host::WrittenFileIdentity(), writer);
  if (earlier.found) {
    NoteReplaced(disk.folder, host_name, writer, earlier.writer);
  }
  NoteFileDamage(LabelFile(disk.folder, host_name), read);
}

}  // namespace d88
