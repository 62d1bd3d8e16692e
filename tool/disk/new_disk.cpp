#include "disk/new_disk.h"

#include <cstring>

namespace d88 {
namespace {

// The system area's sectors, in the order of its bytes.
constexpr SectorAddress kSystemSectors[] = {
    {0, 1}, {0, 2}, {0, 3}, {0, 4}, {0, 5}, {1, 3}, {1, 4}, {1, 5}};

}  // namespace

void NewDisk::Format(int track_count) {
  track_count_ = track_count;
  sectors_taken_ = 0;
  std::memset(sectors_, 0, sizeof sectors_);
  free_map_.Format(track_count);
  directory_.StartEmpty();
}

void NewDisk::PutSystemArea(const std::uint8_t* bytes) {
  for (const SectorAddress& at : kSystemSectors) {
    std::memcpy(SectorAt(at.track, at.sector), bytes, kSectorSize);
    bytes += kSectorSize;
  }
}

int NewDisk::DataSectorsHeld() const {
  return track_count_ > kFirstDataTrack
             ? (track_count_ - kFirstDataTrack) * kSectorsPerTrack
             : 0;
}

// The free map keeps each data sector's place in the disk's bytes, so the
// file goes where the run it found says. The last sector's rest stays
// zero, as formatting left it.
bool NewDisk::Place(const char* raw_name, const std::uint8_t* data,
                    std::int32_t size) {
  const int needed = SectorsFor(size);
  const SectorRun run = free_map_.FirstFit(needed);
  if (run.first < 0 || directory_.Room() <= 0) return false;
  DirEntry entry = {};
  std::strncpy(entry.name, raw_name, kEntryNameLength);
  const SectorAddress start = DataSectorAddress(run.first);
  const SectorAddress end = DataSectorAddress(run.first + needed - 1);
  entry.start_track = start.track;
  entry.start_sector = start.sector;
  entry.end_track = end.track;
  entry.end_sector = end.sector;
  directory_.Append(entry);
  free_map_.Claim(entry, +1);
  std::memcpy(sectors_ + free_map_.Position(run.first), data,
              static_cast<std::size_t>(size));
  sectors_taken_ += needed;
  return true;
}

const std::uint8_t* NewDisk::Sectors() {
  std::uint8_t directory[kDirectorySize];
  directory_.Compose(directory);
  std::memcpy(SectorAt(kDirectoryTrack, kFirstSector), directory,
              kDirectorySize);
  return sectors_;
}

}  // namespace d88
