// A disk formatted afresh for this file system, held in memory while its
// files go onto it.
//
// Formatting gives tracks 0 to N-1 five 1024-byte sectors each, all zeros,
// and an empty directory. The system area (all of track 0 and sectors 3 to
// 5 of track 1) may take bytes of its own. Files are placed as a repack
// places a new file: each in the first free run that holds it, which on a
// fresh disk is right after the one before, from track 2 sector 1 in
// stepping order; their entries follow one another in the directory.
#pragma once

#include <cstdint>

#include "disk/directory_edit.h"
#include "disk/file_system.h"
#include "disk/free_space.h"

namespace d88 {

// The bytes of the system area, in the order an extraction with
// --unclaimed writes them: track 0 sectors 1 to 5, track 1 sectors 3 to 5.
constexpr std::int32_t kSystemAreaSize = 8 * kSectorSize;

constexpr int kFewestNewTracks = 4;
constexpr int kDefaultNewTracks = 80;

class NewDisk {
 public:
  void Format(int track_count);
  int TrackCount() const { return track_count_; }
  void PutSystemArea(const std::uint8_t* bytes);

  // Sectors the files of this disk can take, and those taken so far.
  int DataSectorsHeld() const;
  int DataSectorsTaken() const { return sectors_taken_; }
  // Puts the file on the disk under raw_name and its entry after the last.
  // False, and nothing changes, when no free run holds it or the directory
  // is full. size is above 0.
  bool Place(const char* raw_name, const std::uint8_t* data,
             std::int32_t size);
  int EntryCount() const { return directory_.AppendedCount(); }
  DirEntry Entry(int index) const { return directory_.Appended(index); }

  // Every sector's bytes, track by track and R = 1 to 5 within a track,
  // the directory written in.
  const std::uint8_t* Sectors();

 private:
  std::uint8_t* SectorAt(int track, int sector) {
    return sectors_ +
           (track * kSectorsPerTrack + sector - kFirstSector) * kSectorSize;
  }

  int track_count_ = 0;
  int sectors_taken_ = 0;
  FreeMap free_map_;
  DirectoryEdit directory_;
  std::uint8_t sectors_[kTrackCount * kSectorsPerTrack * kSectorSize] = {};
};

}  // namespace d88
