#include "formatted_disk.h"

#include <cerrno>
#include <cstring>

#include "d88_format.h"
#include "little_endian.h"

namespace d88 {
namespace {

bool Put(std::FILE* dest, const std::uint8_t* bytes, std::size_t size) {
  return std::fwrite(bytes, 1, size, dest) == size;
}

std::int64_t TrackBytes(const FormattedGeometry& geometry) {
  return static_cast<std::int64_t>(geometry.sectors_per_track) *
         (static_cast<std::int64_t>(kSectorHeaderSize) +
          FormattedSectorSize(geometry));
}

// A geometry the header's fields and the sector headers can hold.
bool CanLayOut(const FormattedGeometry& geometry) {
  return geometry.track_count >= 0 && geometry.track_count <= kTrackCount &&
         geometry.sectors_per_track > 0 && geometry.sectors_per_track <= 255 &&
         geometry.first_sector >= 0 &&
         geometry.first_sector + geometry.sectors_per_track - 1 <= 255 &&
         geometry.size_code >= 0 && geometry.size_code <= 7;
}

// The track table points at each recorded track; the others stay 0, which
// says "not recorded".
void ComposeHeader(const FormattedGeometry& geometry,
                   const FormattedHeader& header, std::uint8_t* bytes) {
  std::memset(bytes, 0, kDiskHeaderSize);
  std::memcpy(bytes + kDiskNameOffset, header.name, kDiskNameLength);
  bytes[kWriteProtectOffset] = header.write_protected ? kWriteProtected : 0;
  bytes[kMediaTypeOffset] = header.media;
  WriteLe32(bytes + kDiskSizeOffset,
            static_cast<std::uint32_t>(FormattedDiskSize(geometry)));
  for (int track = 0; track < geometry.track_count; ++track) {
    const std::int64_t offset =
        static_cast<std::int64_t>(kDiskHeaderSize) + track * TrackBytes(geometry);
    WriteLe32(bytes + kTrackTableOffset + 4 * static_cast<std::size_t>(track),
              static_cast<std::uint32_t>(offset));
  }
}

// Cylinder and head come from the track index (cylinder * 2 + head); every
// record repeats how many the track holds.
void ComposeSectorHeader(const FormattedGeometry& geometry, int track,
                         int sector, std::uint8_t* bytes) {
  std::memset(bytes, 0, kSectorHeaderSize);
  bytes[kSectorCylinderOffset] = static_cast<std::uint8_t>(track / 2);
  bytes[kSectorHeadOffset] = static_cast<std::uint8_t>(track % 2);
  bytes[kSectorNumberOffset] = static_cast<std::uint8_t>(sector);
  bytes[kSectorSizeCodeOffset] = static_cast<std::uint8_t>(geometry.size_code);
  WriteLe16(bytes + kSectorCountOffset,
            static_cast<std::uint16_t>(geometry.sectors_per_track));
  WriteLe16(bytes + kSectorDataLengthOffset,
            static_cast<std::uint16_t>(FormattedSectorSize(geometry)));
}

}  // namespace

std::int32_t FormattedSectorSize(const FormattedGeometry& geometry) {
  return static_cast<std::int32_t>(128) << geometry.size_code;
}

std::int64_t FormattedDiskSize(const FormattedGeometry& geometry) {
  return static_cast<std::int64_t>(kDiskHeaderSize) +
         geometry.track_count * TrackBytes(geometry);
}

bool WriteFormattedDisk(std::FILE* dest, const FormattedGeometry& geometry,
                        const FormattedHeader& header,
                        const std::uint8_t* data) {
  if (!CanLayOut(geometry)) {
    errno = EINVAL;
    return false;
  }
  std::uint8_t header_bytes[kDiskHeaderSize];
  ComposeHeader(geometry, header, header_bytes);
  if (!Put(dest, header_bytes, sizeof header_bytes)) return false;
  const auto sector_size = static_cast<std::size_t>(FormattedSectorSize(geometry));
  std::uint8_t sector_header[kSectorHeaderSize];
  for (int track = 0; track < geometry.track_count; ++track) {
    for (int k = 0; k < geometry.sectors_per_track; ++k) {
      ComposeSectorHeader(geometry, track, geometry.first_sector + k,
                          sector_header);
      if (!Put(dest, sector_header, sizeof sector_header) ||
          !Put(dest, data, sector_size)) {
        return false;
      }
      data += sector_size;
    }
  }
  return true;
}

}  // namespace d88
