#include "report/json_report.h"

#include <cstdio>
#include <cstring>

#include "host/shift_jis.h"
#include "report/damage_notes.h"
#include "report/json_writer.h"

namespace d88 {
namespace {

bool unicode_host_names = false;

}  // namespace

// A name as the raw bytes the disk (or host) holds and as text: decoded
// from Shift_JIS, or as it is when it is UTF-8 already.
void JsonName(const char* key, const char* raw, bool utf8) {
  const std::size_t length = std::strlen(raw);
  char text[Utf8CapacityFor(kDiskNameLength)];
  if (utf8) {
    std::snprintf(text, sizeof text, "%s", raw);
  } else {
    ShiftJisToUtf8(raw, length, text, sizeof text);
  }
  json::OpenObject(key);
  json::HexString("hex", raw, length);
  json::String("text", text);
  json::CloseObject();
}

namespace {


void Damaged(const DamagedSector& sector) {
  json::OpenObject(nullptr);
  json::Number("track", sector.address.track);
  json::Number("sector", sector.address.sector);
  json::Number("status", sector.status);
  json::Bool("deleted", sector.deleted_mark == kDeletedDataMark);
  json::CloseObject();
}

void DamagedList(int count, const DamagedSector* listed, int capacity) {
  json::Number("damaged_count", count);
  json::OpenArray("damaged_sectors");
  for (int i = 0; i < count && i < capacity; ++i) Damaged(listed[i]);
  json::CloseArray();
}

void ReadOutcome(const FileRead& read) {
  const FileState state = StateOf(read);
  json::String("state", StateName(state));
  json::Number("zero_bytes",
               state == FileState::kNotAFile ? 0 : read.size - read.data_end);
  if (state == FileState::kPartial || state == FileState::kMissing) {
    JsonPlace("break_at", read.break_at.track, read.break_at.sector);
  } else {
    json::Null("break_at");
  }
  DamagedList(read.damaged_count, read.damaged, FileRead::kMaxDamagedListed);
}

void Shape(const char* key, TrackShape shape) {
  json::OpenObject(key);
  json::Number("sectors", shape.sectors);
  if (shape.bytes < 0) {
    json::Null("bytes");
  } else {
    json::Number("bytes", shape.bytes);
  }
  json::CloseObject();
}

}  // namespace

void JsonBeginDocument(const char* mode_name, bool unicode_names) {
  unicode_host_names = unicode_names;
  json::Reset();
  json::OpenObject(nullptr);
  json::String("mode", mode_name);
  json::OpenArray("disks");
}

void JsonEndDocument() {
  json::CloseArray();
  json::CloseObject();
  json::Finish();
}

void JsonBeginDisk(D88Image& image, int disk, const char* folder) {
  json::OpenObject(nullptr);
  json::Number("number", disk);
  if (folder != nullptr) {
    json::String("folder", folder);
  } else {
    json::Null("folder");
  }
  JsonName("name", image.DiskName(), false);
  json::Number("media_type", image.MediaType());
  const char* media = MediaTypeName(image.MediaType());
  if (media != nullptr) {
    json::String("media_name", media);
  } else {
    json::Null("media_name");
  }
  json::Bool("write_protected", image.WriteProtect() == kWriteProtected);
}

void JsonEndDisk() { json::CloseObject(); }
void JsonBeginEntries() { json::OpenArray("entries"); }
void JsonEndEntries() { json::CloseArray(); }

void JsonEntry(const EntryFacts& facts) {
  const DirEntry& entry = facts.entry;
  json::OpenObject(nullptr);
  JsonName("name", entry.name, false);
  JsonPlace("start", entry.start_track, entry.start_sector);
  JsonPlace("end", entry.end_track, entry.end_sector);
  json::Number("size", facts.size);
  JsonName("host_name", facts.host_name.text, unicode_host_names);
  if (facts.read != nullptr) ReadOutcome(*facts.read);
  json::CloseObject();
}

void JsonDiskFacts(const DiskFacts& facts) {
  json::Number("size_field", facts.size_field);
  json::Number("tracks_recorded", facts.tracks_recorded);
  if (facts.tracks_recorded > 0) {
    Shape("layout", facts.layout.common);
  } else {
    json::Null("layout");
  }
  json::Number("layout_tracks", facts.layout.common_count);
  json::OpenArray("other_tracks");
  for (int i = 0; i < facts.layout.odd_count; ++i) {
    json::OpenObject(nullptr);
    json::Number("track", facts.layout.odd[i].track);
    Shape("shape", facts.layout.odd[i].shape);
    json::CloseObject();
  }
  json::CloseArray();
  DamagedList(facts.damaged_count, facts.damaged, DiskFacts::kMaxDamagedListed);
  json::Number("directory_sectors", facts.directory_sectors);
  json::Number("entry_count", facts.entry_count);
  json::Number("bytes_covered", facts.bytes_covered);
}

void JsonPlace(const char* key, int track, int sector) {
  json::OpenObject(key);
  json::Number("track", track);
  json::Number("sector", sector);
  json::CloseObject();
}

}  // namespace d88
