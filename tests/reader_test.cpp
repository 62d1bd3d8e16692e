// Tests of the D88 reader on images built in code.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "d88_builder.h"
#include "d88_image.h"
#include "scratch.h"

namespace {

using d88::D88Image;
using d88::RecordSummary;
using d88test::Bytes;
using d88test::DiskBuilder;
using d88test::SectorPattern;
using d88test::SectorRecord;
using d88test::StandardTrack;

SectorRecord Record(int c, int h, int r, int count, Bytes data) {
  SectorRecord record;
  record.c = static_cast<std::uint8_t>(c);
  record.h = static_cast<std::uint8_t>(h);
  record.r = static_cast<std::uint8_t>(r);
  record.count = static_cast<std::uint16_t>(count);
  record.data = std::move(data);
  return record;
}

class ReaderTest : public ::testing::Test {
 protected:
  // Opens the bytes as an image and selects disk 0 when there is one.
  void Load(const Bytes& bytes) {
    ASSERT_TRUE(image.Open(scratch.Write("image.d88", bytes).string().c_str()));
    if (image.DiskCount() > 0) {
      ASSERT_TRUE(image.SelectDisk(0));
    }
  }

  Bytes ReadOne(int track, int c, int h, int r, int n = 3,
                std::int32_t max_length = 1024) {
    Bytes out(static_cast<std::size_t>(max_length), 0xEE);
    const std::int32_t got = image.ReadSector(track, c, h, r, n, out.data(),
                                              max_length);
    out.resize(static_cast<std::size_t>(got));
    return out;
  }

