// Where earlier walks of a track found, or failed to find, a sector.
//
// A sector is looked up by walking its track's records from the first one,
// and every lookup walks again. On a sound track that is a handful of
// records, but the walk only ends where a record's count field says it is
// the last, so a damaged track can send it on through the rest of the file.
// Every file of a disk then pays that walk once per sector, and a disk
// repeated by a size field of 0 pays it again per copy. The walk from a given
// file position for a given ID always meets the same records, so its outcome
// is kept, keyed by both, and a repeated lookup costs nothing.
#pragma once

#include <cstdint>

namespace d88 {

struct SectorLocation {
  bool valid;                  // the slot holds a walk's outcome
  bool found;                  // the walk met the sector
  std::uint16_t data_length;   // the record's data length field
  std::uint8_t deleted_mark;   // the record's deleted-data mark byte
  std::uint8_t status;         // the record's status byte
  std::uint32_t id;            // C, H, R, N, one byte each
  std::int64_t track_start;    // file position the walk started from
  std::int64_t data_position;  // file position of the sector's data
};

class SectorLocationCache {
 public:
  // The outcome of an earlier walk from track_start for id, or nullptr.
  const SectorLocation* Find(std::int64_t track_start, std::uint32_t id) const;
  // Keeps a walk's outcome, in place of whatever shared its slot.
  void Remember(const SectorLocation& location);
  // Forgets every outcome: they describe one file only.
  void Clear();

 private:
  // Disks are read one after the other, so the outcomes worth keeping are
  // those of one disk: about a thousand sectors (five on each of 164
  // tracks, and the sectors that the entries start at). Four ways to a set
  // keep collisions among them rare.
  static constexpr std::uint32_t kSets = 1024;  // a power of two
  static constexpr std::uint32_t kWays = 4;
  static std::uint32_t SetOf(std::int64_t track_start, std::uint32_t id);

  SectorLocation slots_[kSets][kWays] = {};
  // The way each set gives up next when all of its ways are taken.
  std::uint8_t next_victim_[kSets] = {};
};

}  // namespace d88
