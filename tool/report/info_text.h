// --info's aligned text block for one disk.
#pragma once

#include "disk/disk_facts.h"

namespace d88 {

// The block for disk number disk.
void PrintDiskInfo(int disk, const char* raw_disk_name, const DiskFacts& facts);

}  // namespace d88
