// Listing and extracting the files of one disk.
//
// Every disk is taken to carry the same small file system: 1024-byte sectors
// numbered 1 to 5 on every track, a directory of up to 128 16-byte entries in
// sectors 1 and 2 of track index 1 (cylinder 0, head 1), and each file stored
// as an unbroken run of sectors from its start sector to its end sector.
#pragma once

#include <cstdint>

#include "d88_image.h"

namespace d88 {

// --- Directory entry: 16 bytes. ---
constexpr int kDirEntrySize = 16;
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

struct DirEntry {
  char name[kEntryNameLength + 1];
  int start_track;
  int start_sector;
  int end_track;
  int end_sector;
};

DirEntry DecodeDirEntry(const std::uint8_t* bytes);
// Bytes the entry covers: negative or 0 when its end lies before its start.
std::int32_t FileSize(const DirEntry& entry);

enum class FileOutcome {
  kWritten,       // the host file holds the file
  kNotInImage,    // nothing to write: size <= 0 or first sector unreadable
  kWriteFailed,   // the host refused the file; reported on standard error
};

// Lists the selected disk's directory on standard output and writes its
// files into the working folder. Returns false when a host file that should
// have been written could not be.
bool ExtractDisk(D88Image& image);

// Reads the run of size bytes that starts at sector r of the track and
// writes it to a host file named after the entry.
FileOutcome ExtractFile(D88Image& image, const char* name, int track, int c,
                        int h, int r, std::int32_t size);

}  // namespace d88
