#include "extract.h"

#include <cstdio>
#include <cstring>

#include "host.h"
#include "host_name.h"

namespace d88 {
namespace {

constexpr int kSectorSizeCode = 3;  // 128 << 3 = 1024 bytes
constexpr int kSectorSize = 1024;
constexpr int kFirstSector = 1;
constexpr int kLastSector = 5;
constexpr int kSectorsPerTrack = 5;

constexpr int kDirectoryTrack = 1;
constexpr int kDirectorySize = 2 * kSectorSize;

// The largest run an entry can express: track 0 sector 0 to track 255
// sector 255. Such a file really fits on a disk with more than 80 tracks, so
// the buffer holds it whole rather than cutting it.
constexpr std::int32_t kLargestFileSize =
    (255 * kSectorsPerTrack + 255 + 1) * kSectorSize;

std::uint8_t directory_buffer[kDirectorySize];
std::uint8_t transfer_buffer[kLargestFileSize];

void PrintListingLine(const DirEntry& entry, std::int32_t size) {
  std::printf("%-6s   START:%02x %02x    END:%02x %02x   SIZE:%04x\n",
              entry.name, static_cast<unsigned>(entry.start_track),
              static_cast<unsigned>(entry.start_sector),
              static_cast<unsigned>(entry.end_track),
              static_cast<unsigned>(entry.end_sector),
              static_cast<unsigned>(static_cast<std::uint32_t>(size)));
}

// Messages go to standard error; the listing so far goes out first, so that
// both streams read in order on one console.
void ReportWriteFailure(const char* host_name) {
  std::fflush(stdout);
  std::fprintf(stderr, "d88unpack: cannot write file \"%s\": %s\n", host_name,
               host::FileErrorText());
}

void ReportMappedName(const char* entry_name, const char* host_name) {
  std::fflush(stdout);
  std::fprintf(stderr, "d88unpack: file \"%s\" saved as \"%s\"\n", entry_name,
               host_name);
}

}  // namespace

DirEntry DecodeDirEntry(const std::uint8_t* bytes) {
  DirEntry entry = {};
  for (int i = 0; i < kEntryNameLength; ++i) {
    const std::uint8_t byte = bytes[kEntryNameOffset + i];
    if (byte == 0) break;
    entry.name[i] = static_cast<char>(byte);
  }
  entry.start_track = bytes[kEntryStartTrackOffset];
  entry.start_sector = bytes[kEntryStartSectorOffset];
  entry.end_track = bytes[kEntryEndTrackOffset];
  entry.end_sector = bytes[kEntryEndSectorOffset];
  return entry;
}

// Sectors are numbered linearly as track * 5 + sector number; the result fits
// a signed 32-bit count for every entry.
std::int32_t FileSize(const DirEntry& entry) {
  const int start = entry.start_track * kSectorsPerTrack + entry.start_sector;
  const int end = entry.end_track * kSectorsPerTrack + entry.end_sector;
  return (end - start + 1) * kSectorSize;
}

bool ExtractDisk(D88Image& image) {
  image.SetSectorRange(kFirstSector, kLastSector);
  // Only whole entries of what the read delivered are this disk's: the
  // buffer may still hold an earlier disk's directory past that point.
  const std::int32_t delivered =
      image.ReadSectors(kDirectoryTrack, 0, 1, 1, kSectorSizeCode,
                        directory_buffer, kDirectorySize);
  const int entry_count = delivered / kDirEntrySize;
  bool all_written = true;
  for (int j = 0; j < entry_count; ++j) {
    const std::uint8_t* bytes = directory_buffer + j * kDirEntrySize;
    if (bytes[kEntryNameOffset] == kEndOfDirectory) break;
    const DirEntry entry = DecodeDirEntry(bytes);
    const std::int32_t size = FileSize(entry);
    PrintListingLine(entry, size);
    const int track = entry.start_track;
    if (ExtractFile(image, entry.name, track, track / 2, track % 2,
                    entry.start_sector, size) == FileOutcome::kWriteFailed) {
      all_written = false;
    }
  }
  return all_written;
}

FileOutcome ExtractFile(D88Image& image, const char* name, int track, int c,
                        int h, int r, std::int32_t size) {
  if (size <= 0 || size > kLargestFileSize) return FileOutcome::kNotInImage;
  // A run that breaks off early leaves the rest of the file as zeros, never
  // as bytes of an earlier file; a short last sector's bytes stay in front.
  std::memset(transfer_buffer, 0, static_cast<std::size_t>(size));
  if (image.ReadSectors(track, c, h, r, kSectorSizeCode, transfer_buffer,
                        size) == 0) {
    return FileOutcome::kNotInImage;
  }
  char host_name[kHostNameCapacity];
  const bool mapped =
      HostFileName(name, kNativeHostRules, NameEncoding::kRaw, host_name);
  if (!host::WriteFile(host_name, transfer_buffer,
                       static_cast<std::size_t>(size))) {
    ReportWriteFailure(host_name);
    return FileOutcome::kWriteFailed;
  }
  if (mapped) ReportMappedName(name, host_name);
  return FileOutcome::kWritten;
}

}  // namespace d88