  d88test::ScratchDir scratch;
  D88Image image;
};

// --- The disk table ---

TEST_F(ReaderTest, CountsDisksWhoseHeaderIsWhole) {
  const Bytes one = DiskBuilder("A").SetTrack(0, StandardTrack(0)).Build();
  const Bytes two = DiskBuilder("B").Build();
  struct Case {
    const char* what;
    Bytes file;
    int disks;
  };
  const Case cases[] = {
      {"empty file", {}, 0},
      {"one byte short of a header", Bytes(687, 0), 0},
      {"one disk filling the file", one, 1},
      {"two disks back to back", d88test::Concat({one, two}), 2},
      {"a cut-off third header is not a disk",
       d88test::Concat({one, two, Bytes(600, 0)}), 2},
  };
  for (const Case& c : cases) {
    Load(c.file);
    EXPECT_EQ(image.DiskCount(), c.disks) << c.what;
  }
}

TEST_F(ReaderTest, KeepsTheFirst64Disks) {
  std::vector<Bytes> disks;
  for (int i = 0; i < 70; ++i) {
    disks.push_back(DiskBuilder("D" + std::to_string(i)).Build());
  }
  Load(d88test::Concat(disks));
  EXPECT_EQ(image.DiskCount(), 64);
  ASSERT_TRUE(image.SelectDisk(63));
  EXPECT_STREQ(image.DiskName(), "D63");
  EXPECT_FALSE(image.SelectDisk(64));
}

// A size field of 0 never moves the scan on, so the one disk fills every slot.
TEST_F(ReaderTest, SizeZeroDiskRepeatsUntilTheCap) {
  Load(d88test::Concat({DiskBuilder("ZERO").SetSizeField(0).Build(),
                        DiskBuilder("NEXT").Build()}));
  EXPECT_EQ(image.DiskCount(), 64);
  ASSERT_TRUE(image.SelectDisk(40));
  EXPECT_STREQ(image.DiskName(), "ZERO");
}

TEST_F(ReaderTest, SelectDiskReadsNameAndMediaType) {
  Bytes name(16, 'N');
  Load(d88test::Concat({DiskBuilder("FIRST", 0x10).Build(),
                        DiskBuilder("", 0x20).SetNameBytes(name).Build()}));
  ASSERT_TRUE(image.SelectDisk(1));
  EXPECT_STREQ(image.DiskName(), "NNNNNNNNNNNNNNNN");  // 16 bytes, no zero
  EXPECT_EQ(image.MediaType(), 0x20);
  ASSERT_TRUE(image.SelectDisk(0));
  EXPECT_STREQ(image.DiskName(), "FIRST");
  EXPECT_EQ(image.MediaType(), 0x10);
}

TEST_F(ReaderTest, FailedSelectLeavesNoDiskSelected) {
  Load(DiskBuilder("DISK", 0x30).SetTrack(0, StandardTrack(0)).Build());
  for (int index : {-1, 1}) {
    ASSERT_TRUE(image.SelectDisk(0));
    EXPECT_FALSE(image.SelectDisk(index)) << index;
    EXPECT_STREQ(image.DiskName(), "") << index;
    EXPECT_EQ(image.MediaType(), -1) << index;
    EXPECT_TRUE(ReadOne(0, 0, 0, 1).empty()) << index;
  }
}

// --- Open and close ---

TEST_F(ReaderTest, OpenFailuresLeaveNoStream) {
  Load(DiskBuilder("OLD").SetTrack(0, StandardTrack(0)).Build());
  EXPECT_FALSE(image.Open((scratch.path() / "missing.d88").string().c_str()));
  EXPECT_FALSE(image.SelectDisk(0));
  EXPECT_TRUE(ReadOne(0, 0, 0, 1).empty());
}

// A directory opens like a file on POSIX hosts and only fails on reading.
TEST_F(ReaderTest, DirectoryIsNotAnImage) {
  EXPECT_FALSE(image.Open(scratch.path().string().c_str()));
}

TEST_F(ReaderTest, OpenWithoutPathCloses) {
  Load(DiskBuilder("DISK").SetTrack(0, StandardTrack(0)).Build());
  EXPECT_TRUE(image.Open(nullptr));
  EXPECT_EQ(image.DiskCount(), 0);
  EXPECT_EQ(image.MediaType(), -1);
  EXPECT_TRUE(ReadOne(0, 0, 0, 1).empty());
  EXPECT_FALSE(image.SelectDisk(0));
}

// A reader that has opened nothing answers as one with no disk selected,
// though every byte of it starts as zero (so that it costs the program file
// nothing): the "none" values of its accessors are not its stored zeros.
TEST_F(ReaderTest, ReaderThatOpenedNothingHasNoDisk) {
  const D88Image& fresh = image;
  EXPECT_EQ(fresh.DiskCount(), 0);
  EXPECT_STREQ(fresh.DiskName(), "");
  EXPECT_EQ(fresh.MediaType(), -1);
  EXPECT_EQ(fresh.WriteProtect(), -1);
  EXPECT_EQ(fresh.DiskStart(), -1);
  EXPECT_EQ(fresh.SizeField(), 0u);
  EXPECT_FALSE(fresh.TrackRecorded(0));
  EXPECT_FALSE(image.SelectDisk(0));
  EXPECT_TRUE(ReadOne(0, 0, 0, 1).empty());
}

// Each file starts from runs over sectors 1 to 16, whatever range the last
// file was read with: sector 16 steps to the next track, 5 does not.
TEST_F(ReaderTest, EveryOpenStartsRunsOverSectors1To16) {
  DiskBuilder disk;
  for (int track = 0; track < 2; ++track) {
    std::vector<d88test::SectorRecord> records;
    for (int r = 1; r <= 16; ++r) {
      records.push_back(Record(0, track, r, 16, SectorPattern(track, r)));
    }
    disk.SetTrack(track, records);
  }
  const Bytes file = disk.Build();
  Load(file);
  image.SetSectorRange(1, 5);
  Load(file);
  Bytes run(2048, 0);
  ASSERT_EQ(image.ReadSectors(0, 0, 0, 5, 3, run.data(), 2048), 2048);
  EXPECT_EQ(Bytes(run.begin() + 1024, run.end()), SectorPattern(0, 6));
  ASSERT_EQ(image.ReadSectors(0, 0, 0, 16, 3, run.data(), 2048), 2048);
  EXPECT_EQ(Bytes(run.begin(), run.begin() + 1024), SectorPattern(0, 16));
  EXPECT_EQ(Bytes(run.begin() + 1024, run.end()), SectorPattern(1, 1));
}

// Reads after a new Open must not address the old disk's tracks against the
// new file: the selection is cleared until a disk is selected again.
TEST_F(ReaderTest, NewOpenClearsTheSelection) {
  Load(DiskBuilder("OLD", 0x40).SetTrack(0, StandardTrack(0)).Build());
  ASSERT_EQ(ReadOne(0, 0, 0, 1).size(), 1024u);
  const Bytes other = d88test::Concat(
      {Bytes(0x2B0 + 100, 0x01), DiskBuilder("NEW").Build()});
  ASSERT_TRUE(image.Open(scratch.Write("other.d88", other).string().c_str()));
  EXPECT_STREQ(image.DiskName(), "");
  EXPECT_EQ(image.MediaType(), -1);
  EXPECT_TRUE(ReadOne(0, 0, 0, 1).empty());
}

// --- The track table ---

TEST_F(ReaderTest, TrackOffsetsDecideWhetherATrackIsThere) {
  const Bytes plain = DiskBuilder().SetTrack(0, StandardTrack(0)).Build();
  const auto size = static_cast<std::uint32_t>(plain.size());
  // The track sits at the end of the disk, its offset equal to the size
  // field; with one byte less in the size field it is absent.
  Bytes at_end = DiskBuilder().SetTrack(0, StandardTrack(0)).Build();
  const std::uint32_t data_start = 0x2B0;
  struct Case {
    const char* what;
    std::uint32_t offset;
    std::uint32_t size_field;
    bool found;
  };
  const Case cases[] = {
      {"recorded", data_start, size, true},
      {"entry 0 means not recorded", 0, size, false},
      {"entry beyond the disk size", size + 1, size, false},
      {"entry equal to the disk size", data_start, data_start, true},
      {"entry one past a smaller disk size", data_start, data_start - 1, false},
  };
  for (const Case& c : cases) {
    Load(DiskBuilder()
             .SetTrack(0, StandardTrack(0))
             .SetTrackOffset(0, c.offset)
             .SetSizeField(c.size_field)
             .Build());
    EXPECT_EQ(ReadOne(0, 0, 0, 1).size(), c.found ? 1024u : 0u) << c.what;
  }
  Load(at_end);
  EXPECT_TRUE(ReadOne(-1, 0, 0, 1).empty());
  EXPECT_TRUE(ReadOne(164, 82, 0, 1).empty());
}

// An offset from 1 to 687 points into the disk header itself and is read as
// it stands: here header bytes 1..16 form a sector record with ID (0,0,9,0)
// and 11 data bytes, the last of which is the media type byte at 0x1B.
TEST_F(ReaderTest, TrackOffsetIntoTheHeaderIsAccepted) {
  Bytes name(16, 0);
  name[3] = 9;   // R
  name[5] = 1;   // count
  name[15] = 11; // data length, low byte
  Load(DiskBuilder("", 0x5A).SetNameBytes(name).SetTrackOffset(0, 1).Build());
  const Bytes got = ReadOne(0, 0, 0, 9, 0, 64);
  ASSERT_EQ(got.size(), 11u);
  EXPECT_EQ(got[10], 0x5A);
}

// --- Finding a sector in a track ---

TEST_F(ReaderTest, FindsSectorsByIdNotByPosition) {
  std::vector<SectorRecord> track;
  for (int r : {3, 1, 2}) track.push_back(Record(0, 0, r, 3, SectorPattern(0, r)));
  Load(DiskBuilder().SetTrack(0, track).Build());
  EXPECT_EQ(ReadOne(0, 0, 0, 1), SectorPattern(0, 1));
  EXPECT_EQ(ReadOne(0, 0, 0, 3), SectorPattern(0, 3));
  EXPECT_TRUE(ReadOne(0, 0, 0, 4).empty());
  EXPECT_TRUE(ReadOne(0, 1, 0, 1).empty()) << "cylinder must match";
  EXPECT_TRUE(ReadOne(0, 0, 1, 1).empty()) << "head must match";
  EXPECT_TRUE(ReadOne(0, 0, 0, 1, 2).empty()) << "size code must match";
  EXPECT_TRUE(ReadOne(0, 0, 0, 1 + 256).empty()) << "IDs are bytes";
}

// The walk ends only after the record whose position equals its own count
// minus one: a record claiming a smaller count hides the records after it,
// and records claiming a larger count let the walk run on into what follows.
TEST_F(ReaderTest, CountFieldsDecideWhereTheWalkEnds) {
  Load(DiskBuilder()
           .SetTrack(0, {Record(0, 0, 1, 1, SectorPattern(0, 1)),
                         Record(0, 0, 2, 1, SectorPattern(0, 2))})
           .SetTrack(2, {Record(1, 0, 1, 9, SectorPattern(2, 1)),
                         Record(1, 0, 2, 9, SectorPattern(2, 2))})
           .SetTrack(3, {Record(1, 1, 1, 1, SectorPattern(3, 1))})
           .Build());
  EXPECT_TRUE(ReadOne(0, 0, 0, 2).empty());
  EXPECT_EQ(ReadOne(2, 1, 1, 1), SectorPattern(3, 1));
}

TEST_F(ReaderTest, CountZeroEndsTheSearchButNotTheListing) {
  Load(DiskBuilder()
           .SetTrack(0, {Record(0, 0, 1, 0, SectorPattern(0, 1)),
                         Record(0, 0, 2, 0, SectorPattern(0, 2)),
                         Record(0, 0, 3, 0, SectorPattern(0, 3))})
           .Build());
  EXPECT_TRUE(ReadOne(0, 0, 0, 1).empty());
  EXPECT_TRUE(ReadOne(0, 0, 0, 2).empty());
  std::uint8_t ids[12] = {};
  EXPECT_EQ(image.ListSectorIds(0, ids, 12), 12);
  EXPECT_EQ(ids[2], 1);
  EXPECT_EQ(ids[6], 2);
  EXPECT_EQ(ids[10], 3);
}

TEST_F(ReaderTest, ListSectorIdsInStoredOrder) {
  std::vector<SectorRecord> track;
  for (int r : {5, 2, 4}) track.push_back(Record(7, 1, r, 3, Bytes(256, 0)));
  track[1].n = 1;
  Load(DiskBuilder().SetTrack(15, track).Build());
  std::uint8_t ids[16];
  std::fill(std::begin(ids), std::end(ids), 0xAA);
  ASSERT_EQ(image.ListSectorIds(15, ids, 16), 12);
  const std::uint8_t expected[12] = {7, 1, 5, 3, 7, 1, 2, 1, 7, 1, 4, 3};
  EXPECT_TRUE(std::equal(expected, expected + 12, ids));
  EXPECT_EQ(ids[12], 0xAA);
  // A listing starts whenever 4 * position < max_bytes.
  EXPECT_EQ(image.ListSectorIds(15, ids, 5), 8);
  EXPECT_EQ(image.ListSectorIds(14, ids, 16), 0);
}

// The record walk keeps what each header says, duplicates included, and
// selecting a disk reads the header fields --info shows.
TEST_F(ReaderTest, ListSectorRecordsKeepsHeaderFields) {
  std::vector<SectorRecord> track;
  for (int r : {1, 2, 2}) track.push_back(Record(3, 0, r, 3, Bytes(256, 0)));
  track[0].status = 0xB0;
  track[1].deleted_mark = 0x10;
  track[2].data = Bytes(100, 0);
  Load(DiskBuilder("P", 0x20).SetWriteProtect(0x10).SetTrack(6, track).Build());
  RecordSummary records[4] = {};
  ASSERT_EQ(image.ListSectorRecords(6, records, 4), 3);
  const int expected[3][4] = {
      {1, 256, 0x00, 0xB0}, {2, 256, 0x10, 0x00}, {2, 100, 0x00, 0x00}};
  // Records are N = 3 (1024 bytes) with 256 bytes stored: the walk goes
  // by the stored length.
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(records[i].id[0], 3) << i;
    EXPECT_EQ(records[i].id[2], expected[i][0]) << i;
    EXPECT_EQ(records[i].data_length, expected[i][1]) << i;
    EXPECT_EQ(records[i].deleted_mark, expected[i][2]) << i;
    EXPECT_EQ(records[i].status, expected[i][3]) << i;
  }
  EXPECT_EQ(image.ListSectorRecords(6, records, 2), 2);
  EXPECT_EQ(image.ListSectorRecords(7, records, 4), 0);
  EXPECT_TRUE(image.TrackRecorded(6));
  EXPECT_FALSE(image.TrackRecorded(7));
  EXPECT_EQ(image.WriteProtect(), 0x10);
  EXPECT_EQ(image.MediaType(), 0x20);
  EXPECT_EQ(image.SizeField(), static_cast<std::uint32_t>(image.FileSize()));
  EXPECT_EQ(image.TrackOffset(6), 0x2B0u);
  EXPECT_EQ(image.TrackOffset(164), 0u);
}

