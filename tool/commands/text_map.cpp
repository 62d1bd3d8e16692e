#include "commands/text_map.h"

#include "disk/sector_map.h"
#include "report/map_text.h"

namespace d88 {
namespace {

SectorMap map;  // of the disk being walked

}  // namespace

void TextMap::BeginDisk(const DiskVisit& disk) { BeginSectorMap(map, disk.image); }

// The listing numbers entries from 1 in directory order.
void TextMap::Entry(const DiskVisit& disk, const EntryFacts& facts) {
  ClaimEntry(map, disk.image, facts.number - 1, facts.entry);
}

void TextMap::EndDisk(const DiskVisit& disk) {
  report::PrintTextMap(map, disk.number, disk.image.DiskName(), color_);
}

}  // namespace d88
