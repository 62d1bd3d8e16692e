#include "commands/test_files.h"

#include "report/damage_notes.h"

namespace d88 {

// The note that the image holds no disk comes with every mode; only
// --test counts it as damage.
void FileTester::BeginRun() {
  if (image_.DiskCount() == 0) status_ = RunStatus::kIncomplete;
}

// The header's own note comes with every mode (HeaderNotes); the
// directory's is --test's.
void FileTester::BeginDisk(const DiskVisit& disk) {
  if (DiskHeaderIsWrong(disk.image)) status_ = RunStatus::kIncomplete;
  const Directory& directory = ReadDirectory(disk.image);
  if (directory.bytes_read < kDirectorySize) {
    NoteDirectoryNotWhole(disk.number, directory.bytes_read);
    status_ = RunStatus::kIncomplete;
  }
}

void FileTester::Entry(const DiskVisit& disk, const EntryFacts& facts) {
  const FileRead& read = *facts.read;
  if (read.size <= 0) return;
  const FileLabel label = LabelFile(disk.folder, facts.host_name.text);
  if (read.delivered == 0) {
    NoteMissingStart(label, read);
    status_ = RunStatus::kIncomplete;
    return;
  }
  NoteFileDamage(label, read);
  if (read.delivered != read.size || read.damaged_count != 0) {
    status_ = RunStatus::kIncomplete;
  }
}

}  // namespace d88