TEST_F(ReaderTest, DataLengthRulesOverTheSizeCode) {
  SectorRecord short_one = Record(0, 0, 1, 3, SectorPattern(0, 1, 300));
  SectorRecord long_one = Record(0, 0, 2, 3, SectorPattern(0, 2, 2048));
  SectorRecord after = Record(0, 0, 3, 3, SectorPattern(0, 3));
  Load(DiskBuilder().SetTrack(0, {short_one, long_one, after}).Build());
  EXPECT_EQ(ReadOne(0, 0, 0, 1), SectorPattern(0, 1, 300));
  EXPECT_EQ(ReadOne(0, 0, 0, 2), SectorPattern(0, 2, 1024));
  EXPECT_EQ(ReadOne(0, 0, 0, 2, 3, 4096), SectorPattern(0, 2, 2048));
  EXPECT_EQ(ReadOne(0, 0, 0, 3), SectorPattern(0, 3)) << "skips by the length";
}

// FindSector tells where a sector's data is and what its header says about
// it, without reading the data; ReadSector reads through it.
TEST_F(ReaderTest, FindSectorReportsTheHeaderFields) {
  Bytes file = DiskBuilder()
                   .SetTrack(0, {Record(0, 0, 1, 3, SectorPattern(0, 1, 300)),
                                 Record(0, 0, 2, 3, SectorPattern(0, 2)),
                                 Record(0, 0, 3, 3, SectorPattern(0, 3))})
                   .Build();
  const std::size_t second = 0x2B0 + 16 + 300;
  const std::size_t third = second + 16 + 1024;
  file[second + 0x07] = 0x10;  // deleted data
  file[third + 0x08] = 0xB0;   // data CRC error
  Load(file);
  struct Case {
    int r;
    bool found;
    std::uint16_t length;
    std::uint8_t mark;
    std::uint8_t status;
    std::size_t data_at;
  };
  const Case cases[] = {
      {1, true, 300, 0x00, 0x00, 0x2B0 + 16},
      {2, true, 1024, 0x10, 0x00, second + 16},
      {3, true, 1024, 0x00, 0xB0, third + 16},
      {4, false, 0, 0, 0, 0},
  };
  for (int pass = 0; pass < 2; ++pass) {  // the second from kept outcomes
    for (const Case& c : cases) {
      const d88::SectorInfo info = image.FindSector(0, 0, 0, c.r, 3);
      ASSERT_EQ(info.found, c.found) << c.r;
      if (!c.found) continue;
      EXPECT_EQ(info.data_length, c.length) << c.r;
      EXPECT_EQ(info.deleted_mark, c.mark) << c.r;
      EXPECT_EQ(info.status, c.status) << c.r;
      EXPECT_EQ(info.data_position, static_cast<std::int64_t>(c.data_at)) << c.r;
    }
  }
  EXPECT_FALSE(image.FindSector(1, 0, 0, 1, 3).found) << "absent track";
  EXPECT_FALSE(image.FindSector(0, 0, 0, 1, 256 + 3).found) << "IDs are bytes";
  // The bytes of a deleted or damaged sector are delivered as stored.
  EXPECT_EQ(ReadOne(0, 0, 0, 2), SectorPattern(0, 2));
}

