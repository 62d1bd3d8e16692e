// The listing as text: a line per disk that has a folder ("[NAME] -> 000")
// and a line per entry, on standard output.
#pragma once

#include "disk/disk_walk.h"

namespace d88 {

class TextListing : public DiskConsumer {
 public:
  void BeginDisk(const DiskVisit& disk) override;
  void Entry(const DiskVisit& disk, const EntryFacts& facts) override;
};

}  // namespace d88
