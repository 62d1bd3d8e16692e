// A shared index of the record chains that long track walks run through.
//
// A walk from a track's start reads record after record and stops at the
// sector it looks for, at a header cut short by the end of the file, at a
// record whose count field is 0, or after the record whose index in the walk
// equals its own count minus one. On a damaged track the last rule may not
// fire for a long time, and then every lookup from every track that leads
// into the same records reads them all again: crafted images made that cost
// grow with the square of the file's size.
//
// Two facts make the records shareable. The record after a record depends
// only on that record (it starts 16 + data length bytes on), so the chain
// from a file position is the same for every walk that reaches it. And the
// one rule that depends on the walk, "index == count - 1", can be answered for
// every index at once: record k of a stretch ends a walk that entered the
// stretch with index i exactly when count_k - 1 - k == i.
//
// The file is cut into blocks of kBlockSize bytes. A segment is the stretch
// of a chain from a record to the last record that starts in the same block,
// and it depends on its first record's position only. A walk that has gone
// kPlainSteps records without ending switches to segments as soon as it
// crosses into a new block; from then on every walk that reaches the same
// records uses the same segments, found by their start position, and crosses
// each one with two binary searches instead of up to 4096 reads. Only a
// segment that holds the ID looked for is read again, to find the record.
//
// All memory is fixed. When the pools are full, the index forgets every
// segment and starts over: answers stay exact, only the saving is lost.
#pragma once

#include <cstdint>

#include "image_file.h"

namespace d88 {

class ChainIndex {
 public:
  static constexpr std::int64_t kBlockSize = 65536;
  // Records are at least 16 bytes long, so no more start in one block.
  static constexpr int kMaxSegmentRecords = 4096;
  // A walk longer than this switches to segments at its next block.
  static constexpr std::int64_t kPlainSteps = 64;

  enum class Outcome { kFound, kEnded, kGoOn };
  struct Step {
    Outcome outcome;
    // kFound: the found record's header. kGoOn: where the walk goes on.
    std::int64_t position;
    // kGoOn: the walk's index at that position.
    std::int64_t index;
  };

  // Crosses the segment that starts at position for a walk that arrives
  // there with the given index, looking for id.
  Step Cross(ImageFile& file, std::int64_t position, std::int64_t index,
             std::uint32_t id);
  // Forgets every segment: they describe one file only.
  void Clear();

 private:
  struct Segment {
    std::int64_t start;
    std::int64_t next;      // position of the record after the last one
    std::uint16_t records;  // how many records the segment holds
    bool terminated;        // the chain ends at next: cut header or count 0
    bool ends_as_runs;      // ends holds runs rather than single entries
    std::uint32_t ids_begin;
    std::uint16_t ids_count;
    std::uint32_t ends_begin;
    std::uint16_t ends_count;
  };
  // As an entry: record `first` is the first to end a walk that entered
  // with index `value` (count - 1 - first); entries are sorted by value. As
  // a run: the records from `first` to the next run's first (or the last
  // record) all carry count `value`.
  struct EndEntry {
    std::uint16_t value;
    std::uint16_t first;
  };
  struct Scratch {
    std::uint32_t ids[kMaxSegmentRecords];
    std::uint16_t counts[kMaxSegmentRecords];
  };
  static constexpr std::int64_t kNone = INT64_MAX;
  struct Match {
    std::int64_t k;  // kNone when the segment does not hold the ID
    std::int64_t position;
  };

  static constexpr int kMaxSegments = 4096;
  static constexpr int kHashSlots = 2 * kMaxSegments;  // a power of two
  // The IDs of a chain of 16 MiB of 16-byte records, each one different.
  static constexpr std::uint32_t kMaxIds = 1024 * 1024;
  static constexpr std::uint32_t kMaxEnds = 256 * 1024;
  // A segment whose counts change more often keeps single entries.
  static constexpr int kMaxRuns = 4;

  const Segment* Find(std::int64_t start) const;
  const Segment* Build(ImageFile& file, std::int64_t start);
  Segment ReadSegment(ImageFile& file, std::int64_t start);
  bool HasRoom(const Segment& segment) const;
  void StoreIds(Segment& segment);
  void StoreEnds(Segment& segment);
  int CountRuns(int records) const;
  void Insert(const Segment& segment);
  static std::uint32_t SlotOf(std::int64_t start);
  Match FirstMatch(ImageFile& file, const Segment& segment,
                   std::uint32_t id) const;
  std::int64_t FirstEnd(const Segment& segment, std::int64_t index) const;

  Segment segments_[kMaxSegments] = {};
  int segment_count_ = 0;
  // 0 is free, otherwise the segment's slot in segments_ plus one.
  std::uint16_t hash_[kHashSlots] = {};
  // Each segment's distinct IDs, sorted.
  std::uint32_t ids_[kMaxIds] = {};
  std::uint32_t id_count_ = 0;
  EndEntry ends_[kMaxEnds] = {};
  std::uint32_t end_count_ = 0;
  Scratch scratch_ = {};
};

}  // namespace d88