// --- Repeated lookups ---
// A lookup's outcome is kept by track position and sector ID, so that a
// damaged track is not walked again for every sector of every file. These
// guard against a kept outcome answering a lookup it does not belong to.

TEST_F(ReaderTest, KeptOutcomesBelongToOneFile) {
  const Bytes with_r1 =
      DiskBuilder().SetTrack(0, {Record(0, 0, 1, 1, SectorPattern(0, 1))}).Build();
  const Bytes with_r2 =
      DiskBuilder().SetTrack(0, {Record(0, 0, 2, 1, SectorPattern(5, 5))}).Build();
  Load(with_r1);
  ASSERT_EQ(ReadOne(0, 0, 0, 1), SectorPattern(0, 1));
  ASSERT_TRUE(ReadOne(0, 0, 0, 2).empty());
  // The same track position in another file holds other sectors.
  ASSERT_TRUE(image.Open(scratch.Write("other.d88", with_r2).string().c_str()));
  ASSERT_TRUE(image.SelectDisk(0));
  EXPECT_TRUE(ReadOne(0, 0, 0, 1).empty());
  EXPECT_EQ(ReadOne(0, 0, 0, 2), SectorPattern(5, 5));
}

TEST_F(ReaderTest, KeptOutcomesBelongToOneTrackPosition) {
  // Tracks 0 and 2 hold records with the same ID at different positions;
  // track 4 shares track 0's position.
  DiskBuilder disk;
  disk.SetTrack(0, {Record(0, 0, 1, 1, SectorPattern(0, 1))})
      .SetTrack(2, {Record(0, 0, 1, 1, SectorPattern(2, 1))})
      .SetTrackOffset(4, 0x2B0);
  Load(disk.Build());
  for (int pass = 0; pass < 2; ++pass) {
    EXPECT_EQ(ReadOne(0, 0, 0, 1), SectorPattern(0, 1)) << pass;
    EXPECT_EQ(ReadOne(2, 0, 0, 1), SectorPattern(2, 1)) << pass;
    EXPECT_EQ(ReadOne(4, 0, 0, 1), SectorPattern(0, 1)) << pass;
  }
}

