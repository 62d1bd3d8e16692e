// The JSON document of --json: one object for the run around the disks,
// streamed to standard output. doc/manual.md describes the schema.
#pragma once

#include "disk/disk_walk.h"

namespace d88 {

// Opens and closes the document; the disks' objects come from the listing
// or the disk facts.
class JsonDocument : public DiskConsumer {
 public:
  // mode_name: what the run does, "list", "test" or "info".
  JsonDocument(const char* mode_name, bool unicode_names)
      : mode_name_(mode_name), unicode_names_(unicode_names) {}
  void BeginRun() override;
  void EndRun() override;

 private:
  const char* mode_name_;
  bool unicode_names_;
};

// One object per disk with an "entries" array, one object per entry, with
// what reading its file found when the run reads files.
class JsonListing : public DiskConsumer {
 public:
  void BeginDisk(const DiskVisit& disk) override;
  void Entry(const DiskVisit& disk, const EntryFacts& facts) override;
  void EndDisk(const DiskVisit& disk) override;
};

}  // namespace d88
