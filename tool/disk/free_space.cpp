#include "disk/free_space.h"

#include <algorithm>

namespace d88 {
namespace {

// One stretch of the image file that something reads: a disk header or a
// track's records, headers and data.
struct Span {
  std::int64_t start;
  std::int64_t end;
  int disk;
  int track;  // -1 for a disk header
};

constexpr int kMaxSpans = kMaxDisks * (kTrackCount + 1);
// A track with more records than this is no track of this file system; its
// walk is taken to reach the end of the file.
constexpr int kMaxRecordsWalked = 64;

Span spans[kMaxSpans];
int span_count = 0;
bool plain[kMaxDisks][kTrackCount];
RecordSummary records[kMaxRecordsWalked];

// The bytes the track's records take, as a walk finds them.
std::int64_t TrackLength(D88Image& image, int track) {
  const std::int32_t listed =
      image.ListSectorRecords(track, records, kMaxRecordsWalked);
  if (listed >= kMaxRecordsWalked) return INT64_MAX / 2;
  std::int64_t length = 0;
  for (int i = 0; i < listed; ++i) {
    length += static_cast<std::int64_t>(kSectorHeaderSize) +
              records[i].data_length;
  }
  return length;
}

void AddDiskSpans(D88Image& image, int disk) {
  const std::int64_t start = image.DiskStart();
  spans[span_count++] = {
      start, start + static_cast<std::int64_t>(kDiskHeaderSize), disk, -1};
  for (int track = 0; track < kTrackCount; ++track) {
    if (!image.TrackRecorded(track)) continue;
    const std::int64_t first = start + image.TrackOffset(track);
    const std::int64_t length = TrackLength(image, track);
    // A track that runs past its own disk's size is no plain track, even
    // when nothing else happens to lie there.
    if (length > 0 && first + length <= start + image.SizeField()) {
      spans[span_count++] = {first, first + length, disk, track};
    } else {
      spans[span_count++] = {first, INT64_MAX / 2, disk, track};
    }
  }
}

}  // namespace

int SectorsFor(std::int32_t size) {
  return size <= kSectorSize ? 1 : (size + kSectorSize - 1) / kSectorSize;
}

int DataSectorIndex(SectorAddress address) {
  if (address.track < kFirstDataTrack || address.track >= kTrackCount ||
      address.sector < kFirstSector || address.sector > kLastSector) {
    return -1;
  }
  return (address.track - kFirstDataTrack) * kSectorsPerTrack +
         (address.sector - kFirstSector);
}

SectorAddress DataSectorAddress(int index) {
  return {kFirstDataTrack + index / kSectorsPerTrack,
          kFirstSector + index % kSectorsPerTrack};
}

// Sorted by start, a span shares no byte with another exactly when it ends
// before the next one starts and starts after every earlier one ended.
void FindPlainTracks(D88Image& image) {
  span_count = 0;
  for (auto& disk : plain) std::fill(disk, disk + kTrackCount, false);
  for (int disk = 0; disk < image.DiskCount(); ++disk) {
    if (image.SelectDisk(disk)) AddDiskSpans(image, disk);
  }
  std::sort(spans, spans + span_count, [](const Span& a, const Span& b) {
    return a.start < b.start;
  });
  std::int64_t reach = -1;
  for (int i = 0; i < span_count; ++i) {
    const Span& span = spans[i];
    const bool clear_before = span.start >= reach;
    const bool clear_after = i + 1 == span_count || span.end <= spans[i + 1].start;
    if (span.track >= 0 && clear_before && clear_after) {
      plain[span.disk][span.track] = true;
    }
    reach = std::max(reach, span.end);
  }
}

bool TrackIsPlain(int disk, int track) {
  return disk >= 0 && disk < kMaxDisks && track >= 0 && track < kTrackCount &&
         plain[disk][track];
}

// The data must lie wholly within the file: a sector cut short by the end
// of the file reads as missing.
void FreeMap::Load(D88Image& image, int disk) {
  const std::int64_t file_size = image.FileSize();
  for (int index = 0; index < kDataSectorCount; ++index) {
    const SectorAddress at = DataSectorAddress(index);
    positions_[index] = -1;
    claims_[index] = 0;
    if (!TrackIsPlain(disk, at.track)) continue;
    const SectorInfo sector = image.FindSector(
        at.track, at.track / 2, at.track % 2, at.sector, kSectorSizeCode);
    if (SectorWholeInFile(sector, file_size)) {
      positions_[index] = sector.data_position;
    }
  }
}

void FreeMap::Format(int track_count) {
  for (int index = 0; index < kDataSectorCount; ++index) {
    const SectorAddress at = DataSectorAddress(index);
    claims_[index] = 0;
    positions_[index] = -1;
    if (at.track < track_count) {
      positions_[index] =
          static_cast<std::int64_t>(at.track * kSectorsPerTrack +
                                    at.sector - kFirstSector) *
          kSectorSize;
    }
  }
}

// A run can name sector numbers above 5, which count on along the same
// track and never reach a data sector again; the steps stop at the size of
// the largest file all the same.
void FreeMap::Claim(const DirEntry& entry, int delta) {
  const std::int32_t size = FileSize(entry);
  if (size <= 0) return;
  SectorAddress at = {entry.start_track, entry.start_sector};
  for (std::int32_t step = 0; step < size / kSectorSize; ++step) {
    const int index = DataSectorIndex(at);
    if (index >= 0) {
      claims_[index] = static_cast<std::uint16_t>(claims_[index] + delta);
    }
    at = NextSector(at);
  }
}

SectorRun FreeMap::FirstFit(int count) const {
  int length = 0;
  for (int index = 0; index < kDataSectorCount && count > 0; ++index) {
    length = Free(index) ? length + 1 : 0;
    if (length == count) return {index - count + 1, count};
  }
  return {-1, 0};
}

int FreeMap::LargestRun() const {
  int length = 0;
  int largest = 0;
  for (int index = 0; index < kDataSectorCount; ++index) {
    length = Free(index) ? length + 1 : 0;
    largest = std::max(largest, length);
  }
  return largest;
}

bool FreeMap::CanExtend(const DirEntry& entry, int count) const {
  const std::int32_t size = FileSize(entry);
  const int own = size > 0 ? static_cast<int>(size / kSectorSize) : 0;
  const int first = DataSectorIndex({entry.start_track, entry.start_sector});
  if (first < 0 || first + count > kDataSectorCount) return false;
  for (int k = 0; k < count; ++k) {
    const int index = first + k;
    if (positions_[index] < 0) return false;
    if (claims_[index] != (k < own ? 1 : 0)) return false;
  }
  return true;
}

}  // namespace d88
