// The layout of a D88 image file.
//
// A D88 file is one or more floppy-disk images stored back to back, with no
// file-level header or trailer. Each disk starts with a fixed-size header that
// names the disk, gives its size (the step to the next disk) and a table of
// track offsets. A track is a chain of sector records: a 16-byte sector header
// followed at once by the sector's data.
#pragma once

#include <cstddef>
#include <cstdint>

namespace d88 {

// --- Disk header: 688 bytes at the start of every disk. ---
constexpr std::size_t kDiskHeaderSize = 0x2B0;
// The disk's name, NUL-terminated when shorter than 16 bytes.
constexpr std::size_t kDiskNameOffset = 0x00;
constexpr std::size_t kDiskNameLength = 16;
// 0x10 when the disk is write-protected, 0 when it may be written.
constexpr std::size_t kWriteProtectOffset = 0x1A;
constexpr std::uint8_t kWriteProtected = 0x10;
// One byte telling the kind of medium (2D, 2DD, 2HD...); informational only.
constexpr std::size_t kMediaTypeOffset = 0x1B;
// Bytes from the start of this header to the start of the next disk. Also the
// upper bound for a track offset to count as recorded.
constexpr std::size_t kDiskSizeOffset = 0x1C;
// 164 offsets, one per track index (cylinder * 2 + head), relative to the
// start of the disk header; 0 means the track was not recorded.
constexpr std::size_t kTrackTableOffset = 0x20;
constexpr int kTrackCount = 164;
// Byte values of the media type field.
constexpr std::uint8_t kMedia2D = 0x00;
constexpr std::uint8_t kMedia2DD = 0x10;
constexpr std::uint8_t kMedia2HD = 0x20;
constexpr std::uint8_t kMedia1D = 0x30;
constexpr std::uint8_t kMedia1DD = 0x40;

// --- Sector header: 16 bytes in front of every sector's data. ---
constexpr std::size_t kSectorHeaderSize = 16;
// The sector ID as written on the medium: cylinder, head, sector number and
// size code (nominal size 128 << N).
constexpr std::size_t kSectorCylinderOffset = 0;
constexpr std::size_t kSectorHeadOffset = 1;
constexpr std::size_t kSectorNumberOffset = 2;
constexpr std::size_t kSectorSizeCodeOffset = 3;
// How many sector records the track holds, repeated in every record.
constexpr std::size_t kSectorCountOffset = 4;
// The data address mark the controller read: kDeletedDataMark when the
// sector was written as deleted data, 0 for normal data.
constexpr std::size_t kSectorDeletedMarkOffset = 0x07;
constexpr std::uint8_t kDeletedDataMark = 0x10;
// What the controller reported when the sector was imaged: 0 for a clean
// read; otherwise its status code (0xA0 ID CRC error, 0xB0 data CRC error,
// and so on).
constexpr std::size_t kSectorStatusOffset = 0x08;
// Bytes of data that really follow this header; may differ from 128 << N.
constexpr std::size_t kSectorDataLengthOffset = 0x0E;

// Bytes one sector ID takes in a ListSectorIds result: C, H, R, N.
constexpr int kSectorIdSize = 4;

// The reader records at most this many disks of one file.
constexpr int kMaxDisks = 64;

// Size codes above this make 128 << N overflow a signed 32-bit count.
constexpr int kMaxSizeCode = 23;

}  // namespace d88
