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
#include "long_walks.h"
#include "sector_header.h"
#include "sector_location_cache.h"

namespace d88 {

// What the track walk learned about one sector, without reading its data.
struct SectorInfo {
  bool found;                  // false: nothing below holds
  std::uint16_t data_length;   // bytes stored after the header
  std::uint8_t deleted_mark;   // header byte 0x07; kDeletedDataMark: deleted
  std::uint8_t status;         // header byte 0x08; 0 unless a read error
  std::int64_t data_position;  // file position of the first data byte
};

// One record of a track as stored: its ID and what its header says.
struct RecordSummary {
  std::uint8_t id[kSectorIdSize];  // C, H, R, N
  std::uint16_t data_length;
  std::uint8_t deleted_mark;
  std::uint8_t status;
};

// A reader holds fixed tables of several MiB (the answers of long walks on
// damaged tracks): keep it in static storage or on the heap, never on the stack.
// Every member of a new reader is zero, so a reader in static storage takes
// zero-filled memory (.bss) and not several MiB of the program file; Open
// gives the members whose "nothing yet" is not zero their values.
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
  // set; valid until the next SelectDisk. All kDiskNameLength bytes of the
  // header's name field are there, also after a zero byte.
  const char* DiskName() const { return disk_name_; }
  // The selected disk's media type byte, or -1 when no disk is selected.
  int MediaType() const { return disk_selected_ ? media_type_ : -1; }
  // The selected disk's write-protect byte (kWriteProtected when protected),
  // or -1 when no disk is selected.
  int WriteProtect() const { return disk_selected_ ? write_protect_ : -1; }
  // The selected disk's size field as stored, and where the disk starts in
  // the file (-1 when no disk is selected).
  std::uint32_t SizeField() const { return disk_size_; }
  std::int64_t DiskStart() const { return disk_selected_ ? disk_start_ : -1; }
  // The selected disk's track table entry as stored; 0 outside the table.
  std::uint32_t TrackOffset(int track) const {
    return track >= 0 && track < kTrackCount ? track_offsets_[track] : 0;
  }
  // True when reads can reach the track: recorded and within the disk.
  bool TrackRecorded(int track) const { return TrackPosition(track) >= 0; }
  // Bytes in the image file; -1 when none is open.
  std::int64_t FileSize() { return file_.Size(); }
  // The sector numbers a run goes on at after stepping to the next track, and
  // after which it steps. Every Open starts from 1 and 16.
  void SetSectorRange(int first, int last);

  // Finds the sector (c, h, r, n) of the track the way ReadSector does: the
  // first record with that ID in the walk from the track's first record. The
  // walk ends, without the sector, at a header cut short by the end of the
  // file, at a record with count 0 (before its ID is compared), or after the
  // record whose index in the walk (from 0) equals its own count minus one.
  // Numbers outside 0..255 and absent tracks find nothing. The data may be
  // cut short by the end of the file: data_length is the header's field.
  SectorInfo FindSector(int track, int c, int h, int r, int n);
  // Reads at most max_length bytes of the sector (c, h, r, n) of the track into
  // dest. Returns the bytes delivered, 0 when the sector is not found.
  std::int32_t ReadSector(int track, int c, int h, int r, int n,
                          std::uint8_t* dest, std::int32_t max_length);
  // The same for a sector that FindSector has already found on the track.
  std::int32_t ReadFoundSector(int track, const SectorInfo& sector,
                               std::uint8_t* dest, std::int32_t max_length);
  // Reads total bytes from consecutive sectors starting at (c, h, r, n) of the
  // track. Returns the bytes delivered by whole steps.
  std::int32_t ReadSectors(int track, int c, int h, int r, int n,
                           std::uint8_t* dest, std::int32_t total);
  // Writes the 4-byte IDs of the track's records, in stored order, into dest;
  // returns the bytes written. dest must hold max_bytes rounded up to 4.
  std::int32_t ListSectorIds(int track, std::uint8_t* dest,
                             std::int32_t max_bytes);
  // How many passes over the file the lookups of long walks have taken
  // since it was opened (see LongWalks): for tests and the benchmark.
  int LongWalkPasses() const { return long_walks_.Passes(); }
  // Walks the track's records as ListSectorIds does and describes at most
  // max_records of them into dest; returns how many.
  std::int32_t ListSectorRecords(int track, RecordSummary* dest,
                                 std::int32_t max_records);
  // The same walk over at most max_records records of the track, handing
  // each to visit in stored order instead of keeping it; returns how many
  // there were.
  using RecordVisitor = void (*)(void* context, const RecordSummary& record);
  std::int32_t VisitSectorRecords(int track, std::int32_t max_records,
                                  RecordVisitor visit, void* context);

 private:
  void Reset();
  void ScanDisks();
  template <typename Keep>
  std::int32_t WalkForListing(int track, std::int32_t max, Keep keep);
  void ClearSelection();
  bool ReadDiskHeader(std::int64_t position, std::uint8_t* header);
  std::int64_t TrackPosition(int track) const;
  SectorLocation WalkTrack(int track, std::int64_t track_start,
                           std::uint32_t id);
  SectorLocation WalkFar(SectorLocation location, int track,
                         std::int64_t position, std::int64_t index);
  SectorLocation WalkOn(SectorLocation location, std::int64_t position,
                        std::int64_t index);
  void SweepLongWalks(int n);
  void FindLongTracks();
  bool EndsShort(std::int64_t track_start);

  static void NoteFound(SectorLocation& location, std::int64_t position,
                        const SectorHeader& header);

  ImageFile file_;
  SectorLocationCache locations_;
  LongWalks long_walks_;
  bool long_tracks_found_ = false;
  int long_track_count_ = 0;
  LongWalks::TrackStart long_tracks_[LongWalks::kMaxTracks] = {};
  int disk_count_ = 0;
  // 0 until the first Open sets them, while no read can reach a run.
  int first_sector_ = 0;
  int last_sector_ = 0;
  std::int64_t disk_offsets_[kMaxDisks] = {};
  std::uint32_t disk_size_ = 0;
  bool disk_selected_ = false;
  int selected_disk_ = 0;
  std::int64_t disk_start_ = 0;
  std::uint32_t track_offsets_[kTrackCount] = {};
  int media_type_ = 0;
  int write_protect_ = 0;
  char disk_name_[kDiskNameLength + 1] = {};
};

}  // namespace d88
