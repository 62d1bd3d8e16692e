// Tests of the image file's read window: whatever order the reader asks for
// bytes in, and wherever the window is refilled from, every read delivers
// exactly the file's bytes at that position, and nothing past its end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "d88_builder.h"
#include "d88_image.h"
#include "image_file.h"
#include "scratch.h"

namespace {

using d88::ImageFile;
using d88test::Bytes;

constexpr std::int64_t kWindow = ImageFile::kWindowSize;
// Three windows and an odd tail, so that reads meet the end of the file at
// a position no window starts or ends at.
constexpr std::int64_t kFileSize = 3 * kWindow + 777;

Bytes FileBytes() {
  Bytes bytes(static_cast<std::size_t>(kFileSize));
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
  }
  return bytes;
}

struct Read {
  std::int64_t position;
  std::int32_t length;
  std::int64_t keep_from;  // -2: read with ReadAtOnly
};

struct ReadSequence {
  std::string name;
  std::vector<Read> reads;
};

void PrintTo(const ReadSequence& sequence, std::ostream* out) {
  *out << sequence.name;
}

class ImageFileTest : public ::testing::TestWithParam<ReadSequence> {};

TEST_P(ImageFileTest, DeliversTheFileBytesAndNothingPastTheEnd) {
  const d88test::ScratchDir scratch;
  const Bytes bytes = FileBytes();
  ImageFile file;
  ASSERT_TRUE(file.Open(scratch.Write("image.bin", bytes).string().c_str()));
  for (const Read& read : GetParam().reads) {
    SCOPED_TRACE("read at " + std::to_string(read.position) + ", keep from " +
                 std::to_string(read.keep_from));
    Bytes out(static_cast<std::size_t>(read.length), 0xEE);
    const std::int32_t got =
        read.keep_from == -2
            ? file.ReadAtOnly(read.position, out.data(), read.length)
            : file.ReadAt(read.position, out.data(), read.length,
                          read.keep_from);
    const std::int64_t left = std::max<std::int64_t>(kFileSize - read.position, 0);
    ASSERT_EQ(got, std::min<std::int64_t>(read.length, left));
    const auto from = bytes.begin() + read.position;
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + got, from));
    // Bytes past what was delivered are left alone.
    EXPECT_TRUE(std::all_of(out.begin() + got, out.end(),
                            [](std::uint8_t b) { return b == 0xEE; }));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, ImageFileTest,
    ::testing::Values(
        // A track walk whose record crosses the window's end: the refill
        // starts at the track, and the walk starts over from there.
        ReadSequence{"TrackCrossingTheWindowEnd",
                     {{0, 16, 0},
                      {kWindow - 5000, 16, kWindow - 5000},
                      {kWindow - 8, 1024, kWindow - 5000},
                      {kWindow - 5000, 16, kWindow - 5000},
                      {kWindow + 2000, 1024, kWindow - 5000}}},
        // keep_from more than half a window back, behind position, or
        // negative is not used; the read still delivers its bytes.
        ReadSequence{"KeepFromThatCannotBeKept",
                     {{2 * kWindow - 10, 1024, kWindow - 100},
                      {2 * kWindow + 10, 16, 3 * kWindow},
                      {100, 16, -1},
                      {kWindow, kWindow, 0}}},
        ReadSequence{"BackwardsAndWholeWindows",
                     {{3 * kWindow, 16, 3 * kWindow},
                      {10, 16, 0},
                      {0, static_cast<std::int32_t>(kWindow), 0},
                      {5, static_cast<std::int32_t>(kWindow) + 1, 0}}},
        // A refill from keep_from that reaches the end of the file before
        // position must deliver nothing, not bytes from before position.
        ReadSequence{"RefillThatEndsBeforePosition",
                     {{kFileSize - 5, 16, kFileSize - 1000},
                      {kFileSize + 10, 16, kFileSize - 100},
                      {kFileSize, 1, kFileSize - 1},
                      {kFileSize - 1, 1, kFileSize - 1}}},
        // Reads that bypass the window, in and out of what it holds.
        ReadSequence{"ReadsThatLeaveTheWindowAlone",
                     {{0, 16, 0},
                      {2 * kWindow, 688, -2},
                      {100, 688, -2},
                      {kFileSize - 10, 688, -2},
                      {kFileSize + 1, 688, -2},
                      {200, 16, 0}}}),
    [](const ::testing::TestParamInfo<ReadSequence>& param_info) {
      return param_info.param.name;
    });

// A disk of every track, several windows long: one run through the whole
// disk and single sectors fetched from its last track back to its first
// deliver the stored data wherever the window boundaries fall.
TEST(ImageFileReaderTest, ReadsEverySectorAcrossWindows) {
  const d88test::ScratchDir scratch;
  d88test::DiskBuilder disk;
  Bytes expected;
  for (int track = 0; track < 164; ++track) {
    disk.SetTrack(track, d88test::StandardTrack(track));
    for (int r = 1; r <= 5; ++r) {
      const Bytes data = d88test::SectorPattern(track, r);
      expected.insert(expected.end(), data.begin(), data.end());
    }
  }
  // The reader's fixed tables are larger than a Windows thread's stack.
  static d88::D88Image image;
  ASSERT_TRUE(
      image.Open(scratch.Write("disk.d88", disk.Build()).string().c_str()));
  ASSERT_TRUE(image.SelectDisk(0));
  image.SetSectorRange(1, 5);
  Bytes run(expected.size(), 0);
  EXPECT_EQ(image.ReadSectors(0, 0, 0, 1, 3, run.data(),
                              static_cast<std::int32_t>(run.size())),
            static_cast<std::int32_t>(run.size()));
  EXPECT_EQ(run, expected);
  for (int track = 163; track >= 0; --track) {
    for (int r = 5; r >= 1; --r) {
      Bytes sector(1024, 0);
      ASSERT_EQ(image.ReadSector(track, track / 2, track % 2, r, 3,
                                 sector.data(), 1024),
                1024);
      EXPECT_EQ(sector, d88test::SectorPattern(track, r));
    }
  }
}

}  // namespace
