// Writes crafted images that make track walks as long as they can be:
//   make_crafted_data FOLDER MIB...
//
// For every size MIB (in MiB) it writes ten images of that size:
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
//   counts-MIB.d88    the same as chain-MIB, but past the first 1.25 MiB of
//                     the shared region the counts vary from record to
//                     record: no walk is that short any more, so none ends
//                     there, yet a summary of where counts could end a walk
//                     needs an entry for nearly every record.
//   front-MIB.d88     64 disk headers back to back at the front of the file,
//                     each disk 688 bytes long, so that every track of every
//                     disk starts inside its own header: at a record in the
//                     name bytes whose data carries the walk to 64 KiB. From
//                     there records of 64 KiB of data hop over the first MiB,
//                     and then a chain of 16-byte records with an ID each,
//                     more than any fixed table of IDs holds, runs to the
//                     sectors at the end of the file: the directory, and four
//                     sectors of every track. One entry in eight is a file of
//                     four of them, the others miss their first sector, so
//                     that every lookup goes from the front of the file to
//                     its end.
//
//   pool-MIB.d88      the same as distinct-MIB, but the IDs of every block
//                     of the region take every value in each of their four
//                     bytes (and none is an ID looked up): no summary of a
//                     block by the values its ID bytes take turns a lookup
//                     away, and every record's ID has to be kept. A 16 MiB
//                     image holds more of them than an index that kept half
//                     a million IDs had room for.
//   chains-MIB.d88    64 disk headers at the front, as in front-MIB, but the
//                     track starts of disk d jump into the region at chain
//                     d mod 48: the region is 48 chains of 16-byte records
//                     interleaved, each record's data stepping over the
//                     other chains' records, so that every chain has a
//                     stretch in every 64 KiB block of the file (12,288 of
//                     them in 16 MiB, more than 4,096). Every chain ends at
//                     the sectors at the end of the file.
//   sectors-MIB.d88   the same as chain-MIB, but the region's records name
//                     every sector number (0..255) of every track, with the
//                     size code looked up: each of the 10,496 walks meets
//                     256 sectors of its own track, far more answers than
//                     the pass over long walks has room for at once; but
//                     the walks of a track meet wanting the same sectors,
//                     so each answer is kept once for all of them.
//   wants-MIB.d88     the same as sectors-MIB, but every track's own record
//                     names a sector of the track, a different one on each
//                     disk: no two walks of a track want the same sectors
//                     when they meet, and no answer is shared.
//   unmet-MIB.d88     the same as sectors-MIB, but sector 255 is never
//                     there: no walk ever meets all of its sectors, so
//                     every record of the region is offered to the walks
//                     of its track on every disk.
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

enum class Shape { kChain, kDistinct, kWindow, kCounts, kFront, kPool, kChains, kSectors, kWants, kUnmet };

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

