// --map --json: each disk's object in the JSON document holds its sector
// map and the map's legend instead of the listing's entries.
#pragma once

#include "disk/disk_walk.h"

namespace d88 {

class JsonMap : public DiskConsumer {
 public:
  void BeginDisk(const DiskVisit& disk) override;
  void Entry(const DiskVisit& disk, const EntryFacts& facts) override;
  void EndDisk(const DiskVisit& disk) override;
};

}  // namespace d88
