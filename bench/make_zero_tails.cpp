// Writes an image whose files are almost all zero tail:
//   make_zero_tails IMAGE
//
// 64 disks, each holding only its directory: track 1, sectors 1 and 2. Each
// directory has 128 entries that run from track 1 sector 1 to track 255
// sector 255, the longest run an entry can give from there. Each run reads
// the two directory sectors and then breaks off, so every file is 2 KiB of
// data followed by zeros up to 1525 KiB: 8192 files, about 12.8 GB, from an
// image of under 200 KB. Extracting it shows what writing the zero tails
// costs in bytes written and in disk blocks used.
#include <cstdio>
#include <string>

#include "d88_builder.h"

namespace {

using d88test::Bytes;

constexpr int kDiskCount = 64;
constexpr int kFilesPerDisk = 128;

Bytes BuildDisk(int disk) {
  char name[17];
  std::snprintf(name, sizeof name, "TAILS %02d", disk);
  d88test::FileSystemDisk builder(name, 2);
  builder.RemoveTrack(0).RemoveSector(1, 3).RemoveSector(1, 4).RemoveSector(1, 5);
  for (int i = 0; i < kFilesPerDisk; ++i) {
    char file[8];
    std::snprintf(file, sizeof file, "Z%03d", i);
    builder.AddEntry(file, 1, 1, 255, 255);
  }
  return builder.Build();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_zero_tails IMAGE\n");
    return 2;
  }
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  bool ok = true;
  for (int disk = 0; disk < kDiskCount && ok; ++disk) {
    const Bytes bytes = BuildDisk(disk);
    ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  }
  if (std::fclose(out) != 0 || !ok) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
