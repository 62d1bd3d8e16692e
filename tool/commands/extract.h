// Extraction: writes each entry's file, as read from the image, to a host
// file in the working folder named after the entry, and says on standard
// error when a file is damaged, renamed for the host or replaces one
// written earlier in the run.
#pragma once

#include "disk/disk_walk.h"

namespace d88 {

class Extractor : public DiskConsumer {
 public:
  explicit Extractor(bool unicode_names) : unicode_names_(unicode_names) {}

  bool ReadsFiles() const override { return true; }
  bool WritesHostFiles() const override { return true; }
  void BeginRun() override;
  void Entry(const DiskVisit& disk, const EntryFacts& facts) override;
  RunStatus Status() const override { return status_; }

 private:
  bool unicode_names_;
  RunStatus status_ = RunStatus::kClean;
};

}  // namespace d88