TEST_F(ReaderTest, KeptOutcomesDeliverWhatEachCallerAsks) {
  Load(DiskBuilder().SetTrack(0, StandardTrack(0)).Build());
  Bytes expected = SectorPattern(0, 3);
  expected.resize(100);
  EXPECT_EQ(ReadOne(0, 0, 0, 3, 3, 100), expected);
  EXPECT_EQ(ReadOne(0, 0, 0, 3, 3, 1024), SectorPattern(0, 3));
  EXPECT_EQ(ReadOne(0, 0, 0, 3, 3, 4096), SectorPattern(0, 3));
}

// More outcomes than the reader keeps for one disk: every lookup still gets
// its own track's sector, in any order and any number of times.
TEST_F(ReaderTest, ManyRepeatedLookupsStayRight) {
  DiskBuilder disk;
  for (int track = 0; track < 164; ++track) {
    std::vector<SectorRecord> records;
    for (int r = 1; r <= 40; ++r) {
      records.push_back(Record(track / 2, track % 2, r, 40, SectorPattern(track, r, 16)));
    }
    disk.SetTrack(track, records);
  }
  Load(disk.Build());
  for (int pass = 0; pass < 2; ++pass) {
    for (int track = 163; track >= 0; track -= 3) {
      for (int r = 1; r <= 41; ++r) {
        const Bytes got = ReadOne(track, track / 2, track % 2, r, 3, 16);
        if (r <= 40) {
          ASSERT_EQ(got, SectorPattern(track, r, 16)) << track << " " << r;
        } else {
          ASSERT_TRUE(got.empty()) << track;
        }
      }
    }
  }
}

