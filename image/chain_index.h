// A shared index of the record chains that long track walks run through.
//
// A walk from a track's start reads record after record until it meets the
// sector it looks for or ends. On a damaged track it may not end for a long
// time, and then every lookup from every track that leads into the same
// records would read them all again: crafted images made that cost grow
// with the square of the file's size.
//
// The record after a record depends only on that record (it starts 16 +
// data length bytes on), so the chain from a file position is the same for
// every walk that reaches it. Where a walk ends by its count is a property
// of its start, known beforehand as a file position (see WalkEnds); with it,
// what a walk asks of the chain is the same for every walk: the first record
// with this ID from here on.
//
// The file is cut into blocks of kBlockSize bytes, and blocks into grains
// of kGrainSize. A segment is a stretch of a chain within one block. A walk
// that has gone far switches to segments as soon as it crosses into a new
// grain (see kGrainSize), at the chain's first record in that grain; so does
// every other walk on the same chain, so those records, a chain's first in
// each grain, are where walks meet. Each is an anchor: its segment and its
// offset there. A walk that stands on an anchor crosses the rest of its
// segment; on a record that is none, it makes a segment from there to the
// end of the block, which stops short at the first anchor of another
// segment that it reaches. So a record belongs to one segment, or to two
// only where two chains join within a grain. (A grain's first record is an
// anchor only kAnchorSpacing records or more after the segment's previous
// one: a chain sparse enough to have few records in each grain would
// otherwise need an anchor per record; a walk that stands on a record
// that is none reads at most that many records twice.)
//
// A segment's records are read once, when it is made, and it keeps an entry
// for each of them: a 32-bit fingerprint of the ID and the record's offset.
// The fingerprint is a hash under a key drawn anew for every file, so no
// image can be made whose IDs collide with the ones looked up. Entries are
// put in 2^b buckets by the fingerprint's top b bits, b growing with the
// segment so that a bucket holds about 8 of them, and each keeps the lowest
// 16 bits and the offset: a walk crosses a segment by reading a few entries
// of one bucket instead of up to 4096 records. An entry that matches is
// checked against the record's header, which the lookup reads anyway when
// it is the sector, and is a different ID about once in 8,000 segments
// crossed.
//
// All memory is fixed, about 4.6 MiB: 4.25 bytes per record for a file of
// up to 16 MiB of 16-byte records. A larger file could hold more records
// than that, so for it each segment keeps a Bloom filter of its IDs
// instead, under the same key, with as many bits per record as the room
// gives for the most records the file can hold (16 for 32 MiB, 8 for
// 64 MiB): a walk reads a segment's records again only when the filter
// lets its ID through, which it does for a segment without the ID about
// once in 2,000 at 16 bits and once in 50 at 8. What such a reading finds
// is kept in a small table, since the same IDs are looked up on every disk.
// The cost of a lookup then grows with the file's size times that rate,
// and memory stays the same.
// Past the room for segments or anchors, segments are still made but keep
// nothing, and are read again at every crossing; nothing kept is dropped.
#pragma once

#include <cstdint>

#include "d88_format.h"
#include "image_file.h"
#include "walk_ends.h"

namespace d88 {

class ChainIndex {
 public:
  static constexpr std::int64_t kBlockSize = 65536;
  // Records are at least 16 bytes long, so no more start in one block.
  static constexpr int kMaxSegmentRecords = 4096;
  // A walk that has gone this many records, or this many bytes from its
  // track's start, switches to segments at the next grain boundary it
  // crosses: walks on one chain meet at the grain's first record, so the
  // segments they build from there are shared, and no walk reads more than
  // a grain of records one by one before it switches.
  static constexpr std::int64_t kPlainSteps = 64;
  static constexpr std::int64_t kPlainBytes = 64 * 1024;
  static constexpr std::int64_t kGrainSize = 4096;
  // Room for the entries of 16 MiB of 16-byte records, and for anchors (a
  // segment has one at least, at its start; a block at most 16 per chain).
  static constexpr std::uint32_t kMaxEntries = 1u << 20;
  static constexpr int kMaxAnchors = 32768;
  static constexpr int kMaxSegments = 16384;
  static constexpr int kAnchorSpacing = 64;
  // A bucket for every 8 entries or fewer, and one more, per segment.
  static constexpr std::uint32_t kMaxBucketStarts =
      kMaxEntries / 4 + 2 * kMaxSegments;

  enum class Outcome { kFound, kEnded, kGoOn };
  struct Step {
    Outcome outcome;
    // kFound: the found record's header. kGoOn: where the walk goes on.
    std::int64_t position;
  };

  // Crosses the segment from the record at position for a walk that looks
  // for id and compares IDs up to the record at position last (inclusive).
  // position is the chain's first record in its grain.
  Step Cross(ImageFile& file, std::int64_t position, std::uint32_t id,
             std::int64_t last);
  // Forgets every segment, which describe one file only, and draws a new
  // fingerprint key.
  void Clear();

