// The sector reader's answers worked out the plainest way, from the image's
// bytes in memory, one record at a time, straight from the rules of the
// format: what the tests and the reader's fuzz target compare D88Image with.
// Nothing here is shared with the reader's code, so that a fault in one
// cannot hide in the other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "d88_image.h"

namespace d88check {

class ReferenceImage {
 public:
  ReferenceImage(const std::uint8_t* bytes, std::size_t size)
      : bytes_(bytes), size_(size) {}

  // The disks as the reader finds them: where each starts.
  std::vector<std::int64_t> DiskStarts() const;
  // The file position of a track's first record on the disk starting at
  // disk_start, or -1 when the track is absent.
  std::int64_t TrackStart(std::int64_t disk_start, int track) const;
  // FindSector's answer for the walk from track_start (-1: none).
  d88::SectorInfo Find(std::int64_t track_start, std::uint32_t id) const;
  // ReadSectors' answer: the bytes a run from (c, h, r, n) of the track
  // delivers, the run stepping from last to first sector number.
  std::vector<std::uint8_t> Run(std::int64_t disk_start, int track, int c,
                                int h, int r, int n, std::int32_t total,
                                int first, int last) const;
  // ListSectorIds' answer, as 4 bytes per record.
  std::vector<std::uint8_t> Ids(std::int64_t track_start,
                                std::int32_t max_records) const;

  static std::uint32_t PackId(int c, int h, int r, int n) {
    return static_cast<std::uint32_t>(c) | static_cast<std::uint32_t>(h) << 8 |
           static_cast<std::uint32_t>(r) << 16 |
           static_cast<std::uint32_t>(n) << 24;
  }

 private:
  std::uint32_t Le(std::size_t at, int width) const;

  const std::uint8_t* bytes_;
  std::size_t size_;
};

}  // namespace d88check