// --- Runs of sectors ---

class RunTest : public ReaderTest {
 protected:
  void SetUp() override {
    DiskBuilder disk;
    for (int track = 0; track < 164; ++track) {
      if (track != 6) disk.SetTrack(track, StandardTrack(track));
    }
    Load(disk.Build());
    image.SetSectorRange(1, 5);
  }

  Bytes Run(int track, int r, std::int32_t total, std::int32_t* got) {
    Bytes out(static_cast<std::size_t>(total > 0 ? total : 1), 0);
    *got = image.ReadSectors(track, track / 2, track % 2, r, 3, out.data(),
                             total);
    return out;
  }

  static Bytes Sectors(std::initializer_list<std::pair<int, int>> ids) {
    Bytes out;
    for (const auto& [track, r] : ids) {
      // (0, 0) stands for a sector the run leaves as zeros.
      const Bytes data = r == 0 ? Bytes(1024, 0) : SectorPattern(track, r);
      out.insert(out.end(), data.begin(), data.end());
    }
    return out;
  }
};

TEST_F(RunTest, ReadsWholeAndPartialSectors) {
  std::int32_t got = 0;
  EXPECT_EQ(Run(2, 1, 2048, &got), Sectors({{2, 1}, {2, 2}}));
  EXPECT_EQ(got, 2048);
  Bytes half = Run(2, 1, 1536, &got);
  EXPECT_EQ(got, 1536);
  Bytes expected = Sectors({{2, 1}, {2, 2}});
  expected.resize(1536);
  EXPECT_EQ(half, expected);
  Run(2, 1, 0, &got);
  EXPECT_EQ(got, 0);
  Run(2, 1, -5, &got);
  EXPECT_EQ(got, 0);
}