  // The room of the entries, lent to WalkEnds while it follows the walks:
  // that is done before any segment is made. Forgets every segment.
  WalkEnds::Workspace& LendRoom();

  // How much of the room is taken, for tests and the benchmark.
  int SegmentCount() const { return segment_count_; }
  int AnchorCount() const { return anchor_count_; }
  std::uint32_t EntryCount() const { return entry_count_; }
  int FilterBits() const { return filter_bits_; }

 private:
  struct Segment {
    std::int64_t start;
    std::int64_t next;           // position of the record after the last one
    std::uint32_t entries_begin;
    std::uint32_t buckets_begin;  // 2^bucket_bits + 1 bucket starts
    std::uint16_t records;       // how many records the segment holds
    std::uint8_t bucket_bits;
    bool terminated;             // the chain ends at next: cut header or count 0
    bool kept;                   // the entries are kept
    bool filtered;               // a Bloom filter is kept in their place
  };
  // A chain's first record in a grain: the segment that holds it, and its
  // offset from the segment's start.
  struct Anchor {
    std::uint16_t segment;
    std::uint16_t offset;
  };
  struct Place {
    Segment* segment;
    std::uint32_t offset;
  };
  static constexpr std::int64_t kNone = -1;
  static constexpr int kHashSlots = 2 * kMaxAnchors;  // a power of two
  static_assert(kHashSlots <= 65536, "slots hold an anchor number in 16 bits");

  void Forget();
  const Anchor* FindAnchor(std::int64_t position) const;
  std::int64_t PositionOf(const Anchor& anchor) const {
    return segments_[anchor.segment].start + anchor.offset;
  }
  Place Build(ImageFile& file, std::int64_t start);
  Segment ReadSegment(ImageFile& file, std::int64_t start);
  void KeepEntries(Segment& segment);
  void ChooseForm(ImageFile& file);
  void KeepFilter(Segment& segment);
  std::uint32_t FilterWords(const Segment& segment) const;
  bool FilterMayHold(const Segment& segment, std::uint32_t fingerprint) const;
  std::int64_t FilteredMatch(ImageFile& file, const Place& place,
                             std::uint32_t id, std::uint32_t fingerprint);
  void AddAnchors(int segment);
  void AddAnchor(std::int64_t position, int segment, std::uint32_t offset);
  static std::uint32_t SlotOf(std::int64_t position);
  std::uint32_t Fingerprint(std::uint32_t id) const;
  std::int64_t FirstMatch(ImageFile& file, const Place& place,
                          std::uint32_t id);
  static int BucketBits(int records);
  static std::int64_t ReadForMatch(ImageFile& file, const Place& place,
                                   std::uint32_t id);
  static bool HasId(ImageFile& file, std::int64_t position, std::uint32_t id);

  // The counts and settings come first, together: a run that never needs
  // the index reads and writes only them, and so touches one page of it.
  std::uint32_t key_ = 0;
  int segment_count_ = 0;
  int anchor_count_ = 0;
  int grain_first_count_ = 0;
  std::uint32_t entry_count_ = 0;
  std::uint32_t bucket_count_ = 0;
  bool found_used_ = false;
  // Chosen when the first segment is made: filter_bits_ stays 0 when the
  // file cannot hold more records than there is room for entries, otherwise
  // it is the Bloom filters' bits per record, with their number of hashes.
  // Every member starts as zero bytes, so that a static reader takes no room
  // in the program file.
  bool form_chosen_ = false;
  int filter_bits_ = 0;
  int filter_hashes_ = 0;
  Segment segments_[kMaxSegments] = {};
  // A segment for which the table has no room: made again on every use.
  Segment spare_ = {};
  Anchor anchors_[kMaxAnchors] = {};
  // 0 is free, otherwise the anchor's slot in anchors_ plus one.
  std::uint16_t hash_[kHashSlots] = {};
  // The segment's start and the first records of later grains that are to
  // be its anchors, while it is read.
  std::int64_t grain_firsts_[kBlockSize / kGrainSize] = {};
  // Each kept segment's entries, bucket after bucket, each bucket sorted:
  // the fingerprint's lowest 16 bits, then the offset. Each segment's bucket
  // starts (indexes into its entries) follow one another in buckets.
  struct Entries {
    std::uint32_t entries[kMaxEntries];
    std::uint16_t buckets[kMaxBucketStarts];
  };
  union Room {
    Entries entries;
    WalkEnds::Workspace walks;
  };
  Room room_ = {};
  // What reading a filtered segment found: the offset of its first record
  // with the ID, or kNothing; one slot per hash of segment and ID.
  struct Found {
    std::uint32_t id;
    std::uint32_t segment;  // its slot plus one; 0: the slot is empty
    std::uint32_t offset;
  };
  static constexpr std::uint32_t kNothing = 0xFFFFFFFFu;
  static constexpr std::uint32_t kFoundSlots = 8192;  // a power of two
  Found found_[kFoundSlots] = {};
  std::uint64_t scratch_[kMaxSegmentRecords] = {};
};

}  // namespace d88