// In the wants shape a track's record names a sector of the track itself,
// one of its own for each disk.
Bytes BuildDisk(int disk, Shape shape) {
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
      const bool own = shape == Shape::kWants;
      builder.SetTrack(track, {own ? Record(track / 2, track % 2, 10 + disk, kNeverEnds, {})
                                   : Record(0xF0, 0xF0, track & 0xFF, kNeverEnds, {})});
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

// Records this far into the region are beyond the reach of any count: a
// walk that gets there has an index above 65534.
constexpr std::size_t kCountlessRecords = 81920;

// Count 1 ends only a walk that starts on the record itself. In the counts
// shape, later records carry count - 1 - k values spread over 4096..61095
// for any k within a block.
std::uint16_t RegionCount(std::size_t k, Shape shape) {
  if (shape == Shape::kWindow) return kNeverEnds;
  if (shape != Shape::kCounts || k < kCountlessRecords) return 1;
  const std::size_t spread = (k * 2654435761u >> 7) % 57000;
  return static_cast<std::uint16_t>(1 + k % 4096 + 4096 + spread);
}

// Within any 256 records in a row each byte takes all of its values; IDs
// of size code 3 (the one looked up) get a head of 2 or more, which no
// lookup asks for. No two records of a block share an ID.
std::uint32_t EveryByteId(std::size_t k) {
  const auto c = static_cast<std::uint32_t>(k & 0xFF);
  auto h = static_cast<std::uint32_t>((k * 3 + (k >> 8)) & 0xFF);
  const auto r = static_cast<std::uint32_t>((k * 7 + (k >> 8) * 5) & 0xFF);
  const auto n = static_cast<std::uint32_t>((k * 13 + (k >> 8) * 11) & 0xFF);
  if (n == 3 && h < 2) h += 2;
  return c | h << 8 | r << 16 | n << 24;
}

// Record k names sector k / 164 (mod 256) of track k mod 164: every 41,984
// records hold every sector number of every track.
std::uint32_t EveryTrackSectorId(std::size_t k, std::size_t sectors = 256) {
  const std::size_t track = k % kTracks;
  return static_cast<std::uint32_t>(track / 2) |
         static_cast<std::uint32_t>(track % 2) << 8 |
         static_cast<std::uint32_t>(k / kTracks % sectors) << 16 | 3u << 24;
}

// 16-byte records, data length 0, up to the sectors stored at the end.
Bytes Region(std::size_t bytes, Shape shape) {
  Bytes region(bytes / 16 * 16, 0);
  for (std::size_t at = 0, k = 0; at < region.size(); at += 16, ++k) {
    // IDs with C >= 0xC0 never match a lookup of the tool, nor any ID whose
    // size code is 0xC0.
    const bool distinct = shape == Shape::kDistinct || shape == Shape::kFront;
    const auto id = shape == Shape::kPool      ? EveryByteId(k)
                    : shape == Shape::kSectors || shape == Shape::kWants
                        ? EveryTrackSectorId(k)
                    : shape == Shape::kUnmet ? EveryTrackSectorId(k, 255)
                    : distinct ? static_cast<std::uint32_t>(0xC0000000u + k)
                               : 0xC1C1C1C1u;
    PutRecord(region, at, id, RegionCount(k, shape));
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

// --- The front shape. ---
constexpr std::size_t kFrontChain = 64 * 1024;  // where every walk goes on
constexpr std::size_t kHopsEnd = 1 << 20;
constexpr std::size_t kNameRecord = 4;  // offset of the record in the header
constexpr int kFrontSectors = 4;

// A header and nothing else: the disk is its own header, and every track
// starts at the record that the name bytes and reserved bytes 16..19 form.
Bytes FrontDisk(int disk) {
  d88test::DiskBuilder builder;
  Bytes name(16, 0xEE);
  name[8] = name[9] = 0xFF;  // count 65535
  builder.SetNameBytes(name);
  builder.SetSizeField(static_cast<std::uint32_t>(kDiskHeaderSize));
  for (int track = 1; track < kTracks; ++track) {
    builder.SetTrackOffset(track, static_cast<std::uint32_t>(kNameRecord));
  }
  Bytes header = builder.Build();
  header.resize(kDiskHeaderSize);
  const std::size_t record = static_cast<std::size_t>(disk) * kDiskHeaderSize + kNameRecord;
  const std::size_t jump = kFrontChain - record - 16;
  header[kNameRecord + 14] = static_cast<std::uint8_t>(jump);
  header[kNameRecord + 15] = static_cast<std::uint8_t>(jump >> 8);
  return header;
}

Bytes FrontDirectory() {
  Bytes directory(2048, 0xFF);
  for (int j = 0; j < kEntries; ++j) {
    const int track = 2 + (j * 5) % (kTracks - 2);
    std::uint8_t* entry = directory.data() + 16 * j;
    std::snprintf(reinterpret_cast<char*>(entry), 7, "G%03d", j);
    entry[6] = 0;
    entry[12] = entry[14] = static_cast<std::uint8_t>(track);
    entry[13] = static_cast<std::uint8_t>(j % 8 == 0 ? 1 : kMissingSector);
    entry[15] = kFrontSectors;
  }
  return directory;
}

void AppendSector(Bytes& out, std::uint32_t id, const std::uint8_t* data) {
  const std::size_t at = out.size();
  out.resize(at + 16 + 1024, 0);
  PutRecord(out, at, id, 1);
  out[at + 15] = 0x04;  // 1024 bytes of data
  std::copy(data, data + 1024, out.begin() + static_cast<std::ptrdiff_t>(at + 16));
}

Bytes FrontTargets() {
  Bytes out;
  const Bytes directory = FrontDirectory();
  AppendSector(out, 0x03010100u, directory.data());
  AppendSector(out, 0x03020100u, directory.data() + 1024);
  for (int track = 2; track < kTracks; ++track) {
    const Bytes data(1024, static_cast<std::uint8_t>(track));
    for (int r = 1; r <= kFrontSectors; ++r) {
      AppendSector(out, static_cast<std::uint32_t>(track / 2) |
                            static_cast<std::uint32_t>(track % 2) << 8 |
                            static_cast<std::uint32_t>(r) << 16 | 3u << 24,
                   data.data());
    }
  }
  return out;
}

// Records of junk IDs from kFrontChain on, each carrying the walk 64 KiB
// further, up to kHopsEnd.
Bytes FrontHops() {
  Bytes hops(kHopsEnd - kFrontChain, 0);
  const std::size_t step = 16 + 0xFFF0;
  for (std::size_t at = 0; at + step <= hops.size(); at += step) {
    PutRecord(hops, at, 0xEDEDEDEDu, 1);
    hops[at + 14] = 0xF0;
    hops[at + 15] = 0xFF;
  }
  return hops;
}

Bytes BuildFrontImage(std::size_t size) {
  Bytes image;
  for (int disk = 0; disk < kDisks; ++disk) {
    const Bytes one = FrontDisk(disk);
    image.insert(image.end(), one.begin(), one.end());
  }
  image.resize(kFrontChain, 0);
  const Bytes hops = FrontHops();
  image.insert(image.end(), hops.begin(), hops.end());
  // The last hop lands where the hops' bytes end, as the region begins.
  const Bytes targets = FrontTargets();
  const std::size_t used = image.size() + targets.size();
  const Bytes region = Region(size > used ? size - used : 0, Shape::kFront);
  image.insert(image.end(), region.begin(), region.end());
  image.insert(image.end(), targets.begin(), targets.end());
  return image;
}

// --- The chains shape. ---
constexpr std::size_t kChainCount = 48;
constexpr std::size_t kChainStride = 16 * kChainCount;

// Disk d's name record jumps to the first record of chain d mod 48.
Bytes ChainsDisk(int disk) {
  Bytes header = FrontDisk(disk);
  const std::size_t record = static_cast<std::size_t>(disk) * kDiskHeaderSize + kNameRecord;
  const std::size_t target = kFrontChain + static_cast<std::size_t>(disk) % kChainCount * 16;
  const std::size_t jump = target - record - 16;
  header[kNameRecord + 14] = static_cast<std::uint8_t>(jump);
  header[kNameRecord + 15] = static_cast<std::uint8_t>(jump >> 8);
  return header;
}

// Rows of 48 records, one of each chain, every record stepping over the
// other 47; the last row's records step to the region's end.
Bytes InterleavedChains(std::size_t bytes) {
  const std::size_t rows = bytes / kChainStride;
  Bytes region(rows * kChainStride, 0);
  for (std::size_t row = 0; row < rows; ++row) {
    for (std::size_t chain = 0; chain < kChainCount; ++chain) {
      const std::size_t at = (row * kChainCount + chain) * 16;
      PutRecord(region, at, EveryByteId(row * kChainCount + chain), 1);
      const std::size_t length = row + 1 < rows ? kChainStride - 16 : region.size() - at - 16;
      region[at + 14] = static_cast<std::uint8_t>(length);
      region[at + 15] = static_cast<std::uint8_t>(length >> 8);
    }
  }
  return region;
}

Bytes BuildChainsImage(std::size_t size) {
  Bytes image;
  for (int disk = 0; disk < kDisks; ++disk) {
    const Bytes one = ChainsDisk(disk);
    image.insert(image.end(), one.begin(), one.end());
  }
  image.resize(kFrontChain, 0);
  const Bytes targets = FrontTargets();
  const std::size_t used = image.size() + targets.size();
  const Bytes region = InterleavedChains(size > used ? size - used : 0);
  image.insert(image.end(), region.begin(), region.end());
  image.insert(image.end(), targets.begin(), targets.end());
  return image;
}

Bytes BuildImage(std::size_t size, Shape shape) {
  if (shape == Shape::kFront) return BuildFrontImage(size);
  if (shape == Shape::kChains) return BuildChainsImage(size);
  Bytes image;
  for (int disk = 0; disk < kDisks; ++disk) {
    const Bytes one = BuildDisk(disk, shape);
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
                {"window", Shape::kWindow},
                {"counts", Shape::kCounts},
                {"front", Shape::kFront},
                {"pool", Shape::kPool},
                {"chains", Shape::kChains},
                {"sectors", Shape::kSectors},
                {"wants", Shape::kWants},
                {"unmet", Shape::kUnmet}};
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
