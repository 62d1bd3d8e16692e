// The JSON document of --json: one object for the run, one per disk, one
// per directory entry, streamed to standard output as the disks are read.
// README describes the schema.
#pragma once

#include "d88_image.h"
#include "disk_info.h"
#include "file_system.h"
#include "options.h"

namespace d88 {

// With unicode_names, host names are UTF-8 as the host files get them.
void JsonBeginDocument(Mode mode, bool unicode_names);
void JsonEndDocument();
// folder is nullptr when the run uses no folders.
void JsonBeginDisk(D88Image& image, int disk, const char* folder);
void JsonEndDisk();
void JsonBeginEntries();
void JsonEndEntries();
// read is nullptr for --list, which reads no file.
void JsonEntry(const DirEntry& entry, const FileRead* read);
void JsonDiskFacts(const DiskFacts& facts);

}  // namespace d88
