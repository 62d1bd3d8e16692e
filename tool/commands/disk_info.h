// --info: what each disk's header, tracks and directory say, gathered once
// per disk and shown as an aligned text block or as a JSON object.
#pragma once

#include "disk/disk_facts.h"
#include "disk/disk_walk.h"

namespace d88 {

class DiskInfo : public DiskConsumer {
 public:
  // How the facts of a disk are shown.
  using Show = void (*)(const DiskVisit& disk, const DiskFacts& facts);
  explicit DiskInfo(Show show) : show_(show) {}

  void BeginDisk(const DiskVisit& disk) override;
  void Entry(const DiskVisit& disk, const EntryFacts& facts) override;
  void EndDisk(const DiskVisit& disk) override;

  static void ShowText(const DiskVisit& disk, const DiskFacts& facts);
  static void ShowJson(const DiskVisit& disk, const DiskFacts& facts);

 private:
  Show show_;
  int entry_count_ = 0;
  std::int64_t bytes_covered_ = 0;
};

}  // namespace d88
