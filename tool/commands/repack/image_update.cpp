#include "commands/repack/image_update.h"

#include <cstdio>
#include <cstring>

#include "commands/repack/directory_changes.h"
#include "commands/repack/run.h"
#include "image_writer.h"
#include "report/reporter.h"

namespace d88 {
namespace repack {
namespace {

std::uint8_t directory_bytes[kDirectorySize];

bool ImageFailure(const char* image_path, const host::Replacement& replacement,
                  const char* reason) {
  if (replacement.temp_path[0] != '\0') {
    report::Note("cannot write \"%s\" (through \"%s\"): %s; the image is "
                 "unchanged", image_path, replacement.temp_path, reason);
  } else {
    report::Note("cannot write \"%s\": %s; the image is unchanged",
                 image_path, reason);
  }
  return false;
}

// The host file is read again: only its bytes were kept from the first
// look. A file that changed size in between is not what was judged. The
// last sector is filled up with zeros.
bool PutPatch(ImageWriter& writer, const Patch& patch) {
  RepackRun& run = Run();
  const std::int32_t size = patch.sector_count * kSectorSize;
  const host::HostFileRead host_read = host::ReadWholeFile(
      PathOf(run.settings, patch.disk, patch.host_name).host, run.host_bytes,
      sizeof run.host_bytes);
  if (host_read.outcome != host::ReadOutcome::kRead ||
      host_read.size != static_cast<std::size_t>(patch.host_size) ||
      patch.host_size > size) {
    return false;
  }
  std::memset(run.host_bytes + patch.host_size, 0,
              static_cast<std::size_t>(size - patch.host_size));
  for (int k = 0; k < patch.sector_count; ++k) {
    if (!writer.PutAt(run.sector_positions[patch.first_sector + k],
                      run.host_bytes + k * kSectorSize, kSectorSize)) {
      return false;
    }
  }
  return true;
}

bool PutDirectory(ImageWriter& writer, const DiskState& disk) {
  if (!disk.directory.Changed()) return true;
  disk.directory.Compose(directory_bytes);
  return writer.PutAt(disk.directory.SectorPosition(0), directory_bytes,
                      kSectorSize) &&
         writer.PutAt(disk.directory.SectorPosition(1),
                      directory_bytes + kSectorSize, kSectorSize);
}

bool PutHeader(ImageWriter& writer, const DiskState& disk) {
  const RepackRun& run = Run();
  if (disk.named &&
      !writer.PutAt(disk.start + static_cast<std::int64_t>(kDiskNameOffset),
                    run.disk_name, kDiskNameLength)) {
    return false;
  }
  if (!disk.protection_set) return true;
  const std::uint8_t protect = WriteProtectByte(run.settings.edits);
  return writer.PutAt(disk.start + static_cast<std::int64_t>(kWriteProtectOffset),
                      &protect, 1);
}

// Every change after the copy: false at the first that fails.
bool PutChanges(ImageWriter& writer) {
  const RepackRun& run = Run();
  for (int p = 0; p < run.patch_count; ++p) {
    if (!run.patches[p].refused && !PutPatch(writer, run.patches[p])) {
      return false;
    }
  }
  for (int d = 0; d < run.disk_count; ++d) {
    if (!PutDirectory(writer, run.disks[d]) ||
        !PutHeader(writer, run.disks[d])) {
      return false;
    }
  }
  return true;
}

// --- The lines. ---

// " START:05 01 END:05 04", as the listing shows a run.
struct RunText {
  char text[40];
};

RunText TextOfRun(SectorAddress start, SectorAddress end) {
  RunText run = {};
  std::snprintf(run.text, sizeof run.text, "START:%02x %02x END:%02x %02x",
                static_cast<unsigned>(start.track),
                static_cast<unsigned>(start.sector),
                static_cast<unsigned>(end.track),
                static_cast<unsigned>(end.sector));
  return run;
}

RunText TextOfEntryRun(const DirEntry& entry) {
  return TextOfRun({entry.start_track, entry.start_sector},
                   {entry.end_track, entry.end_sector});
}

HostPath EntryPath(int disk, const char* raw_name) {
  return PathOf(Run().settings, disk,
                HostNameOf(raw_name, Run().settings.unicode_names).text);
}

void ReportHeader(const DiskState& disk) {
  const RepackRun& run = Run();
  char number[8];
  std::snprintf(number, sizeof number, "%03d", disk.number);
  if (disk.named) {
    char name[kDiskNameLength + 1] = {};
    std::memcpy(name, run.disk_name, kDiskNameLength);
    char shown[96];
    std::snprintf(shown, sizeof shown, "[%s]", report::ShowName(name).text);
    report::ChangeLine("named disk", number, shown);
  }
  if (disk.protection_set) {
    const bool on =
        run.settings.edits.write_protect == EditRequest::WriteProtect::kOn;
    report::ChangeLine("write protection of disk", number, on ? "on" : "off");
  }
}

// An entry taken out or renamed leaves its host file where the extraction
// put it, and a later --add takes any file no entry writes: a file the user
// meant to be gone would come back as a new entry. The line says so while
// the file is there and no other entry of the disk still writes it.
const char* LeftFileText(int disk, const char* raw_name) {
  const bool left =
      !NameTaken(disk, raw_name, -1) &&
      host::IdentifyFile(EntryPath(disk, raw_name).host).known;
  return left ? " (host file left; --add would take it again)" : "";
}

void ReportDirectory(const DiskState& disk) {
  const RepackRun& run = Run();
  const DirectoryEdit& directory = disk.directory;
  for (int slot = 0; slot < directory.EntryCount(); ++slot) {
    if (!directory.Removed(slot)) continue;
    const DirEntry entry = directory.Entry(slot);
    char detail[120];
    std::snprintf(detail, sizeof detail, "%s%s", TextOfEntryRun(entry).text,
                  LeftFileText(disk.number, entry.name));
    report::ChangeLine("removed", EntryPath(disk.number, entry.name).text,
                       detail);
  }
  for (int r = 0; r < run.rename_count; ++r) {
    const Rename& rename = run.renames[r];
    if (rename.disk != disk.number) continue;
    const DirEntry entry = directory.Entry(rename.slot);
    char detail[4400];
    std::snprintf(detail, sizeof detail, "to %s %s%s",
                  EntryPath(disk.number, entry.name).text,
                  TextOfEntryRun(entry).text,
                  LeftFileText(disk.number, rename.old_name));
    report::ChangeLine("renamed", EntryPath(disk.number, rename.old_name).text,
                       detail);
  }
}

void ReportPatch(const Patch& patch) {
  const HostPath path = PathOf(Run().settings, patch.disk, patch.host_name);
  if (patch.kind == PatchKind::kInPlace) {
    report::RepackedLine(path.text, patch.host_size);
    return;
  }
  // An added file takes whole sectors: the size it comes back with from
  // an extraction is the sectors', its tail zeros.
  char stored[40] = "";
  if (patch.kind == PatchKind::kAdded) {
    std::snprintf(stored, sizeof stored, ", %d sector%s", patch.sector_count,
                  patch.sector_count == 1 ? "" : "s");
  }
  char detail[120];
  std::snprintf(detail, sizeof detail, "(%ld bytes%s) %s",
                static_cast<long>(patch.host_size), stored,
                TextOfRun(patch.start, patch.end).text);
  report::ChangeLine(patch.kind == PatchKind::kAdded ? "added" : "relocated",
                     path.text, detail);
}

}  // namespace

bool AnythingToWrite() {
  const RepackRun& run = Run();
  for (int p = 0; p < run.patch_count; ++p) {
    if (!run.patches[p].refused) return true;
  }
  for (int d = 0; d < run.disk_count; ++d) {
    const DiskState& disk = run.disks[d];
    if (disk.directory.Changed() || disk.named || disk.protection_set) {
      return true;
    }
  }
  return false;
}

bool WriteImage() {
  RepackRun& run = Run();
  const char* image_path = run.settings.image_path;
  const host::Replacement replacement = host::StartReplacement(image_path);
  if (replacement.stream == nullptr) {
    return ImageFailure(image_path, replacement, host::FileErrorText());
  }
  ImageWriter writer(replacement.stream);
  if (!writer.CopyFrom(image_path, run.image_bytes, sizeof run.image_bytes)) {
    host::AbandonReplacement(replacement);
    return ImageFailure(image_path, replacement, std::strerror(writer.Error()));
  }
  if (!PutChanges(writer)) {
    host::AbandonReplacement(replacement);
    const char* reason = writer.Error() != 0
                             ? std::strerror(writer.Error())
                             : "a file changed while it was repacked";
    return ImageFailure(image_path, replacement, reason);
  }
  if (!host::FinishReplacement(replacement, image_path)) {
    return ImageFailure(image_path, replacement, host::FileErrorText());
  }
  return true;
}

void ReportChanges() {
  const RepackRun& run = Run();
  for (int d = 0; d < run.disk_count; ++d) {
    const DiskState& disk = run.disks[d];
    ReportHeader(disk);
    ReportDirectory(disk);
    for (int p = 0; p < run.patch_count; ++p) {
      const Patch& patch = run.patches[p];
      if (!patch.refused && patch.disk == disk.number) ReportPatch(patch);
    }
  }
}

}  // namespace repack
}  // namespace d88
