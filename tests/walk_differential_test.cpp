// FindSector against a plain reference walk, written here from the rules of
// the format, on pseudo-random images made to send walks a long way: far
// enough to be answered by the pass over long walks, onto each other's
// records at other indexes, past index 65,535, into count-0 records and into
// a header cut short by the end of the file. Every answer must be the same,
// field by field.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "d88_builder.h"
#include "d88_image.h"
#include "reference_walk.h"
#include "scratch.h"

namespace {

using d88test::Bytes;

constexpr std::size_t kHeaderSize = 0x2B0;
constexpr int kTracks = 164;

// The walk as the format defines it, one record at a time, from the track
// of the disk that starts at disk_start.
d88::SectorInfo ReferenceFind(const Bytes& file, int track, const Bytes& id,
                              std::int64_t disk_start = 0) {
  const d88check::ReferenceImage ref(file.data(), file.size());
  return ref.Find(ref.TrackStart(disk_start, track),
                  d88check::ReferenceImage::PackId(id[0], id[1], id[2], id[3]));
}

// How the records of one image are drawn.
struct Shape {
  const char* what;
  std::size_t body_bytes;
  int max_data;           // data lengths 0..max_data, mostly short
  int aimed_per_100k;     // records whose count ends a given walk there
  int small_per_100k;     // records with a small count chosen at random
  int zero_per_million;   // records with count 0
  bool one_count_runs;    // long stretches of one count
  bool cut_at_end;        // the file ends inside a header
  int start_every;        // about one record in this many starts a track
  int hit_per_100k;       // records with an ID that lookups ask for
  bool past_65535;        // most counts let walks run past index 65535
  int disks = 1;          // disks sharing the records, each a part of them
};

class ImageMaker {
 public:
  ImageMaker(const Shape& shape, std::uint32_t seed) : shape_(shape), random_(seed) {}

  // With several disks, each takes the next part of the records behind its
  // header, its size field reaching to the next disk (the last one's to the
  // end of the address space): walks of one disk run on through the later
  // disks' headers and records and meet their walks at other indexes.
  Bytes Make() {
    Bytes body;
    while (body.size() < shape_.body_bytes) AppendRecord(body);
    if (shape_.cut_at_end) body.resize(body.size() - 16 + 7);
    Bytes file;
    std::size_t from = 0;
    for (int d = 0; d < shape_.disks; ++d) {
      const bool last = d + 1 == shape_.disks;
      const std::size_t to =
          last ? body.size()
               : record_starts_[record_starts_.size() * static_cast<std::size_t>(d + 1) /
                                static_cast<std::size_t>(shape_.disks)];
      d88test::DiskBuilder disk("DIFF");
      disk.SetSizeField(last ? 0xFFFFFFFFu : static_cast<std::uint32_t>(kHeaderSize + to - from));
      for (int track = 0; track < kTracks; ++track) {
        disk.SetTrackOffset(track, TrackOffset(from, to));
      }
      const Bytes header = disk.Build();
      file.insert(file.end(), header.begin(), header.end());
      file.insert(file.end(), body.begin() + static_cast<long>(from), body.begin() + static_cast<long>(to));
      disk_starts_.push_back(static_cast<std::int64_t>(file.size() - header.size() - (to - from)));
      from = to;
    }
    return file;
  }

  const std::vector<std::int64_t>& DiskStarts() const { return disk_starts_; }

  // The IDs the lookups of a track ask for: its own sectors 1..4, which
  // records carry now and then; one with another size code, carried
  // rarely; one that none carries; and another track's, which the reader
  // walks for instead of taking from the pass.
  static std::vector<Bytes> LookupIds(int track) {
    const auto c = static_cast<std::uint8_t>(track / 2);
    const auto h = static_cast<std::uint8_t>(track % 2);
    return {{c, h, 1, 3}, {c, h, 2, 3}, {c, h, 3, 3}, {c, h, 4, 3},
            {c, h, 1, 2}, {c, h, 9, 3}, {0, 0, 1, 3}};
  }

 private:
  std::uint8_t Byte(int low, int high) {
    return static_cast<std::uint8_t>(std::uniform_int_distribution<int>(low, high)(random_));
  }
  int Pick(int below) { return std::uniform_int_distribution<int>(0, below - 1)(random_); }

