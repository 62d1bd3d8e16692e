#include "commands/repack/run.h"

#include <cstdio>
#include <cstring>

#include "disk/free_space.h"
#include "report/reporter.h"

namespace d88 {
namespace repack {
namespace {

RepackRun run;

}  // namespace

RepackRun& Run() { return run; }

HostPath PathOf(const RepackSettings& settings, int disk,
                const char* host_name) {
  HostPath path = {};
  std::size_t used = 0;
  if (settings.output_folder != nullptr) {
    used = std::strlen(settings.output_folder);
    while (used > 1 && settings.output_folder[used - 1] == '/') --used;
    if (used >= sizeof path.text - 64) used = sizeof path.text - 64;
    std::memcpy(path.text, settings.output_folder, used);
    path.text[used++] = '/';
  }
  char folder[16] = "";
  if (settings.folders) std::snprintf(folder, sizeof folder, "%03d/", disk);
  std::snprintf(path.text + used, sizeof path.text - used, "%s%s", folder,
                host_name);
  if (host_name[0] != '\0') return path;
  // The folder itself: without its last '/', and "." for the start folder.
  const std::size_t length = std::strlen(path.text);
  if (length > 1 && path.text[length - 1] == '/') path.text[length - 1] = '\0';
  if (path.text[0] == '\0') std::strcpy(path.text, ".");
  return path;
}

HostPath ClaimPath(const Claim& claim) {
  return PathOf(run.settings, claim.disk, claim.name.text);
}

bool SelectDisk(D88Image& image, int disk) {
  if (disk == run.selected_disk) return true;
  run.selected_disk = image.SelectDisk(disk) ? disk : -1;
  return run.selected_disk == disk;
}

DiskState* FindDisk(int disk) {
  for (int i = 0; i < run.disk_count; ++i) {
    if (run.disks[i].number == disk) return &run.disks[i];
  }
  return nullptr;
}

// The directory goes back whole, so both its sectors must be there, and its
// track must hold nothing that another track or a header reads.
const char* DirectoryProblem(const DiskState& disk) {
  if (!disk.directory_whole) {
    return "its disk's directory sectors are not whole in the image";
  }
  if (!TrackIsPlain(disk.number, kDirectoryTrack)) {
    return "its disk's directory track shares bytes with another track or a "
           "disk header";
  }
  return nullptr;
}

std::uint8_t WriteProtectByte(const EditRequest& edits) {
  return edits.write_protect == EditRequest::WriteProtect::kOn
             ? kWriteProtected
             : 0;
}

int ReserveSectors(int count) {
  if (count < 0 || count > kMaxPatchSectors - run.sector_count) return -1;
  const int first = run.sector_count;
  run.sector_count += count;
  return first;
}

void RefuseRepack(const HostPath& path, const char* reason) {
  report::Note("cannot repack \"%s\": %s; not written back", path.text,
               reason);
}

}  // namespace repack
}  // namespace d88
