// libFuzzer target for the sector reader alone: every input is the bytes of
// one image file. Every lookup, run and listing the reader gives must equal
// the plain walk of ReferenceImage over the same bytes, field by field and
// byte by byte; lookups are asked twice, so that kept outcomes answer as
// well as fresh walks and the pass over long walks. No tool runs and no host
// file is written: the image is a file in memory (see MemoryFile), opened
// by its path like any other. The reader is not closed after an input:
// opening the next one must forget everything, or its answers differ.
//
// Four tracks of the disk are looked at: 0 and 1, and two named by the
// input's last 10th and 9th bytes; the walks from all the others are
// followed anyway by the pass over long walks. The lookups of each
// track: the ID of its first record, one sector a sound disk would hold
// there, an ID taken from the input's last 8th to 5th bytes and one of the
// track's own with the sector number and size code of its last 2, which
// the fuzzer learns to plant on the walks. They are asked grouped by size
// code, as a file system asks.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "d88_image.h"
#include "fuzz_support.h"
#include "reference_walk.h"

namespace {

using d88check::ReferenceImage;
using d88fuzz::Fail;

// One disk is looked at, named by the input's last 13th byte: the walks of
// the others still cross the same records, and the pass follows them all.
int DiskToCheck(const std::uint8_t* data, std::size_t size, int disks) {
  return size >= 13 && disks > 0 ? data[size - 13] % disks : 0;
}

d88::D88Image reader;

d88fuzz::MemoryFile& Image() {
  static d88fuzz::MemoryFile file("d88unpack-fuzz-image");
  return file;
}

// The message names where, built only when a check fails.
[[noreturn]] void FailAt(const char* what, int track, std::uint32_t id) {
  Fail(what + (" (track " + std::to_string(track) + ", id " +
               std::to_string(id) + ")"));
}

void CheckSame(const d88::SectorInfo& got, const d88::SectorInfo& want,
               int track, std::uint32_t id) {
  if (got.found != want.found) FailAt("FindSector found differs", track, id);
  if (!want.found) return;
  if (got.data_position != want.data_position ||
      got.data_length != want.data_length ||
      got.deleted_mark != want.deleted_mark || got.status != want.status) {
    FailAt("FindSector's record differs", track, id);
  }
}

std::uint32_t Unpack(const std::uint8_t* bytes) {
  return ReferenceImage::PackId(bytes[0], bytes[1], bytes[2], bytes[3]);
}

// At most four of each, kept in place: an input costs no allocation for
// them.
struct List {
  std::uint32_t items[4];
  int count;
  void Add(std::uint32_t item) { items[count++] = item; }
  const std::uint32_t* begin() const { return items; }
  const std::uint32_t* end() const { return items + count; }
};

// The IDs looked up on a track (see the top of the file).
List LookupIds(const ReferenceImage& ref, std::int64_t start, int track,
               const std::uint8_t* data, std::size_t size) {
  List ids = {};
  const std::vector<std::uint8_t> listed = ref.Ids(start, 1);
  if (listed.size() >= 4) ids.Add(Unpack(listed.data()));
  ids.Add(ReferenceImage::PackId(track / 2, track % 2, 1, 3));
  if (size >= 8) {
    ids.Add(Unpack(data + size - 8));
    // The track's own cylinder and head, which the pass over long walks
    // keeps, with the input's sector number and size code.
    ids.Add(ReferenceImage::PackId(track / 2, track % 2, data[size - 2],
                                   data[size - 1]));
  }
  return ids;
}

List TracksToCheck(const std::uint8_t* data, std::size_t size) {
  List tracks = {{0, 1}, 2};
  for (std::size_t i = 10; i > 8 && size >= 10; --i) {
    tracks.Add(data[size - i] % 164u);
  }
  return tracks;
}

struct Lookup {
  int track;
  std::int64_t start;
  std::uint32_t id;
};

// The lookups of the tracks, grouped by size code: the pass over long walks
// is made for one size code at a time, as a file system asks.
void CheckLookups(const ReferenceImage& ref, std::int64_t disk_start,
                  const List& tracks, const std::uint8_t* data,
                  std::size_t size) {
  Lookup lookups[16];
  int count = 0;
  for (const std::uint32_t each : tracks) {
    const auto track = static_cast<int>(each);
    const std::int64_t start = ref.TrackStart(disk_start, track);
    if (reader.TrackRecorded(track) != (start >= 0)) Fail("TrackRecorded differs");
    if (start < 0) continue;
    for (const std::uint32_t id : LookupIds(ref, start, track, data, size)) {
      lookups[count++] = {track, start, id};
    }
  }
  std::stable_sort(lookups, lookups + count, [](const Lookup& a, const Lookup& b) {
    return a.id >> 24 < b.id >> 24;
  });
  for (int i = 0; i < count; ++i) {
    const Lookup& lookup = lookups[i];
    const std::uint32_t id = lookup.id;
    const d88::SectorInfo want = ref.Find(lookup.start, id);
    for (int again = 0; again < 2; ++again) {
      const d88::SectorInfo got = reader.FindSector(
          lookup.track, static_cast<int>(id & 0xFF),
          static_cast<int>(id >> 8 & 0xFF), static_cast<int>(id >> 16 & 0xFF),
          static_cast<int>(id >> 24));
      CheckSame(got, want, lookup.track, id);
    }
  }
}

void CheckListing(const ReferenceImage& ref, std::int64_t disk_start,
                  int track) {
  constexpr std::int32_t kMax = 40;
  std::uint8_t ids[kMax * 4];
  const std::int32_t bytes = reader.ListSectorIds(track, ids, kMax * 4);
  const std::vector<std::uint8_t> want =
      ref.Ids(ref.TrackStart(disk_start, track), kMax);
  if (static_cast<std::size_t>(bytes) != want.size() ||
      (!want.empty() && std::memcmp(ids, want.data(), want.size()) != 0)) {
    Fail("ListSectorIds differs");
  }
}

// One run per disk, its start and length and the sector range taken from
// the input's first bytes after the disk header's fields.
void CheckRun(const ReferenceImage& ref, std::int64_t disk_start,
              const std::uint8_t* data, std::size_t size) {
  if (size < 0x2B0) return;
  const std::uint8_t* pick = data + 0x2A0;
  const int track = pick[0] % 164;
  const int r = pick[1];
  const int n = pick[2] % 4;
  const int first = pick[3] % 8;
  const int last = first + pick[4] % 16;
  const std::int32_t total = (pick[5] | pick[6] << 8) % 20000;
  reader.SetSectorRange(first, last);
  static std::uint8_t got[20000];
  const std::int32_t delivered =
      reader.ReadSectors(track, track / 2, track % 2, r, n, got, total);
  const std::vector<std::uint8_t> want =
      ref.Run(disk_start, track, track / 2, track % 2, r, n, total, first, last);
  if (static_cast<std::size_t>(delivered) != want.size() ||
      (!want.empty() && std::memcmp(got, want.data(), want.size()) != 0)) {
    Fail("ReadSectors differs");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  Image().Put(data, size);
  if (!reader.Open(Image().Path())) Fail("cannot open the image");
  const ReferenceImage ref(data, size);
  const std::vector<std::int64_t> disks = ref.DiskStarts();
  if (reader.DiskCount() != static_cast<int>(disks.size())) {
    Fail("DiskCount differs");
  }
  if (!disks.empty()) {
    const int disk = DiskToCheck(data, size, reader.DiskCount());
    if (!reader.SelectDisk(disk)) Fail("SelectDisk failed on a whole header");
    const std::int64_t start = disks[static_cast<std::size_t>(disk)];
    if (reader.DiskStart() != start) Fail("DiskStart differs");
    const List tracks = TracksToCheck(data, size);
    CheckLookups(ref, start, tracks, data, size);
    for (const std::uint32_t track : tracks) {
      CheckListing(ref, start, static_cast<int>(track));
    }
    CheckRun(ref, start, data, size);
  }
  return 0;
}
