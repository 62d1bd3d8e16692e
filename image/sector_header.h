// One 16-byte sector header, decoded field by field.
//
// Both the plain track walk and the chain index read headers; they share this
// decoding so that they can never disagree about what a record says.
#pragma once

#include <cstdint>

#include "d88_format.h"
#include "image_file.h"
#include "little_endian.h"

namespace d88 {

struct SectorHeader {
  bool whole;  // false when the file ended inside it; then nothing else holds
  std::uint32_t id;  // C, H, R, N from the lowest byte up
  std::uint16_t count;
  std::uint16_t data_length;
  std::uint8_t deleted_mark;
  std::uint8_t status;
};

inline std::uint32_t PackSectorId(std::uint32_t c, std::uint32_t h,
                                  std::uint32_t r, std::uint32_t n) {
  return c | (h << 8) | (r << 16) | (n << 24);
}

// Reads the header at position.
inline SectorHeader ReadSectorHeader(ImageFile& file, std::int64_t position) {
  std::uint8_t bytes[kSectorHeaderSize];
  SectorHeader header = {};
  const auto size = static_cast<std::int32_t>(kSectorHeaderSize);
  header.whole = file.ReadAt(position, bytes, size) == size;
  if (!header.whole) return header;
  header.id = PackSectorId(bytes[kSectorCylinderOffset],
                           bytes[kSectorHeadOffset], bytes[kSectorNumberOffset],
                           bytes[kSectorSizeCodeOffset]);
  header.count = ReadLe16(bytes + kSectorCountOffset);
  header.data_length = ReadLe16(bytes + kSectorDataLengthOffset);
  header.deleted_mark = bytes[kSectorDeletedMarkOffset];
  header.status = bytes[kSectorStatusOffset];
  return header;
}

// Where the record after this one starts.
inline std::int64_t NextRecord(std::int64_t position,
                               const SectorHeader& header) {
  return position + static_cast<std::int64_t>(kSectorHeaderSize) +
         header.data_length;
}

}  // namespace d88
