#include "disk/file_system.h"

#include <cstring>

namespace d88 {
namespace {

std::uint8_t directory_buffer[kDirectorySize];
Directory directory;

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

void EncodeDirEntry(const DirEntry& entry, std::uint8_t* bytes) {
  bool ended = false;
  for (int i = 0; i < kEntryNameLength; ++i) {
    ended = ended || entry.name[i] == '\0';
    bytes[kEntryNameOffset + i] =
        ended ? 0 : static_cast<std::uint8_t>(entry.name[i]);
  }
  bytes[kEntryStartTrackOffset] = static_cast<std::uint8_t>(entry.start_track);
  bytes[kEntryStartSectorOffset] = static_cast<std::uint8_t>(entry.start_sector);
  bytes[kEntryEndTrackOffset] = static_cast<std::uint8_t>(entry.end_track);
  bytes[kEntryEndSectorOffset] = static_cast<std::uint8_t>(entry.end_sector);
}

// Sectors are numbered linearly as track * 5 + sector number; the result fits
// a signed 32-bit count for every entry.
std::int32_t FileSize(const DirEntry& entry) {
  const int start = entry.start_track * kSectorsPerTrack + entry.start_sector;
  const int end = entry.end_track * kSectorsPerTrack + entry.end_sector;
  return (end - start + 1) * kSectorSize;
}

// Only an exact match with the last sector number moves to the next track:
// a run that starts above it counts on along the same track.
SectorAddress NextSector(SectorAddress address) {
  if (address.sector == kLastSector) return {address.track + 1, kFirstSector};
  return {address.track, address.sector + 1};
}

const Directory& ReadDirectory(D88Image& image) {
  image.SetSectorRange(kFirstSector, kLastSector);
  // Only whole entries of what the read delivered are this disk's: the
  // buffer may still hold an earlier disk's directory past that point.
  const std::int32_t delivered =
      image.ReadSectors(kDirectoryTrack, 0, 1, 1, kSectorSizeCode,
                        directory_buffer, kDirectorySize);
  directory.entry_count = 0;
  directory.bytes_read = delivered;
  for (int j = 0; j < delivered / kDirEntrySize; ++j) {
    const std::uint8_t* bytes = directory_buffer + j * kDirEntrySize;
    if (bytes[kEntryNameOffset] == kEndOfDirectory) break;
    directory.entries[directory.entry_count++] = DecodeDirEntry(bytes);
  }
  return directory;
}

namespace {

void NoteDamage(FileRead& read, SectorAddress address, const SectorInfo& sector) {
  if (sector.status == 0 && sector.deleted_mark != kDeletedDataMark) return;
  if (read.damaged_count < FileRead::kMaxDamagedListed) {
    read.damaged[read.damaged_count] = {address, sector.status,
                                        sector.deleted_mark};
  }
  ++read.damaged_count;
}

}  // namespace

// Steps through the run one sector at a time, as the reader's own runs do,
// so that each sector's header can be looked at on the way.
FileRead ReadFile(D88Image& image, const DirEntry& entry, std::uint8_t* dest) {
  FileRead read = {};
  read.size = FileSize(entry);
  if (read.size <= 0 || read.size > kLargestFileSize) return read;
  SectorAddress address = {entry.start_track, entry.start_sector};
  while (read.delivered < read.size) {
    const std::int32_t wanted =
        read.size - read.delivered < kSectorSize ? read.size - read.delivered
                                                 : kSectorSize;
    const SectorInfo sector =
        image.FindSector(address.track, address.track / 2, address.track % 2,
                         address.sector, kSectorSizeCode);
    const std::int32_t got = image.ReadFoundSector(
        address.track, sector, dest + read.delivered, wanted);
    if (got > 0) NoteDamage(read, address, sector);
    if (got < wanted) {
      read.data_end = read.delivered + got;
      read.break_at = address;
      break;
    }
    read.delivered += got;
    read.data_end = read.delivered;
    address = NextSector(address);
  }
  // A run that breaks off early leaves the rest of the file as zeros, never
  // as bytes of an earlier file.
  std::memset(dest + read.data_end, 0,
              static_cast<std::size_t>(read.size - read.data_end));
  return read;
}

bool SectorWholeInFile(const SectorInfo& sector, std::int64_t file_size) {
  return sector.found && sector.data_length >= kSectorSize &&
         sector.data_position + kSectorSize <= file_size;
}

// The data may be cut short by the end of the file, so the sector is read,
// not only found.
bool RunStartsInImage(D88Image& image, const DirEntry& entry) {
  static std::uint8_t first_sector[kSectorSize];
  if (FileSize(entry) <= 0) return false;
  const int track = entry.start_track;
  return image.ReadSector(track, track / 2, track % 2, entry.start_sector,
                          kSectorSizeCode, first_sector,
                          kSectorSize) == kSectorSize;
}

}  // namespace d88
