#include "commands/repack.h"

#include <cstring>

#include "commands/repack/directory_changes.h"
#include "commands/repack/image_update.h"
#include "commands/repack/judge.h"
#include "commands/repack/placement.h"
#include "commands/repack/run.h"
#include "disk/free_space.h"
#include "host/host.h"
#include "report/reporter.h"

namespace d88 {
namespace {

using repack::Run;
using repack::RepackRun;

bool MovesData(const EditRequest& edits) { return edits.relocate || edits.add; }

bool ChangesDirectories(const EditRequest& edits) {
  return MovesData(edits) || edits.remove_count > 0 || edits.rename_count > 0;
}

// Whether the claim's entry is still in its disk's directory.
bool EntryStays(const repack::Claim& claim) {
  const repack::DiskState* disk = repack::FindDisk(claim.disk);
  return disk == nullptr || !disk->directory.Removed(claim.slot);
}

// Judges the host files that the disk's entries own, moves those that no
// longer fit when asked to, then adds the disk's new files. Entries taken
// out have nothing to go back to.
bool RepackDisk(D88Image& image, repack::DiskState& disk) {
  RepackRun& run = Run();
  bool ok = true;
  // A disk that can no longer be read takes nothing new; its claims are
  // refused when they are looked at.
  const bool placing =
      MovesData(run.settings.edits) && repack::SelectDisk(image, disk.number);
  if (placing) repack::StartPlacement(image, disk);
  for (int i = 0; i < run.claim_count; ++i) {
    const repack::Claim& claim = run.claims[i];
    if (claim.disk != disk.number || !claim.owns_host_file ||
        !EntryStays(claim)) {
      continue;
    }
    const repack::Judgement judgement = repack::Consider(image, i);
    if (judgement.verdict == repack::Verdict::kRefused ||
        (judgement.verdict == repack::Verdict::kRelocate &&
         !repack::Relocate(i, judgement.host_size))) {
      ok = false;
    }
  }
  if (placing && run.settings.edits.add && !repack::AddNewFiles(image, disk)) {
    ok = false;
  }
  return ok;
}

// The changes to directories and headers come first, so that the sectors
// of entries taken out are free for files that move or arrive.
bool ChangeDisks(D88Image& image) {
  const EditRequest& edits = Run().settings.edits;
  if (!edits.Any()) return true;
  if (ChangesDirectories(edits)) {
    FindPlainTracks(image);
    Run().selected_disk = -1;
  }
  bool ok = repack::SetHeaders();
  if (!repack::RemoveEntries()) ok = false;
  if (!repack::RenameEntries()) ok = false;
  return ok;
}

bool EditsHeadersOrNames(const EditRequest& edits) {
  return edits.remove_count > 0 || edits.rename_count > 0 ||
         edits.disk_name != nullptr ||
         edits.write_protect != EditRequest::WriteProtect::kUnchanged;
}

// Putting files back, moving or adding them needs the disks' folders; when
// none of them is there the extraction most likely went elsewhere (another
// --output, or -d), and a silent success would hide that. Changes to the
// directories and headers alone need no folder.
bool SomeDiskFolderExists() {
  const RepackRun& run = Run();
  if (!run.settings.folders || run.disk_count == 0 ||
      EditsHeadersOrNames(run.settings.edits)) {
    return true;
  }
  for (int d = 0; d < run.disk_count; ++d) {
    if (host::IsFolder(repack::PathOf(run.settings, run.disks[d].number, "")
                           .text)) {
      return true;
    }
  }
  const repack::HostPath first =
      repack::PathOf(run.settings, run.disks[0].number, "");
  const repack::HostPath last =
      repack::PathOf(run.settings, run.disks[run.disk_count - 1].number, "");
  if (run.disk_count == 1) {
    report::Note("nothing to repack: there is no folder \"%s\"", first.text);
  } else {
    report::Note("nothing to repack: none of the folders \"%s\" to \"%s\" "
                 "exists",
                 first.text, last.text);
  }
  return false;
}

bool RepackAll(D88Image& image) {
  RepackRun& run = Run();
  const char* output_folder = run.settings.output_folder;
  if (output_folder != nullptr && !host::IsFolder(output_folder)) {
    report::Note("cannot repack from \"%s\": it is not a folder",
                 output_folder);
    return false;
  }
  if (!SomeDiskFolderExists()) return false;
  repack::FindOwners();
  bool ok = ChangeDisks(image);
  for (int d = 0; d < run.disk_count; ++d) {
    if (!RepackDisk(image, run.disks[d])) ok = false;
  }
  if (!repack::RefuseOverlaps()) ok = false;
  // Nothing to change: the image is not even opened for writing.
  if (!repack::AnythingToWrite()) return ok;
  repack::NoteShortFiles();
  if (run.settings.edits.dry_run) {
    repack::ReportChanges();
    return ok;
  }
  // Every position is known; the reader lets the file go, as some hosts
  // will not replace a file that is still open.
  image.Open(nullptr);
  if (!repack::WriteImage()) return false;
  repack::ReportChanges();
  return ok;
}

}  // namespace

void Repacker::BeginRun() {
  RepackRun& run = Run();
  run.settings = settings_;
  run.claim_count = 0;
  run.disk_count = 0;
  run.patch_count = 0;
  run.sector_count = 0;
  run.rename_count = 0;
  run.selected_disk = -1;
}

// Only a run that changes directories reads them whole here, while the
// walk has the disk selected.
void Repacker::BeginDisk(const DiskVisit& disk) {
  RepackRun& run = Run();
  if (run.disk_count >= kMaxDisks) return;
  repack::DiskState& state = run.disks[run.disk_count++];
  state.number = disk.number;
  state.start = disk.image.DiskStart();
  state.named = false;
  state.protection_set = false;
  state.directory_whole = false;
  // The name as all 16 bytes of the header hold it, zeros and what follows
  // them included.
  std::memcpy(state.old_name, disk.image.DiskName(), kDiskNameLength);
  state.old_protection = disk.image.WriteProtect();
  if (ChangesDirectories(settings_.edits)) {
    state.directory_whole = state.directory.Load(disk.image);
  } else {
    state.directory = DirectoryEdit();
  }
}

// Only entries an extraction could write have a host file to look at; a
// file with no name is one no extraction can write.
void Repacker::Entry(const DiskVisit& disk, const EntryFacts& facts) {
  RepackRun& run = Run();
  if (facts.host_name.text[0] == '\0' || run.claim_count >= repack::kMaxClaims) {
    return;
  }
  repack::Claim& claim = run.claims[run.claim_count++];
  claim = {};
  claim.disk = disk.number;
  claim.slot = facts.number - 1;
  claim.entry = facts.entry;
  claim.name = facts.host_name;
  claim.writes = RunStartsInImage(disk.image, facts.entry);
}

void Repacker::EndRun() {
  if (!RepackAll(image_)) status_ = RunStatus::kFailed;
}

}  // namespace d88
