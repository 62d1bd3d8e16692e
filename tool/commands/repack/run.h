// The state of one repack run, shared by the pieces that work on it: the
// entries whose host files may go back, the disks taken and what changes
// on them, and every host file accepted to go into the image.
#pragma once

#include <cstdint>

#include "commands/repack.h"
#include "disk/directory_edit.h"
#include "disk/file_system.h"
#include "host/entry_host_name.h"
#include "host/host.h"

namespace d88 {
namespace repack {

// An entry of a selected disk whose file an extraction writes, or would
// write if its run began in the image.
struct Claim {
  int disk;
  int slot;  // its place in the disk's directory, from 0
  DirEntry entry;
  bool writes;  // size > 0 and the first sector whole in the image
  EntryHostName name;
  // What the host knows the file at the claim's path by; unknown when
  // nothing is there.
  host::FileIdentity identity;
  bool owns_host_file;
};

enum class PatchKind {
  kInPlace,    // into its entry's own sectors
  kRelocated,  // into a new run; the entry's start and end change
  kAdded,      // a new entry
};

// A host file accepted to go into the image: the file positions of its
// sectors' data lie in sector_positions, in run order.
struct Patch {
  PatchKind kind;
  int claim;  // -1 for an added file
  int disk;
  char host_name[kHostNameCapacity];
  std::int32_t host_size;
  int first_sector;
  int sector_count;
  SectorAddress start;  // the run, for a relocated or added file
  SectorAddress end;
  bool refused;
  int overlaps_claim;  // the claim whose sectors it shares, when refused
};

// A disk taken, and what changes on it besides its files' bytes.
struct DiskState {
  int number;
  std::int64_t start;  // where its header lies in the image file
  DirectoryEdit directory;
  bool directory_whole;
  bool named;           // its header takes the new name
  bool protection_set;  // its header takes the new write-protect byte
  // What its header held when the run read it.
  std::uint8_t old_name[kDiskNameLength];
  int old_protection;
};

// An entry renamed: its slot and the name it had.
struct Rename {
  int disk;
  int slot;
  char old_name[kEntryNameLength + 1];
};

// A host file's path twice: as messages show it, with the name's own bytes
// (raw, or UTF-8 with --unicode-names), and as the host takes it, where a
// raw name may need another spelling (see host::NameInPath).
struct HostPath {
  char text[4200];
  char host[4200];
};

constexpr int kMaxClaims = kMaxDisks * kMaxDirEntries;
// Each claim once, and each file added, one directory's worth per disk.
constexpr int kMaxPatches = 2 * kMaxClaims;
// Every sector of 64 full disks of 164 tracks: no plan of changes that
// shares no sectors writes more.
constexpr int kMaxPatchSectors = kMaxDisks * kTrackCount * kSectorsPerTrack;

struct RepackRun {
  RepackSettings settings;
  Claim claims[kMaxClaims];
  int claim_count;
  DiskState disks[kMaxDisks];
  int disk_count;
  Patch patches[kMaxPatches];
  int patch_count;
  std::int64_t sector_positions[kMaxPatchSectors];
  int sector_count;
  Rename renames[EditRequest::kMaxPatterns];
  int rename_count;
  // The new disk name as the header holds it, zero-padded.
  std::uint8_t disk_name[kDiskNameLength];
  // The disk the image has selected while host files are judged.
  int selected_disk;
  // What an extraction writes, and what the host holds; the first also
  // carries the image copy's blocks.
  std::uint8_t image_bytes[kLargestFileSize];
  std::uint8_t host_bytes[kLargestFileSize];
};

// The run's state, in static storage: it is far too large for a stack.
RepackRun& Run();

// The path from the start folder: the output folder, the disk's folder
// unless "-d", and the host name, as an extraction lays them out. An empty
// host name gives the folder itself.
HostPath PathOf(const RepackSettings& settings, int disk,
                const char* host_name);
HostPath ClaimPath(const Claim& claim);

// Selects the disk unless it is selected already; false when it can no
// longer be read.
bool SelectDisk(D88Image& image, int disk);
DiskState* FindDisk(int disk);

// Why the disk's directory cannot be rewritten, or nullptr when it can.
const char* DirectoryProblem(const DiskState& disk);

// The write-protect byte --write-protect asks for.
std::uint8_t WriteProtectByte(const EditRequest& edits);

// Notes room for count sector positions; -1 when the table is full.
int ReserveSectors(int count);

// "cannot repack "PATH": REASON; not written back" on standard error.
void RefuseRepack(const HostPath& path, const char* reason);

}  // namespace repack
}  // namespace d88
