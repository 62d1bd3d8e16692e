#include "driver.h"

#include <cstdio>
#include <cstring>

#include "d88_image.h"
#include "damage.h"
#include "disk_info.h"
#include "extract.h"
#include "host.h"
#include "json_report.h"
#include "options.h"
#include "repack.h"
#include "reporter.h"

namespace d88 {
namespace {

// The one reader of the run; it closes the image file at program exit.
D88Image image;

// "Cannot open the file" in Japanese, as Shift_JIS bytes: the tool's users
// know this message from the machines the disks come from, and scripts may
// match it. A line that any terminal can read follows it.
constexpr char kOpenError[] =
    "\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xF0\x83\x49\x81\x5B\x83\x76"
    "\x83\x93\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1\n";

enum class DiskOutcome { kDone, kFailed, kStopRun };

// Cleared when --test finds a file of size > 0 that is not whole and clean.
bool every_file_whole = true;

// Makes and enters the disk's folder; an existing folder is simply entered.
// When the folder cannot be made, the reason from making it is the one that
// explains the failure.
bool EnterDiskFolder(int index, const char* folder) {
  const host::MakeOutcome made = host::MakeFolder(folder);
  if (made != host::MakeOutcome::kFailed && host::EnterFolder(folder)) {
    return true;
  }
  report::Note("cannot %s folder \"%s\": %s; disk %d skipped",
               made == host::MakeOutcome::kFailed ? "make" : "enter", folder,
               host::FolderErrorText(), index);
  return false;
}

// Lists, tests or describes one disk; creates nothing. folder is nullptr
// when the run uses no folders.
void ReadDisk(int index, const char* folder, const Options& options) {
  if (options.json) {
    JsonBeginDisk(image, index, folder);
  } else if (folder != nullptr && options.mode != Mode::kInfo) {
    report::DiskLine(image.DiskName(), folder);
  }
  if (options.mode == Mode::kInfo) {
    NoteDiskHeader(image, index);
    const DiskFacts facts = GatherDiskFacts(image);
    if (options.json) {
      JsonDiskFacts(facts);
    } else {
      PrintDiskInfo(index, image.DiskName(), facts);
    }
  } else if (!ProcessDisk(image, options, {index, folder}).all_whole) {
    every_file_whole = false;
  }
  if (options.json) JsonEndDisk();
}

// Runs one disk in its own folder and returns to the work folder by its
// handle. If even that fails, the run stops rather than put the next disks
// in the wrong place.
DiskOutcome ProcessDiskInFolder(int index, const Options& options) {
  char folder[16];
  std::snprintf(folder, sizeof folder, "%03d", index);
  if (options.mode != Mode::kExtract) {
    ReadDisk(index, folder, options);
    return DiskOutcome::kDone;
  }
  if (!EnterDiskFolder(index, folder)) return DiskOutcome::kFailed;
  report::DiskLine(image.DiskName(), folder);
  const bool all_written =
      ProcessDisk(image, options, {index, folder}).all_written;
  if (!host::ReturnToWorkFolder()) {
    report::Note("cannot leave folder \"%s\": %s; run stopped", folder,
                 host::FolderErrorText());
    return DiskOutcome::kStopRun;
  }
  return all_written ? DiskOutcome::kDone : DiskOutcome::kFailed;
}

// Names the asked-for disk numbers that the image does not hold.
bool CheckDisksExist(const Options& options, int disk_count) {
  const DiskList& disks = options.disks;
  char missing[256] = "";
  for (int i = 0; i < disks.range_count; ++i) {
    const DiskRange& range = disks.ranges[i];
    if (range.last != DiskList::kToLastDisk && range.last < disk_count) continue;
    if (range.last == DiskList::kToLastDisk && range.first < disk_count) continue;
    const int first = range.first > disk_count ? range.first : disk_count;
    char part[40];
    if (range.last == DiskList::kToLastDisk) {
      std::snprintf(part, sizeof part, "%s%d-", missing[0] ? ", " : "", first);
    } else if (range.last == first) {
      std::snprintf(part, sizeof part, "%s%d", missing[0] ? ", " : "", first);
    } else {
      std::snprintf(part, sizeof part, "%s%d-%d", missing[0] ? ", " : "",
                    first, range.last);
    }
    std::strncat(missing, part, sizeof missing - std::strlen(missing) - 1);
  }
  if (missing[0] == '\0') return true;
  report::Note("no disk %s in \"%s\", which holds %d disk%s", missing,
               options.image_path, disk_count, disk_count == 1 ? "" : "s");
  return false;
}

bool ProcessDisks(const Options& options) {
  bool ok = true;
  for (int i = 0; i < image.DiskCount(); ++i) {
    if (!options.disks.Includes(i)) continue;
    image.SelectDisk(i);
    if (!options.folders && options.mode != Mode::kExtract) {
      ReadDisk(i, nullptr, options);
      continue;
    }
    if (!options.folders) {
      if (!ProcessDisk(image, options, {i, nullptr}).all_written) ok = false;
      continue;
    }
    const DiskOutcome outcome = ProcessDiskInFolder(i, options);
    if (outcome != DiskOutcome::kDone) ok = false;
    if (outcome == DiskOutcome::kStopRun) break;
  }
  return ok;
}

int Run(const Options& options) {
  report::Configure(options.unicode_names);
  ForgetWrittenNames();
  every_file_whole = true;
  if (!image.Open(options.image_path)) {
    report::RawError(kOpenError);
    report::Note("cannot open \"%s\": %s", options.image_path,
                 std::strerror(image.OpenError()));
    return 1;
  }
  NoteNoDisk(image, options.image_path);
  if (options.mode == Mode::kRepack) {
    // The repack reads host files by their paths from here and replaces
    // the image, so it never leaves this folder.
    const bool disks_exist = CheckDisksExist(options, image.DiskCount());
    const bool repacked = RepackImage(image, options);
    image.Open(nullptr);
    return disks_exist && repacked ? 0 : 1;
  }
  // Only an extraction creates anything, even the folder it was given.
  const bool writes = options.mode == Mode::kExtract;
  if (writes && !host::EnterWorkFolder(options.output_folder)) {
    report::Note("cannot use folder \"%s\": %s",
                 options.output_folder != nullptr ? options.output_folder : ".",
                 host::FolderErrorText());
    host::ReturnToStartFolder();
    return 1;
  }
  if (options.json) JsonBeginDocument(options.mode, options.unicode_names);
  bool ok = ProcessDisks(options);
  if (options.json) JsonEndDocument();
  if (!CheckDisksExist(options, image.DiskCount())) ok = false;
  if (writes) host::ReturnToStartFolder();
  image.Open(nullptr);
  if (!ok) return 1;
  return every_file_whole ? 0 : 2;
}

int RunCommandLine(int argc, char** argv) {
  const char* program = argc > 0 && argv[0] != nullptr ? argv[0] : "d88unpack";
  const CommandLine line = ParseCommandLine(argc, argv);
  switch (line.outcome) {
    case CommandLineOutcome::kHelp:
      report::Help(program);
      return 0;
    case CommandLineOutcome::kVersion:
      report::Version();
      return 0;
    case CommandLineOutcome::kBadOption:
      report::Note("%s", line.problem);
      report::Usage(program);
      return 1;
    case CommandLineOutcome::kNoImage:
      report::Usage(program);
      return 1;
    case CommandLineOutcome::kRun:
      break;
  }
  return Run(line.options);
}

}  // namespace

// Whatever the run did, output that never arrived makes it a failure.
int RunTool(int argc, char** argv) {
  const int status = RunCommandLine(argc, argv);
  return report::FinishOutput() ? status : 1;
}

}  // namespace d88
