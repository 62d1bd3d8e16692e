// --map: each disk's sectors as a text map on standard output, with a
// legend of its entries, instead of the listing.
#pragma once

#include "disk/disk_walk.h"

namespace d88 {

// Only the entries the walk hands over claim sectors; the rest show free.
class TextMap : public DiskConsumer {
 public:
  explicit TextMap(bool color) : color_(color) {}
  void BeginDisk(const DiskVisit& disk) override;
  void Entry(const DiskVisit& disk, const EntryFacts& facts) override;
  void EndDisk(const DiskVisit& disk) override;

 private:
  bool color_;
};

}  // namespace d88
