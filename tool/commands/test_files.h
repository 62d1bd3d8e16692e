// --test: reads every file as an extraction would and says on standard
// error what is wrong with each; writes nothing. The run ends with status 2
// when a file of size > 0 is not whole or a sector header records trouble,
// and when the image itself is damaged where files are lost with it: it
// holds no disk, a disk header cannot be a D88 header (the disks after it
// are lost or misread), or a directory is not whole in the image.
#pragma once

#include "disk/disk_walk.h"

namespace d88 {

class FileTester : public DiskConsumer {
 public:
  explicit FileTester(D88Image& image) : image_(image) {}
  bool ReadsFiles() const override { return true; }
  void BeginRun() override;
  void BeginDisk(const DiskVisit& disk) override;
  void Entry(const DiskVisit& disk, const EntryFacts& facts) override;
  RunStatus Status() const override { return status_; }

 private:
  D88Image& image_;
  RunStatus status_ = RunStatus::kClean;
};

}  // namespace d88
