#include "disk/sector_map.h"

namespace d88 {
namespace {

constexpr int kDirectorySectors = 2;

MapCell CellFor(const SectorInfo& sector, std::int64_t file_size) {
  MapCell cell = {};
  cell.first_claimant = -1;
  cell.found = sector.found;
  if (!sector.found) return cell;
  cell.status = sector.status;
  cell.deleted_mark = sector.deleted_mark;
  cell.whole = SectorWholeInFile(sector, file_size);
  return cell;
}

// Sector numbers above 5 and tracks past the table are outside the map; a
// run that reaches them is still stepped, as an extraction steps it.
bool OnMap(SectorAddress address) {
  return address.track >= 0 && address.track < kTrackCount &&
         address.sector >= kFirstSector && address.sector <= kLastSector;
}

bool SectorIsWhole(D88Image& image, SectorAddress address,
                   std::int64_t file_size) {
  const SectorInfo sector =
      image.FindSector(address.track, address.track / 2, address.track % 2,
                       address.sector, kSectorSizeCode);
  return CellFor(sector, file_size).whole;
}

void Claim(MapCell& cell, int index) {
  std::uint32_t& word = cell.claimants[index / 32];
  const std::uint32_t bit = std::uint32_t{1} << (index % 32);
  if ((word & bit) != 0) return;
  word |= bit;
  ++cell.claim_count;
  if (cell.first_claimant < 0 || index < cell.first_claimant) {
    cell.first_claimant = static_cast<std::int8_t>(index);
  }
}

}  // namespace

const char* SectorStateName(SectorState state) {
  switch (state) {
    case SectorState::kMissing: return "missing";
    case SectorState::kFree: return "free";
    case SectorState::kSystem: return "system";
    case SectorState::kDirectory: return "directory";
    case SectorState::kFile: return "file";
    case SectorState::kShared: return "shared";
  }
  return "";
}

void BeginSectorMap(SectorMap& map, D88Image& image) {
  const std::int64_t file_size = image.FileSize();
  map.file_size = file_size;
  map.entry_count = 0;
  for (int track = 0; track < kTrackCount; ++track) {
    map.recorded[track] = image.TrackRecorded(track);
    for (int r = kFirstSector; r <= kLastSector; ++r) {
      SectorInfo sector = {};
      if (map.recorded[track]) {
        sector = image.FindSector(track, track / 2, track % 2, r,
                                  kSectorSizeCode);
      }
      map.cells[track][r - kFirstSector] = CellFor(sector, file_size);
    }
  }
}

// Steps the run one sector at a time from its start, for as many sectors as
// the entry's size holds, and stops where an extraction's read would break
// off. Cells already say whether a sector is whole; only a run that leaves
// the map needs the image.
void ClaimEntry(SectorMap& map, D88Image& image, int index,
                const DirEntry& entry) {
  const std::int32_t size = FileSize(entry);
  if (map.entry_count < kMaxDirEntries) {
    map.entries[map.entry_count++] = {index, entry, size};
  }
  if (size <= 0 || index < 0 || index >= kMaxDirEntries) return;
  SectorAddress address = {entry.start_track, entry.start_sector};
  for (std::int32_t left = size / kSectorSize; left > 0; --left) {
    if (!OnMap(address)) {
      if (!SectorIsWhole(image, address, map.file_size)) return;
    } else {
      MapCell& cell = map.cells[address.track][address.sector - kFirstSector];
      if (!cell.whole) return;
      Claim(cell, index);
    }
    address = NextSector(address);
  }
}

bool InSystemArea(int track, int sector) {
  return track == 0 ||
         (track == kDirectoryTrack && sector > kDirectorySectors);
}

SectorState StateOf(const SectorMap& map, int track, int sector) {
  const MapCell& cell = CellAt(map, track, sector);
  if (!cell.whole) return SectorState::kMissing;
  if (cell.claim_count >= 2) return SectorState::kShared;
  if (cell.claim_count == 1) return SectorState::kFile;
  if (InSystemArea(track, sector)) return SectorState::kSystem;
  if (track == kDirectoryTrack) return SectorState::kDirectory;
  return SectorState::kFree;
}

bool ClaimedBy(const MapCell& cell, int index) {
  return (cell.claimants[index / 32] >> (index % 32) & 1U) != 0;
}

bool HasTroubleMark(const MapCell& cell) {
  return cell.found &&
         (cell.status != 0 || cell.deleted_mark == kDeletedDataMark);
}

}  // namespace d88
