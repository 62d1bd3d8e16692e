#include "commands/to_stdout.h"

#include <cstddef>

#include "host/host.h"
#include "report/damage_notes.h"
#include "report/reporter.h"

namespace d88 {

// The bytes are the whole work: when their reader quits, the run stops.
void FilesToStdout::BeginRun() {
  host::UseBinaryOutput();
  report::StopWhenReaderQuits();
}

void FilesToStdout::Entry(const DiskVisit& disk, const EntryFacts& facts) {
  const FileRead& read = *facts.read;
  if (read.delivered == 0) return;
  const char* host_name = facts.host_name.text;
  if (host_name[0] == '\0') {
    report::Note("cannot write file \"%s\": its name is empty",
                 LabelFile(disk.folder, host_name).text);
    status_ = RunStatus::kFailed;
    return;
  }
  report::Bytes(facts.data, static_cast<std::size_t>(read.size));
  if (facts.host_name.mapped) {
    report::Note("file \"%s\" saved as \"%s\"",
                 report::ShowName(facts.entry.name).text, host_name);
  }
  NoteFileDamage(LabelFile(disk.folder, host_name), read);
}

}  // namespace d88