  // Counts are drawn to end walks on purpose: a record m given count
  // m - s + 1 + offset ends the walk from candidate start s exactly offset
  // records after m, when the records between are all the walk meets.
  std::uint16_t Count() {
    const std::size_t m = record_starts_.size() - 1;
    if (Pick(1000000) < shape_.zero_per_million) return 0;
    if (shape_.one_count_runs) return RunCount(m);
    if (Pick(100000) < shape_.aimed_per_100k) {
      aimed_ = true;
      return Targeted(m, 0);
    }
    if (Pick(100000) < shape_.small_per_100k) return static_cast<std::uint16_t>(1 + Pick(3000));
    // Count 1 ends only a walk that starts on the record; 65535 ends every
    // walk that reaches it at index 65534.
    if (Pick(4) == 0) return static_cast<std::uint16_t>(1 + Pick(65535));
    return shape_.past_65535 ? 1 : 0xFFFF;
  }

  std::uint16_t Targeted(std::size_t m, std::size_t offset) {
    if (starts_.empty()) return 0xFFFF;
    // Mostly a recent start; sometimes the earliest one still in reach, so
    // that the walk ends near its last possible index.
    std::size_t pick = starts_.size() - 1 - static_cast<std::size_t>(Pick(static_cast<int>(std::min<std::size_t>(starts_.size(), 12))));
    if (Pick(6) == 0) {
      pick = static_cast<std::size_t>(std::lower_bound(starts_.begin(), starts_.end(), m > 65534 ? m - 65534 : 0) - starts_.begin());
    }
    const std::size_t count = m - starts_[pick] + 1 + offset;
    return count <= 0xFFFF ? static_cast<std::uint16_t>(count) : 0xFFFF;
  }

  // Runs of one count, each aimed at a walk: to end inside the run, at its
  // first record, or just past its end (which must not end it).
  std::uint16_t RunCount(std::size_t m) {
    if (run_left_ == 0) {
      run_left_ = static_cast<std::size_t>(300 + Pick(2000));
      const int kind = Pick(4);
      const std::size_t offset = kind == 0 ? 0 : kind == 1 ? run_left_ : static_cast<std::size_t>(Pick(static_cast<int>(run_left_)));
      run_count_ = kind == 3 ? 0xFFFF : Targeted(m, offset);
      aimed_ = kind == 0;
    }
    --run_left_;
    return run_count_;
  }

  // Mostly the sectors of the first sixteen tracks, so that their lookups
  // find something often.
  Bytes RecordId() {
    const int track = Pick(4) == 0 ? Pick(kTracks) : Pick(16);
    const auto c = static_cast<std::uint8_t>(track / 2);
    const auto h = static_cast<std::uint8_t>(track % 2);
    return Pick(20) == 0 ? Bytes{c, h, 1, 2} : Bytes{c, h, Byte(1, 4), 3};
  }

  std::uint16_t DataLength() {
    if (shape_.max_data == 0 || Pick(3) != 0) return 0;
    return static_cast<std::uint16_t>(Pick(Pick(8) == 0 ? shape_.max_data + 1 : 64));
  }

  void AppendRecord(Bytes& body) {
    if (Pick(shape_.start_every) == 0) starts_.push_back(record_starts_.size());
    record_starts_.push_back(body.size());
    // Most records carry IDs no lookup asks for, so that walks go far; a
    // record that ends a walk often carries one, to find a sector on the
    // very record that ends the walk.
    aimed_ = false;
    const std::uint16_t count = Count();
    // The hits are spread over sixteen tracks' sectors, so each is drawn
    // sixteen times as often as one track's would be.
    Bytes header = Pick(100000) < 16 * shape_.hit_per_100k || (aimed_ && Pick(3) == 0)
                       ? RecordId()
                       : Bytes{Byte(0x80, 0xFF), Byte(0, 255), Byte(0, 255), 3};
    header.resize(16, 0);
    const std::uint16_t length = DataLength();
    header[4] = static_cast<std::uint8_t>(count);
    header[5] = static_cast<std::uint8_t>(count >> 8);
    header[7] = Pick(4) == 0 ? 0x10 : 0x00;
    header[8] = Pick(4) == 0 ? 0xB0 : 0x00;
    header[14] = static_cast<std::uint8_t>(length);
    header[15] = static_cast<std::uint8_t>(length >> 8);
    body.insert(body.end(), header.begin(), header.end());
    for (int i = 0; i < length; ++i) body.push_back(Byte(0, 255));
  }

