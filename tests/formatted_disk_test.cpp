// Tests of laying out a formatted disk: whatever the number of tracks, the
// reader finds every sector of every track with the bytes given for it,
// no track beyond them, and the header fields as asked; and the layout is
// the one the test builder writes for the same tracks.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "d88_builder.h"
#include "d88_format.h"
#include "d88_image.h"
#include "formatted_disk.h"
#include "scratch.h"

namespace {

using d88test::Bytes;

struct LayoutCase {
  int tracks;
  std::uint8_t media;
  bool write_protected;
};

// Two disks back to back, each sector's bytes the builder's pattern.
Bytes WriteTwoDisks(const LayoutCase& c, const std::string& path) {
  const d88::FormattedGeometry geometry = {c.tracks, 5, 1, 3};
  Bytes data;
  for (int track = 0; track < c.tracks; ++track) {
    for (int r = 1; r <= 5; ++r) {
      const Bytes sector = d88test::SectorPattern(track, r);
      data.insert(data.end(), sector.begin(), sector.end());
    }
  }
  std::uint8_t name[16] = {'F', 'R', 'E', 'S', 'H'};
  const d88::FormattedHeader header = {name, c.write_protected, c.media};
  std::FILE* file = std::fopen(path.c_str(), "wb");
  EXPECT_NE(file, nullptr);
  EXPECT_TRUE(d88::WriteFormattedDisk(file, geometry, header, data.data()));
  EXPECT_TRUE(d88::WriteFormattedDisk(file, geometry, header, data.data()));
  std::fclose(file);
  return data;
}

TEST(FormattedDiskTest, TheReaderFindsEverySectorAsLaidOut) {
  const LayoutCase cases[] = {{4, d88::kMedia2D, false},
                              {80, d88::kMedia2DD, true},
                              {164, d88::kMedia2HD, false}};
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(c.tracks);
    const d88test::ScratchDir scratch;
    const std::string path = (scratch.path() / "fresh.d88").string();
    WriteTwoDisks(c, path);
    // The reader keeps its caches inside: too large for a thread's stack.
    static d88::D88Image image;
    ASSERT_TRUE(image.Open(path.c_str()));
    ASSERT_EQ(image.DiskCount(), 2);
    ASSERT_TRUE(image.SelectDisk(1));
    EXPECT_EQ(image.MediaType(), c.media);
    EXPECT_EQ(image.WriteProtect(), c.write_protected ? 0x10 : 0);
    EXPECT_EQ(std::string(image.DiskName()), "FRESH");
    EXPECT_EQ(image.SizeField(), 0x2B0u + static_cast<unsigned>(c.tracks) * 5200u);
    for (int track = 0; track < d88::kTrackCount; ++track) {
      ASSERT_EQ(image.TrackRecorded(track), track < c.tracks) << track;
      for (int r = 1; r <= 5 && track < c.tracks; ++r) {
        Bytes sector(1024);
        ASSERT_EQ(image.ReadSector(track, track / 2, track % 2, r, 3,
                                   sector.data(), 1024),
                  1024);
        ASSERT_EQ(sector, d88test::SectorPattern(track, r)) << track << "/" << r;
      }
    }
    image.Open(nullptr);
  }
}

TEST(FormattedDiskTest, TheLayoutIsTheBuildersForTheSameTracks) {
  const LayoutCase c = {6, d88::kMedia2HD, true};
  const d88test::ScratchDir scratch;
  const std::string path = (scratch.path() / "fresh.d88").string();
  WriteTwoDisks(c, path);
  d88test::DiskBuilder disk("FRESH", c.media);
  disk.SetWriteProtect(0x10);
  for (int track = 0; track < c.tracks; ++track) {
    disk.SetTrack(track, d88test::StandardTrack(track));
  }
  const Bytes one = disk.Build();
  EXPECT_EQ(d88test::ImageDifference(d88test::ReadFileText(path),
                                     d88test::AsText(d88test::Concat({one, one}))),
            "");
}

TEST(FormattedDiskTest, AGeometryNoHeaderCanHoldIsRefused) {
  std::uint8_t name[16] = {};
  const d88::FormattedHeader header = {name, false, 0};
  const std::uint8_t data[1] = {};
  for (const d88::FormattedGeometry& geometry :
       {d88::FormattedGeometry{165, 5, 1, 3}, d88::FormattedGeometry{4, 0, 1, 3},
        d88::FormattedGeometry{4, 5, 252, 3}, d88::FormattedGeometry{4, 5, 1, 8}}) {
    EXPECT_FALSE(d88::WriteFormattedDisk(nullptr, geometry, header, data));
  }
}

}  // namespace
