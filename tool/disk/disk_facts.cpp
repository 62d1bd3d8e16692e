#include "disk/disk_facts.h"

namespace d88 {
namespace {

// One track's shape and the records on it whose header records trouble.
struct TrackWalk {
  TrackShape shape;
  int damaged_count;
  DamagedSector damaged[DiskFacts::kMaxDamagedListed];
  int track;
};

// A floppy track holds a few dozen records; even sectors of no data, each
// with its ID field and gaps, leave room for under 200 on a high-density
// track. A track that claims more than this is a crafted chain, each of
// whose records would cost a read: this many are counted, and no more.
constexpr std::int32_t kMaxRecordsCounted = 1024;

bool IsDamaged(const RecordSummary& record) {
  return record.status != 0 || record.deleted_mark == kDeletedDataMark;
}

// Takes one record, in stored order, into the walk of its track.
void CountRecord(void* context, const RecordSummary& record) {
  TrackWalk& walk = *static_cast<TrackWalk*>(context);
  if (walk.shape.sectors++ == 0) walk.shape.bytes = record.data_length;
  if (walk.shape.bytes != record.data_length) walk.shape.bytes = -1;
  if (!IsDamaged(record)) return;
  if (walk.damaged_count < DiskFacts::kMaxDamagedListed) {
    walk.damaged[walk.damaged_count] = {{walk.track, record.id[2]},
                                        record.status, record.deleted_mark};
  }
  ++walk.damaged_count;
}

// One walk over the track's records, in stored order, for their number,
// data lengths and header status. Every record counts, even one whose ID
// repeats another's, up to kMaxRecordsCounted.
TrackWalk WalkTrack(D88Image& image, int track) {
  TrackWalk walk = {};
  walk.track = track;
  image.VisitSectorRecords(track, kMaxRecordsCounted, CountRecord, &walk);
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

}  // namespace d88
