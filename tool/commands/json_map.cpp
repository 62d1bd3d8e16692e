#include "commands/json_map.h"

#include "disk/sector_map.h"
#include "report/json_report.h"
#include "report/map_json.h"

namespace d88 {
namespace {

SectorMap map;  // of the disk being walked

}  // namespace

void JsonMap::BeginDisk(const DiskVisit& disk) {
  JsonBeginDisk(disk.image, disk.number, disk.folder);
  BeginSectorMap(map, disk.image);
}

// The listing numbers entries from 1 in directory order.
void JsonMap::Entry(const DiskVisit& disk, const EntryFacts& facts) {
  ClaimEntry(map, disk.image, facts.number - 1, facts.entry);
}

void JsonMap::EndDisk(const DiskVisit&) {
  JsonSectorMap(map);
  JsonEndDisk();
}

}  // namespace d88
