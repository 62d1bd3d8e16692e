// --test: reads every file as an extraction would and says on standard
// error what is wrong with each; writes nothing. The run ends with status 2
// when a file of size > 0 is not whole or a sector header records trouble.
#pragma once

#include "disk/disk_walk.h"

namespace d88 {

class FileTester : public DiskConsumer {
 public:
  bool ReadsFiles() const override { return true; }
  void Entry(const DiskVisit& disk, const EntryFacts& facts) override;
  RunStatus Status() const override { return status_; }

 private:
  RunStatus status_ = RunStatus::kClean;
};

}  // namespace d88
