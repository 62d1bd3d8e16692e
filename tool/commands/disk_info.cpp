#include "commands/disk_info.h"

#include "report/info_text.h"
#include "report/json_report.h"

namespace d88 {

void DiskInfo::BeginDisk(const DiskVisit&) {
  entry_count_ = 0;
  bytes_covered_ = 0;
}

void DiskInfo::Entry(const DiskVisit&, const EntryFacts& facts) {
  ++entry_count_;
  if (facts.size > 0) bytes_covered_ += facts.size;
}

void DiskInfo::EndDisk(const DiskVisit& disk) {
  DiskFacts facts = GatherDiskFacts(disk.image);
  facts.entry_count = entry_count_;
  facts.bytes_covered = bytes_covered_;
  show_(disk, facts);
}

void DiskInfo::ShowText(const DiskVisit& disk, const DiskFacts& facts) {
  PrintDiskInfo(disk.number, disk.image.DiskName(), facts);
}

void DiskInfo::ShowJson(const DiskVisit& disk, const DiskFacts& facts) {
  JsonBeginDisk(disk.image, disk.number, disk.folder);
  JsonDiskFacts(facts);
  JsonEndDisk();
}

}  // namespace d88
