// --map-svg=PATH: the maps of every disk taken, drawn as one SVG picture in
// PATH (from the folder the run started in) after the last disk.
#pragma once

#include "disk/disk_walk.h"

namespace d88 {

class SvgMap : public DiskConsumer {
 public:
  explicit SvgMap(const char* path) : path_(path) {}
  void BeginRun() override;
  void BeginDisk(const DiskVisit& disk) override;
  void Entry(const DiskVisit& disk, const EntryFacts& facts) override;
  void EndRun() override;
  RunStatus Status() const override { return status_; }

 private:
  const char* path_;
  RunStatus status_ = RunStatus::kClean;
};

}  // namespace d88
