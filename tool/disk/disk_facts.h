// What a disk's header, tracks and directory say about it as a whole, as
// --info shows them.
#pragma once

#include <cstdint>

#include "d88_image.h"
#include "disk/file_system.h"

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
  // From the walk of the directory: its entries, and the sum of the sizes
  // of those larger than 0.
  int entry_count;
  std::int64_t bytes_covered;
};

// Gathers the facts of the disk selected in image; the entries are left
// to the walk.
DiskFacts GatherDiskFacts(D88Image& image);

// "ABC" for the known media type bytes, nullptr for any other.
const char* MediaTypeName(int media_type);

}  // namespace d88
