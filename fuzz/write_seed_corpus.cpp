// Writes a fuzz target's seed corpus: small valid D88 images of many shapes,
// built with the same image builder as the tests, so that the fuzzer starts
// from inputs that already reach the directory walk and the extraction.
//   write_seed_corpus FOLDER [TARGET]
// Without a target every shape is written once. fuzz_edit picks its run by the input's length modulo 2 (extract into
// folders, with "-d") and fuzz_walk modulo 8 (see fuzz_walk.cpp): every
// shape is written with lengths of every remainder. fuzz_reader gets each
// shape once, and chains of records long enough for the walks to switch to
// the chain index, with IDs to look up at the end of the input.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "d88_builder.h"

namespace {

using d88test::Bytes;
using d88test::DiskBuilder;
using d88test::FileSystemDisk;
using d88test::SectorRecord;

using CountRule = std::function<std::uint16_t(int track, std::size_t index)>;

std::uint16_t FiveRecords(int, std::size_t) { return 5; }

// The disk's sectors (tracks 0..tracks-1) laid out in the given order of
// sector numbers, each record claiming the count the rule gives it.
DiskBuilder Relaid(const FileSystemDisk& disk, const char* name, int tracks,
                   const std::vector<int>& order,
                   const CountRule& count = FiveRecords) {
  DiskBuilder builder(name);
  for (int track = 0; track < tracks; ++track) {
    std::vector<SectorRecord> records;
    for (const int r : order) {
      const auto data = disk.Sector(track, r);
      if (!data) continue;
      SectorRecord record;
      record.c = static_cast<std::uint8_t>(track / 2);
      record.h = static_cast<std::uint8_t>(track % 2);
      record.r = static_cast<std::uint8_t>(r);
      record.count = count(track, records.size());
      record.data = *data;
      records.push_back(record);
    }
    builder.SetTrack(track, records);
  }
  return builder;
}

Bytes OneDisk() {
  FileSystemDisk disk("SYSTEM DISK", 8);
  disk.AddEntry("README", 2, 1, 2, 1)
      .AddEntry("PROG", 2, 2, 3, 1)
      .AddEntry("DATA", 4, 1, 6, 5);
  return disk.Build();
}

Bytes SeveralDisks() {
  FileSystemDisk first("GAME A", 4);
  first.AddEntry("MAIN", 2, 1, 3, 5);
  FileSystemDisk second("GAME B", 5);
  second.AddEntry("LEVEL1", 2, 1, 2, 3).AddEntry("LEVEL2", 2, 4, 4, 2);
  FileSystemDisk third("\x83\x5C\x83\x74\x83\x67", 3);  // Shift_JIS name
  third.AddEntry("\x83\x51\x81\x5B\x83\x80", 2, 1, 2, 5);
  return d88test::Concat({first.Build(), second.Build(), third.Build()});
}

Bytes FilesAcrossTracks() {
  FileSystemDisk disk("LONG", 12);
  disk.AddEntry("SPAN", 2, 4, 3, 2)
      .AddEntry("WHOLE", 2, 1, 11, 5)
      .AddEntry("PAST", 9, 1, 14, 5);  // runs off the last track
  return disk.Build();
}

Bytes BrokenRuns() {
  FileSystemDisk disk("BROKEN", 8);
  disk.AddEntry("GAP", 2, 1, 2, 4)
      .AddEntry("SHORT", 3, 1, 3, 3)
      .AddEntry("NONE", 4, 1, 4, 2)
      .AddEntry("NOTRK", 5, 4, 6, 2)
      .RemoveSector(2, 2)
      .ShortenSector(3, 2, 100)
      .RemoveSector(4, 1)
      .RemoveTrack(6);
  return disk.Build();
}

Bytes ShortDirectories() {
  FileSystemDisk full("FULL", 3);
  for (int i = 0; i < 128; ++i) {  // no end marker at all
    full.AddEntry("F" + std::to_string(i), 2, 1 + i % 5, 2, 1 + i % 5);
  }
  FileSystemDisk half("HALF", 3);
  for (int i = 0; i < 70; ++i) half.AddEntry("H" + std::to_string(i), 2, 1, 2, 1);
  half.SetDirectoryBytes(1024);
  FileSystemDisk none("NONE", 3);
  none.SetDirectoryBytes(0);
  return d88test::Concat({full.Build(), half.Build(), none.Build()});
}

Bytes OutOfOrderSectors() {
  FileSystemDisk disk("SHUFFLED", 6);
  disk.AddEntry("MIXED", 2, 1, 4, 5).AddEntry("ONE", 5, 3, 5, 3);
  return Relaid(disk, "SHUFFLED", 6, {3, 5, 1, 4, 2}).Build();
}

// Counts that disagree: some tracks end their walk early, others run on
// into the next track's records; a count of 0 ends a search at once.
Bytes MismatchedCounts() {
  FileSystemDisk disk("COUNTS", 6);
  disk.AddEntry("EARLY", 2, 1, 2, 5)
      .AddEntry("RUNON", 3, 1, 3, 5)
      .AddEntry("ZERO", 4, 1, 4, 5);
  const CountRule rule = [](int track, std::size_t index) -> std::uint16_t {
    if (track == 2) return 3;
    if (track == 3) return 9;
    if (track == 4 && index == 2) return 0;
    return static_cast<std::uint16_t>(index + 2);
  };
  return Relaid(disk, "COUNTS", 6, {1, 2, 3, 4, 5}, rule).Build();
}

Bytes SizeZeroDisk() {
  FileSystemDisk disk("ZERO", 3);
  disk.AddEntry("LOST", 2, 1, 2, 1);
  return Relaid(disk, "ZERO", 3, {1, 2, 3, 4, 5}).SetSizeField(0).Build();
}

// More disks than the reader records; and disks overlapping one another,
// because the size field is shorter than the disk.
Bytes ManyDisks() {
  std::vector<Bytes> disks;
  for (int i = 0; i < 66; ++i) disks.push_back(DiskBuilder("D" + std::to_string(i)).Build());
  return d88test::Concat(disks);
}

Bytes OverlappingDisks() {
  FileSystemDisk disk("OVERLAP", 3);
  disk.AddEntry("A", 2, 1, 2, 2);
  return Relaid(disk, "OVERLAP", 3, {1, 2, 3, 4, 5}).SetSizeField(0x400).Build();
}

Bytes OddEntries() {
  FileSystemDisk disk("NAMES", 4);
  disk.AddEntry("..", 2, 1, 2, 1)
      .AddEntry(".", 2, 2, 2, 2)
      .AddEntry("A/B", 2, 3, 2, 3)
      .AddEntry("", 2, 4, 2, 4)
      .AddEntry("CON", 2, 5, 2, 5)
      .AddEntry("A\\B:C", 3, 1, 3, 1)
      .AddEntry("\x83\x5C\x83\x5C", 3, 2, 3, 2)
      .AddEntry("BACK", 3, 3, 3, 1)
      .AddEntry("FAR", 164, 1, 164, 1)
      .AddEntry("SECT0", 2, 0, 2, 0)
      .AddEntry("MAX", 0, 0, 255, 255)
      .AddRawEntry({'A', 0, 'B', 0, 0, 0, 'x', 'y', 0, 0, 0, 0, 3, 4, 3, 5})
      .AddRawEntry({'N', 'A', 'M', 'E', '1', '2', '3', 'x', 0, 0, 0, 0, 2, 1, 2, 2});
  return disk.Build();
}

// Data length fields that disagree with the size code, and sectors of
// other sizes, on the directory's and a file's tracks.
Bytes OddSectorSizes() {
  FileSystemDisk files("SIZES", 4);
  files.AddEntry("LONG", 2, 1, 2, 3).AddEntry("SMALLN", 3, 1, 3, 2);
  DiskBuilder disk = Relaid(files, "SIZES", 4, {1, 2, 3, 4, 5});
  std::vector<SectorRecord> track2 = d88test::StandardTrack(2);
  track2[0].data.resize(1100);
  track2[1].length_field = 2048;  // steps into the middle of later records
  disk.SetTrack(2, track2);
  std::vector<SectorRecord> track3 = d88test::StandardTrack(3);
  track3[0].n = 2;
  track3[0].data.resize(512);
  disk.SetTrack(3, track3);
  return disk.Build();
}

Bytes OddTrackOffsets() {
  FileSystemDisk files("OFFSETS", 4);
  files.AddEntry("HEADER", 5, 1, 5, 1).AddEntry("BEYOND", 3, 1, 3, 2);
  DiskBuilder disk = Relaid(files, "OFFSETS", 4, {1, 2, 3, 4, 5});
  disk.SetTrackOffset(5, 0x100).SetTrackOffset(3, 0x7FFFFFFF);
  return disk.Build();
}

Bytes Truncated(std::size_t keep) {
  Bytes bytes = OneDisk();
  bytes.resize(keep);
  return bytes;
}

int runs = 1;  // how many remainders the target tells apart

void Write(const std::filesystem::path& folder, const std::string& name,
           Bytes bytes) {
  for (int pass = 0; pass < runs; ++pass) {
    const auto path = folder / (name + "-" +
                                std::to_string(bytes.size() % static_cast<std::size_t>(runs)) + ".d88");
    std::FILE* file = std::fopen(path.string().c_str(), "wb");
    if (file == nullptr ||
        std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() ||
        std::fclose(file) != 0) {
      std::perror(path.string().c_str());
      std::exit(1);
    }
    bytes.push_back(0);  // the next run
  }
}

void PutId(Bytes& bytes, std::size_t at, std::uint32_t id) {
  for (int i = 0; i < 4; ++i) {
    bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(id >> (8 * i));
  }
}

// One disk whose tracks start at records of one chain of `records` 16-byte
// records, whose counts end walks at other records every so often; record k
// carries ID k (with size code 3), a few of them twice. The last 8 bytes are
// two IDs for fuzz_reader to look up: one on the chain far from the tracks'
// starts, one that is not there.
Bytes LongChain(int records, int every) {
  constexpr std::size_t kHeader = 0x2B0;
  Bytes body(static_cast<std::size_t>(records) * 16, 0);
  for (int k = 0; k < records; ++k) {
    const std::size_t at = static_cast<std::size_t>(k) * 16;
    PutId(body, at, static_cast<std::uint32_t>(k % 251) | 3u << 24);
    const int count = k % every == every - 1 ? (k * 7) % 300 + 1 : 0xFFFF;
    body[at + 4] = static_cast<std::uint8_t>(count);
    body[at + 5] = static_cast<std::uint8_t>(count >> 8);
  }
  DiskBuilder disk("CHAIN");
  disk.SetSizeField(0xFFFFFFFFu);
  for (int track = 0; track < 164; ++track) {
    const int k = (track * 37) % records;
    disk.SetTrackOffset(track, static_cast<std::uint32_t>(kHeader + 16 * static_cast<std::size_t>(k)));
  }
  Bytes bytes = disk.Build();
  bytes.insert(bytes.end(), body.begin(), body.end());
  bytes.resize(bytes.size() + 8, 0);
  PutId(bytes, bytes.size() - 8, static_cast<std::uint32_t>((records - 3) % 251) | 3u << 24);
  PutId(bytes, bytes.size() - 4, 0x03FAFAFAu);
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string target = argc == 3 ? argv[2] : "";
  if ((argc != 2 && argc != 3) ||
      (argc == 3 && target != "fuzz_reader" && target != "fuzz_walk" &&
       target != "fuzz_edit")) {
    std::fprintf(stderr,
                 "Usage: %s FOLDER [fuzz_reader|fuzz_walk|fuzz_edit]\n",
                 argv[0]);
    return 1;
  }
  runs = target == "fuzz_walk" ? 8 : target == "fuzz_edit" ? 2 : 1;
  const std::filesystem::path folder = argv[1];
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) {
    std::fprintf(stderr, "%s: %s\n", argv[1], error.message().c_str());
    return 1;
  }
  const std::vector<std::pair<std::string, Bytes>> seeds = {
      {"one-disk", OneDisk()},
      {"several-disks", SeveralDisks()},
      {"across-tracks", FilesAcrossTracks()},
      {"broken-runs", BrokenRuns()},
      {"short-directories", ShortDirectories()},
      {"out-of-order", OutOfOrderSectors()},
      {"mismatched-counts", MismatchedCounts()},
      {"size-zero", SizeZeroDisk()},
      {"many-disks", ManyDisks()},
      {"overlapping-disks", OverlappingDisks()},
      {"odd-entries", OddEntries()},
      {"odd-sector-sizes", OddSectorSizes()},
      {"odd-track-offsets", OddTrackOffsets()},
      {"cut-in-header", Truncated(400)},
      {"cut-in-record", Truncated(688 + 5 * 1040 + 1040 + 8)},
      {"cut-in-data", Truncated(688 + 12 * 1040 + 500)},
  };
  for (const auto& [name, bytes] : seeds) Write(folder, name, bytes);
  if (target == "fuzz_reader") {
    Write(folder, "chain-short", LongChain(300, 97));
    Write(folder, "chain-long", LongChain(1500, 211));
  }
  return 0;
}
