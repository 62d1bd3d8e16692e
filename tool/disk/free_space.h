// Where a repack may put a file's data: the free sectors of a disk.
//
// Files live on tracks 2 and up, in sectors R = 1 to 5 (track 0 and the
// rest of track 1 are never used for files). A sector there is free when no
// entry of size > 0 claims it and it is whole in the image: its record found
// and holding at least 1024 bytes within the file. A run is a stretch of
// free sectors in stepping order: R = 1 to 5, then on to the next track.
//
// The image may be stranger than the file system: tracks whose records
// overlap other tracks or a disk header, which reading takes as they come.
// Writing into such a track would change bytes that something else reads,
// so only plain tracks, whose bytes belong to no other track or header in
// the whole image, hold free sectors or take moved data.
#pragma once

#include <cstdint>

#include "d88_image.h"
#include "disk/file_system.h"

namespace d88 {

constexpr int kFirstDataTrack = 2;
// The sectors that can hold file data, numbered in stepping order from
// sector 1 of track 2.
constexpr int kDataSectorCount =
    (kTrackCount - kFirstDataTrack) * kSectorsPerTrack;

// Sectors a file of size bytes takes: at least one.
int SectorsFor(std::int32_t size);

// Index of a data sector, or -1 for an address outside them.
int DataSectorIndex(SectorAddress address);
SectorAddress DataSectorAddress(int index);

// Finds, for every disk of the image, which tracks are plain. Selects each
// disk in turn: the caller selects the one it works on again.
void FindPlainTracks(D88Image& image);
// Whether FindPlainTracks found the track plain.
bool TrackIsPlain(int disk, int track);

struct SectorRun {
  int first;  // data sector index; -1 when there is none
  int count;
};

// The free sectors of one disk and the entries' claims on them.
class FreeMap {
 public:
  // Notes where each data sector of the disk selected in image keeps its
  // data, for those on plain tracks that are whole. Claims start at none.
  void Load(D88Image& image, int disk);
  // Notes a disk formatted afresh with track_count tracks, whose data
  // sectors are all free: each keeps its data at its place in the disk's
  // sector bytes, track by track (see NewDisk).
  void Format(int track_count);
  // Adds (+1) or takes back (-1) the entry's claim on its run's sectors.
  void Claim(const DirEntry& entry, int delta);

  // The first run of count free sectors, lowest track and sector first.
  SectorRun FirstFit(int count) const;
  // The longest run of free sectors, in sectors.
  int LargestRun() const;
  // Whether the entry's own run, extended by the free sectors right after
  // it, gives count sectors from its start, every one whole on a plain
  // track and claimed by no other entry.
  bool CanExtend(const DirEntry& entry, int count) const;

  // Where a data sector keeps its data; -1 when it is not whole on a plain
  // track.
  std::int64_t Position(int index) const { return positions_[index]; }

 private:
  bool Free(int index) const {
    return positions_[index] >= 0 && claims_[index] == 0;
  }

  std::int64_t positions_[kDataSectorCount] = {};
  std::uint16_t claims_[kDataSectorCount] = {};
};

}  // namespace d88
