// Laying out a disk formatted afresh: the header, the track table and every
// track's records, as a formatter leaves them.
//
// Every track from 0 up to the last is recorded, one right after the other,
// each with the same run of sector numbers, all of one size, in number
// order. Nothing is damaged: no status, no deleted-data mark. What the
// sectors hold is the caller's; the layout knows no file system.
#pragma once

#include <cstdint>
#include <cstdio>

namespace d88 {

struct FormattedGeometry {
  int track_count;        // tracks 0 to track_count - 1 are recorded
  int sectors_per_track;  // numbered from first_sector up
  int first_sector;
  int size_code;          // each sector holds 128 << size_code bytes
};

struct FormattedHeader {
  const std::uint8_t* name;  // 16 bytes, zero-padded
  bool write_protected;
  std::uint8_t media;
};

// Bytes of data one sector holds.
std::int32_t FormattedSectorSize(const FormattedGeometry& geometry);
// Bytes the whole disk takes in the image, header included: its size field.
std::int64_t FormattedDiskSize(const FormattedGeometry& geometry);

// Writes the disk to dest. data holds every sector's bytes, track by track
// and in sector number order within a track. False when the stream refused
// a write (errno says why) or the geometry cannot be laid out.
bool WriteFormattedDisk(std::FILE* dest, const FormattedGeometry& geometry,
                        const FormattedHeader& header,
                        const std::uint8_t* data);

}  // namespace d88
