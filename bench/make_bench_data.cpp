// Writes the data of the extraction benchmark into a folder:
//   make_bench_data FOLDER
//
//   FOLDER/big.d88      64 disks of 80 cylinders x 2 heads x 5 sectors of
//                       1024 bytes; each directory holds 128 files of 1 to
//                       about a dozen sectors that together cover every
//                       sector of the data tracks 2..159
//   FOLDER/missing.d88  the same disks and directories, but the data tracks
//                       hold sectors numbered 6..10 only, so every entry
//                       points to sectors that are not there and a run lists
//                       each file without writing it
//   FOLDER/tree/000..063/  the files as the tool writes them from big.d88
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "d88_builder.h"

namespace {

namespace fs = std::filesystem;
using d88test::Bytes;

constexpr int kDiskCount = 64;
constexpr int kTrackCount = 80 * 2;
constexpr int kSectorsPerTrack = 5;
constexpr int kSectorSize = 1024;
constexpr int kFilesPerDisk = 128;
// Tracks 0 and 1 hold the system sectors and the directory.
constexpr int kFirstDataSector = 2 * kSectorsPerTrack;
constexpr int kDataSectors = kTrackCount * kSectorsPerTrack - kFirstDataSector;

// Sector contents that differ between disks as well as between tracks,
// sectors and bytes, so that a file taken from the wrong disk shows.
Bytes SectorData(int disk, int track, int r) {
  Bytes data = d88test::SectorPattern(track, r, kSectorSize);
  const auto salt = static_cast<std::uint8_t>(disk * 37 + 11);
  for (std::uint8_t& byte : data) byte = static_cast<std::uint8_t>(byte ^ salt);
  return data;
}

// Sizes in sectors of a disk's files: uneven, from a fixed pseudo-random
// sequence, then evened out so that together they fill the data tracks.
std::vector<int> FileSectorCounts(int disk) {
  std::vector<int> counts(kFilesPerDisk);
  std::uint32_t state = 2463534242u + static_cast<std::uint32_t>(disk) * 7919u;
  int total = 0;
  for (int& count : counts) {
    state = state * 1103515245u + 12345u;
    count = 1 + static_cast<int>((state >> 16) % 11);
    total += count;
  }
  for (std::size_t i = 0; total != kDataSectors; i = (i + 1) % counts.size()) {
    if (total < kDataSectors) {
      ++counts[i];
      ++total;
    } else if (counts[i] > 1) {
      --counts[i];
      --total;
    }
  }
  return counts;
}

struct BenchFile {
  std::string name;
  int first_sector;  // linear: track * 5 + r - 1
  int sector_count;
};

std::vector<BenchFile> DiskFiles(int disk) {
  std::vector<BenchFile> files;
  int next = kFirstDataSector;
  const std::vector<int> counts = FileSectorCounts(disk);
  for (int i = 0; i < kFilesPerDisk; ++i) {
    char name[8];
    std::snprintf(name, sizeof name, "DAT%03d", i);
    files.push_back({name, next, counts[static_cast<std::size_t>(i)]});
    next += counts[static_cast<std::size_t>(i)];
  }
  return files;
}

// 128 entries of 16 bytes fill both directory sectors: no end marker.
Bytes Directory(const std::vector<BenchFile>& files) {
  Bytes directory;
  for (const BenchFile& file : files) {
    Bytes entry(16, 0);
    std::copy(file.name.begin(), file.name.end(), entry.begin());
    const int last = file.first_sector + file.sector_count - 1;
    entry[12] = static_cast<std::uint8_t>(file.first_sector / kSectorsPerTrack);
    entry[13] = static_cast<std::uint8_t>(file.first_sector % kSectorsPerTrack + 1);
    entry[14] = static_cast<std::uint8_t>(last / kSectorsPerTrack);
    entry[15] = static_cast<std::uint8_t>(last % kSectorsPerTrack + 1);
    directory.insert(directory.end(), entry.begin(), entry.end());
  }
  return directory;
}

// With data_present false the data tracks are still recorded, five sectors
// each, but numbered 6..10: every lookup walks a whole track and fails.
Bytes BuildDisk(int disk, const Bytes& directory, bool data_present) {
  char name[17];
  std::snprintf(name, sizeof name, "BENCH DISK %02d", disk);
  d88test::DiskBuilder builder(name);
  for (int track = 0; track < kTrackCount; ++track) {
    std::vector<d88test::SectorRecord> records = d88test::StandardTrack(track);
    for (d88test::SectorRecord& record : records) {
      if (track == 1 && record.r <= 2) {
        const auto from = directory.begin() + (record.r - 1) * kSectorSize;
        record.data.assign(from, from + kSectorSize);
      } else {
        record.data = SectorData(disk, track, record.r);
      }
      if (track >= 2 && !data_present) {
        record.r = static_cast<std::uint8_t>(record.r + kSectorsPerTrack);
      }
    }
    builder.SetTrack(track, records);
  }
  return builder.Build();
}

bool WriteBytes(const fs::path& path, const Bytes& bytes, const char* mode) {
  std::FILE* out = std::fopen(path.string().c_str(), mode);
  if (out == nullptr) return false;
  const bool written =
      std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  return std::fclose(out) == 0 && written;
}

bool WriteTreeFiles(int disk, const std::vector<BenchFile>& files,
                    const fs::path& tree) {
  char folder_name[8];
  std::snprintf(folder_name, sizeof folder_name, "%03d", disk);
  const fs::path folder = tree / folder_name;
  fs::create_directories(folder);
  for (const BenchFile& file : files) {
    Bytes content;
    for (int s = 0; s < file.sector_count; ++s) {
      const int linear = file.first_sector + s;
      const Bytes sector = SectorData(disk, linear / kSectorsPerTrack,
                                      linear % kSectorsPerTrack + 1);
      content.insert(content.end(), sector.begin(), sector.end());
    }
    if (!WriteBytes(folder / file.name, content, "wb")) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "Usage: %s FOLDER\n", argv[0]);
    return 1;
  }
  const fs::path folder = argv[1];
  fs::create_directories(folder / "tree");
  const fs::path big = folder / "big.d88";
  const fs::path missing = folder / "missing.d88";
  // Start both images empty, then append one disk at a time.
  if (!WriteBytes(big, {}, "wb") || !WriteBytes(missing, {}, "wb")) {
    std::perror(folder.string().c_str());
    return 1;
  }
  for (int disk = 0; disk < kDiskCount; ++disk) {
    const std::vector<BenchFile> files = DiskFiles(disk);
    const Bytes directory = Directory(files);
    if (!WriteBytes(big, BuildDisk(disk, directory, true), "ab") ||
        !WriteBytes(missing, BuildDisk(disk, directory, false), "ab") ||
        !WriteTreeFiles(disk, files, folder / "tree")) {
      std::perror(folder.string().c_str());
      return 1;
    }
  }
  return 0;
}