TEST_F(RunTest, StepsToTheNextTrackAfterTheLastSector) {
  std::int32_t got = 0;
  EXPECT_EQ(Run(1, 5, 2048, &got), Sectors({{1, 5}, {2, 1}}));
  EXPECT_EQ(got, 2048);
  EXPECT_EQ(Run(2, 4, 3072, &got), Sectors({{2, 4}, {2, 5}, {3, 1}}));
  EXPECT_EQ(got, 3072);
}

TEST_F(RunTest, EndsAtAMissingSector) {
  std::int32_t got = 0;
  // Track 6 is absent: a run from track 5 sector 5 delivers one sector.
  const Bytes out = Run(5, 5, 4096, &got);
  EXPECT_EQ(got, 1024);
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + 1024,
                         SectorPattern(5, 5).begin()));
  // A run that starts above the last sector counts r upwards on the same
  // track and ends at the first number not found.
  Run(4, 6, 2048, &got);
  EXPECT_EQ(got, 0);
  image.SetSectorRange(1, 4);
  EXPECT_EQ(Run(4, 4, 2048, &got), Sectors({{4, 4}, {5, 1}}));
  // Above the last sector 3, r = 4 counts on to R5 and R6 on the same track.
  image.SetSectorRange(1, 3);
  EXPECT_EQ(Run(4, 4, 4096, &got), Sectors({{4, 4}, {4, 5}, {0, 0}, {0, 0}}));
  EXPECT_EQ(got, 2048);
}

