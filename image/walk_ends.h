// Where every track walk of a file ends, found in one pass for all of them.
//
// A walk from a track's first record stops at a header cut short by the end
// of the file, at a record whose count field is 0 (before its ID is looked
// at), or after the record whose index in the walk equals its own count minus
// one. The last rule is the only one that depends on where the walk began:
// two walks that meet on the same record arrive with different indexes and
// may stop at different records further on. But it is a property of the
// start alone, not of the sector looked for. Once it is known as a file
// position ("the last record whose ID this walk compares"), a lookup becomes
// a plain question about the chain of records: the first record with this
// ID on or after here, and is it at or before that position.
//
// Counts are 16-bit, so the rule can only fire within the first 65,535
// records of a walk; later only the first two rules end it, and those are
// facts of the chain that the chain index sees for itself.
//
// All walks are followed together, in order of file position, so that walks
// that meet go on as one: a record is read once however many walks pass it.
// A group of walks that have met keeps each walk under a key, its index
// minus the group's step count, which stays fixed while the group steps on;
// the walks that a record ends are those whose key equals count - 1 - steps,
// found by hashing. When two groups meet, the smaller one's walks are keyed
// anew into the larger, so a walk moves at most log2(walks) times.
#pragma once

#include <cstdint>

#include "d88_format.h"
#include "image_file.h"

namespace d88 {

class WalkEnds {
 public:
  static constexpr int kMaxStarts = kMaxDisks * kTrackCount;
  // A walk that no count ends: only the chain itself (a cut header or a
  // count of 0) can end it.
  static constexpr std::int64_t kNoEnd = INT64_MAX;
  // A count of 65535 ends a walk at index 65534; none ends one later.
  static constexpr std::int64_t kLastCountedIndex = 65534;

  // The state of the walks while they are followed, kept apart so that the
  // room can serve for something else before and after (see ChainIndex).
  struct Workspace;

  // Follows the walks from the given starts (any order, repeats allowed; at
  // most kMaxStarts are taken) and keeps where each one ends.
  void Compute(ImageFile& file, const std::int64_t* starts, int count,
               Workspace& work);
  bool Computed() const { return computed_; }
  // The position of the last record whose ID the walk from start compares,
  // or kNoEnd; false when start was not among those computed.
  bool LastCompared(std::int64_t start, std::int64_t* last) const;
  void Clear();

 private:
  static constexpr int kBuckets = 16384;  // a power of two

  void TakeStarts(const std::int64_t* starts, int count);
  bool StepGroup(ImageFile& file, int group);
  int Merge(int a, int b);
  void EndMatching(int group, std::int64_t key, std::int64_t last);
  void EndAll(int group, std::int64_t last);
  void EndWalk(int walk, std::int64_t last);
  void Link(int walk, int group, std::int64_t key);
  void Unlink(int walk);
  static std::uint32_t BucketOf(int group, std::int64_t key);
  void Push(int group);
  int Pop();
  bool Before(int a, int b) const;

  bool computed_ = false;
  int start_count_ = 0;
  Workspace* work_ = nullptr;  // set during Compute only
  std::int64_t starts_[kMaxStarts] = {};  // sorted, distinct
  std::int64_t lasts_[kMaxStarts] = {};   // the answer for each start

};

struct WalkEnds::Workspace {
  // Walks that have met, at the position of their next record.
  struct Group {
    std::int64_t position;
    std::int64_t steps;     // records this group has read
    std::int64_t min_key;   // no walk of the group has a smaller key
    std::int32_t first;     // first walk of the group's list, -1: none
    std::int32_t walks;     // how many are in the list
  };
  // Walk w began at starts_[w]; group g was made for walk g and keeps its
  // slot whatever joins it.
  Group groups[kMaxStarts];
  std::int32_t heap[kMaxStarts];
  int heap_size;
  std::int32_t group_of[kMaxStarts];
  std::int64_t key_of[kMaxStarts];
  std::int32_t next_in_group[kMaxStarts];
  std::int32_t previous_in_group[kMaxStarts];
  std::int32_t next_in_bucket[kMaxStarts];
  std::int32_t buckets[kBuckets];
};

}  // namespace d88
