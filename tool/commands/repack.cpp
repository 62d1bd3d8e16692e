#include "commands/repack.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "disk/file_system.h"
#include "host/host.h"
#include "host/host_name.h"
#include "image_writer.h"
#include "report/reporter.h"

namespace d88 {
namespace {

// An entry of a selected disk whose file an extraction writes, or would
// write if its run began in the image.
struct Claim {
  int disk;
  DirEntry entry;
  bool writes;  // size > 0 and the first sector whole in the image
  EntryHostName name;
};

// A host file accepted to go back into its entry's sectors: the file
// positions of those sectors' data lie in sector_positions, in run order.
struct Patch {
  int claim;
  std::int32_t host_size;
  int first_sector;
  int sector_count;
  bool refused;
  int overlaps_claim;  // the claim whose sectors it shares, when refused
};

struct SectorUse {
  std::int64_t position;
  int patch;
};

constexpr int kMaxClaims = kMaxDisks * kMaxDirEntries;
// Every sector of 64 full disks of 164 tracks: far more than one run's
// edited files can take up without sharing sectors.
constexpr int kMaxPatchSectors = kMaxDisks * kTrackCount * kSectorsPerTrack;

Claim claims[kMaxClaims];
int claim_count = 0;
int claim_order[kMaxClaims];
bool owns_host_file[kMaxClaims];
Patch patches[kMaxClaims];
int patch_count = 0;
std::int64_t sector_positions[kMaxPatchSectors];
SectorUse sector_uses[kMaxPatchSectors];
int sector_count = 0;
// The disk the image has selected while host files are judged.
int selected_disk = -1;

// What an extraction writes, and what the host holds; the first also
// carries the image copy's blocks.
std::uint8_t image_bytes[kLargestFileSize];
std::uint8_t host_bytes[kLargestFileSize];

// --- Where each file lies on the host. ---

struct HostPath {
  char text[4200];
};

// The path from the start folder: the output folder, the disk's folder
// unless "-d", and the host name, as an extraction lays them out.
HostPath PathOf(const RepackSettings& options, const Claim& claim) {
  HostPath path = {};
  std::size_t used = 0;
  if (options.output_folder != nullptr) {
    used = std::strlen(options.output_folder);
    while (used > 1 && options.output_folder[used - 1] == '/') --used;
    if (used >= sizeof path.text - 64) used = sizeof path.text - 64;
    std::memcpy(path.text, options.output_folder, used);
    path.text[used++] = '/';
  }
  char folder[16] = "";
  if (options.folders) std::snprintf(folder, sizeof folder, "%03d/", claim.disk);
  std::snprintf(path.text + used, sizeof path.text - used, "%s%s", folder,
                claim.name.text);
  return path;
}

// --- Which entry each host file belongs to. ---

// Claims meet in one host file when they share a folder and a host name.
int CompareClaims(const Claim& a, const Claim& b, const RepackSettings& options) {
  if (options.folders && a.disk != b.disk) return a.disk < b.disk ? -1 : 1;
  return CompareHostNames(
      a.name.text, b.name.text, host::NameRules(),
      options.unicode_names ? NameEncoding::kUnicode : NameEncoding::kRaw);
}

// Each host file belongs to the last entry that an extraction writes to
// it, since that one's bytes are what the file holds after the extraction.
// When none does, the last entry of that name keeps it, to be refused.
void FindOwners(const RepackSettings& options) {
  for (int i = 0; i < claim_count; ++i) claim_order[i] = i;
  std::sort(claim_order, claim_order + claim_count, [&](int a, int b) {
    const int order = CompareClaims(claims[a], claims[b], options);
    return order != 0 ? order < 0 : a < b;
  });
  for (int start = 0; start < claim_count;) {
    int end = start + 1;
    while (end < claim_count &&
           CompareClaims(claims[claim_order[start]], claims[claim_order[end]],
                         options) == 0) {
      ++end;
    }
    int owner = claim_order[end - 1];
    for (int k = start; k < end; ++k) {
      owns_host_file[claim_order[k]] = false;
      if (claims[claim_order[k]].writes) owner = claim_order[k];
    }
    owns_host_file[owner] = true;
    start = end;
  }
}

// --- Deciding what goes back. ---

enum class Verdict { kLeftAlone, kAccepted, kRefused };

Verdict Refuse(const HostPath& path, const char* reason) {
  report::Note("cannot repack \"%s\": %s; not written back", path.text,
               reason);
  return Verdict::kRefused;
}

Verdict RefuseBrokenRun(const HostPath& path, SectorAddress at) {
  char reason[160];
  std::snprintf(reason, sizeof reason,
                "sector %d of track %d in its entry's run is missing from "
                "the image or holds under %d bytes",
                at.sector, at.track, kSectorSize);
  return Refuse(path, reason);
}

Verdict RefuseLarger(const HostPath& path, std::int32_t size) {
  char reason[160];
  std::snprintf(reason, sizeof reason,
                "it is larger than its entry's %ld bytes",
                static_cast<long>(size));
  return Refuse(path, reason);
}

// A host file whose entry an extraction does not write: say why it cannot
// go back.
Verdict RefuseUnwritten(D88Image& image, const HostPath& path,
                        const DirEntry& entry) {
  if (FileSize(entry) <= 0) {
    return Refuse(path, "its entry ends before it starts and holds no bytes");
  }
  return RefuseBrokenRun(path, ReadFile(image, entry, image_bytes).break_at);
}

// Notes where each sector of the entry's run keeps its data; the run is
// known to be whole.
bool NoteSectors(D88Image& image, const DirEntry& entry, Patch& patch) {
  const std::int32_t count = FileSize(entry) / kSectorSize;
  if (count > kMaxPatchSectors - sector_count) return false;
  patch.first_sector = sector_count;
  patch.sector_count = count;
  SectorAddress address = {entry.start_track, entry.start_sector};
  for (std::int32_t k = 0; k < count; ++k) {
    const SectorInfo sector =
        image.FindSector(address.track, address.track / 2, address.track % 2,
                         address.sector, kSectorSizeCode);
    sector_positions[sector_count++] = sector.data_position;
    address = NextSector(address);
  }
  return true;
}

// The comparison with what an extraction writes comes first: a file that
// is unchanged is never refused, whatever its entry looks like.
Verdict Judge(D88Image& image, int index, const HostPath& path,
              host::HostFileRead host_read) {
  const Claim& claim = claims[index];
  if (!claim.writes) return RefuseUnwritten(image, path, claim.entry);
  const FileRead read = ReadFile(image, claim.entry, image_bytes);
  const auto size = static_cast<std::size_t>(read.size);
  if (host_read.outcome == host::ReadOutcome::kRead &&
      host_read.size == size &&
      std::memcmp(host_bytes, image_bytes, size) == 0) {
    return Verdict::kLeftAlone;
  }
  if (host_read.outcome == host::ReadOutcome::kTooLong ||
      host_read.size > size) {
    return RefuseLarger(path, read.size);
  }
  if (read.delivered < read.size) return RefuseBrokenRun(path, read.break_at);
  // A short file whose zero tail is already in the image changes nothing.
  std::memset(host_bytes + host_read.size, 0, size - host_read.size);
  if (std::memcmp(host_bytes, image_bytes, size) == 0) {
    return Verdict::kLeftAlone;
  }
  Patch& patch = patches[patch_count];
  patch = {};
  patch.claim = index;
  patch.host_size = static_cast<std::int32_t>(host_read.size);
  if (!NoteSectors(image, claim.entry, patch)) {
    return Refuse(path, "the run holds too many sectors to repack at once");
  }
  ++patch_count;
  return Verdict::kAccepted;
}

// Looks at the host file of one owning claim. Returns false when it was
// there but could not be read or was refused.
bool Consider(D88Image& image, int index, const RepackSettings& options) {
  const Claim& claim = claims[index];
  const HostPath path = PathOf(options, claim);
  const host::HostFileRead host_read = host::ReadWholeFile(
      path.text, options.unicode_names, host_bytes, sizeof host_bytes);
  if (host_read.outcome == host::ReadOutcome::kAbsent) return true;
  if (host_read.outcome == host::ReadOutcome::kFailed) {
    report::Note("cannot read \"%s\": %s; not written back", path.text,
                 host::FileErrorText());
    return false;
  }
  if (claim.disk != selected_disk && !image.SelectDisk(claim.disk)) {
    selected_disk = -1;
    Refuse(path, "its disk can no longer be read");
    return false;
  }
  selected_disk = claim.disk;
  return Judge(image, index, path, host_read) != Verdict::kRefused;
}

// --- Runs that share sectors. ---

// Two accepted files whose runs meet in the same bytes of the image cannot
// both go back; neither does. A run that meets itself (tracks whose records
// overlap in the file) cannot either.
void RefuseOverlaps() {
  int uses = 0;
  for (int p = 0; p < patch_count; ++p) {
    for (int k = 0; k < patches[p].sector_count; ++k) {
      sector_uses[uses++] = {sector_positions[patches[p].first_sector + k], p};
    }
  }
  std::sort(sector_uses, sector_uses + uses,
            [](const SectorUse& a, const SectorUse& b) {
              return a.position != b.position ? a.position < b.position
                                              : a.patch < b.patch;
            });
  std::int64_t reach = -1;  // the end of the furthest sector so far
  int reacher = -1;
  for (int u = 0; u < uses; ++u) {
    const SectorUse& use = sector_uses[u];
    if (use.position < reach) {
      patches[use.patch].refused = true;
      patches[use.patch].overlaps_claim = patches[reacher].claim;
      patches[reacher].refused = true;
      patches[reacher].overlaps_claim = patches[use.patch].claim;
    }
    if (use.position + kSectorSize > reach) {
      reach = use.position + kSectorSize;
      reacher = use.patch;
    }
  }
}

bool ReportOverlaps(const RepackSettings& options) {
  bool none = true;
  for (int p = 0; p < patch_count; ++p) {
    if (!patches[p].refused) continue;
    const Patch& patch = patches[p];
    char reason[4400];
    std::snprintf(reason, sizeof reason,
                  "its entry's sectors are also those of \"%s\"",
                  PathOf(options, claims[patch.overlaps_claim]).text);
    Refuse(PathOf(options, claims[patch.claim]), reason);
    none = false;
  }
  return none;
}

// --- Writing the new image. ---

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
// look. A file that changed size in between is not what was judged.
bool PutPatch(ImageWriter& writer, const Patch& patch,
              const RepackSettings& options) {
  const Claim& claim = claims[patch.claim];
  const std::int32_t size = FileSize(claim.entry);
  const host::HostFileRead host_read =
      host::ReadWholeFile(PathOf(options, claim).text, options.unicode_names,
                          host_bytes, sizeof host_bytes);
  if (host_read.outcome != host::ReadOutcome::kRead ||
      host_read.size != static_cast<std::size_t>(patch.host_size)) {
    return false;
  }
  std::memset(host_bytes + patch.host_size, 0,
              static_cast<std::size_t>(size - patch.host_size));
  for (int k = 0; k < patch.sector_count; ++k) {
    if (!writer.PutAt(sector_positions[patch.first_sector + k],
                      host_bytes + k * kSectorSize, kSectorSize)) {
      return false;
    }
  }
  return true;
}

bool WriteImage(const RepackSettings& options) {
  const char* image_path = options.image_path;
  const host::Replacement replacement = host::StartReplacement(image_path);
  if (replacement.stream == nullptr) {
    return ImageFailure(image_path, replacement, host::FileErrorText());
  }
  ImageWriter writer(replacement.stream);
  if (!writer.CopyFrom(image_path, image_bytes, sizeof image_bytes)) {
    host::AbandonReplacement(replacement);
    return ImageFailure(image_path, replacement, std::strerror(writer.Error()));
  }
  for (int p = 0; p < patch_count; ++p) {
    if (patches[p].refused || PutPatch(writer, patches[p], options)) continue;
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

void NoteShortFiles(const RepackSettings& options) {
  for (int p = 0; p < patch_count; ++p) {
    const Patch& patch = patches[p];
    const std::int32_t size = FileSize(claims[patch.claim].entry);
    if (patch.refused || patch.host_size == size) continue;
    report::Note("\"%s\" is shorter than its entry (%ld of %ld bytes); the "
                 "rest of its sectors is filled with zeros",
                 PathOf(options, claims[patch.claim]).text,
                 static_cast<long>(patch.host_size), static_cast<long>(size));
  }
}

bool AnyAccepted() {
  for (int p = 0; p < patch_count; ++p) {
    if (!patches[p].refused) return true;
  }
  return false;
}

bool RepackClaims(D88Image& image, const RepackSettings& options) {
  if (options.output_folder != nullptr && !host::IsFolder(options.output_folder)) {
    report::Note("cannot repack from \"%s\": it is not a folder",
                 options.output_folder);
    return false;
  }
  FindOwners(options);
  bool ok = true;
  patch_count = 0;
  sector_count = 0;
  selected_disk = -1;
  for (int i = 0; i < claim_count; ++i) {
    if (owns_host_file[i] && !Consider(image, i, options)) ok = false;
  }
  RefuseOverlaps();
  if (!ReportOverlaps(options)) ok = false;
  // Nothing to change: the image is not even opened for writing.
  if (!AnyAccepted()) return ok;
  NoteShortFiles(options);
  // Every position is known; the reader lets the file go, as some hosts
  // will not replace a file that is still open.
  image.Open(nullptr);
  if (!WriteImage(options)) return false;
  for (int p = 0; p < patch_count; ++p) {
    if (patches[p].refused) continue;
    report::RepackedLine(PathOf(options, claims[patches[p].claim]).text,
                         patches[p].host_size);
  }
  return ok;
}


}  // namespace

void Repacker::BeginRun() { claim_count = 0; }

// Only entries an extraction could write have a host file to look at; a
// file with no name is one no extraction can write.
void Repacker::Entry(const DiskVisit& disk, const EntryFacts& facts) {
  if (facts.host_name.text[0] == '\0' || claim_count >= kMaxClaims) return;
  Claim& claim = claims[claim_count++];
  claim.disk = disk.number;
  claim.entry = facts.entry;
  claim.name = facts.host_name;
  claim.writes = RunStartsInImage(disk.image, facts.entry);
}

void Repacker::EndRun() {
  if (!RepackClaims(image_, settings_)) status_ = RunStatus::kFailed;
}

}  // namespace d88