  // Mostly the start of a record of the part [from, to) of the body;
  // sometimes any byte of it, which starts a chain of its own that may or
  // may not fall onto the records; sometimes absent.
  std::uint32_t TrackOffset(std::size_t from, std::size_t to) {
    const int kind = Pick(10);
    if (kind == 0 || to <= from) return 0;
    const auto first = std::lower_bound(starts_.begin(), starts_.end(), from,
                                        [this](std::size_t s, std::size_t at) {
                                          return record_starts_[s] < at;
                                        });
    const auto end = std::lower_bound(first, starts_.end(), to,
                                      [this](std::size_t s, std::size_t at) {
                                        return record_starts_[s] < at;
                                      });
    const std::size_t at =
        kind <= 2 || first == end
            ? from + static_cast<std::size_t>(Pick(static_cast<int>(to - from)))
            : record_starts_[first[Pick(static_cast<int>(end - first))]];
    return static_cast<std::uint32_t>(kHeaderSize + at - from);
  }

  Shape shape_;
  std::mt19937 random_;
  std::vector<std::size_t> record_starts_;
  // Records that tracks start at: the walks the counts are aimed at.
  std::vector<std::size_t> starts_;
  std::vector<std::int64_t> disk_starts_;
  std::uint16_t run_count_ = 0xFFFF;
  std::size_t run_left_ = 0;
  bool aimed_ = false;
};

// A shape prints as what it is, not as its bytes, whose pointer would give
// the test a new name on every run.
void PrintTo(const Shape& shape, std::ostream* out) { *out << shape.what; }

// What a shape is, as a test name: its words run together, each capitalised.
std::string TestName(const Shape& shape) {
  std::string name;
  bool word_start = true;
  for (const char* c = shape.what; *c != '\0'; ++c) {
    const unsigned char byte = static_cast<unsigned char>(*c);
    if (std::isalnum(byte) != 0) {
      name += word_start ? static_cast<char>(std::toupper(byte)) : *c;
    }
    word_start = std::isalnum(byte) == 0;
  }
  return name;
}

class WalkDifferentialTest : public ::testing::TestWithParam<Shape> {
 protected:
  d88test::ScratchDir scratch;
  d88::D88Image image;
};

std::string Describe(const Bytes& id, int track) {
  return "track " + std::to_string(track) + " id " + std::to_string(id[0]) + "," +
         std::to_string(id[1]) + "," + std::to_string(id[2]) + "," + std::to_string(id[3]);
}

// Each lookup is asked twice, in a shuffled order, so that kept outcomes
// answer as well as fresh walks. Lookups of size code 3 come first: each
// size code has a pass of its own.
TEST_P(WalkDifferentialTest, FindSectorMatchesThePlainWalk) {
  const Shape& shape = GetParam();
  int found = 0;
  int asked = 0;
  for (std::uint32_t seed = 1; seed <= 3; ++seed) {
    ImageMaker maker(shape, seed * 7919u);
    const Bytes file = maker.Make();
    ASSERT_TRUE(image.Open(scratch.Write("diff.d88", file).string().c_str()));
    ASSERT_EQ(image.DiskCount(), shape.disks) << shape.what;
    std::vector<std::tuple<int, int, Bytes>> lookups;
    for (int disk = 0; disk < shape.disks; ++disk) {
      // The first sixteen tracks, and a sample of the others.
      for (int track = 0; track < kTracks; track += track < 16 ? 1 : 9) {
        for (const Bytes& id : ImageMaker::LookupIds(track)) lookups.push_back({disk, track, id});
      }
    }
    auto twice = lookups;
    twice.insert(twice.end(), lookups.begin(), lookups.end());
    std::shuffle(twice.begin(), twice.end(), std::mt19937(seed));
    std::stable_partition(twice.begin(), twice.end(),
                          [](const auto& lookup) { return std::get<2>(lookup)[3] == 3; });
    asked += static_cast<int>(twice.size());
    int selected = -1;
    for (const auto& [disk, track, id] : twice) {
      if (disk != selected) {
        ASSERT_TRUE(image.SelectDisk(disk));
      }
      selected = disk;
      const d88::SectorInfo want =
          ReferenceFind(file, track, id, maker.DiskStarts()[static_cast<std::size_t>(disk)]);
      const d88::SectorInfo got = image.FindSector(track, id[0], id[1], id[2], id[3]);
      ASSERT_EQ(got.found, want.found) << shape.what << " seed " << seed << " disk " << disk << " "
                                       << Describe(id, track);
      if (!want.found) continue;
      ++found;
      ASSERT_EQ(got.data_position, want.data_position) << shape.what << " " << Describe(id, track);
      ASSERT_EQ(got.data_length, want.data_length) << shape.what;
      ASSERT_EQ(got.deleted_mark, want.deleted_mark) << shape.what;
      ASSERT_EQ(got.status, want.status) << shape.what;
    }
    // The walks went far enough to be answered by the pass.
    EXPECT_GT(image.LongWalkPasses(), 0) << shape.what;
  }
  // Both outcomes must be well represented for the comparison to mean much.
  EXPECT_GT(found, asked / 100) << shape.what;
  EXPECT_LT(found, asked * 9 / 10) << shape.what;
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, WalkDifferentialTest,
    ::testing::Values(
        Shape{"short records, counts that end walks", 400000, 300, 100, 100, 20, false, false, 40, 100, false},
        Shape{"long data spanning blocks", 600000, 30000, 100, 100, 5, false, true, 10, 100, false},
        Shape{"stretches of one count", 500000, 200, 0, 0, 10, true, false, 40, 50, false},
        Shape{"16-byte records past index 65535", 1600000, 0, 10, 0, 0, false, true, 500, 8, true},
        Shape{"four disks whose walks meet", 500000, 200, 100, 100, 10, false, true, 40, 100, false, 4},
        Shape{"stretches of one count across eight disks", 600000, 100, 0, 0, 5, true, false, 40, 50, false, 8}),
    [](const ::testing::TestParamInfo<Shape>& param) {
      return TestName(param.param);
    });

}  // namespace

