#include "commands/test_files.h"

#include "report/damage_notes.h"

namespace d88 {

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
