#include "long_walks.h"

#include <algorithm>

#include "sector_header.h"

namespace d88 {

namespace {

// Kept records' positions are 32-bit.
constexpr std::int64_t kLargestFile = 0xFFFFFFFFLL;
constexpr std::int64_t kNoEnd = INT64_MAX;

bool OwnerBefore(const LongWalks::TrackStart& a,
                 const LongWalks::TrackStart& b) {
  if (a.start != b.start) return a.start < b.start;
  if (a.track != b.track) return a.track < b.track;
  return a.disk < b.disk;
}

bool Has(const std::uint32_t* bits, int r) {
  return (bits[r / 32] >> (r % 32) & 1u) != 0;
}

}  // namespace

void LongWalks::Clear() {
  ForgetAnswers();
  first_disk_ = 0;
  end_disk_ = 0;  // no disk is kept
  passes_ = 0;
  owner_count_ = 0;
  walk_count_ = 0;
}

// Each try keeps the answers of the disks first_disk .. end_disk_ - 1; a
// try that runs out of room is given up and made again for fewer disks,
// chosen by the answers each disk had when the room ran out.
void LongWalks::Sweep(ImageFile& file, const TrackStart* tracks, int count,
                      int first_disk, int n) {
  size_code_ = n;
  first_disk_ = first_disk;
  // A file too large for the kept positions keeps none: its lookups walk.
  end_disk_ = file.Size() > kLargestFile ? first_disk : kMaxDisks;
  for (;;) {
    ++passes_;
    ForgetAnswers();
    TakeOwners(tracks, count);
    if (Follow(file)) {
      buckets_empty_ = true;
      break;
    }
    const int end = LastDiskThatFits();
    // One disk has at most 164 owners, each meeting at most 256 sectors:
    // far less than the room. Were it not so, nothing is kept and the
    // lookups walk.
    end_disk_ = end < end_disk_ ? end : first_disk_;
  }
}

// The fewest disks (at least one) whose answers so far take no more than
// half the room, so that the next try has room to go on.
int LongWalks::LastDiskThatFits() const {
  std::uint32_t sum = 0;
  int end = first_disk_ + 1;
  for (int disk = first_disk_; disk < end_disk_; ++disk) {
    sum += answers_of_disk_[disk];
    if (disk > first_disk_ && sum > kMaxKeys / 2) break;
    end = disk + 1;
  }
  return end;
}

void LongWalks::ForgetAnswers() {
  for (std::uint32_t i = 0; i < keys_; ++i) slots_[used_slots_[i]] = {};
  keys_ = 0;
  answers_kept_ = 0;
  std::fill(answers_of_disk_, answers_of_disk_ + kMaxDisks, 0u);
}

// One owner per distinct (start, track) among the disks of this try, and
// one walk per distinct start; each walk begins as a group of its own.
void LongWalks::TakeOwners(const TrackStart* tracks, int count) {
  static TrackStart sorted[kMaxTracks];
  int taken = 0;
  for (int i = 0; i < count && taken < kMaxTracks; ++i) {
    const TrackStart& t = tracks[i];
    if (t.disk >= first_disk_ && t.disk < end_disk_) sorted[taken++] = t;
  }
  std::sort(sorted, sorted + taken, OwnerBefore);
  owner_count_ = 0;
  walk_count_ = 0;
  if (!buckets_empty_) {
    std::fill(walk_buckets_, walk_buckets_ + kBuckets, kNone);
    std::fill(owner_buckets_, owner_buckets_ + kBuckets, kNone);
  }
  buckets_empty_ = false;
  for (int i = 0; i < taken; ++i) {
    const TrackStart& t = sorted[i];
    const bool new_walk = i == 0 || t.start != sorted[i - 1].start;
    if (!new_walk && t.track == sorted[i - 1].track) continue;
    if (new_walk) {
      first_owner_[walk_count_] = owner_count_;
      groups_[walk_count_] = {t.start, 0, 0, kNone, kNone, 0};
      LinkWalk(walk_count_, walk_count_, 0);
      heap_[walk_count_] = walk_count_;  // starts in order make a heap
      ++walk_count_;
    }
    Owner& owner = owners_[owner_count_];
    owner = {};
    owner.start = t.start;
    owner.walk = walk_count_ - 1;
    owner.track = static_cast<std::uint8_t>(t.track);
    owner.first_disk = static_cast<std::uint8_t>(t.disk);
    std::fill(owner.unmet, owner.unmet + 8, ~0u);
    owner.unmet_count = 256;
    LinkOwner(owner_count_, walk_count_ - 1);
    ++owner_count_;
  }
  first_owner_[walk_count_] = owner_count_;
  heap_size_ = walk_count_;
}

// Groups are taken in order of position; groups that stand on the same
// record are merged before it is read, so no record is read twice. False
// when the answers ran out of room.
bool LongWalks::Follow(ImageFile& file) {
  while (heap_size_ > 0) {
    int group = Pop();
    while (heap_size_ > 0 &&
           groups_[heap_[0]].position == groups_[group].position) {
      group = Merge(group, Pop());
    }
    // A group steps on by itself while it stays before every other one.
    for (;;) {
      const Step step = StepGroup(file, group);
      if (step == Step::kFull) return false;
      if (step == Step::kStop) break;
      if (heap_size_ > 0 && !Before(group, heap_[0])) {
        Push(group);
        break;
      }
    }
  }
  return true;
}

// Reads the group's record, offers it to the group's owners and ends the
// walks whose count ends there, in the order a single walk does.
LongWalks::Step LongWalks::StepGroup(ImageFile& file, int group) {
  Group& g = groups_[group];
  const SectorHeader record = ReadSectorHeader(file, g.position);
  if (!record.whole || record.count == 0) {
    EndAll(group);
    return Step::kStop;
  }
  if (!Offer(group, record.id, g.position)) return Step::kFull;
  EndMatching(group, std::int64_t{record.count} - 1 - g.steps);
  if (g.walks == 0) return Step::kStop;
  g.position = NextRecord(g.position, record);
  ++g.steps;
  return Step::kGoOn;
}

// The record is kept when an owner of the track its ID names meets its
// sector number here for the first time.
bool LongWalks::Offer(int group, std::uint32_t id, std::int64_t position) {
  const auto c = static_cast<int>(id & 0xFF);
  const auto h = static_cast<int>(id >> 8 & 0xFF);
  const auto r = static_cast<int>(id >> 16 & 0xFF);
  const auto n = static_cast<int>(id >> 24);
  if (n != size_code_ || h > 1 || 2 * c + h >= kTrackCount) return true;
  const int track = 2 * c + h;
  int disk = kMaxDisks;
  for (int o = owner_buckets_[BucketOf(group, track)]; o != kNone;) {
    Owner& owner = owners_[o];
    const int next = owner.next_in_bucket;
    if (owner.track == track && group_of_[owner.walk] == group &&
        Has(owner.unmet, r)) {
      owner.unmet[r / 32] &= ~(1u << (r % 32));
      disk = std::min(disk, int{owner.first_disk});
      // An owner that has met every sector number wants no more records.
      if (--owner.unmet_count == 0) UnlinkOwner(o);
    }
    o = next;
  }
  return disk == kMaxDisks || Keep(group, track, r, position, disk);
}

bool LongWalks::Keep(int group, int track, int r, std::int64_t position,
                     int disk) {
  if (answers_kept_ == kMaxAnswers) return false;
  const std::uint32_t key = KeyOf(group, track, r);
  std::uint32_t slot = FindSlot(key);
  if (slots_[slot].key == 0) {
    if (keys_ == kMaxKeys) return false;
    slots_[slot].key = key;
    used_slots_[keys_++] = slot;
  }
  kept_[answers_kept_] = {static_cast<std::uint32_t>(position),
                          slots_[slot].newest};
  slots_[slot].newest = ++answers_kept_;
  ++answers_of_disk_[disk];
  return true;
}

// The slot that holds key, or the empty one where it would go.
std::uint32_t LongWalks::FindSlot(std::uint32_t key) const {
  const std::uint64_t mixed = std::uint64_t{key} * 0x9E3779B97F4A7C15u;
  std::uint32_t slot = static_cast<std::uint32_t>(mixed >> 40) & (kSlots - 1);
  while (slots_[slot].key != 0 && slots_[slot].key != key) {
    slot = (slot + 1) & (kSlots - 1);
  }
  return slot;
}

std::uint32_t LongWalks::KeyOf(int group, int track, int r) {
  return (static_cast<std::uint32_t>(group) << 16 |
          static_cast<std::uint32_t>(track) << 8 |
          static_cast<std::uint32_t>(r)) + 1;
}

// The owner met the sector in one of the groups its walk was in: the first
// of them, from when the walk joined it to when it joined another, that
// kept the sector's record has its first record.
LongWalks::Answer LongWalks::Find(int disk, std::int64_t start, int track,
                                  int r, int n) const {
  const Answer not_kept = {Outcome::kNotKept, 0};
  if (n != size_code_ || disk < first_disk_ || disk >= end_disk_) {
    return not_kept;
  }
  const int o = OwnerOf(start, track);
  if (o == kNone) return not_kept;
  if (Has(owners_[o].unmet, r)) return {Outcome::kAbsent, 0};
  std::int64_t from = start;
  for (int g = owners_[o].walk; g != kNone; g = groups_[g].joined) {
    const std::int64_t to =
        groups_[g].joined == kNone ? kNoEnd : groups_[g].joined_at;
    const std::int64_t first = FirstKept(g, track, r, from, to);
    if (first != kNoEnd) return {Outcome::kFound, first};
    from = to;
  }
  return {Outcome::kAbsent, 0};  // not reached: a met sector was kept
}

// The first record kept for the group, track and sector number within
// [from, to). A list holds one record for each owner of the track that met
// the sector in the group: at most one per disk.
std::int64_t LongWalks::FirstKept(int group, int track, int r,
                                  std::int64_t from, std::int64_t to) const {
  const Slot& slot = slots_[FindSlot(KeyOf(group, track, r))];
  std::int64_t first = kNoEnd;
  for (std::uint32_t at = slot.key != 0 ? slot.newest : 0; at != 0;) {
    const Kept& kept = kept_[at - 1];
    const std::int64_t position = kept.position;
    if (position < from) break;  // newest first: the rest are earlier
    if (position < to) first = position;
    at = kept.before;
  }
  return first;
}

int LongWalks::OwnerOf(std::int64_t start, int track) const {
  int low = 0;
  int high = owner_count_;
  while (low < high) {
    const int middle = low + (high - low) / 2;
    const Owner& owner = owners_[middle];
    if (owner.start < start || (owner.start == start && owner.track < track)) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  if (low < owner_count_ && owners_[low].start == start &&
      owners_[low].track == track) {
    return low;
  }
  return kNone;
}

// The smaller group's walks join the larger one under new keys that keep
// each walk's index (index = key + steps in either group), and their owners
// with them. The smaller group keeps what it kept, for its walks' lookups.
int LongWalks::Merge(int a, int b) {
  if (groups_[a].walks < groups_[b].walks) std::swap(a, b);
  const std::int64_t shift = groups_[b].steps - groups_[a].steps;
  for (int walk = groups_[b].first; walk != kNone;) {
    const int next = next_in_group_[walk];
    const std::int64_t key = key_of_[walk] + shift;
    UnlinkWalk(walk);
    for (int o = first_owner_[walk]; o < first_owner_[walk + 1]; ++o) {
      UnlinkOwner(o);
    }
    LinkWalk(walk, a, key);
    for (int o = first_owner_[walk]; o < first_owner_[walk + 1]; ++o) {
      LinkOwner(o, a);
    }
    walk = next;
  }
  groups_[b].joined = a;
  groups_[b].joined_at = groups_[b].position;
  return a;
}

void LongWalks::EndMatching(int group, std::int64_t key) {
  for (int walk = walk_buckets_[BucketOf(group, key)]; walk != kNone;) {
    const int next = next_in_bucket_[walk];
    if (group_of_[walk] == group && key_of_[walk] == key) EndWalk(walk);
    walk = next;
  }
}

void LongWalks::EndAll(int group) {
  while (groups_[group].first != kNone) EndWalk(groups_[group].first);
}

// An ended walk's owners meet nothing more: what they met is all they have.
void LongWalks::EndWalk(int walk) {
  UnlinkWalk(walk);
  for (int o = first_owner_[walk]; o < first_owner_[walk + 1]; ++o) {
    UnlinkOwner(o);
  }
}

std::uint32_t LongWalks::BucketOf(int group, std::int64_t key) {
  const auto mixed =
      (static_cast<std::uint64_t>(key) * 0x9E3779B97F4A7C15u) ^
      (static_cast<std::uint64_t>(group) * 0xC2B2AE3D27D4EB4Fu);
  return static_cast<std::uint32_t>(mixed >> 40) & (kBuckets - 1);
}

void LongWalks::LinkWalk(int walk, int group, std::int64_t key) {
  Group& g = groups_[group];
  group_of_[walk] = group;
  key_of_[walk] = key;
  previous_in_group_[walk] = kNone;
  next_in_group_[walk] = g.first;
  if (g.first != kNone) previous_in_group_[g.first] = walk;
  g.first = walk;
  ++g.walks;
  const std::uint32_t bucket = BucketOf(group, key);
  next_in_bucket_[walk] = walk_buckets_[bucket];
  walk_buckets_[bucket] = walk;
}

void LongWalks::UnlinkWalk(int walk) {
  Group& g = groups_[group_of_[walk]];
  const int previous = previous_in_group_[walk];
  const int next = next_in_group_[walk];
  if (previous != kNone) {
    next_in_group_[previous] = next;
  } else {
    g.first = next;
  }
  if (next != kNone) previous_in_group_[next] = previous;
  --g.walks;
  std::int32_t* link = &walk_buckets_[BucketOf(group_of_[walk], key_of_[walk])];
  while (*link != walk) link = &next_in_bucket_[*link];
  *link = next_in_bucket_[walk];
}

// Owners are found by group and track; the group is their walk's.
void LongWalks::LinkOwner(int o, int group) {
  Owner& owner = owners_[o];
  if (owner.unmet_count == 0) return;
  owner.linked = true;
  const std::uint32_t bucket = BucketOf(group, owner.track);
  owner.previous_in_bucket = kNone;
  owner.next_in_bucket = owner_buckets_[bucket];
  if (owner.next_in_bucket != kNone) {
    owners_[owner.next_in_bucket].previous_in_bucket = o;
  }
  owner_buckets_[bucket] = o;
}

void LongWalks::UnlinkOwner(int o) {
  Owner& owner = owners_[o];
  if (!owner.linked) return;
  owner.linked = false;
  if (owner.previous_in_bucket != kNone) {
    owners_[owner.previous_in_bucket].next_in_bucket = owner.next_in_bucket;
  } else {
    owner_buckets_[BucketOf(group_of_[owner.walk], owner.track)] =
        owner.next_in_bucket;
  }
  if (owner.next_in_bucket != kNone) {
    owners_[owner.next_in_bucket].previous_in_bucket =
        owner.previous_in_bucket;
  }
}

bool LongWalks::Before(int a, int b) const {
  return groups_[a].position < groups_[b].position;
}

void LongWalks::Push(int group) {
  int at = heap_size_++;
  while (at > 0) {
    const int parent = (at - 1) / 2;
    if (!Before(group, heap_[parent])) break;
    heap_[at] = heap_[parent];
    at = parent;
  }
  heap_[at] = group;
}

int LongWalks::Pop() {
  const int top = heap_[0];
  const int moved = heap_[--heap_size_];
  int at = 0;
  for (;;) {
    int child = 2 * at + 1;
    if (child >= heap_size_) break;
    if (child + 1 < heap_size_ && Before(heap_[child + 1], heap_[child])) {
      ++child;
    }
    if (!Before(heap_[child], moved)) break;
    heap_[at] = heap_[child];
    at = child;
  }
  if (heap_size_ > 0) heap_[at] = moved;
  return top;
}

}  // namespace d88
