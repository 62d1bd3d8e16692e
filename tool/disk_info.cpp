#include "disk_info.h"

#include <cstdio>

#include "reporter.h"

namespace d88 {
namespace {

// A track lists at most this many records; more are not counted. Real
// tracks hold a few dozen.
constexpr int kMaxRecordsListed = 256;
RecordSummary records[kMaxRecordsListed];

// One track's shape and the records on it whose header records trouble.
struct TrackWalk {
  TrackShape shape;
  int damaged_count;
  DamagedSector damaged[DiskFacts::kMaxDamagedListed];
};

bool IsDamaged(const RecordSummary& record) {
  return record.status != 0 || record.deleted_mark == kDeletedDataMark;
}

// One walk over the track's records, in stored order, for their number,
// data lengths and header status. Every record counts, even one whose ID
// repeats another's.
TrackWalk WalkTrack(D88Image& image, int track) {
  const std::int32_t count =
      image.ListSectorRecords(track, records, kMaxRecordsListed);
  TrackWalk walk = {};
  walk.shape.sectors = static_cast<int>(count);
  for (int i = 0; i < walk.shape.sectors; ++i) {
    const RecordSummary& record = records[i];
    if (i == 0) walk.shape.bytes = record.data_length;
    if (walk.shape.bytes != record.data_length) walk.shape.bytes = -1;
    if (!IsDamaged(record)) continue;
    if (walk.damaged_count < DiskFacts::kMaxDamagedListed) {
      walk.damaged[walk.damaged_count] = {{track, record.id[2]}, record.status,
                                          record.deleted_mark};
    }
    ++walk.damaged_count;
  }
  return walk;
}

bool SameShape(TrackShape a, TrackShape b) {
  return a.sectors == b.sectors && a.bytes == b.bytes;
}

// The shape most tracks share (the earliest on a tie) and the others.
TrackLayout SortShapes(const TrackShape* shapes, const bool* recorded) {
  TrackLayout layout = {};
  for (int track = 0; track < kTrackCount; ++track) {
    if (!recorded[track]) continue;
    int count = 0;
    for (int other = 0; other < kTrackCount; ++other) {
      if (recorded[other] && SameShape(shapes[other], shapes[track])) ++count;
    }
    if (count > layout.common_count) {
      layout.common_count = count;
      layout.common = shapes[track];
    }
  }
  for (int track = 0; track < kTrackCount; ++track) {
    if (recorded[track] && !SameShape(shapes[track], layout.common)) {
      layout.odd[layout.odd_count++] = {track, shapes[track]};
    }
  }
  return layout;
}

// The facts the tracks give: how many are recorded, their layout, and the
// first damaged records in track order.
DiskFacts GatherTracks(D88Image& image) {
  DiskFacts facts = {};
  TrackShape shapes[kTrackCount] = {};
  bool recorded[kTrackCount] = {};
  for (int track = 0; track < kTrackCount; ++track) {
    recorded[track] = image.TrackRecorded(track);
    if (!recorded[track]) continue;
    ++facts.tracks_recorded;
    const TrackWalk walk = WalkTrack(image, track);
    shapes[track] = walk.shape;
    for (int i = 0; i < walk.damaged_count && i < DiskFacts::kMaxDamagedListed;
         ++i) {
      const int slot = facts.damaged_count + i;
      if (slot < DiskFacts::kMaxDamagedListed) facts.damaged[slot] = walk.damaged[i];
    }
    facts.damaged_count += walk.damaged_count;
  }
  facts.layout = SortShapes(shapes, recorded);
  return facts;
}

int DirectorySectors(D88Image& image) {
  int present = 0;
  for (int r = 1; r <= kDirectorySize / kSectorSize; ++r) {
    const SectorInfo sector =
        image.FindSector(kDirectoryTrack, 0, 1, r, kSectorSizeCode);
    if (!sector.found || sector.data_length < kSectorSize) break;
    ++present;
  }
  return present;
}

}  // namespace

DiskFacts GatherDiskFacts(D88Image& image) {
  DiskFacts facts = GatherTracks(image);
  facts.media_type = image.MediaType();
  facts.write_protected = image.WriteProtect() == kWriteProtected;
  facts.size_field = image.SizeField();
  facts.directory_sectors = DirectorySectors(image);
  const Directory& directory = ReadDirectory(image);
  facts.entry_count = directory.entry_count;
  for (int j = 0; j < directory.entry_count; ++j) {
    const std::int32_t size = FileSize(directory.entries[j]);
    if (size > 0) facts.bytes_covered += size;
  }
  return facts;
}

const char* MediaTypeName(int media_type) {
  switch (media_type) {
    case kMedia2D: return "2D";
    case kMedia2DD: return "2DD";
    case kMedia2HD: return "2HD";
    case kMedia1D: return "1D";
    case kMedia1DD: return "1DD";
    default: return nullptr;
  }
}

namespace {

// "5 sectors x 1024 bytes", or "... of mixed sizes".
void DescribeShape(TrackShape shape, char* text, std::size_t capacity) {
  if (shape.bytes < 0) {
    std::snprintf(text, capacity, "%d sectors of mixed sizes", shape.sectors);
  } else {
    std::snprintf(text, capacity, "%d sectors x %d bytes", shape.sectors,
                  shape.bytes);
  }
}

void PrintLayout(const DiskFacts& facts) {
  char shape[64];
  if (facts.tracks_recorded == 0) {
    report::Text("  %-17s none\n", "sector layout");
    return;
  }
  const TrackLayout& layout = facts.layout;
  DescribeShape(layout.common, shape, sizeof shape);
  report::Text("  %-17s %d tracks x %s\n", "sector layout", layout.common_count,
               shape);
  for (int i = 0; i < layout.odd_count; ++i) {
    DescribeShape(layout.odd[i].shape, shape, sizeof shape);
    report::Text("  %-17s track %02x: %s\n", i == 0 ? "other tracks" : "",
                 static_cast<unsigned>(layout.odd[i].track), shape);
  }
}

void PrintDamaged(const DiskFacts& facts) {
  report::Text("  %-17s %d\n", "damaged sectors", facts.damaged_count);
  const int listed = facts.damaged_count < DiskFacts::kMaxDamagedListed
                         ? facts.damaged_count
                         : DiskFacts::kMaxDamagedListed;
  for (int i = 0; i < listed; ++i) {
    const DamagedSector& sector = facts.damaged[i];
    const bool deleted = sector.deleted_mark == kDeletedDataMark;
    char status[24] = "";
    if (sector.status != 0) {
      std::snprintf(status, sizeof status, "status 0x%02x%s",
                    static_cast<unsigned>(sector.status), deleted ? ", " : "");
    }
    report::Text("  %-17s track %02x sector %02x: %s%s\n", "",
                 static_cast<unsigned>(sector.address.track),
                 static_cast<unsigned>(sector.address.sector), status,
                 deleted ? "deleted-data mark" : "");
  }
  if (facts.damaged_count > listed) {
    report::Text("  %-17s and %d more\n", "", facts.damaged_count - listed);
  }
}

}  // namespace

void PrintDiskInfo(int disk, const char* raw_disk_name, const DiskFacts& facts) {
  report::Text("\nDisk %03d [%s]\n", disk, report::ShowName(raw_disk_name).text);
  const char* media = MediaTypeName(facts.media_type);
  report::Text("  %-17s %s (0x%02x)\n", "media type",
               media != nullptr ? media : "unknown",
               static_cast<unsigned>(facts.media_type));
  report::Text("  %-17s %s\n", "write protection",
               facts.write_protected ? "on" : "off");
  report::Text("  %-17s %lu bytes\n", "size field",
               static_cast<unsigned long>(facts.size_field));
  report::Text("  %-17s %d of %d\n", "tracks recorded", facts.tracks_recorded,
               kTrackCount);
  PrintLayout(facts);
  PrintDamaged(facts);
  report::Text("  %-17s %s\n", "directory",
               facts.directory_sectors == 2   ? "present"
               : facts.directory_sectors == 1 ? "sector 2 missing"
                                              : "missing");
  report::Text("  %-17s %d, covering %lld bytes\n", "entries",
               facts.entry_count, static_cast<long long>(facts.bytes_covered));
}

}  // namespace d88
