// The small file system every disk is taken to carry.
//
// 1024-byte sectors numbered 1 to 5 on every track; a directory of up to 128
// 16-byte entries in sectors 1 and 2 of track index 1 (cylinder 0, head 1);
// each file stored as an unbroken run of sectors from its start sector to its
// end sector, both included, stepping R = 1..5 and then on to sector 1 of the
// next track index. Nothing in a disk says that it holds this file system:
// the layout is simply assumed.
#pragma once

#include <cstdint>

#include "d88_image.h"

namespace d88 {

// --- Geometry. ---
constexpr int kSectorSizeCode = 3;  // 128 << 3 = 1024 bytes
constexpr int kSectorSize = 1024;
constexpr int kFirstSector = 1;
constexpr int kLastSector = 5;
constexpr int kSectorsPerTrack = 5;

// --- Directory: two sectors from sector 1 of track index 1. ---
constexpr int kDirectoryTrack = 1;
constexpr int kDirectorySize = 2 * kSectorSize;

// --- Directory entry: 16 bytes. ---
constexpr int kDirEntrySize = 16;
constexpr int kMaxDirEntries = kDirectorySize / kDirEntrySize;
// The name, NUL-terminated when shorter than six bytes. A first byte of 0xFF
// ends the directory; there is no free or deleted marker, so a first byte of
// 0 is simply an empty name.
constexpr int kEntryNameOffset = 0;
constexpr int kEntryNameLength = 6;
constexpr std::uint8_t kEndOfDirectory = 0xFF;
// Start and end of the file's run: track index (cylinder * 2 + head) and
// sector number, both ends included.
constexpr int kEntryStartTrackOffset = 12;
constexpr int kEntryStartSectorOffset = 13;
constexpr int kEntryEndTrackOffset = 14;
constexpr int kEntryEndSectorOffset = 15;

// The largest run an entry can express: track 0 sector 0 to track 255
// sector 255. Such a file really fits on a disk with more than 80 tracks, so
// it is read whole rather than cut.
constexpr std::int32_t kLargestFileSize =
    (255 * kSectorsPerTrack + 255 + 1) * kSectorSize;

struct DirEntry {
  char name[kEntryNameLength + 1];  // raw bytes from the disk, NUL-terminated
  int start_track;
  int start_sector;
  int end_track;
  int end_sector;
};

DirEntry DecodeDirEntry(const std::uint8_t* bytes);
// Writes the entry's name (zero-padded to six bytes) and its run into the 16
// bytes of a directory slot. Bytes 6 to 11 are left as they are: this file
// system gives them no meaning, but the system that wrote the disk may.
void EncodeDirEntry(const DirEntry& entry, std::uint8_t* bytes);
// Bytes the entry covers: negative or 0 when its end lies before its start.
std::int32_t FileSize(const DirEntry& entry);

// One sector of a run, as the reader addresses it.
struct SectorAddress {
  int track;   // track index: cylinder * 2 + head
  int sector;  // sector number R
};

// The sector a run reads after this one: the next number on the same track,
// or after the last sector, the first sector of the next track index.
SectorAddress NextSector(SectorAddress address);

// The selected disk's directory: its entries up to the end marker, and only
// those that the image really holds whole.
struct Directory {
  int entry_count;
  DirEntry entries[kMaxDirEntries];
  // Bytes of the directory's two sectors the image holds; less than
  // kDirectorySize when a sector is missing or cut short, and the entries
  // that stood there are lost.
  std::int32_t bytes_read;
};

// Reads the directory of the disk selected in image. The result is large;
// callers keep it in static storage.
const Directory& ReadDirectory(D88Image& image);

// A sector of a file whose header records trouble: a status other than 0
// (the imaging hardware could not read it cleanly) or a deleted-data mark.
// Its data is used as stored.
struct DamagedSector {
  SectorAddress address;
  std::uint8_t status;
  std::uint8_t deleted_mark;
};

// What reading an entry's run came to.
struct FileRead {
  std::int32_t size;       // the entry's size; <= 0 when it has no file
  std::int32_t delivered;  // bytes of whole sectors read before the run ended
  // Bytes read from the image, the first bytes of a short sector that ended
  // the run included; from here to size the file is zeros.
  std::int32_t data_end;
  // Where the run broke off when delivered < size (and size > 0).
  SectorAddress break_at;
  // Sectors of the file whose headers record trouble: how many, and the
  // first of them.
  int damaged_count;
  static constexpr int kMaxDamagedListed = 8;
  DamagedSector damaged[kMaxDamagedListed];
};

// Reads the entry's run into dest (room for kLargestFileSize bytes): the
// sectors in run order, and after a break, zeros up to the entry's size.
// The run ends at the first sector that is missing or shorter than asked;
// the bytes such a short sector holds stay in front of the zeros.
FileRead ReadFile(D88Image& image, const DirEntry& entry, std::uint8_t* dest);

// Whether a found sector holds what an extraction needs to take all 1024
// bytes: a header that says so, and a file that really goes on that far.
bool SectorWholeInFile(const SectorInfo& sector, std::int64_t file_size);

// Whether an extraction writes the entry's file: its size is above 0 and its
// first sector is whole in the image. Reads no file data.
bool RunStartsInImage(D88Image& image, const DirEntry& entry);

}  // namespace d88
