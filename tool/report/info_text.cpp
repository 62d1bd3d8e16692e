#include "report/info_text.h"

#include <cstdio>

#include "report/reporter.h"

namespace d88 {
namespace {

const char* Plural(int count) { return count == 1 ? "" : "s"; }

// "5 sectors x 1024 bytes", or "... of mixed sizes".
void DescribeShape(TrackShape shape, char* text, std::size_t capacity) {
  if (shape.bytes < 0) {
    std::snprintf(text, capacity, "%d sector%s of mixed sizes", shape.sectors,
                  Plural(shape.sectors));
  } else {
    std::snprintf(text, capacity, "%d sector%s x %d byte%s", shape.sectors,
                  Plural(shape.sectors), shape.bytes, Plural(shape.bytes));
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
  report::Text("  %-17s %d track%s x %s\n", "sector layout",
               layout.common_count, Plural(layout.common_count), shape);
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
