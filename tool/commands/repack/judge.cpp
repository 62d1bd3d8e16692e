#include "commands/repack/judge.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "commands/repack/run.h"
#include "report/reporter.h"

namespace d88 {
namespace repack {
namespace {

struct SectorUse {
  std::int64_t position;
  int patch;
};

int claim_order[kMaxClaims];
SectorUse sector_uses[kMaxPatchSectors];

bool IdentityBefore(const host::FileIdentity& a, const host::FileIdentity& b) {
  return a.volume != b.volume ? a.volume < b.volume : a.index < b.index;
}

// --- Refusals. ---

// The refusals that moving the file would avoid say how to move it.
const char* RelocateHint() {
  return Run().settings.edits.relocate ? "" : " (--relocate moves it)";
}

Judgement Refuse(const HostPath& path, const char* reason) {
  RefuseRepack(path, reason);
  return {Verdict::kRefused, 0};
}

Judgement RefuseBrokenRun(const HostPath& path, SectorAddress at) {
  char reason[200];
  std::snprintf(reason, sizeof reason,
                "sector %d of track %d in its entry's run is missing from "
                "the image or holds under %d bytes%s",
                at.sector, at.track, kSectorSize, RelocateHint());
  return Refuse(path, reason);
}

Judgement RefuseLarger(const HostPath& path, std::int32_t size) {
  char reason[160];
  std::snprintf(reason, sizeof reason,
                "it is larger than its entry's %ld bytes%s",
                static_cast<long>(size), RelocateHint());
  return Refuse(path, reason);
}

// --- Judging. ---

Judgement Move(const host::HostFileRead& host_read) {
  return {Verdict::kRelocate, static_cast<std::int32_t>(host_read.size)};
}

// A host file whose entry an extraction does not write: it moves when it
// may, or the refusal says why it cannot go back.
Judgement JudgeUnwritten(D88Image& image, const HostPath& path,
                         const DirEntry& entry,
                         const host::HostFileRead& host_read) {
  if (FileSize(entry) <= 0) {
    return Refuse(path, "its entry ends before it starts and holds no bytes");
  }
  if (Run().settings.edits.relocate &&
      host_read.outcome == host::ReadOutcome::kRead) {
    return Move(host_read);
  }
  return RefuseBrokenRun(path,
                         ReadFile(image, entry, Run().image_bytes).break_at);
}

// Notes where each sector of the entry's run keeps its data; the run is
// known to be whole.
bool NoteSectors(D88Image& image, const DirEntry& entry, Patch& patch) {
  const std::int32_t count = FileSize(entry) / kSectorSize;
  patch.first_sector = ReserveSectors(count);
  if (patch.first_sector < 0) return false;
  patch.sector_count = count;
  SectorAddress address = {entry.start_track, entry.start_sector};
  for (std::int32_t k = 0; k < count; ++k) {
    const SectorInfo sector =
        image.FindSector(address.track, address.track / 2, address.track % 2,
                         address.sector, kSectorSizeCode);
    Run().sector_positions[patch.first_sector + k] = sector.data_position;
    address = NextSector(address);
  }
  return true;
}

Judgement Accept(D88Image& image, int index, const HostPath& path,
                 std::size_t host_size) {
  RepackRun& run = Run();
  const Claim& claim = run.claims[index];
  Patch& patch = run.patches[run.patch_count];
  patch = {};
  patch.kind = PatchKind::kInPlace;
  patch.claim = index;
  patch.disk = claim.disk;
  std::memcpy(patch.host_name, claim.name.text, sizeof patch.host_name);
  patch.host_size = static_cast<std::int32_t>(host_size);
  if (run.patch_count >= kMaxPatches || !NoteSectors(image, claim.entry, patch)) {
    return Refuse(path, "the run holds too many sectors to repack at once");
  }
  ++run.patch_count;
  return {Verdict::kAccepted, patch.host_size};
}

// The comparison with what an extraction writes comes first: a file that
// is unchanged is never refused, whatever its entry looks like.
Judgement Judge(D88Image& image, int index, const HostPath& path,
                const host::HostFileRead& host_read) {
  RepackRun& run = Run();
  const Claim& claim = run.claims[index];
  if (!claim.writes) return JudgeUnwritten(image, path, claim.entry, host_read);
  const FileRead read = ReadFile(image, claim.entry, run.image_bytes);
  const auto size = static_cast<std::size_t>(read.size);
  if (host_read.outcome == host::ReadOutcome::kRead &&
      host_read.size == size &&
      std::memcmp(run.host_bytes, run.image_bytes, size) == 0) {
    return {Verdict::kLeftAlone, 0};
  }
  const bool relocate = run.settings.edits.relocate;
  if (host_read.outcome == host::ReadOutcome::kTooLong) {
    return RefuseLarger(path, read.size);
  }
  if (host_read.size > size) {
    return relocate ? Move(host_read) : RefuseLarger(path, read.size);
  }
  if (read.delivered < read.size) {
    return relocate ? Move(host_read) : RefuseBrokenRun(path, read.break_at);
  }
  // A short file whose zero tail is already in the image changes nothing.
  std::memset(run.host_bytes + host_read.size, 0, size - host_read.size);
  if (std::memcmp(run.host_bytes, run.image_bytes, size) == 0) {
    return {Verdict::kLeftAlone, 0};
  }
  return Accept(image, index, path, host_read.size);
}

}  // namespace

// Claims meet in one host file when their paths reach the same file, by
// what the host knows it by: no comparison of names can tell what a host
// that folds case or normalises names takes as one. Each host file belongs
// to the last entry that an extraction writes to it, since that one's bytes
// are what the file holds after the extraction. When none does, the last
// entry whose path reaches it keeps it, to be refused.
void FindOwners() {
  RepackRun& run = Run();
  int known = 0;
  for (int i = 0; i < run.claim_count; ++i) {
    Claim& claim = run.claims[i];
    claim.owns_host_file = false;
    claim.identity = host::IdentifyFile(ClaimPath(claim).host);
    if (claim.identity.known) claim_order[known++] = i;
  }
  std::sort(claim_order, claim_order + known, [&](int a, int b) {
    const host::FileIdentity& x = run.claims[a].identity;
    const host::FileIdentity& y = run.claims[b].identity;
    if (IdentityBefore(x, y) || IdentityBefore(y, x)) return IdentityBefore(x, y);
    return a < b;
  });
  for (int start = 0; start < known;) {
    int end = start + 1;
    while (end < known && host::SameFile(run.claims[claim_order[start]].identity,
                                         run.claims[claim_order[end]].identity)) {
      ++end;
    }
    int owner = claim_order[end - 1];
    for (int k = start; k < end; ++k) {
      if (run.claims[claim_order[k]].writes) owner = claim_order[k];
    }
    run.claims[owner].owns_host_file = true;
    start = end;
  }
}

Judgement Consider(D88Image& image, int index) {
  RepackRun& run = Run();
  const Claim& claim = run.claims[index];
  const HostPath path = ClaimPath(claim);
  const host::HostFileRead host_read =
      host::ReadWholeFile(path.host, run.host_bytes, sizeof run.host_bytes);
  if (host_read.outcome == host::ReadOutcome::kAbsent) {
    return {Verdict::kLeftAlone, 0};
  }
  if (host_read.outcome == host::ReadOutcome::kFailed) {
    report::Note("cannot read \"%s\": %s; not written back", path.text,
                 host::FileErrorText());
    return {Verdict::kRefused, 0};
  }
  if (!SelectDisk(image, claim.disk)) {
    return Refuse(path, "its disk can no longer be read");
  }
  return Judge(image, index, path, host_read);
}

namespace {

// Marks both files of every pair whose sectors share bytes.
void MarkOverlaps() {
  RepackRun& run = Run();
  int uses = 0;
  for (int p = 0; p < run.patch_count; ++p) {
    const Patch& patch = run.patches[p];
    if (patch.kind != PatchKind::kInPlace) continue;
    for (int k = 0; k < patch.sector_count; ++k) {
      sector_uses[uses++] = {run.sector_positions[patch.first_sector + k], p};
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
      Patch& first = run.patches[reacher];
      Patch& second = run.patches[use.patch];
      first.refused = second.refused = true;
      second.overlaps_claim = first.claim;
      first.overlaps_claim = second.claim;
    }
    if (use.position + kSectorSize > reach) {
      reach = use.position + kSectorSize;
      reacher = use.patch;
    }
  }
}

}  // namespace

// A run that meets itself (tracks whose records overlap in the file) cannot
// go back either. Only files going back into their own runs can meet: moved
// and added files go to free sectors of plain tracks.
bool RefuseOverlaps() {
  MarkOverlaps();
  const RepackRun& run = Run();
  bool none = true;
  for (int p = 0; p < run.patch_count; ++p) {
    const Patch& patch = run.patches[p];
    if (!patch.refused || patch.kind != PatchKind::kInPlace) continue;
    char reason[4400];
    std::snprintf(reason, sizeof reason,
                  "its entry's sectors are also those of \"%s\"",
                  ClaimPath(run.claims[patch.overlaps_claim]).text);
    RefuseRepack(ClaimPath(run.claims[patch.claim]), reason);
    none = false;
  }
  return none;
}

void NoteShortFiles() {
  const RepackRun& run = Run();
  for (int p = 0; p < run.patch_count; ++p) {
    const Patch& patch = run.patches[p];
    if (patch.kind != PatchKind::kInPlace || patch.refused) continue;
    const std::int32_t size = FileSize(run.claims[patch.claim].entry);
    if (patch.host_size == size) continue;
    report::Note("\"%s\" is shorter than its entry (%ld of %ld bytes); the "
                 "rest of its sectors is filled with zeros",
                 ClaimPath(run.claims[patch.claim]).text,
                 static_cast<long>(patch.host_size), static_cast<long>(size));
  }
}

}  // namespace repack
}  // namespace d88
