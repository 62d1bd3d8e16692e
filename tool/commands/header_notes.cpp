#include "commands/header_notes.h"

#include "report/damage_notes.h"

namespace d88 {

void HeaderNotes::BeginDisk(const DiskVisit& disk) {
  NoteDiskHeader(disk.image, disk.number);
}

}  // namespace d88
