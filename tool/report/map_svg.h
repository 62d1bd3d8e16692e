// The sector maps of a run as one SVG picture: a block per disk with a
// square per sector, coloured by its state and, for a file, by its entry,
// and a tooltip per square (the <title> a browser shows when the pointer
// rests on it). SVG is XML text, so it is written directly, with every name
// decoded from Shift_JIS to UTF-8 and escaped.
#pragma once

#include <cstdio>

#include "disk/sector_map.h"

namespace d88 {

struct SvgDisk {
  int number;
  const char* raw_name;  // the disk's name as its header holds it
  const SectorMap* map;
};

// Writes the picture of these disks, in this order, to file.
void WriteMapSvg(std::FILE* file, const SvgDisk* disks, int count);

}  // namespace d88
