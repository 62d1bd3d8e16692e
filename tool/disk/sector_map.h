// The whole of a disk, sector by sector: which of its 1024-byte sectors the
// image holds, which of them the system area and the directory take, which
// entries claim which, and which no one claims.
//
// A disk of this file system has five sectors (R 1 to 5) on every track.
// Track 0 and sectors 3 to 5 of track 1 are the system area the machine
// starts from; sectors 1 and 2 of track 1 are the directory. An entry claims
// the sectors its run covers, stepped as an extraction steps them, up to
// the first one that is missing or short: that is where an extraction stops
// taking data from the image. What is left over is free, and is often what
// remains of deleted files.
#pragma once

#include <cstdint>

#include "d88_image.h"
#include "disk/file_system.h"

namespace d88 {

// What a sector is, as the map shows it.
enum class SectorState {
  kMissing,    // not in the image, or holding fewer than 1024 bytes
  kFree,       // whole in the image and claimed by nobody
  kSystem,     // track 0, or track 1 sectors 3 to 5, claimed by nobody
  kDirectory,  // track 1 sectors 1 and 2, claimed by nobody
  kFile,       // claimed by one entry
  kShared,     // claimed by two entries or more
};
const char* SectorStateName(SectorState state);

// What the image holds for one sector and who claims it.
struct MapCell {
  bool found;     // a record with this ID is in the track
  bool whole;     // found with all of its 1024 bytes
  std::uint8_t status;        // header byte 0x08 when found
  std::uint8_t deleted_mark;  // header byte 0x07 when found
  std::uint8_t claim_count;
  std::int8_t first_claimant;  // lowest directory index, -1 for none
  // Bit i set: the entry at directory index i claims the sector.
  std::uint32_t claimants[kMaxDirEntries / 32];
};

// An entry that took part in the map, for its legend.
struct MapEntry {
  int index;  // in the directory, from 0
  DirEntry entry;
  std::int32_t size;
};

struct SectorMap {
  // The image file's size, taken once: asking the host for it per entry
  // would cost more than the whole map.
  std::int64_t file_size;
  bool recorded[kTrackCount];
  MapCell cells[kTrackCount][kSectorsPerTrack];
  int entry_count;
  MapEntry entries[kMaxDirEntries];
};

// Starts the map of the disk selected in image: every sector as the image
// holds it, claimed by nobody yet. Reads no sector data.
void BeginSectorMap(SectorMap& map, D88Image& image);
// Adds the entry at this directory index and claims the sectors of its run.
// Reads no sector data either, so a map stays cheap on a large image.
void ClaimEntry(SectorMap& map, D88Image& image, int index,
                const DirEntry& entry);

// The sector's cell; sector counts from 1.
inline const MapCell& CellAt(const SectorMap& map, int track, int sector) {
  return map.cells[track][sector - kFirstSector];
}
SectorState StateOf(const SectorMap& map, int track, int sector);
bool ClaimedBy(const MapCell& cell, int index);
// The header records a read error or a deleted-data mark.
bool HasTroubleMark(const MapCell& cell);
bool InSystemArea(int track, int sector);

}  // namespace d88