namespace {

// Hand-made chains of 16-byte records where a walk is known to end, or not,
// far beyond where the reader stops walking and takes the pass's answer.
struct Aimed {
  const char* what;
  int records;
  std::uint16_t default_count;
  std::vector<std::pair<int, std::uint16_t>> counts;  // record -> count
  std::vector<int> with_id;   // records carrying the ID looked up
  int start;                  // the record track 0 starts at
  int expected;               // the record found, or -1
};

Bytes AimedImage(const Aimed& c) {
  Bytes body(static_cast<std::size_t>(c.records) * 16, 0);
  for (int k = 0; k < c.records; ++k) {
    std::uint8_t* record = body.data() + 16 * k;
    record[0] = 0x90;
    record[3] = 3;
    std::uint16_t count = c.default_count;
    for (const auto& [at, value] : c.counts) {
      if (at == k) count = value;
    }
    // Records 9000..9099 of the run case share one count.
    if (c.counts.size() == 3 && k > 9000 && k < 9099) count = c.counts[0].second;
    record[4] = static_cast<std::uint8_t>(count);
    record[5] = static_cast<std::uint8_t>(count >> 8);
  }
  // Track 0's sector 5; the others name cylinder 0x90, no track's own.
  for (int k : c.with_id) {
    body[static_cast<std::size_t>(16 * k)] = 0;
    body[static_cast<std::size_t>(16 * k + 2)] = 5;
  }
  Bytes file = d88test::DiskBuilder("AIM")
                   .SetSizeField(0xFFFFFFFFu)
                   .SetTrackOffset(0, static_cast<std::uint32_t>(
                                          kHeaderSize + static_cast<std::size_t>(
                                                            16 * c.start)))
                   .Build();
  file.insert(file.end(), body.begin(), body.end());
  return file;
}

TEST(AimedWalkTest, EndsDeepInTheChainAreExact) {
  const Aimed cases[] = {
      {"ends at record 9000, sector after it", 20000, 0xFFFF, {{9000, 9001}}, {9001, 15000}, 0, -1},
      {"sector on the very record that ends", 20000, 0xFFFF, {{9000, 9001}}, {9000, 12000}, 0, 9000},
      {"the end is another walk's", 20000, 0xFFFF, {{9000, 9001}}, {9001}, 10, 9001},
      {"one count for all: ends at index 4999", 20000, 5000, {{0, 0xFFFF}}, {4999, 5000}, 0, 4999},
      {"one count for all: one past the end", 20000, 5000, {{0, 0xFFFF}}, {5000}, 0, -1},
      {"one count, started later", 20000, 5000, {{0, 0xFFFF}, {3, 0xFFFF}}, {5002}, 3, 5002},
      {"count 65535 ends at index 65534", 70000, 0xFFFF, {}, {65535}, 0, -1},
      {"count 65535, found at index 65534", 70000, 0xFFFF, {}, {65534}, 0, 65534},
      {"past 65535 nothing ends", 90000, 1, {{0, 0xFFFF}, {70000, 2}}, {85000}, 0, 85000},
      {"count 0 deep in the chain", 30000, 0xFFFF, {{20000, 0}}, {20000, 20001, 26000}, 0, -1},
      {"a run whose count would end the walk one record on", 20000, 0xFFFF,
       {{9000, 9101}, {9050, 9101}, {9099, 9101}}, {9101}, 0, 9101},
      {"mixed counts where index 65534 comes", 80000, 0xFFFF,
       {{69590, 1}, {69591, 7}, {69592, 1}, {69593, 7}, {69594, 1}, {69595, 7}},
       {73599, 76000}, 4064, -1},
      {"count 0 after the sector", 30000, 0xFFFF, {{20000, 0}}, {19999}, 0, 19999},
  };
  d88test::ScratchDir scratch;
  for (const Aimed& c : cases) {
    const Bytes file = AimedImage(c);
    // The reader's fixed tables are larger than a Windows thread's stack;
    // every Open starts it afresh.
    static d88::D88Image image;
    ASSERT_TRUE(image.Open(scratch.Write("aim.d88", file).string().c_str()));
    ASSERT_TRUE(image.SelectDisk(0));
    const Bytes id = {0, 0, 5, 3};
    const d88::SectorInfo want = ReferenceFind(file, 0, id);
    const d88::SectorInfo got = image.FindSector(0, 0, 0, 5, 3);
    ASSERT_EQ(want.found, c.expected >= 0) << c.what << ": the case itself is wrong";
    EXPECT_EQ(got.found, want.found) << c.what;
    if (c.expected >= 0) {
      EXPECT_EQ(got.data_position,
                static_cast<std::int64_t>(kHeaderSize + 16 * static_cast<std::size_t>(c.expected) + 16))
          << c.what;
    }
  }
}

}  // namespace

