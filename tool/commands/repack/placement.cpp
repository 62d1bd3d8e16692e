#include "commands/repack/placement.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "commands/repack/directory_changes.h"
#include "disk/free_space.h"
#include "host/shift_jis.h"
#include "report/reporter.h"

namespace d88 {
namespace repack {
namespace {

FreeMap free_map;

// The host files of one folder, as listed: more than a disk could take
// from one folder are not looked at.
constexpr int kMaxListed = 1024;
struct ListedName {
  char text[256];
};
ListedName listed[kMaxListed];
int listed_count = 0;

// The host files that entries write into the folder --add looks at.
constexpr int kMaxOwned = kMaxDisks * kMaxDirEntries;
host::FileIdentity owned[kMaxOwned];
int owned_count = 0;
DirectoryEdit other_directory;

int SectorsFor(std::int32_t size) {
  return size <= kSectorSize ? 1 : (size + kSectorSize - 1) / kSectorSize;
}

// The reason no run holds the file.
void NoRunText(char* text, std::size_t capacity, int needed) {
  const int largest = free_map.LargestRun();
  std::snprintf(text, capacity,
                "it needs %d free sector%s in a row (%ld bytes) and the "
                "largest free run of its disk holds %d (%ld bytes)",
                needed, needed == 1 ? "" : "s",
                static_cast<long>(needed) * kSectorSize, largest,
                static_cast<long>(largest) * kSectorSize);
}

// Takes the sectors of the run from its first data sector for the patch.
void TakeRun(Patch& patch, int first, int count) {
  patch.sector_count = count;
  for (int k = 0; k < count; ++k) {
    Run().sector_positions[patch.first_sector + k] = free_map.Position(first + k);
  }
  patch.start = DataSectorAddress(first);
  patch.end = DataSectorAddress(first + count - 1);
}

Patch* NewPatch(PatchKind kind, int disk, const char* host_name,
                std::int32_t host_size, int sectors) {
  RepackRun& run = Run();
  if (run.patch_count >= kMaxPatches) return nullptr;
  Patch& patch = run.patches[run.patch_count];
  patch = {};
  patch.first_sector = ReserveSectors(sectors);
  if (patch.first_sector < 0) return nullptr;
  ++run.patch_count;
  patch.kind = kind;
  patch.claim = -1;
  patch.disk = disk;
  // Names that fit an entry fit here; patch is zeroed, so it ends in a NUL.
  std::memcpy(patch.host_name, host_name,
              strnlen(host_name, sizeof patch.host_name - 1));
  patch.host_size = host_size;
  return &patch;
}

// --- Adding. ---

void KeepListedName(void*, const char* name) {
  if (listed_count < kMaxListed) {
    std::snprintf(listed[listed_count++].text, sizeof listed[0].text, "%s",
                  name);
  }
}

void NoteOwnedFiles(int disk_number, const DirectoryEdit& directory) {
  const RepackRun& run = Run();
  for (int slot = 0; slot < directory.EntryCount(); ++slot) {
    const EntryHostName name =
        HostNameOf(directory.Entry(slot).name, run.settings.unicode_names);
    if (name.text[0] == '\0' || owned_count >= kMaxOwned) continue;
    const host::FileIdentity identity =
        host::IdentifyFile(PathOf(run.settings, disk_number, name.text).host);
    if (identity.known) owned[owned_count++] = identity;
  }
}

// Every entry's host file is its own, whether the run takes the entry or
// not: --only leaves entries out of the run, not off the disk. In its own
// folder a disk's entries are alone; with -d every disk of the image writes
// into the one folder, the disks --disk leaves out too.
void FindOwnedFiles(D88Image& image, const DiskState& disk) {
  owned_count = 0;
  if (Run().settings.folders) {
    NoteOwnedFiles(disk.number, disk.directory);
    return;
  }
  for (int d = 0; d < image.DiskCount(); ++d) {
    if (d == disk.number) {
      NoteOwnedFiles(d, disk.directory);
    } else if (SelectDisk(image, d)) {
      other_directory.Load(image);
      NoteOwnedFiles(d, other_directory);
    }
  }
  SelectDisk(image, disk.number);
}

// The pieces --unclaimed writes: "unclaimed-…", with -d "000-unclaimed-…".
bool IsUnclaimedPiece(const char* name) {
  static constexpr char kUnclaimedPrefix[] = "unclaimed-";
  constexpr std::size_t kPrefixLength = sizeof kUnclaimedPrefix - 1;
  if (std::strncmp(name, kUnclaimedPrefix, kPrefixLength) == 0) return true;
  const bool numbered = !Run().settings.folders && std::strlen(name) > 4 &&
                        std::isdigit(static_cast<unsigned char>(name[0])) &&
                        std::isdigit(static_cast<unsigned char>(name[1])) &&
                        std::isdigit(static_cast<unsigned char>(name[2])) &&
                        name[3] == '-';
  return numbered &&
         std::strncmp(name + 4, kUnclaimedPrefix, kPrefixLength) == 0;
}

// What an extraction writes, and the pieces --unclaimed writes, are no new
// files; neither is the image itself, nor what a killed repack left of a
// new one beside it (with -d the image may lie in the folder looked at).
bool WrittenByTheRun(const char* name, const host::FileIdentity& identity) {
  if (IsUnclaimedPiece(name) || std::strstr(name, ".d88unpack-tmp") != nullptr) {
    return true;
  }
  const RepackRun& run = Run();
  if (host::SameFile(identity, host::IdentifyFile(run.settings.image_path))) {
    return true;
  }
  for (int i = 0; i < run.claim_count; ++i) {
    if (host::SameFile(identity, run.claims[i].identity)) return true;
  }
  for (int i = 0; i < owned_count; ++i) {
    if (host::SameFile(identity, owned[i])) return true;
  }
  return false;
}

// With --only, a new host file is taken only when a pattern matches its
// name, as an entry's name is matched: the raw bytes, or with
// --unicode-names the UTF-8 text. A pattern that matches it counts as
// matched.
bool OnlyTakes(const char* name) {
  const RepackRun& run = Run();
  EntryFilter* only = run.settings.only;
  if (only == nullptr || only->PatternCount() == 0) return true;
  if (run.settings.unicode_names) return only->TakesNamed(name, name);
  char decoded[Utf8CapacityFor(sizeof listed[0].text)];
  ShiftJisToUtf8(name, std::strlen(name), decoded, sizeof decoded);
  return only->TakesNamed(name, decoded);
}

bool RefuseAdd(const HostPath& path, const char* reason) {
  report::Note("cannot add \"%s\": %s; not added", path.text, reason);
  return false;
}

const char* AddProblem(const DiskState& disk, const char* name,
                       char* raw_name) {
  const char* problem = EntryNameProblemOf(name, raw_name);
  if (problem != nullptr) return problem;
  if (NameTaken(disk.number, raw_name, -1)) {
    return "an entry of its disk already has that name";
  }
  if (const char* directory = DirectoryProblem(disk)) return directory;
  if (disk.directory.Room() <= 0) {
    return "its disk's directory is full (128 entries)";
  }
  return nullptr;
}

// The new entry takes the first free run that holds the file.
bool PlaceNewFile(DiskState& disk, const HostPath& path, const char* name,
                  const char* raw_name, std::int32_t size) {
  const int needed = SectorsFor(size);
  const SectorRun found = free_map.FirstFit(needed);
  if (found.first < 0) {
    char reason[200];
    NoRunText(reason, sizeof reason, needed);
    return RefuseAdd(path, reason);
  }
  Patch* patch = NewPatch(PatchKind::kAdded, disk.number, name, size, needed);
  if (patch == nullptr) return RefuseAdd(path, "too many files at once");
  TakeRun(*patch, found.first, needed);
  DirEntry entry = {};
  std::memcpy(entry.name, raw_name, sizeof entry.name);
  entry.start_track = patch->start.track;
  entry.start_sector = patch->start.sector;
  entry.end_track = patch->end.track;
  entry.end_sector = patch->end.sector;
  disk.directory.Append(entry);
  free_map.Claim(entry, +1);
  return true;
}

bool AddOne(DiskState& disk, const char* name) {
  RepackRun& run = Run();
  const HostPath path = PathOf(run.settings, disk.number, name);
  const host::FileIdentity identity =
      host::IdentifyFile(path.host);
  if (WrittenByTheRun(name, identity) || !OnlyTakes(name)) return true;
  char raw_name[kEntryNameLength + 1];
  if (const char* problem = AddProblem(disk, name, raw_name)) {
    return RefuseAdd(path, problem);
  }
  const host::HostFileRead read =
      host::ReadWholeFile(path.host, run.host_bytes, sizeof run.host_bytes);
  if (read.outcome == host::ReadOutcome::kFailed ||
      read.outcome == host::ReadOutcome::kAbsent) {
    return RefuseAdd(path, host::FileErrorText());
  }
  if (read.outcome == host::ReadOutcome::kTooLong) {
    return RefuseAdd(path, "it is larger than any disk holds");
  }
  return PlaceNewFile(disk, path, name, raw_name,
                      static_cast<std::int32_t>(read.size));
}

}  // namespace

void StartPlacement(D88Image& image, const DiskState& disk) {
  free_map.Load(image, disk.number);
  const DirectoryEdit& directory = disk.directory;
  for (int slot = 0; slot < directory.EntryCount(); ++slot) {
    if (!directory.Removed(slot)) free_map.Claim(directory.Entry(slot), +1);
  }
}

bool Relocate(int index, std::int32_t host_size) {
  RepackRun& run = Run();
  const Claim& claim = run.claims[index];
  const HostPath path = ClaimPath(claim);
  DiskState* disk = FindDisk(claim.disk);
  const char* problem = disk != nullptr ? DirectoryProblem(*disk)
                                        : "its disk can no longer be read";
  if (problem != nullptr) {
    RefuseRepack(path, problem);
    return false;
  }
  const DirEntry entry = disk->directory.Entry(claim.slot);
  const int needed = SectorsFor(host_size);
  int first = DataSectorIndex({entry.start_track, entry.start_sector});
  if (!free_map.CanExtend(entry, needed)) first = free_map.FirstFit(needed).first;
  char reason[200];
  if (first < 0) {
    NoRunText(reason, sizeof reason, needed);
    RefuseRepack(path, reason);
    return false;
  }
  Patch* patch = NewPatch(PatchKind::kRelocated, claim.disk, claim.name.text,
                          host_size, needed);
  if (patch == nullptr) {
    RefuseRepack(path, "too many files to repack at once");
    return false;
  }
  patch->claim = index;
  TakeRun(*patch, first, needed);
  free_map.Claim(entry, -1);
  disk->directory.MoveRun(claim.slot, patch->start, patch->end);
  free_map.Claim(disk->directory.Entry(claim.slot), +1);
  return true;
}

// The files are taken in the order of their names, so that the same
// folder always gives the same directory.
bool AddNewFiles(D88Image& image, DiskState& disk) {
  const RepackRun& run = Run();
  FindOwnedFiles(image, disk);
  listed_count = 0;
  const HostPath folder = PathOf(run.settings, disk.number, "");
  if (!host::ListPlainFiles(folder.host, run.settings.unicode_names,
                            KeepListedName, nullptr)) {
    return true;  // no folder, nothing new in it
  }
  std::sort(listed, listed + listed_count,
            [](const ListedName& a, const ListedName& b) {
              return std::strcmp(a.text, b.text) < 0;
            });
  bool ok = true;
  for (int i = 0; i < listed_count; ++i) {
    if (!AddOne(disk, listed[i].text)) ok = false;
  }
  return ok;
}

}  // namespace repack
}  // namespace d88
