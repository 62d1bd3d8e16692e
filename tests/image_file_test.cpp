// Tests of the image file's pages: whatever order the reader asks for bytes
// in, every read delivers exactly the file's bytes at that position, and
// nothing past its end; and what the host is asked for follows what the
// reader uses, however it jumps about.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
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

constexpr std::int64_t kPage = ImageFile::kPageSize;
// All the pages the file keeps at once.
constexpr std::int64_t kWindow = kPage * ImageFile::kPageCount;
// Three times that and an odd tail, so that reads meet the end of the file
// at a position no page starts or ends at.
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
  bool only;  // read with ReadAtOnly
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
    SCOPED_TRACE("read at " + std::to_string(read.position));
    Bytes out(static_cast<std::size_t>(read.length), 0xEE);
    const std::int32_t got =
        read.only ? file.ReadAtOnly(read.position, out.data(), read.length)
                  : file.ReadAt(read.position, out.data(), read.length);
    const std::int64_t left = std::max<std::int64_t>(kFileSize - read.position, 0);
    ASSERT_EQ(got, std::min<std::int64_t>(read.length, left));
    const auto from =
        bytes.begin() + static_cast<std::ptrdiff_t>(read.position);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + got, from));
    // Bytes past what was delivered are left alone.
    EXPECT_TRUE(std::all_of(out.begin() + got, out.end(),
                            [](std::uint8_t b) { return b == 0xEE; }));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, ImageFileTest,
    ::testing::Values(
        // Records and data that cross page boundaries, read forwards and
        // backwards.
        ReadSequence{"ReadsAcrossPages",
                     {{kPage - 5, 16, false},
                      {kPage - 8, 1024, false},
                      {3 * kPage - 100, 3 * static_cast<std::int32_t>(kPage), false},
                      {kPage - 5, 16, false},
                      {2 * kPage - 1, 2, false}}},
        // More pages than are kept, then back to the first ones.
        ReadSequence{"MorePagesThanKept",
                     {{0, 16, false},
                      {kWindow - 10, 1024, false},
                      {2 * kWindow + 10, 16, false},
                      {10, 16, false},
                      {0, static_cast<std::int32_t>(kPage), false},
                      {5, static_cast<std::int32_t>(kPage) + 1, false}}},
        // A short last page must deliver nothing past the end of the file.
        ReadSequence{"AtTheEndOfTheFile",
                     {{kFileSize - 5, 16, false},
                      {kFileSize + 10, 16, false},
                      {kFileSize, 1, false},
                      {kFileSize - 1, 1, false},
                      {kFileSize - 2 * kPage - 3, 3 * static_cast<std::int32_t>(kPage), false}}},
        // Reads that bypass the pages, in and out of what they hold.
        ReadSequence{"ReadsThatLeaveThePagesAlone",
                     {{0, 16, false},
                      {2 * kWindow, 688, true},
                      {100, 688, true},
                      {kPage - 300, 688, true},
                      {kFileSize - 10, 688, true},
                      {kFileSize + 1, 688, true},
                      {200, 16, false}}}),
    [](const ::testing::TestParamInfo<ReadSequence>& param_info) {
      return param_info.param.name;
    });

// What the host is asked for, for patterns of use that once cost a large
// refill per read: the counts are those of the pages' design, and a change
// that reads the same bytes again and again fails them.
struct HostCost {
  std::string name;
  std::vector<Read> reads;
  std::int64_t max_calls;
  std::int64_t max_bytes;
};

void PrintTo(const HostCost& cost, std::ostream* out) { *out << cost.name; }

class HostCostTest : public ::testing::TestWithParam<HostCost> {};

TEST_P(HostCostTest, ReadsFromTheHostNoMoreThanTheUseNeeds) {
  const d88test::ScratchDir scratch;
  ImageFile file;
  ASSERT_TRUE(file.Open(scratch.Write("image.bin", FileBytes()).string().c_str()));
  const std::int64_t opening_calls = file.HostReadCalls();
  const std::int64_t opening_bytes = file.HostReadBytes();
  std::uint8_t out[1024];
  for (const Read& read : GetParam().reads) {
    const std::int64_t there = std::clamp<std::int64_t>(kFileSize - read.position, 0, read.length);
    ASSERT_EQ(file.ReadAt(read.position, out, read.length), there);
  }
  EXPECT_LE(file.HostReadCalls() - opening_calls, GetParam().max_calls);
  EXPECT_LE(file.HostReadBytes() - opening_bytes, GetParam().max_bytes);
}

// A lookup that starts at the front of the file and goes on far behind it,
// a thousand times over.
std::vector<Read> FrontAndFar() {
  std::vector<Read> reads;
  for (int i = 0; i < 1000; ++i) {
    reads.push_back({100, 16, false});
    reads.push_back({2 * kWindow + 40, 16, false});
    reads.push_back({kFileSize - 2000, 1024, false});
  }
  return reads;
}

// The whole file, one record after the other.
std::vector<Read> FrontToBack() {
  std::vector<Read> reads;
  for (std::int64_t at = 0; at + 1040 <= kFileSize; at += 1040) {
    reads.push_back({at, 16, false});
    reads.push_back({at + 16, 1024, false});
  }
  return reads;
}

// A walk that runs off the end of the file and tries a header there, a
// thousand times, between reads at the front: the end is asked of the host
// once, and the front stays in the pages.
std::vector<Read> PastTheEnd() {
  std::vector<Read> reads;
  for (int i = 0; i < 1000; ++i) {
    reads.push_back({100, 16, false});
    reads.push_back({kFileSize + 16 * i, 16, false});
  }
  return reads;
}

// Single records far apart: each costs a page, not a large window.
std::vector<Read> Scattered() {
  std::vector<Read> reads;
  for (std::int64_t at = 0; at + 16 <= kFileSize; at += 5 * kPage + 100) {
    reads.push_back({at, 16, false});
  }
  return reads;
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, HostCostTest,
    ::testing::Values(
        // Three places, each read once: the pages keep all of them.
        HostCost{"FrontAndFar", FrontAndFar(), 3, 3 * kPage},
        // Read ahead grows to its largest: every byte once, in few calls.
        HostCost{"FrontToBack", FrontToBack(),
                 kFileSize / (kPage * ImageFile::kMaxReadAhead) + 16,
                 kFileSize},
        HostCost{"PastTheEnd", PastTheEnd(), 1, kPage},
        HostCost{"Scattered", Scattered(), kFileSize / (5 * kPage) + 1,
                 (kFileSize / (5 * kPage) + 1) * kPage}),
    [](const ::testing::TestParamInfo<HostCost>& param_info) {
      return param_info.param.name;
    });

// A disk of every track, larger than the pages kept: one run through the
// whole disk and single sectors fetched from its last track back to its
// first deliver the stored data wherever the page boundaries fall.
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