namespace {

// Four disks, each a header, 164 records that its tracks start at, and
// every sector number of every track, which no count ends. Each disk's walks
// meet all 256 sectors of their own track before they run on into the next
// disk and meet its walks: 167,936 first meetings, none shared, more than
// the pass has room for. Each disk's name reads as a record whose data
// jumps over the rest of its header.
Bytes EveryDiskMeetsEverySector(int disks) {
  const std::size_t lead = 16 * static_cast<std::size_t>(kTracks);
  const std::size_t sectors = 16 * 256 * static_cast<std::size_t>(kTracks);
  Bytes file;
  for (int d = 0; d < disks; ++d) {
    d88test::DiskBuilder disk("LEAD");
    disk.SetSizeField(d + 1 == disks ? 0xFFFFFFFFu : static_cast<std::uint32_t>(kHeaderSize + lead + sectors));
    for (int track = 0; track < kTracks; ++track) {
      disk.SetTrackOffset(track, static_cast<std::uint32_t>(kHeaderSize + 16 * static_cast<std::size_t>(track)));
    }
    Bytes header = disk.Build();
    const std::uint8_t jump[16] = {0x90, 0, 0, 3, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0,
                                   static_cast<std::uint8_t>(kHeaderSize - 16),
                                   static_cast<std::uint8_t>((kHeaderSize - 16) >> 8)};
    std::copy(jump, jump + 16, header.begin());
    file.insert(file.end(), header.begin(), header.end());
    for (int track = 0; track < kTracks; ++track) {
      file.insert(file.end(), {0x90, 0, 0, 3, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    }
    for (int r = 0; r < 256; ++r) {
      for (int track = 0; track < kTracks; ++track) {
        file.insert(file.end(), {static_cast<std::uint8_t>(track / 2), static_cast<std::uint8_t>(track % 2),
                                 static_cast<std::uint8_t>(r), 3, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
      }
    }
  }
  return file;
}

TEST(LongWalkRoomTest, AnswersStayExactPastTheRoomForAnswers) {
  constexpr int kDisks = 4;
  const Bytes file = EveryDiskMeetsEverySector(kDisks);
  d88test::ScratchDir scratch;
  static d88::D88Image image;
  ASSERT_TRUE(image.Open(scratch.Write("room.d88", file).string().c_str()));
  ASSERT_EQ(image.DiskCount(), kDisks);
  const std::int64_t disk_bytes = static_cast<std::int64_t>(kHeaderSize) + 16 * kTracks * 257;
  int found = 0;
  int asked = 0;
  for (int disk = 0; disk < kDisks; ++disk) {
    ASSERT_TRUE(image.SelectDisk(disk));
    for (int track = disk; track < kTracks; track += 23) {
      for (int r : {0, 1, 77, 255}) {
        const Bytes id = {static_cast<std::uint8_t>(track / 2), static_cast<std::uint8_t>(track % 2),
                          static_cast<std::uint8_t>(r), 3};
        const d88::SectorInfo want = ReferenceFind(file, track, id, disk * disk_bytes);
        const d88::SectorInfo got = image.FindSector(track, id[0], id[1], id[2], id[3]);
        ASSERT_EQ(got.found, want.found) << "disk " << disk << " " << Describe(id, track);
        EXPECT_EQ(got.data_position, want.data_position) << "disk " << disk << " " << Describe(id, track);
        found += want.found ? 1 : 0;
        ++asked;
      }
    }
  }
  // Every sector is there; the later disks needed passes of their own.
  EXPECT_EQ(found, asked);
  EXPECT_GT(image.LongWalkPasses(), 1);
}

}  // namespace

namespace {

// Interleaved chains, one from each of 100 tracks: row k holds record k of
// every chain, each record's data stepping over the other 99, so that the
// walks never meet and the pass follows all of them side by side.
Bytes InterleavedChains(int chains, int rows) {
  const std::size_t stride = 16 * static_cast<std::size_t>(chains);
  Bytes body(stride * static_cast<std::size_t>(rows), 0);
  for (int row = 0; row < rows; ++row) {
    for (int chain = 0; chain < chains; ++chain) {
      std::uint8_t* record = body.data() + stride * static_cast<std::size_t>(row) + 16 * static_cast<std::size_t>(chain);
      record[0] = static_cast<std::uint8_t>(chain / 2);
      record[1] = static_cast<std::uint8_t>(chain % 2);
      record[2] = static_cast<std::uint8_t>(row);
      record[3] = static_cast<std::uint8_t>(4 + row / 256 % 200);
      record[4] = record[5] = 0xFF;
      const std::size_t length = stride - 16;
      record[14] = static_cast<std::uint8_t>(length);
      record[15] = static_cast<std::uint8_t>(length >> 8);
    }
  }
  d88test::DiskBuilder disk("CHAINS");
  disk.SetSizeField(0xFFFFFFFFu);
  for (int chain = 0; chain < chains; ++chain) {
    disk.SetTrackOffset(chain, static_cast<std::uint32_t>(kHeaderSize + 16 * static_cast<std::size_t>(chain)));
  }
  Bytes file = disk.Build();
  file.insert(file.end(), body.begin(), body.end());
  return file;
}

TEST(LongWalkRoomTest, InterleavedChainsKeepTheirOwnAnswers) {
  constexpr int kChains = 100;
  constexpr int kRows = 7000;
  const Bytes file = InterleavedChains(kChains, kRows);
  d88test::ScratchDir scratch;
  static d88::D88Image image;
  ASSERT_TRUE(image.Open(scratch.Write("chains.d88", file).string().c_str()));
  ASSERT_TRUE(image.SelectDisk(0));
  // A late row of chains 7 and 93, asked of every track: only their own
  // tracks hold them. And a row with another size code than its own.
  const int last_row = kRows - 5;
  const auto n = static_cast<std::uint8_t>(4 + last_row / 256 % 200);
  const auto r = static_cast<std::uint8_t>(last_row);
  const std::vector<Bytes> ids = {{3, 1, r, n}, {46, 1, r, n}, {3, 1, 0, 3}};
  int found = 0;
  for (int track = 0; track < kChains; ++track) {
    for (const Bytes& id : ids) {
      const d88::SectorInfo want = ReferenceFind(file, track, id);
      const d88::SectorInfo got = image.FindSector(track, id[0], id[1], id[2], id[3]);
      ASSERT_EQ(got.found, want.found) << Describe(id, track);
      EXPECT_EQ(got.data_position, want.data_position) << Describe(id, track);
      found += want.found ? 1 : 0;
    }
  }
  EXPECT_EQ(found, 2);
}

}  // namespace
