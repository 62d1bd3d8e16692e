#include "report/map_json.h"

#include <cstdio>

#include "report/json_report.h"
#include "report/json_writer.h"

namespace d88 {
namespace {

// The header's fields are only known for a sector the track holds.
void Sector(const SectorMap& map, int track, int sector) {
  const MapCell& cell = CellAt(map, track, sector);
  json::OpenObject(nullptr);
  json::Number("sector", sector);
  json::String("state", SectorStateName(StateOf(map, track, sector)));
  json::OpenArray("entries");
  for (int i = 0; cell.claim_count > 0 && i < kMaxDirEntries; ++i) {
    if (ClaimedBy(cell, i)) json::Number(nullptr, i);
  }
  json::CloseArray();
  if (cell.found) {
    json::Number("status", cell.status);
    json::Bool("deleted", cell.deleted_mark == kDeletedDataMark);
  } else {
    json::Null("status");
    json::Null("deleted");
  }
  json::CloseObject();
}

void Track(const SectorMap& map, int track) {
  json::OpenObject(nullptr);
  json::Number("track", track);
  json::Number("cylinder", track / 2);
  json::Number("head", track % 2);
  json::OpenArray("sectors");
  for (int r = kFirstSector; r <= kLastSector; ++r) Sector(map, track, r);
  json::CloseArray();
  json::CloseObject();
}

void LegendEntry(const MapEntry& item) {
  char symbol[4];
  std::snprintf(symbol, sizeof symbol, "%02x", static_cast<unsigned>(item.index));
  json::OpenObject(nullptr);
  json::Number("index", item.index);
  json::String("symbol", symbol);
  JsonName("name", item.entry.name, false);
  JsonPlace("start", item.entry.start_track, item.entry.start_sector);
  JsonPlace("end", item.entry.end_track, item.entry.end_sector);
  json::Number("size", item.size);
  json::CloseObject();
}

}  // namespace

void JsonSectorMap(const SectorMap& map) {
  json::OpenArray("tracks");
  for (int track = 0; track < kTrackCount; ++track) {
    if (map.recorded[track]) Track(map, track);
  }
  json::CloseArray();
  json::OpenArray("legend");
  for (int i = 0; i < map.entry_count; ++i) LegendEntry(map.entries[i]);
  json::CloseArray();
}

}  // namespace d88
