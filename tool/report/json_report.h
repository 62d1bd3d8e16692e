// The JSON document of --json: one object for the run, one per disk, one
// per directory entry, streamed to standard output as the disks are read.
// doc/manual.md describes the schema.
#pragma once

#include "d88_image.h"
#include "disk/disk_facts.h"
#include "disk/disk_walk.h"

namespace d88 {

// With unicode_names, host names are UTF-8 as the host files get them.
// mode_name says what the run did: "list", "test" or "info".
void JsonBeginDocument(const char* mode_name, bool unicode_names);
void JsonEndDocument();
// folder is nullptr when the run uses no folders.
void JsonBeginDisk(D88Image& image, int disk, const char* folder);
void JsonEndDisk();
void JsonBeginEntries();
void JsonEndEntries();
// With what reading the file found when the run read it (--test).
void JsonEntry(const EntryFacts& facts);
void JsonDiskFacts(const DiskFacts& facts);
// {"hex": raw bytes, "text": decoded from Shift_JIS, or raw when utf8}.
void JsonName(const char* key, const char* raw, bool utf8);

// {"track": T, "sector": S} under key.
void JsonPlace(const char* key, int track, int sector);

}  // namespace d88
