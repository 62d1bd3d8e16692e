#include "commands/repack/directory_changes.h"

#include <cstdio>
#include <cstring>

#include "commands/repack/run.h"
#include "disk/name_pattern.h"
#include "host/shift_jis.h"
#include "report/reporter.h"

namespace d88 {
namespace repack {
namespace {

// An entry's name as --remove and --rename match it: the raw bytes, or
// with --unicode-names their decoded text.
struct MatchedName {
  char text[Utf8CapacityFor(kEntryNameLength)];
};

MatchedName NameToMatch(const DirEntry& entry) {
  MatchedName name = {};
  if (Run().settings.unicode_names) {
    ShiftJisToUtf8(entry.name, std::strlen(entry.name), name.text,
                   sizeof name.text);
  } else {
    std::snprintf(name.text, sizeof name.text, "%s", entry.name);
  }
  return name;
}

HostPath EntryPath(int disk, const DirEntry& entry) {
  return PathOf(Run().settings, disk,
                HostNameOf(entry.name, Run().settings.unicode_names).text);
}

// Takes out every entry of the disk that the pattern matches; returns how
// many matched, refused ones included.
int RemoveMatches(DiskState& disk, const char* pattern, bool& ok) {
  const PatternText kind = Run().settings.unicode_names ? PatternText::kUtf8
                                                        : PatternText::kBytes;
  DirectoryEdit& directory = disk.directory;
  int matched = 0;
  for (int slot = 0; slot < directory.EntryCount(); ++slot) {
    const DirEntry entry = directory.Entry(slot);
    if (directory.Removed(slot) ||
        !MatchesPattern(pattern, NameToMatch(entry).text, kind)) {
      continue;
    }
    ++matched;
    if (const char* problem = DirectoryProblem(disk)) {
      report::Note("cannot remove \"%s\": %s",
                   EntryPath(disk.number, entry).text, problem);
      ok = false;
      continue;
    }
    directory.Remove(slot);
  }
  return matched;
}

// --- Renames. ---

struct EntryRef {
  int disk_index;  // into the run's disks; -1 when none
  int slot;
  int count;       // entries of that name on the disks taken
};

EntryRef FindByName(const char* name) {
  RepackRun& run = Run();
  EntryRef found = {-1, -1, 0};
  for (int d = 0; d < run.disk_count; ++d) {
    const DirectoryEdit& directory = run.disks[d].directory;
    for (int slot = 0; slot < directory.EntryCount(); ++slot) {
      if (directory.Removed(slot)) continue;
      const DirEntry entry = directory.Entry(slot);
      if (std::strcmp(NameToMatch(entry).text, name) != 0 &&
          std::strcmp(entry.name, name) != 0) {
        continue;
      }
      if (found.count++ == 0) found = {d, slot, 1};
    }
  }
  return found;
}

bool RefuseRename(const char* old_name, const char* new_name,
                  const char* reason) {
  report::Note("cannot rename \"%s\" to \"%s\": %s", old_name, new_name,
               reason);
  return false;
}

// text is "OLD=NEW"; the names are split at its first '='.
bool RenameOne(const char* text) {
  RepackRun& run = Run();
  char old_name[256];
  const std::size_t old_length = std::strcspn(text, "=");
  std::snprintf(old_name, sizeof old_name, "%.*s",
                static_cast<int>(old_length), text);
  const char* new_name = text + old_length + 1;
  const EntryRef found = FindByName(old_name);
  if (found.count == 0) {
    return RefuseRename(old_name, new_name, "no entry of the disks taken has "
                                            "that name");
  }
  if (found.count > 1) {
    char reason[120];
    std::snprintf(reason, sizeof reason,
                  "%d entries of the disks taken have that name (--disk "
                  "picks one disk)", found.count);
    return RefuseRename(old_name, new_name, reason);
  }
  DiskState& disk = run.disks[found.disk_index];
  char raw_name[kEntryNameLength + 1];
  const char* problem = EntryNameProblemOf(new_name, raw_name);
  // The name the entry has already is no change: nothing to say or write.
  if (problem == nullptr &&
      std::strcmp(raw_name, disk.directory.Entry(found.slot).name) == 0) {
    return true;
  }
  if (problem == nullptr) problem = DirectoryProblem(disk);
  if (problem == nullptr && NameTaken(disk.number, raw_name, found.slot)) {
    problem = "another entry of its disk has that name";
  }
  if (problem != nullptr) return RefuseRename(old_name, new_name, problem);
  if (run.rename_count >= EditRequest::kMaxPatterns) return false;
  Rename& rename = run.renames[run.rename_count++];
  rename = {disk.number, found.slot, {}};
  std::memcpy(rename.old_name, disk.directory.Entry(found.slot).name,
              sizeof rename.old_name);
  disk.directory.Rename(found.slot, raw_name);
  return true;
}

}  // namespace

namespace {

// The new disk name as the header holds it, into the run's bytes; false,
// with a line saying why, when it does not fit.
bool EncodeDiskName(const char* text) {
  RepackRun& run = Run();
  char encoded[4 * kDiskNameLength + 1] = {};
  std::size_t length = std::strlen(text);
  bool encodable = true;
  if (run.settings.unicode_names) {
    const ShiftJisEncoding encoding =
        Utf8ToShiftJis(text, encoded, sizeof encoded);
    encodable = encoding.encodable;
    length = encoding.length;
  } else {
    std::snprintf(encoded, sizeof encoded, "%s", text);
  }
  if (!encodable) {
    report::Note("cannot name the disks \"%s\": it has no Shift_JIS form",
                 text);
    return false;
  }
  if (length > kDiskNameLength) {
    report::Note("cannot name the disks \"%s\": a disk name holds up to 16 "
                 "bytes, and this one has %lu",
                 text, static_cast<unsigned long>(length));
    return false;
  }
  std::memset(run.disk_name, 0, sizeof run.disk_name);
  std::memcpy(run.disk_name, encoded, length);
  return true;
}

}  // namespace

// A disk whose header holds the asked-for bytes already is not changed,
// so that it reports nothing and the image need not be written at all.
bool SetHeaders() {
  RepackRun& run = Run();
  const EditRequest& edits = run.settings.edits;
  const bool named =
      edits.disk_name != nullptr && EncodeDiskName(edits.disk_name);
  const bool protect =
      edits.write_protect != EditRequest::WriteProtect::kUnchanged;
  for (int d = 0; d < run.disk_count; ++d) {
    DiskState& disk = run.disks[d];
    disk.named = named && std::memcmp(disk.old_name, run.disk_name,
                                      kDiskNameLength) != 0;
    disk.protection_set =
        protect && disk.old_protection != WriteProtectByte(edits);
  }
  return named || edits.disk_name == nullptr;
}

bool RemoveEntries() {
  RepackRun& run = Run();
  bool ok = true;
  for (int p = 0; p < run.settings.edits.remove_count; ++p) {
    const char* pattern = run.settings.edits.remove[p];
    int matched = 0;
    for (int d = 0; d < run.disk_count; ++d) {
      matched += RemoveMatches(run.disks[d], pattern, ok);
    }
    if (matched == 0) {
      report::Note("no entry matches \"%s\"", pattern);
      ok = false;
    }
  }
  return ok;
}

bool RenameEntries() {
  bool ok = true;
  const EditRequest& edits = Run().settings.edits;
  for (int r = 0; r < edits.rename_count; ++r) {
    if (!RenameOne(edits.rename[r])) ok = false;
  }
  return ok;
}

bool NameTaken(int disk_number, const char* raw_name, int skip_slot) {
  const DiskState* disk = FindDisk(disk_number);
  if (disk == nullptr) return false;
  const DirectoryEdit& directory = disk->directory;
  for (int slot = 0; slot < directory.EntryCount(); ++slot) {
    if (slot == skip_slot || directory.Removed(slot)) continue;
    if (std::strcmp(directory.Entry(slot).name, raw_name) == 0) return true;
  }
  for (int i = 0; i < directory.AppendedCount(); ++i) {
    if (std::strcmp(directory.Appended(i).name, raw_name) == 0) return true;
  }
  return false;
}

// A first byte of 0xFF would end the directory at the entry. Without
// --unicode-names a name goes to the disk byte for byte, so a name in
// UTF-8 would sit there as bytes no machine of the disk's reads as meant,
// beside the Shift_JIS name of the same text.
const char* EntryNameProblemOf(const char* host_name, char* raw_name) {
  const bool unicode_names = Run().settings.unicode_names;
  const EntryNameFromHost name = EntryNameFor(host_name, unicode_names);
  std::memcpy(raw_name, name.raw, kEntryNameLength + 1);
  if (!unicode_names && IsUtf8BeyondAscii(host_name)) {
    return "the name is UTF-8 text, which --unicode-names stores in "
           "Shift_JIS";
  }
  static char length_problem[80];
  switch (name.problem) {
    case EntryNameProblem::kNone: break;
    case EntryNameProblem::kNoShiftJis:
      return "the name has no Shift_JIS form";
    case EntryNameProblem::kLength:
      std::snprintf(length_problem, sizeof length_problem,
                    "an entry's name holds 1 to 6 bytes, and this one has %lu",
                    static_cast<unsigned long>(name.length));
      return length_problem;
    case EntryNameProblem::kNotWritten:
      return "an extraction writes no file of that name";
  }
  if (static_cast<std::uint8_t>(raw_name[0]) == kEndOfDirectory) {
    return "a name starting with byte 0xFF would end the directory";
  }
  return nullptr;
}

}  // namespace repack
}  // namespace d88
