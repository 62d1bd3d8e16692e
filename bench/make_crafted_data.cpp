// Writes crafted images that make track walks as long as they can be:
//   make_crafted_data FOLDER MIB...
//
// For every size MIB (in MiB) it writes three images of that size:
//
//   chain-MIB.d88     64 disks back to back. Every disk's 164 tracks start
//                     at 164 different records of its own area, and no
//                     count field ends a walk: the name bytes of each disk
//                     header form a record whose data jumps over the rest of
//                     the header, so a walk from any track runs on through
//                     every later disk into one shared region of 16-byte
//                     records (data length 0) that fills the file. Each
//                     directory holds 128 entries on tracks 2..163: one in
//                     eight points to a sector stored at the very end of the
//                     file, the others to sectors that are not there, so
//                     nearly every lookup walks to the end of the file.
//   distinct-MIB.d88  the same, but every record of the shared region has an
//                     ID of its own, so that no summary of the region by ID
//                     is small.
//   window-MIB.d88    the same, but every record claims 65535 records: each
//                     walk ends after exactly 65535 records, and the walks
//                     from the 10,496 starts end at 10,496 different places.
//
// The files are built with the tests' image builder; tracks are laid out in
// track order, so track t+1's records follow track t's.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "d88_builder.h"

namespace {

namespace fs = std::filesystem;
using d88test::Bytes;
using d88test::SectorRecord;

constexpr int kDisks = 64;
constexpr int kTracks = 164;
constexpr int kEntries = 128;
constexpr std::size_t kDiskHeaderSize = 0x2B0;
constexpr std::uint16_t kNeverEnds = 0xFFFF;  // ends a walk at index 65534
constexpr std::uint8_t kFoundSector = 9;
constexpr std::uint8_t kMissingSector = 7;

enum class Shape { kChain, kDistinct, kWindow };

SectorRecord Record(int c, int h, int r, std::uint16_t count, Bytes data) {
  SectorRecord record;
  record.c = static_cast<std::uint8_t>(c);
  record.h = static_cast<std::uint8_t>(h);
  record.r = static_cast<std::uint8_t>(r);
  record.count = count;
  record.data = std::move(data);
  return record;
}

// The entries of one disk: the start track walks through 2..163, shifted
// per disk so that every disk looks up other tracks first.
Bytes Directory(int disk) {
  Bytes directory(2048, 0xFF);
  for (int j = 0; j < kEntries; ++j) {
    const int track = 2 + (j + disk * 7) % (kTracks - 2);
    const int r = j % 32 == 0 ? kFoundSector : kMissingSector;
    std::uint8_t* entry = directory.data() + 16 * j;
    std::snprintf(reinterpret_cast<char*>(entry), 7, "F%03d", j);
    entry[6] = 0;
    entry[12] = entry[14] = static_cast<std::uint8_t>(track);
    entry[13] = entry[15] = static_cast<std::uint8_t>(r);
  }
  return directory;
}

// The name bytes: a record of a junk ID whose data length carries a walk
// from the header's first byte to the byte after the header.
Bytes JumpingName() {
  Bytes name(16, 0);
  for (int i = 0; i < 4; ++i) name[static_cast<std::size_t>(i)] = 0xEE;
  name[4] = name[5] = 0xFF;  // count 65535
  const std::size_t jump = kDiskHeaderSize - 16;
  name[14] = static_cast<std::uint8_t>(jump);
  name[15] = static_cast<std::uint8_t>(jump >> 8);
  return name;
}

Bytes BuildDisk(int disk) {
  d88test::DiskBuilder builder;
  builder.SetNameBytes(JumpingName());
  const Bytes directory = Directory(disk);
  for (int track = 0; track < kTracks; ++track) {
    if (track == 1) {
      builder.SetTrack(1, {Record(0, 1, 1, kNeverEnds,
                                  Bytes(directory.begin(), directory.begin() + 1024)),
                           Record(0, 1, 2, kNeverEnds,
                                  Bytes(directory.begin() + 1024, directory.end()))});
    } else {
      builder.SetTrack(track, {Record(0xF0, 0xF0, track & 0xFF, kNeverEnds, {})});
    }
  }
  return builder.Build();
}

void PutRecord(Bytes& out, std::size_t at, std::uint32_t id,
               std::uint16_t count) {
  for (int i = 0; i < 4; ++i) {
    out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(id >> (8 * i));
  }
  out[at + 4] = static_cast<std::uint8_t>(count);
  out[at + 5] = static_cast<std::uint8_t>(count >> 8);
}

// 16-byte records, data length 0, up to the sectors stored at the end.
Bytes Region(std::size_t bytes, Shape shape) {
  Bytes region(bytes / 16 * 16, 0);
  for (std::size_t at = 0, k = 0; at < region.size(); at += 16, ++k) {
    // IDs with C >= 0xC0 never match a lookup of the tool.
    const auto id = shape == Shape::kDistinct
                        ? static_cast<std::uint32_t>(0xC0000000u + k)
                        : 0xC1C1C1C1u;
    // Count 1 ends only a walk that starts on the record itself.
    PutRecord(region, at, id, shape == Shape::kWindow ? kNeverEnds : 1);
  }
  return region;
}

// One record per data track with the sector the found entries point to.
Bytes Targets() {
  Bytes out;
  for (int track = 2; track < kTracks; ++track) {
    Bytes record(16 + 1024, static_cast<std::uint8_t>(track));
    std::fill(record.begin(), record.begin() + 16, 0);
    const std::uint32_t id = static_cast<std::uint32_t>(track / 2) |
                             static_cast<std::uint32_t>(track % 2) << 8 |
                             static_cast<std::uint32_t>(kFoundSector) << 16 |
                             3u << 24;
    PutRecord(record, 0, id, 1);
    record[14] = 0x00;
    record[15] = 0x04;  // 1024 bytes of data
    out.insert(out.end(), record.begin(), record.end());
  }
  return out;
}

Bytes BuildImage(std::size_t size, Shape shape) {
  Bytes image;
  for (int disk = 0; disk < kDisks; ++disk) {
    const Bytes one = BuildDisk(disk);
    image.insert(image.end(), one.begin(), one.end());
  }
  const Bytes targets = Targets();
  const std::size_t fill =
      size > image.size() + targets.size() ? size - image.size() - targets.size() : 0;
  const Bytes region = Region(fill, shape);
  image.insert(image.end(), region.begin(), region.end());
  image.insert(image.end(), targets.begin(), targets.end());
  return image;
}

bool WriteBytes(const fs::path& path, const Bytes& bytes) {
  std::FILE* out = std::fopen(path.string().c_str(), "wb");
  if (out == nullptr) return false;
  const bool written =
      std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  return std::fclose(out) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "Usage: %s FOLDER MIB...\n", argv[0]);
    return 1;
  }
  const fs::path folder = argv[1];
  fs::create_directories(folder);
  const struct {
    const char* name;
    Shape shape;
  } shapes[] = {{"chain", Shape::kChain},
                {"distinct", Shape::kDistinct},
                {"window", Shape::kWindow}};
  for (int i = 2; i < argc; ++i) {
    const std::size_t mib = std::strtoul(argv[i], nullptr, 10);
    for (const auto& shape : shapes) {
      const fs::path path =
          folder / (std::string(shape.name) + "-" + argv[i] + ".d88");
      if (mib == 0 || !WriteBytes(path, BuildImage(mib << 20, shape.shape))) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0],
                     path.string().c_str());
        return 1;
      }
    }
  }
  return 0;
}
