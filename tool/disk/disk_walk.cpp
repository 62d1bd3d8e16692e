#include "disk/disk_walk.h"

namespace d88 {
namespace {

// The file of the entry being walked; an entry can express a run larger
// than any real disk holds, and such a file is read whole, never cut.
std::uint8_t transfer_buffer[kLargestFileSize];

}  // namespace

RunStatus Worse(RunStatus a, RunStatus b) {
  return static_cast<int>(a) > static_cast<int>(b) ? a : b;
}

int ExitStatusOf(RunStatus status) {
  switch (status) {
    case RunStatus::kClean: return 0;
    case RunStatus::kIncomplete: return 2;
    case RunStatus::kFailed: return 1;
  }
  return 1;
}

bool ConsumerList::ReadsFiles() const {
  for (int i = 0; i < count; ++i) {
    if (items[i]->ReadsFiles()) return true;
  }
  return false;
}

bool ConsumerList::WritesHostFiles() const {
  for (int i = 0; i < count; ++i) {
    if (items[i]->WritesHostFiles()) return true;
  }
  return false;
}

void ConsumerList::BeginRun() const {
  for (int i = 0; i < count; ++i) items[i]->BeginRun();
}

void ConsumerList::EndRun() const {
  for (int i = 0; i < count; ++i) items[i]->EndRun();
}

RunStatus ConsumerList::Status() const {
  RunStatus status = RunStatus::kClean;
  for (int i = 0; i < count; ++i) status = Worse(status, items[i]->Status());
  return status;
}

void WalkDisk(const DiskVisit& visit, const ConsumerList& consumers,
              bool unicode_names, EntryFilter* filter) {
  for (int i = 0; i < consumers.count; ++i) consumers.items[i]->BeginDisk(visit);
  const bool read_files = consumers.ReadsFiles();
  const Directory& directory = ReadDirectory(visit.image);
  for (int j = 0; j < directory.entry_count; ++j) {
    // An entry not taken is not even read: nothing of it reaches a consumer.
    if (filter != nullptr && !filter->Takes(directory.entries[j].name)) {
      continue;
    }
    EntryFacts facts = {};
    facts.number = j + 1;
    facts.entry = directory.entries[j];
    facts.size = FileSize(facts.entry);
    facts.host_name = HostNameOf(facts.entry.name, unicode_names);
    FileRead read = {};
    if (read_files) {
      read = ReadFile(visit.image, facts.entry, transfer_buffer);
      facts.read = &read;
      facts.data = transfer_buffer;
    }
    for (int i = 0; i < consumers.count; ++i) {
      consumers.items[i]->Entry(visit, facts);
    }
  }
  for (int i = 0; i < consumers.count; ++i) consumers.items[i]->EndDisk(visit);
}

}  // namespace d88
