// Sector-level access to the disks of one D88 image file.
//
// D88Image opens the file, finds the disks stored in it, makes one of them
// current and reads that disk's sectors by their ID, one at a time or as runs
// that step from sector to sector and from track to track. It knows nothing of
// any file system on the disks and prints nothing: every outcome is a return
// value.
#pragma once

#include <cstdint>

#include "d88_format.h"
#include "image_file.h"
#include "sector_location_cache.h"

namespace d88 {

// Where a sector's record lies in the file, and what its header says.
struct SectorInfo {
  bool found;
  std::uint16_t data_length;    // bytes of data stored after the header
  std::uint8_t deleted_mark;    // kDeletedDataMark when written as deleted
  std::uint8_t status;          // 0, or the error recorded when imaged
  std::int64_t track_start;     // file position of the track's first record
  std::int64_t data_position;   // file position of the sector's data
};

// One record of a track as stored: its ID and what its header says.
struct RecordSummary {
  std::uint8_t id[kSectorIdSize];  // C, H, R, N
  std::uint16_t data_length;
  std::uint8_t deleted_mark;
  std::uint8_t status;
};

class D88Image {
 public:
  D88Image() = default;
  D88Image(const D88Image&) = delete;
  D88Image& operator=(const D88Image&) = delete;

  // With a path: opens the file and finds its disks; true even when the file
  // holds no disk. With nullptr: closes the file; always true.
  bool Open(const char* path);
  // The host's reason (an errno value) why the last Open with a path failed.
  int OpenError() const { return file_.OpenError(); }
  int DiskCount() const { return disk_count_; }
  bool SelectDisk(int index);
  // The selected disk's name, NUL-terminated, in the image's own character
  // set; valid until the next SelectDisk.
  const char* DiskName() const { return disk_name_; }
  // The selected disk's media type byte, or -1 when no disk is selected.
  int MediaType() const { return media_type_; }
  // The selected disk's write-protect byte (kWriteProtected when protected),
  // or -1 when no disk is selected.
  int WriteProtect() const { return write_protect_; }
  // The selected disk's size field as stored, and where the disk starts in
  // the file (-1 when no disk is selected).
  std::uint32_t SizeField() const { return disk_size_; }
  std::int64_t DiskStart() const { return disk_start_; }
  // The selected disk's track table entry as stored; 0 outside the table.
  std::uint32_t TrackOffset(int track) const {
    return track >= 0 && track < kTrackCount ? track_offsets_[track] : 0;
  }
  // True when reads can reach the track: recorded and within the disk.
  bool TrackRecorded(int track) const { return TrackPosition(track) >= 0; }
  // Bytes in the image file; -1 when none is open.
  std::int64_t FileSize() { return file_.Size(); }
  // The sector numbers a run goes on at after stepping to the next track, and
  // after which it steps.
  void SetSectorRange(int first, int last);

  // Finds the sector (c, h, r, n) of the track the way ReadSector does,
  // without reading its data.
  SectorInfo FindSector(int track, int c, int h, int r, int n);
  // Reads at most max_length bytes of the sector (c, h, r, n) of the track into
  // dest. Returns the bytes delivered, 0 when the sector is not found.
  std::int32_t ReadSector(int track, int c, int h, int r, int n,
                          std::uint8_t* dest, std::int32_t max_length);
  // Reads total bytes from consecutive sectors starting at (c, h, r, n) of the
  // track. Returns the bytes delivered by whole steps.
  std::int32_t ReadSectors(int track, int c, int h, int r, int n,
                           std::uint8_t* dest, std::int32_t total);
  // Writes the 4-byte IDs of the track's records, in stored order, into dest;
  // returns the bytes written. dest must hold max_bytes rounded up to 4.
  std::int32_t ListSectorIds(int track, std::uint8_t* dest,
                             std::int32_t max_bytes);
  // Walks the track's records as ListSectorIds does and describes at most
  // max_records of them into dest; returns how many.
  std::int32_t ListSectorRecords(int track, RecordSummary* dest,
                                 std::int32_t max_records);

 private:
  // One sector header as read from a track; whole is false when the file
  // ended inside it, and then no other field may be used.
  struct SectorRecord {
    bool whole;
    std::uint8_t id[kSectorIdSize];
    std::uint16_t count;
    std::uint16_t data_length;
    std::uint8_t deleted_mark;
    std::uint8_t status;
  };

  void Reset();
  void ScanDisks();
  void ClearSelection();
  bool ReadDiskHeader(std::int64_t position, std::uint8_t* header);
  std::int64_t TrackPosition(int track) const;
  SectorRecord ReadSectorRecord(std::int64_t position,
                                std::int64_t track_start);
  SectorLocation WalkTrack(std::int64_t track_start, std::uint32_t id);

  ImageFile file_;
  SectorLocationCache locations_;
  int disk_count_ = 0;
  int first_sector_ = 1;
  int last_sector_ = 16;
  std::int64_t disk_offsets_[kMaxDisks] = {};
  std::uint32_t disk_size_ = 0;
  std::int64_t disk_start_ = 0;
  std::uint32_t track_offsets_[kTrackCount] = {};
  int media_type_ = -1;
  int write_protect_ = -1;
  char disk_name_[kDiskNameLength + 1] = {};
};

}  // namespace d88
