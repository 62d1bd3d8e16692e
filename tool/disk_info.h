// --info: what a disk's header, tracks and directory say, gathered once and
// shown as an aligned text block or as JSON.
#pragma once

#include <cstdint>

#include "d88_image.h"
#include "file_system.h"

namespace d88 {

// How a track is laid out: its records and their data lengths.
struct TrackShape {
  int sectors;
  int bytes;  // the data length every record shares, -1 when they differ
};

struct OddTrack {
  int track;
  TrackShape shape;
};

// The layout most recorded tracks share, how many do, and the others.
struct TrackLayout {
  TrackShape common;
  int common_count;
  int odd_count;
  OddTrack odd[kTrackCount];
};

struct DiskFacts {
  int media_type;
  bool write_protected;
  std::uint32_t size_field;
  int tracks_recorded;
  TrackLayout layout;
  // Records whose header holds a status or a deleted-data mark.
  int damaged_count;
  static constexpr int kMaxDamagedListed = 8;
  DamagedSector damaged[kMaxDamagedListed];
  int directory_sectors;  // directory sectors present whole: 0, 1 or 2
  int entry_count;
  std::int64_t bytes_covered;  // sum of the sizes of entries larger than 0
};

// Gathers the facts of the disk selected in image.
DiskFacts GatherDiskFacts(D88Image& image);

// "ABC" for the known media type bytes, nullptr for any other.
const char* MediaTypeName(int media_type);

// The aligned text block for disk number disk.
void PrintDiskInfo(int disk, const char* raw_disk_name, const DiskFacts& facts);

}  // namespace d88
