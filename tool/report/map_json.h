// The sector map as JSON: the members a disk's object gets with --map
// --json. doc/manual.md describes them.
#pragma once

#include "disk/sector_map.h"

namespace d88 {

// "tracks": every recorded track with its sectors 1 to 5, and "legend":
// the entries that took part, by their index in the directory.
void JsonSectorMap(const SectorMap& map);

}  // namespace d88
