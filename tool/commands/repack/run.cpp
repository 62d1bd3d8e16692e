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

namespace {

// The output folder and the disk's folder, with a '/' after each.
std::size_t PutFolders(const RepackSettings& settings, int disk, char* dest,
                       std::size_t capacity) {
  std::size_t used = 0;
  if (settings.output_folder != nullptr) {
    used = std::strlen(settings.output_folder);
    while (used > 1 && settings.output_folder[used - 1] == '/') --used;
    if (used >= capacity - 64) used = capacity - 64;
    std::memcpy(dest, settings.output_folder, used);
    dest[used++] = '/';
  }
  dest[used] = '\0';
  if (settings.folders) {
    std::snprintf(dest + used, capacity - used, "%03d/", disk);
    used = std::strlen(dest);
  }
  return used;
}

// The folder itself: without its last '/', and "." for the start folder.
void EndFolderPath(char* path) {
  const std::size_t length = std::strlen(path);
  if (length > 1 && path[length - 1] == '/') path[length - 1] = '\0';
  if (path[0] == '\0') std::strcpy(path, ".");
}

}  // namespace

HostPath PathOf(const RepackSettings& settings, int disk,
                const char* host_name) {
  HostPath path = {};
  const std::size_t used =
      PutFolders(settings, disk, path.text, sizeof path.text);
  std::memcpy(path.host, path.text, used);
  std::snprintf(path.text + used, sizeof path.text - used, "%s", host_name);
  if (!host::NameInPath(host_name, settings.unicode_names, path.host + used,
                        sizeof path.host - used)) {
    path.host[0] = '\0';  // names nothing, so nothing is read or written
  }
  if (host_name[0] != '\0') return path;
  EndFolderPath(path.text);
  EndFolderPath(path.host);
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
