#include "commands/svg_map.h"

#include <cstring>

#include "disk/sector_map.h"
#include "host/host.h"
#include "report/map_svg.h"
#include "report/reporter.h"

namespace d88 {
namespace {

// The picture's height depends on every disk, so the maps are kept until
// the run ends; an image holds at most kMaxDisks of them.
SectorMap maps[kMaxDisks];
char disk_names[kMaxDisks][kDiskNameLength + 1];
SvgDisk disks[kMaxDisks];
int disk_count = 0;

}  // namespace

void SvgMap::BeginRun() { disk_count = 0; }

void SvgMap::BeginDisk(const DiskVisit& disk) {
  if (disk_count == kMaxDisks) return;
  const int slot = disk_count++;
  std::memcpy(disk_names[slot], disk.image.DiskName(), sizeof disk_names[slot]);
  disks[slot] = {disk.number, disk_names[slot], &maps[slot]};
  BeginSectorMap(maps[slot], disk.image);
}

// The listing numbers entries from 1 in directory order.
void SvgMap::Entry(const DiskVisit& disk, const EntryFacts& facts) {
  ClaimEntry(maps[disk_count - 1], disk.image, facts.number - 1, facts.entry);
}

void SvgMap::EndRun() {
  std::FILE* file = host::StartTextFile(path_);
  if (file != nullptr) {
    WriteMapSvg(file, disks, disk_count);
    if (host::FinishTextFile(file, path_)) return;
  }
  report::Note("cannot write file \"%s\": %s", path_, host::FileErrorText());
  status_ = RunStatus::kFailed;
}

}  // namespace d88
