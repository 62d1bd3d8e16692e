#include "driver.h"

#include <cstdio>
#include <cstring>

#include "d88_image.h"
#include "extract.h"
#include "host.h"

#ifndef D88UNPACK_VERSION
#define D88UNPACK_VERSION "0.0.0"
#endif

namespace d88 {
namespace {

// The one reader of the run; it closes the image file at program exit.
D88Image image;

// "Cannot open the file" in Japanese, as Shift_JIS bytes: the tool's users
// know this message from the machines the disks come from.
constexpr char kOpenError[] =
    "\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xF0\x83\x49\x81\x5B\x83\x76"
    "\x83\x93\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1\n";

void PrintUsage(std::FILE* stream, const char* program) {
  std::fprintf(stream, "Usage: %s [d88file] [-d]\n", program);
}

void PrintHelp(const char* program) {
  PrintUsage(stdout, program);
  std::fputs(
      "\n"
      "Lists and extracts the files of every disk in a D88 disk image.\n"
      "Each disk's files go into a folder named by the disk's number\n"
      "(000, 001, ...) in the current folder; with -d they all go into\n"
      "the current folder itself.\n",
      stdout);
}

// Makes and enters the disk's folder. An existing folder is simply entered.
bool EnterDiskFolder(int index, const char* folder) {
  host::MakeFolder(folder);
  if (host::EnterFolder(folder)) return true;
  std::fflush(stdout);
  std::fprintf(stderr,
               "d88unpack: cannot enter folder \"%s\": %s; disk %d skipped\n",
               folder, host::FolderErrorText(), index);
  return false;
}

enum class DiskOutcome { kDone, kFailed, kStopRun };

// Runs one disk in its own folder. ".." is only taken after an entry that
// succeeded, so the run never works above the folder it started in; and if
// ".." cannot be taken, the run stops rather than nest the next disks.
DiskOutcome ExtractDiskInFolder(int index) {
  char folder[16];
  std::snprintf(folder, sizeof folder, "%03d", index);
  if (!EnterDiskFolder(index, folder)) return DiskOutcome::kFailed;
  std::printf("\n[%s] -> %s\n", image.DiskName(), folder);
  const bool all_written = ExtractDisk(image);
  if (!host::LeaveFolder()) {
    std::fflush(stdout);
    std::fprintf(stderr, "d88unpack: cannot leave folder \"%s\": %s; run stopped\n",
                 folder, host::FolderErrorText());
    return DiskOutcome::kStopRun;
  }
  return all_written ? DiskOutcome::kDone : DiskOutcome::kFailed;
}

}  // namespace

int RunTool(int argc, char** argv) {
  const char* program = argc > 0 && argv[0] != nullptr ? argv[0] : "d88unpack";
  if (argc < 2) {
    PrintUsage(stderr, program);
    return 1;
  }
  if (std::strcmp(argv[1], "--help") == 0) {
    PrintHelp(program);
    return 0;
  }
  if (std::strcmp(argv[1], "--version") == 0) {
    std::printf("d88unpack %s\n", D88UNPACK_VERSION);
    return 0;
  }
  const bool folders = !(argc >= 3 && std::strcmp(argv[2], "-d") == 0);
  if (!image.Open(argv[1])) {
    std::fputs(kOpenError, stderr);
    return 1;
  }
  bool ok = true;
  for (int i = 0; i < image.DiskCount(); ++i) {
    image.SelectDisk(i);
    if (!folders) {
      if (!ExtractDisk(image)) ok = false;
      continue;
    }
    const DiskOutcome outcome = ExtractDiskInFolder(i);
    if (outcome != DiskOutcome::kDone) ok = false;
    if (outcome == DiskOutcome::kStopRun) break;
  }
  return ok ? 0 : 1;
}

}  // namespace d88