TEST_F(RunTest, EndsPastTheLastTrack) {
  std::int32_t got = 0;
  Run(163, 4, 4096, &got);
  EXPECT_EQ(got, 2048);
}

TEST_F(RunTest, ShortSectorEndsTheRunUncounted) {
  Load(DiskBuilder()
           .SetTrack(0, {Record(0, 0, 1, 2, SectorPattern(0, 1)),
                         Record(0, 0, 2, 2, SectorPattern(0, 2, 100))})
           .Build());
  image.SetSectorRange(1, 5);
  Bytes out(2048, 0);
  EXPECT_EQ(image.ReadSectors(0, 0, 0, 1, 3, out.data(), 2048), 1024);
  // The short sector's bytes did arrive behind the counted ones.
  EXPECT_EQ(out[1024 + 99], SectorPattern(0, 2, 100)[99]);
}

// --- The end of the file ---

TEST_F(ReaderTest, ShortReadsAtTheEndOfTheFile) {
  const Bytes whole = DiskBuilder()
                          .SetTrack(0, {Record(0, 0, 1, 2, SectorPattern(0, 1)),
                                        Record(0, 0, 2, 2, SectorPattern(0, 2))})
                          .SetSizeField(4000)
                          .Build();
  const std::size_t second_header = 0x2B0 + 16 + 1024;
  // Data of the second sector cut to 10 bytes: those 10 are delivered.
  Load(Bytes(whole.begin(), whole.begin() + static_cast<long>(second_header + 16 + 10)));
  EXPECT_EQ(ReadOne(0, 0, 0, 2), SectorPattern(0, 2, 10));
  // The second sector header cut short: no record there.
  Load(Bytes(whole.begin(), whole.begin() + static_cast<long>(second_header + 8)));
  EXPECT_TRUE(ReadOne(0, 0, 0, 2).empty());
  EXPECT_EQ(ReadOne(0, 0, 0, 1).size(), 1024u);
}

// Disk sizes and track offsets are unsigned 32-bit and file positions
// 64-bit: a disk that starts past 2 GiB, and a track 2.5 GiB into a disk,
// are found and read. The file is sparse, so it costs no disk space.
TEST_F(ReaderTest, ImagesLargerThan2GiB) {
  constexpr std::uint32_t kFirstSize = 0xC0000000u;  // 3 GiB
  constexpr std::uint32_t kTrackAt = 0xA0000000u;    // 2.5 GiB
  const Bytes first = DiskBuilder("BIG").SetSizeField(kFirstSize).Build();
  const Bytes second = DiskBuilder("FAR")
                           .SetTrackOffset(0, kTrackAt)
                           .SetSizeField(0xFFFFFFFFu)
                           .Build();
  Bytes track_bytes;
  const SectorRecord record = Record(0, 0, 1, 1, SectorPattern(9, 9));
  track_bytes = DiskBuilder().SetTrack(0, {record}).Build();
  track_bytes.erase(track_bytes.begin(), track_bytes.begin() + 0x2B0);
  const auto path = scratch.path() / "big.d88";
  {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(first.data()), 0x2B0);
    out.seekp(static_cast<std::streamoff>(kFirstSize));
    out.write(reinterpret_cast<const char*>(second.data()), 0x2B0);
    out.seekp(static_cast<std::streamoff>(kFirstSize) + kTrackAt);
    out.write(reinterpret_cast<const char*>(track_bytes.data()),
              static_cast<std::streamsize>(track_bytes.size()));
    ASSERT_TRUE(out.good());
  }
  ASSERT_TRUE(image.Open(path.string().c_str()));
  ASSERT_EQ(image.DiskCount(), 2);
  ASSERT_TRUE(image.SelectDisk(1));
  EXPECT_STREQ(image.DiskName(), "FAR");
  EXPECT_EQ(ReadOne(0, 0, 0, 1), SectorPattern(9, 9));
}

}  // namespace
