#include "walk_ends.h"

#include <algorithm>

#include "sector_header.h"

namespace d88 {

void WalkEnds::Clear() {
  computed_ = false;
  start_count_ = 0;
}

bool WalkEnds::LastCompared(std::int64_t start, std::int64_t* last) const {
  const std::int64_t* end = starts_ + start_count_;
  const std::int64_t* found = std::lower_bound(starts_, end, start);
  if (found == end || *found != start) return false;
  *last = lasts_[found - starts_];
  return true;
}

void WalkEnds::TakeStarts(const std::int64_t* starts, int count) {
  const int taken = count < kMaxStarts ? count : kMaxStarts;
  std::copy(starts, starts + taken, starts_);
  std::sort(starts_, starts_ + taken);
  start_count_ = static_cast<int>(std::unique(starts_, starts_ + taken) -
                                  starts_);
}

// Every walk begins as a group of its own, with key 0 (index 0, no steps).
// Groups are taken in order of position; groups that stand on the same
// record are merged before it is read, so no record is read twice.
void WalkEnds::Compute(ImageFile& file, const std::int64_t* starts,
                       int count, Workspace& work) {
  Clear();
  work_ = &work;
  TakeStarts(starts, count);
  work.heap_size = 0;
  for (std::int32_t& bucket : work.buckets) bucket = -1;
  // The starts are sorted, and an array in order is a heap already.
  for (int walk = 0; walk < start_count_; ++walk) {
    lasts_[walk] = kNoEnd;
    work.groups[walk] = {starts_[walk], 0, 0, -1, 0};
    Link(walk, walk, 0);
    work.heap[walk] = walk;
  }
  work.heap_size = start_count_;
  while (work.heap_size > 0) {
    int group = Pop();
    while (work.heap_size > 0 &&
           work.groups[work.heap[0]].position == work.groups[group].position) {
      group = Merge(group, Pop());
    }
    // A group steps on by itself while it stays before every other one.
    while (StepGroup(file, group)) {
      if (work.heap_size > 0 && !Before(group, work.heap[0])) {
        Push(group);
        break;
      }
    }
  }
  work_ = nullptr;
  computed_ = true;
}

bool WalkEnds::Before(int a, int b) const {
  return work_->groups[a].position < work_->groups[b].position;
}

// Reads the group's record and ends the walks it ends. True when some walk
// of the group goes on to the next record and may still end by its count.
bool WalkEnds::StepGroup(ImageFile& file, int group) {
  Workspace::Group& g = work_->groups[group];
  const SectorHeader record = ReadSectorHeader(file, g.position);
  if (!record.whole || record.count == 0) {
    // Nothing here is compared: the walks' last record is the one before.
    EndAll(group, g.position - 1);
    return false;
  }
  EndMatching(group, std::int64_t{record.count} - 1 - g.steps, g.position);
  if (g.walks == 0) return false;
  g.position = NextRecord(g.position, record);
  ++g.steps;
  // Every walk left is now past the last index a count can end.
  if (g.min_key + g.steps > kLastCountedIndex) {
    EndAll(group, kNoEnd);
    return false;
  }
  return true;
}

// The smaller group's walks join the larger one under new keys that keep
// each walk's index: index = key + steps in either group.
int WalkEnds::Merge(int a, int b) {
  if (work_->groups[a].walks < work_->groups[b].walks) std::swap(a, b);
  const std::int64_t shift = work_->groups[b].steps - work_->groups[a].steps;
  for (int walk = work_->groups[b].first; walk >= 0;) {
    const int next = work_->next_in_group[walk];
    const std::int64_t key = work_->key_of[walk] + shift;
    Unlink(walk);
    Link(walk, a, key);
    walk = next;
  }
  work_->groups[a].min_key = std::min(work_->groups[a].min_key, work_->groups[b].min_key + shift);
  return a;
}

void WalkEnds::EndMatching(int group, std::int64_t key, std::int64_t last) {
  for (int walk = work_->buckets[BucketOf(group, key)]; walk >= 0;) {
    const int next = work_->next_in_bucket[walk];
    if (work_->group_of[walk] == group && work_->key_of[walk] == key) EndWalk(walk, last);
    walk = next;
  }
}

void WalkEnds::EndAll(int group, std::int64_t last) {
  while (work_->groups[group].first >= 0) EndWalk(work_->groups[group].first, last);
}

void WalkEnds::EndWalk(int walk, std::int64_t last) {
  lasts_[walk] = last;
  Unlink(walk);
}

std::uint32_t WalkEnds::BucketOf(int group, std::int64_t key) {
  const auto mixed =
      (static_cast<std::uint64_t>(key) * 0x9E3779B97F4A7C15u) ^
      (static_cast<std::uint64_t>(group) * 0xC2B2AE3D27D4EB4Fu);
  return static_cast<std::uint32_t>(mixed >> 40) & (kBuckets - 1);
}

void WalkEnds::Link(int walk, int group, std::int64_t key) {
  Workspace::Group& g = work_->groups[group];
  work_->group_of[walk] = group;
  work_->key_of[walk] = key;
  work_->previous_in_group[walk] = -1;
  work_->next_in_group[walk] = g.first;
  if (g.first >= 0) work_->previous_in_group[g.first] = walk;
  g.first = walk;
  ++g.walks;
  const std::uint32_t bucket = BucketOf(group, key);
  work_->next_in_bucket[walk] = work_->buckets[bucket];
  work_->buckets[bucket] = walk;
}

void WalkEnds::Unlink(int walk) {
  Workspace::Group& g = work_->groups[work_->group_of[walk]];
  const int previous = work_->previous_in_group[walk];
  const int next = work_->next_in_group[walk];
  if (previous >= 0) {
    work_->next_in_group[previous] = next;
  } else {
    g.first = next;
  }
  if (next >= 0) work_->previous_in_group[next] = previous;
  --g.walks;
  std::int32_t* link = &work_->buckets[BucketOf(work_->group_of[walk], work_->key_of[walk])];
  while (*link != walk) link = &work_->next_in_bucket[*link];
  *link = work_->next_in_bucket[walk];
}

void WalkEnds::Push(int group) {
  int at = work_->heap_size++;
  while (at > 0) {
    const int parent = (at - 1) / 2;
    if (!Before(group, work_->heap[parent])) break;
    work_->heap[at] = work_->heap[parent];
    at = parent;
  }
  work_->heap[at] = group;
}

int WalkEnds::Pop() {
  const int top = work_->heap[0];
  const int moved = work_->heap[--work_->heap_size];
  int at = 0;
  for (;;) {
    int child = 2 * at + 1;
    if (child >= work_->heap_size) break;
    if (child + 1 < work_->heap_size && Before(work_->heap[child + 1], work_->heap[child])) {
      ++child;
    }
    if (!Before(work_->heap[child], moved)) break;
    work_->heap[at] = work_->heap[child];
    at = child;
  }
  if (work_->heap_size > 0) work_->heap[at] = moved;
  return top;
}

}  // namespace d88
