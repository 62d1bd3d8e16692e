#include "commands/create.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "disk/names_from_host.h"
#include "disk/new_disk.h"
#include "formatted_disk.h"
#include "host/host.h"
#include "report/reporter.h"

namespace d88 {
namespace {

// A host file's path twice: as messages show it, with the name's own bytes
// (raw, or UTF-8 with --unicode-names), and as the host takes it, where a
// raw name may need another spelling (see host::NameInPath).
struct HostPath {
  char text[4200];
  char host[4200];
};

// Folders numbered beyond this are not looked for: an image holds 64 disks.
constexpr int kHighestFolderNumber = 999;
// Host files of one folder looked at; a folder with more is refused, since
// a directory holds 128 entries.
constexpr int kMaxListed = 1024;

struct ListedName {
  char text[256];
};

struct CreatedDisk {
  int entry_count;
  DirEntry entries[kMaxDirEntries];
};

struct CreateState {
  CreateSettings settings;
  std::uint8_t disk_name[kDiskNameLength];
  ListedName listed[kMaxListed];
  int listed_count;
  bool listing_overflowed;
  int sectors_wanted;  // by the files of the disk so far, refused ones too
  NewDisk disk;
  CreatedDisk created[kMaxDisks];
  std::uint8_t file_bytes[kLargestFileSize];
  std::uint8_t system_bytes[kSystemAreaSize + 1];
  char stream_buffer[1 << 16];
};

// Far too large for a stack.
CreateState state;

// The path from the start folder, as an extraction lays it out: the output
// folder, the disk's folder unless -d, and the name. An empty name gives
// the folder itself ("." for the start folder).
HostPath PathOf(int disk, const char* name) {
  HostPath path = {};
  const char* output = state.settings.output_folder;
  char folder[16] = "";
  if (state.settings.folders) std::snprintf(folder, sizeof folder, "%03d", disk);
  std::size_t used = 0;
  const char* parts[] = {output != nullptr ? output : "", folder};
  for (const char* part : parts) {
    if (part[0] == '\0' || used >= sizeof path.text) continue;
    const bool slash = used > 0 && path.text[used - 1] != '/';
    const int written = std::snprintf(path.text + used, sizeof path.text - used,
                                      "%s%s", slash ? "/" : "", part);
    if (written > 0) used += static_cast<std::size_t>(written);
  }
  if (name[0] == '\0' || used >= sizeof path.text - 1) {
    if (used == 0) std::snprintf(path.text, sizeof path.text, ".");
    std::memcpy(path.host, path.text, sizeof path.host);
    return path;
  }
  if (used > 0 && path.text[used - 1] != '/') path.text[used++] = '/';
  std::memcpy(path.host, path.text, used);
  std::snprintf(path.text + used, sizeof path.text - used, "%s", name);
  if (!host::NameInPath(name, state.settings.unicode_names, path.host + used,
                        sizeof path.host - used)) {
    path.host[0] = '\0';  // names nothing, so nothing is read
  }
  return path;
}

bool Refuse(const HostPath& path, const char* reason) {
  report::Note("cannot put \"%s\" on a new disk: %s", path.text, reason);
  return false;
}

// --- The disks' folders. ---

// The folders must run 000, 001, ... without a gap, so that the disks'
// numbers in the new image are the folders' numbers.
int CountDiskFolders() {
  if (!state.settings.folders) return 1;
  int count = 0;
  while (count <= kHighestFolderNumber && host::IsFolder(PathOf(count, "").host)) {
    ++count;
  }
  for (int number = count + 1; number <= kHighestFolderNumber; ++number) {
    if (!host::IsFolder(PathOf(number, "").host)) continue;
    report::Note("cannot create \"%s\": there is a folder \"%s\" but no "
                 "\"%s\"; the disks' folders are numbered from 000 without "
                 "a gap", state.settings.image_path, PathOf(number, "").text,
                 PathOf(count, "").text);
    return -1;
  }
  if (count == 0) {
    report::Note("cannot create \"%s\": no disk folder (000, 001, ...) in "
                 "\"%s\"", state.settings.image_path,
                 state.settings.output_folder != nullptr
                     ? state.settings.output_folder : ".");
    return -1;
  }
  if (count > kMaxDisks) {
    report::Note("cannot create \"%s\": there are %d disk folders and an "
                 "image holds at most %d disks", state.settings.image_path,
                 count, kMaxDisks);
    return -1;
  }
  return count;
}

// The pieces --unclaimed writes: "unclaimed-..." in a disk's folder, and
// "000-unclaimed-..." with -d.
bool IsPiece(const char* name) {
  static constexpr char kPiece[] = "unclaimed-";
  const std::size_t length = sizeof kPiece - 1;
  if (std::strncmp(name, kPiece, length) == 0) return true;
  for (int i = 0; i < 3; ++i) {
    if (name[i] < '0' || name[i] > '9') return false;
  }
  return name[3] == '-' && std::strncmp(name + 4, kPiece, length) == 0;
}

// A temporary file of this tool (this run's new image, a repack's, one a
// killed run left) holds no file of a disk either.
bool IsTemporary(const char* name) {
  return std::strstr(name, ".d88unpack-tmp") != nullptr;
}

void KeepListedName(void*, const char* name) {
  if (IsPiece(name) || IsTemporary(name)) return;
  if (state.listed_count >= kMaxListed) {
    state.listing_overflowed = true;
    return;
  }
  std::snprintf(state.listed[state.listed_count++].text,
                sizeof state.listed[0].text, "%s", name);
}

// The folder's files in name order (their bytes, as strcmp orders them),
// so that the same folder always gives the same disk.
bool ListFolder(int disk) {
  state.listed_count = 0;
  state.listing_overflowed = false;
  const HostPath folder = PathOf(disk, "");
  if (!host::ListPlainFiles(folder.host, state.settings.unicode_names,
                            KeepListedName, nullptr)) {
    report::Note("cannot read folder \"%s\": %s", folder.text,
                 host::FileErrorText());
    return false;
  }
  if (state.listing_overflowed) {
    report::Note("cannot put folder \"%s\" on a new disk: it holds more "
                 "than %d files, and a disk at most %d entries",
                 folder.text, kMaxListed, kMaxDirEntries);
    return false;
  }
  std::sort(state.listed, state.listed + state.listed_count,
            [](const ListedName& a, const ListedName& b) {
              return std::strcmp(a.text, b.text) < 0;
            });
  return true;
}

// --- One disk. ---

// An extraction with --unclaimed writes the system area as one piece; any
// other size is not that piece, and the area stays as formatting left it.
bool TakeSystemArea(int disk) {
  const char* name = state.settings.folders ? "unclaimed-system"
                                            : "000-unclaimed-system";
  const HostPath path = PathOf(disk, name);
  const host::HostFileRead read = host::ReadWholeFile(
      path.host, state.system_bytes, sizeof state.system_bytes);
  if (read.outcome == host::ReadOutcome::kAbsent) return true;
  if (read.outcome == host::ReadOutcome::kFailed) {
    return Refuse(path, host::FileErrorText());
  }
  if (read.outcome == host::ReadOutcome::kRead &&
      read.size == static_cast<std::size_t>(kSystemAreaSize)) {
    state.disk.PutSystemArea(state.system_bytes);
    return true;
  }
  report::Note("\"%s\" is not the %ld bytes of a system area; the new "
               "disk's system area is zeros", path.text,
               static_cast<long>(kSystemAreaSize));
  return true;
}

bool RefuseTooLarge(const HostPath& path, int needed_text_sectors,
                    bool more) {
  const int held = state.disk.DataSectorsHeld();
  char reason[240];
  std::snprintf(reason, sizeof reason,
                "it does not fit: the files of its disk need %s%d sectors "
                "up to and with it, and %d tracks hold %d (%ld bytes)",
                more ? "more than " : "", needed_text_sectors,
                state.settings.track_count, held,
                static_cast<long>(held) * kSectorSize);
  return Refuse(path, reason);
}

// The host file's bytes go on the disk; false, with a line, when refused.
bool PlaceFile(const HostPath& path, const char* raw_name) {
  const host::HostFileRead read = host::ReadWholeFile(
      path.host, state.file_bytes, sizeof state.file_bytes);
  if (read.outcome == host::ReadOutcome::kFailed ||
      read.outcome == host::ReadOutcome::kAbsent) {
    return Refuse(path, host::FileErrorText());
  }
  if (read.outcome == host::ReadOutcome::kTooLong) {
    return RefuseTooLarge(path, state.sectors_wanted +
                                    SectorsFor(kLargestFileSize), true);
  }
  if (read.size == 0) {
    return Refuse(path, "it is empty, and every file of a disk takes at "
                        "least one sector of 1024 bytes");
  }
  const auto size = static_cast<std::int32_t>(read.size);
  state.sectors_wanted += SectorsFor(size);
  if (state.sectors_wanted > state.disk.DataSectorsHeld() ||
      !state.disk.Place(raw_name, state.file_bytes, size)) {
    return RefuseTooLarge(path, state.sectors_wanted, false);
  }
  return true;
}

bool AddFile(int disk, const char* name) {
  const HostPath path = PathOf(disk, name);
  char raw_name[kEntryNameLength + 1];
  const char* problem =
      EntryNameProblemOf(name, state.settings.unicode_names, raw_name);
  if (problem != nullptr) return Refuse(path, problem);
  if (state.disk.EntryCount() >= kMaxDirEntries) {
    return Refuse(path, "its disk's directory is full (128 entries)");
  }
  return PlaceFile(path, raw_name);
}

bool BuildDisk(int disk) {
  state.disk.Format(state.settings.track_count);
  state.sectors_wanted = 0;
  bool ok = ListFolder(disk);
  if (!TakeSystemArea(disk)) ok = false;
  for (int i = 0; i < state.listed_count; ++i) {
    if (!AddFile(disk, state.listed[i].text)) ok = false;
  }
  CreatedDisk& created = state.created[disk];
  created.entry_count = state.disk.EntryCount();
  for (int i = 0; i < created.entry_count; ++i) {
    created.entries[i] = state.disk.Entry(i);
  }
  return ok;
}

// --- The image. ---

FormattedGeometry Geometry() {
  return {state.settings.track_count, kSectorsPerTrack, kFirstSector,
          kSectorSizeCode};
}

bool WriteDisk(std::FILE* stream) {
  const FormattedHeader header = {state.disk_name,
                                  state.settings.write_protected,
                                  state.settings.media};
  return WriteFormattedDisk(stream, Geometry(), header, state.disk.Sectors());
}

void ImageFailure(const host::Replacement& image, const char* reason) {
  report::Note("cannot write \"%s\" (through \"%s\"): %s; no image was made",
               state.settings.image_path, image.temp_path, reason);
}

// The listing an extraction of the new image prints: the disk's line when
// it has a folder, and a line per entry.
void ReportImage(int disk_count) {
  char name[kDiskNameLength + 1] = {};
  std::memcpy(name, state.disk_name, kDiskNameLength);
  for (int disk = 0; disk < disk_count; ++disk) {
    char folder[16];
    std::snprintf(folder, sizeof folder, "%03d", disk);
    if (state.settings.folders) report::DiskLine(name, folder);
    const CreatedDisk& created = state.created[disk];
    for (int i = 0; i < created.entry_count; ++i) {
      report::ListingLine(created.entries[i], FileSize(created.entries[i]));
    }
  }
  const long long bytes = disk_count * FormattedDiskSize(Geometry());
  report::Text("created %s (%d disk%s, %lld bytes)\n",
               state.settings.image_path, disk_count,
               disk_count == 1 ? "" : "s", bytes);
}

bool CheckStart() {
  const CreateSettings& settings = state.settings;
  std::memset(state.disk_name, 0, sizeof state.disk_name);
  if (settings.disk_name != nullptr) {
    const char* problem = DiskNameProblemOf(
        settings.disk_name, settings.unicode_names, state.disk_name);
    if (problem != nullptr) {
      report::Note("cannot name the disks \"%s\": %s", settings.disk_name,
                   problem);
      return false;
    }
  }
  if (host::SomethingStandsAt(settings.image_path)) {
    report::Note("cannot create \"%s\": something of that name exists, and "
                 "--create replaces no image (--repack changes one)",
                 settings.image_path);
    return false;
  }
  return true;
}

// Builds every disk and, unless refused or dry, writes it out; false with
// the reason said.
bool BuildAndWrite(int disk_count, const host::Replacement& image) {
  bool refused = false;
  for (int disk = 0; disk < disk_count; ++disk) {
    if (!BuildDisk(disk)) refused = true;
    if (refused || image.stream == nullptr) continue;
    if (!WriteDisk(image.stream)) {
      ImageFailure(image, std::strerror(errno));
      return false;
    }
  }
  if (refused) {
    report::Note("\"%s\" not created", state.settings.image_path);
  }
  return !refused;
}

}  // namespace

int CreateImage(const CreateSettings& settings) {
  state.settings = settings;
  if (!CheckStart()) return 1;
  const int disk_count = CountDiskFolders();
  if (disk_count < 0) return 1;
  host::Replacement image = {};
  if (!settings.dry_run) {
    image = host::StartNewFile(settings.image_path);
    if (image.stream == nullptr) {
      ImageFailure(image, host::FileErrorText());
      return 1;
    }
    std::setvbuf(image.stream, state.stream_buffer, _IOFBF,
                 sizeof state.stream_buffer);
  }
  if (!BuildAndWrite(disk_count, image)) {
    if (image.stream != nullptr) host::AbandonReplacement(image);
    return 1;
  }
  if (image.stream != nullptr && !host::FinishNewFile(image)) {
    ImageFailure(image, host::FileErrorText());
    return 1;
  }
  ReportImage(disk_count);
  return 0;
}

}  // namespace d88
