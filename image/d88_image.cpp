#include "d88_image.h"

#include <algorithm>
#include <cstring>

#include "little_endian.h"

namespace d88 {

namespace {

bool IsByte(int value) { return value >= 0 && value <= 0xFF; }

// The sectors a track's own records name: C = track / 2, H = track % 2.
// Those are what the long walks' pass keeps (see LongWalks).
bool IsOwnSector(int track, std::uint32_t id) {
  return static_cast<int>(id & 0xFF) == track / 2 &&
         static_cast<int>(id >> 8 & 0xFF) == track % 2;
}

}  // namespace

bool D88Image::Open(const char* path) {
  // Everything the reader knows describes one file: a close, a failed open
  // and a new file all start from nothing, so no read can reach the old
  // file's disks through a stale count, name or track table, and no walk
  // outcome or long walk's answer outlives the file it was found in.
  Reset();
  if (path == nullptr) {
    file_.Close();
    return true;
  }
  // A failed open leaves no stream: the old file is closed first, so no read
  // can go on against it after the caller was told the open failed.
  if (!file_.Open(path)) return false;
  ScanDisks();
  return true;
}

void D88Image::Reset() {
  locations_.Clear();
  long_walks_.Clear();
  long_tracks_found_ = false;
  long_track_count_ = 0;
  disk_count_ = 0;
  for (std::int64_t& offset : disk_offsets_) offset = 0;
  for (std::uint32_t& offset : track_offsets_) offset = 0;
  SetSectorRange(1, 16);
  ClearSelection();
}

// Disks follow one another with no index: disk k starts where disk k-1 starts
// plus its size field. Every disk whose header can be read whole counts.
// A size field of 0 does not move on, so the same disk fills every later slot.
// The scan reads each header on its own rather than through the pages: the
// next header is a whole disk further on, and the pages are better left
// holding the start of the file, where the first disk is read from.
void D88Image::ScanDisks() {
  const auto size = static_cast<std::int32_t>(kDiskHeaderSize);
  std::uint8_t header[kDiskHeaderSize];
  std::int64_t position = 0;
  disk_count_ = 0;
  while (disk_count_ < kMaxDisks) {
    disk_offsets_[disk_count_] = position;
    if (file_.ReadAtOnly(position, header, size) != size) break;
    position += ReadLe32(header + kDiskSizeOffset);
    ++disk_count_;
  }
}

bool D88Image::ReadDiskHeader(std::int64_t position, std::uint8_t* header) {
  const auto size = static_cast<std::int32_t>(kDiskHeaderSize);
  return file_.ReadAt(position, header, size) == size;
}

void D88Image::ClearSelection() {
  disk_selected_ = false;
  disk_size_ = 0;
  disk_name_[0] = '\0';
}

bool D88Image::SelectDisk(int index) {
  if (!file_.IsOpen()) return false;
  // The track table is left alone: with disk size 0 every recorded offset is
  // out of range, so no read can reach it until a disk is selected again.
  ClearSelection();
  if (index < 0 || index >= disk_count_) return false;
  std::uint8_t header[kDiskHeaderSize];
  // Sanity check: the scan read this header whole, but the file may have
  // been cut short since.
  if (!ReadDiskHeader(disk_offsets_[index], header)) return false;
  disk_start_ = disk_offsets_[index];
  selected_disk_ = index;
  for (int k = 0; k < kTrackCount; ++k) {
    track_offsets_[k] = ReadLe32(header + kTrackTableOffset + 4 * k);
  }
  media_type_ = header[kMediaTypeOffset];
  write_protect_ = header[kWriteProtectOffset];
  disk_size_ = ReadLe32(header + kDiskSizeOffset);
  std::memcpy(disk_name_, header + kDiskNameOffset, kDiskNameLength);
  disk_name_[kDiskNameLength] = '\0';
  disk_selected_ = true;
  return true;
}

void D88Image::SetSectorRange(int first, int last) {
  first_sector_ = first;
  last_sector_ = last;
}

// File position of the track's first record, or -1 when the track is absent:
// outside the table, not recorded (0), or beyond the disk's own size. An
// offset that points into the disk header is accepted as it stands.
std::int64_t D88Image::TrackPosition(int track) const {
  if (track < 0 || track >= kTrackCount) return -1;
  const std::uint32_t offset = track_offsets_[track];
  if (offset == 0 || offset > disk_size_) return -1;
  return disk_start_ + offset;
}

// Walks the track's records from its first one to the sector whose ID
// matches. Each record repeats the track's record count; the walk ends after
// the record whose position equals its own count minus one. Only that
// equality ends it: when the counts of a track disagree the walk runs on into
// whatever follows, until the file ends. A count of 0 cannot be a real track,
// so it ends the search before the ID is even looked at.
//
// A sound track ends within a few records. A walk that is still going after
// kPlainSteps records or kPlainBytes bytes is on a damaged track and may have
// the rest of the file ahead of it: its answer comes from the pass that
// followed every such walk at once (see LongWalks).
SectorLocation D88Image::WalkTrack(int track, std::int64_t track_start,
                                   std::uint32_t id) {
  SectorLocation location = {};
  location.valid = true;
  location.id = id;
  location.track_start = track_start;
  std::int64_t position = track_start;
  for (std::int64_t index = 0;; ++index) {
    if (LongWalks::IsLong(index, position, track_start)) {
      return WalkFar(location, track, position, index);
    }
    const SectorHeader record = ReadSectorHeader(file_, position);
    if (!record.whole || record.count == 0) return location;
    if (record.id == id) {
      NoteFound(location, position, record);
      return location;
    }
    position = NextRecord(position, record);
    if (index == record.count - 1) return location;
  }
}

// The pass knows where the walk from the track's start first meets each of
// the track's own sectors; the records it has already gone through did not
// match, so that answer is the one further on. Any other ID is walked on
// for: the file systems read never ask one.
SectorLocation D88Image::WalkFar(SectorLocation location, int track,
                                 std::int64_t position, std::int64_t index) {
  if (!IsOwnSector(track, location.id)) return WalkOn(location, position, index);
  const auto r = static_cast<int>(location.id >> 16 & 0xFF);
  const auto n = static_cast<int>(location.id >> 24);
  LongWalks::Answer answer = long_walks_.Find(
      selected_disk_, location.track_start, track, r, n);
  if (answer.outcome == LongWalks::Outcome::kNotKept) {
    SweepLongWalks(n);
    answer = long_walks_.Find(selected_disk_, location.track_start, track, r, n);
  }
  // Only a file that changed since it was opened, or one of 4 GiB or more
  // (kept positions are 32-bit), leaves one unkept: then the walk goes on
  // by itself.
  if (answer.outcome == LongWalks::Outcome::kNotKept) {
    return WalkOn(location, position, index);
  }
  if (answer.outcome == LongWalks::Outcome::kFound) {
    const SectorHeader record = ReadSectorHeader(file_, answer.position);
    if (record.whole) NoteFound(location, answer.position, record);
  }
  return location;
}

// The plain walk from position on, record by record, to its end.
SectorLocation D88Image::WalkOn(SectorLocation location, std::int64_t position,
                                std::int64_t index) {
  for (;; ++index) {
    const SectorHeader record = ReadSectorHeader(file_, position);
    if (!record.whole || record.count == 0) return location;
    if (record.id == location.id) {
      NoteFound(location, position, record);
      return location;
    }
    position = NextRecord(position, record);
    if (index == record.count - 1) return location;
  }
}

// The walks from every track of the selected disk and the disks after it
// are followed together, the first time any of them goes far: walks of
// different disks often run into the same records, and then they are read
// only once. A walk that ends while it is still short never needs the pass,
// whatever it looks for: those are left out, which on a file of sound disks
// is nearly all.
void D88Image::SweepLongWalks(int n) {
  if (!long_tracks_found_) FindLongTracks();
  long_walks_.Sweep(file_, long_tracks_, long_track_count_, selected_disk_,
                    n);
}

// The tracks of every disk whose walks go far, found once per file: a
// later pass (for another disk, or another size code) takes them as they
// are.
void D88Image::FindLongTracks() {
  LongWalks::TrackStart* tracks = long_tracks_;
  int count = 0;
  std::uint8_t header[kDiskHeaderSize];
  const auto size = static_cast<std::int32_t>(kDiskHeaderSize);
  for (int disk = 0; disk < disk_count_; ++disk) {
    const std::int64_t disk_start = disk_offsets_[disk];
    if (file_.ReadAtOnly(disk_start, header, size) != size) continue;
    const std::uint32_t disk_size = ReadLe32(header + kDiskSizeOffset);
    for (int track = 0; track < kTrackCount; ++track) {
      const std::uint32_t offset =
          ReadLe32(header + kTrackTableOffset + 4 * track);
      // The same rule as TrackPosition.
      if (offset != 0 && offset <= disk_size) {
        tracks[count++] = {disk_start + offset, disk, track};
      }
    }
  }
  // Each start is tried once, however many tracks share it.
  std::sort(tracks, tracks + count,
            [](const LongWalks::TrackStart& a, const LongWalks::TrackStart& b) {
              return a.start < b.start;
            });
  int long_tracks = 0;
  bool start_is_long = false;
  for (int i = 0; i < count; ++i) {
    if (i == 0 || tracks[i].start != tracks[i - 1].start) {
      start_is_long = !EndsShort(tracks[i].start);
    }
    if (start_is_long) tracks[long_tracks++] = tracks[i];
  }
  long_track_count_ = long_tracks;
  long_tracks_found_ = true;
}

// Whether the walk from track_start ends before it is long (see WalkTrack).
bool D88Image::EndsShort(std::int64_t track_start) {
  std::int64_t position = track_start;
  for (std::int64_t index = 0;; ++index) {
    if (LongWalks::IsLong(index, position, track_start)) return false;
    const SectorHeader record = ReadSectorHeader(file_, position);
    if (!record.whole || record.count == 0) return true;
    position = NextRecord(position, record);
    if (index == record.count - 1) return true;
  }
}

void D88Image::NoteFound(SectorLocation& location, std::int64_t position,
                         const SectorHeader& header) {
  location.found = true;
  location.data_length = header.data_length;
  location.deleted_mark = header.deleted_mark;
  location.status = header.status;
  location.data_position =
      position + static_cast<std::int64_t>(kSectorHeaderSize);
}

// The ID bytes on disk are unsigned; the caller's numbers are plain ints, so
// a number outside 0..255 never matches and the walk could only fail.
SectorInfo D88Image::FindSector(int track, int c, int h, int r, int n) {
  SectorInfo info = {};
  const std::int64_t track_start = TrackPosition(track);
  if (track_start < 0 || !file_.IsOpen()) return info;
  if (!IsByte(c) || !IsByte(h) || !IsByte(r) || !IsByte(n)) return info;
  const std::uint32_t id = PackSectorId(
      static_cast<std::uint32_t>(c), static_cast<std::uint32_t>(h),
      static_cast<std::uint32_t>(r), static_cast<std::uint32_t>(n));
  const SectorLocation* known = locations_.Find(track_start, id);
  const SectorLocation location =
      known != nullptr ? *known : WalkTrack(track, track_start, id);
  if (known == nullptr) locations_.Remember(location);
  if (!location.found) return info;
  info.found = true;
  info.data_length = location.data_length;
  info.deleted_mark = location.deleted_mark;
  info.status = location.status;
  info.data_position = location.data_position;
  return info;
}

std::int32_t D88Image::ReadSector(int track, int c, int h, int r, int n,
                                  std::uint8_t* dest,
                                  std::int32_t max_length) {
  return ReadFoundSector(track, FindSector(track, c, h, r, n), dest,
                         max_length);
}

// The track is the one the sector was found on; where the data lies says all
// the file needs to know.
std::int32_t D88Image::ReadFoundSector(int /*track*/, const SectorInfo& sector,
                                       std::uint8_t* dest,
                                       std::int32_t max_length) {
  if (!sector.found) return 0;
  const std::int32_t wanted =
      sector.data_length < max_length ? sector.data_length : max_length;
  // Data cut short by the end of the file delivers what was read.
  return file_.ReadAt(sector.data_position, dest, wanted);
}

// A run asks for one nominal sector at a time (the last step only for what
// is still missing) and ends at the first sector that is missing or shorter
// than asked: its bytes may already be in dest but are not counted. After the
// last sector number of a track the run goes on at the first sector number of
// the next track index, flipping the head and, after head 1, the cylinder.
std::int32_t D88Image::ReadSectors(int track, int c, int h, int r, int n,
                                   std::uint8_t* dest, std::int32_t total) {
  if (n < 0 || n > kMaxSizeCode) return 0;
  std::int32_t sum = 0;
  std::int32_t chunk = 128 << n;
  while (sum < total) {
    if (total - sum < chunk) chunk = total - sum;
    if (ReadSector(track, c, h, r, n, dest + sum, chunk) < chunk) return sum;
    sum += chunk;
    if (r == last_sector_) {
      ++track;
      if (h == 0) {
        h = 1;
      } else {
        h = 0;
        ++c;
      }
      r = first_sector_;
    } else {
      ++r;
    }
  }
  return sum;
}

// Unlike ReadSector, a count of 0 does not end this walk early: a listing
// shows what is stored, and then stops only when keep has taken max records
// or the file ends. keep(index, header) takes each record in stored order.
template <typename Keep>
std::int32_t D88Image::WalkForListing(int track, std::int32_t max, Keep keep) {
  const std::int64_t track_start = TrackPosition(track);
  if (track_start < 0 || !file_.IsOpen()) return 0;
  std::int64_t position = track_start;
  std::int32_t listed = 0;
  for (std::int64_t index = 0; listed < max; ++index) {
    const SectorHeader record = ReadSectorHeader(file_, position);
    if (!record.whole) break;
    keep(listed++, record);
    position = NextRecord(position, record);
    if (index == record.count - 1) break;
  }
  return listed;
}

namespace {

void UnpackId(std::uint32_t id, std::uint8_t* dest) {
  for (int i = 0; i < kSectorIdSize; ++i) {
    dest[i] = static_cast<std::uint8_t>(id >> (8 * i));
  }
}

}  // namespace

std::int32_t D88Image::ListSectorIds(int track, std::uint8_t* dest,
                                     std::int32_t max_bytes) {
  const std::int32_t max_records =
      max_bytes > 0 ? (max_bytes + kSectorIdSize - 1) / kSectorIdSize : 0;
  const std::int32_t listed = WalkForListing(
      track, max_records, [dest](std::int32_t i, const SectorHeader& record) {
        UnpackId(record.id, dest + i * kSectorIdSize);
      });
  return listed * kSectorIdSize;
}

namespace {

// What a listing keeps of a record's header.
RecordSummary Summarize(const SectorHeader& record) {
  RecordSummary summary = {};
  UnpackId(record.id, summary.id);
  summary.data_length = record.data_length;
  summary.deleted_mark = record.deleted_mark;
  summary.status = record.status;
  return summary;
}

}  // namespace

// The same walk, keeping each header's length and status: one pass over the
// track, however many records it holds.
std::int32_t D88Image::ListSectorRecords(int track, RecordSummary* dest,
                                         std::int32_t max_records) {
  return WalkForListing(
      track, max_records, [dest](std::int32_t i, const SectorHeader& record) {
        dest[i] = Summarize(record);
      });
}

std::int32_t D88Image::VisitSectorRecords(int track, std::int32_t max_records,
                                          RecordVisitor visit, void* context) {
  return WalkForListing(
      track, max_records,
      [visit, context](std::int32_t, const SectorHeader& record) {
        visit(context, Summarize(record));
      });
}

}  // namespace d88
