#include "long_walks.h"

#include <algorithm>

#include "sector_header.h"

namespace d88 {

namespace {

constexpr int kSectorShift = 24;
constexpr std::uint32_t kBeforeMask = (1u << kSectorShift) - 1;
static_assert(LongWalks::kMaxAnswers < kBeforeMask, "answers link in 24 bits");
// Answers keep positions in 32 bits.
constexpr std::int64_t kLargestFile = 0xFFFFFFFFLL;
constexpr std::int64_t kNoEnd = INT64_MAX;

bool OwnerBefore(const LongWalks::TrackStart& a,
                 const LongWalks::TrackStart& b) {
  if (a.start != b.start) return a.start < b.start;
  if (a.track != b.track) return a.track < b.track;
  return a.disk < b.disk;
}

}  // namespace

void LongWalks::Clear() {
  swept_ = false;
  passes_ = 0;
  owner_count_ = 0;
  cohort_count_ = 0;
  walk_count_ = 0;
  answers_kept_ = 0;
}

// Each try keeps the answers of the disks first_disk .. end_disk_ - 1; a
// try that runs out of room is given up and made again for fewer disks,
// chosen by the answers each disk had when the room ran out.
void LongWalks::Sweep(ImageFile& file, const TrackStart* tracks, int count,
                      int first_disk, int n) {
  swept_ = true;
  size_code_ = n;
  first_disk_ = first_disk;
  // A file too large for the answers' positions keeps none: its lookups
  // walk.
  end_disk_ = file.Size() > kLargestFile ? first_disk : kMaxDisks;
  for (;;) {
    ++passes_;
    ForgetAnswers();
    TakeOwners(tracks, count);
    if (Follow(file)) break;
    const int end = LastDiskThatFits();
    // One disk has at most 164 owners of 256 answers each, far less than
    // the room; were it not so, no answer is kept and lookups walk.
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
    if (disk > first_disk_ && sum > kMaxAnswers / 2) break;
    end = disk + 1;
  }
  return end;
}

void LongWalks::ForgetAnswers() {
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
  std::fill(walk_buckets_, walk_buckets_ + kBuckets, kNone);
  std::fill(cohort_buckets_, cohort_buckets_ + kBuckets, kNone);
  for (int i = 0; i < taken; ++i) {
    const TrackStart& t = sorted[i];
    const bool new_walk = i == 0 || t.start != sorted[i - 1].start;
    if (!new_walk && t.track == sorted[i - 1].track) continue;
    if (new_walk) {
      first_owner_[walk_count_] = owner_count_;
      groups_[walk_count_] = {t.start, 0, kNone, 0};
      LinkWalk(walk_count_, walk_count_, 0);
      heap_[walk_count_] = walk_count_;  // starts in order make a heap
      ++walk_count_;
    }
    const auto track = static_cast<std::uint8_t>(t.track);
    const auto disk = static_cast<std::uint8_t>(t.disk);
    owners_[owner_count_] = {t.start, kNoEnd, walk_count_ - 1, owner_count_,
                             track, disk};
    Cohort& cohort = cohorts_[owner_count_];
    cohort = {};
    std::fill(cohort.want, cohort.want + 8, ~0u);
    cohort.joined = kNone;
    cohort.live = 1;
    cohort.track = track;
    cohort.first_disk = disk;
    LinkCohort(owner_count_, walk_count_ - 1);
    ++owner_count_;
  }
  first_owner_[walk_count_] = owner_count_;
  cohort_count_ = owner_count_;
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

// Reads the group's record, offers it to the group's walks and ends the
// walks whose count ends there, in the order a single walk does.
LongWalks::Step LongWalks::StepGroup(ImageFile& file, int group) {
  Group& g = groups_[group];
  const SectorHeader record = ReadSectorHeader(file, g.position);
  if (!record.whole || record.count == 0) {
    // Nothing here is compared: the walks' last record is the one before.
    EndAll(group, g.position - 1);
    return Step::kStop;
  }
  if (!Offer(group, record.id, g.position)) return Step::kFull;
  EndMatching(group, std::int64_t{record.count} - 1 - g.steps, g.position);
  if (g.walks == 0) return Step::kStop;
  g.position = NextRecord(g.position, record);
  ++g.steps;
  return Step::kGoOn;
}

// A record is an answer for the group's cohorts of the track its ID names
// that still want its sector number.
bool LongWalks::Offer(int group, std::uint32_t id, std::int64_t position) {
  const auto c = static_cast<int>(id & 0xFF);
  const auto h = static_cast<int>(id >> 8 & 0xFF);
  const auto r = static_cast<int>(id >> 16 & 0xFF);
  const auto n = static_cast<int>(id >> 24);
  if (n != size_code_ || h > 1 || 2 * c + h >= kTrackCount) return true;
  const int track = 2 * c + h;
  for (int k = cohort_buckets_[BucketOf(group, track)]; k != kNone;
       k = cohorts_[k].next_in_bucket) {
    const Cohort& cohort = cohorts_[k];
    if (cohort.track != track || cohort.group != group) continue;
    if (Has(cohort.want, r) && !Keep(k, r, position)) return false;
  }
  return true;
}

bool LongWalks::Keep(int k, int r, std::int64_t position) {
  Cohort& cohort = cohorts_[k];
  if (answers_kept_ == kMaxAnswers) return false;
  cohort.want[r / 32] &= ~(1u << (r % 32));
  cohort.kept[r / 32] |= 1u << (r % 32);
  answers_[answers_kept_] = {
      static_cast<std::uint32_t>(position),
      static_cast<std::uint32_t>(r) << kSectorShift | cohort.answers};
  cohort.answers = ++answers_kept_;
  ++answers_of_disk_[cohort.first_disk];
  return true;
}

LongWalks::Answer LongWalks::Find(int disk, std::int64_t start, int track,
                                  int r, int n) const {
  const Answer not_kept = {Outcome::kNotKept, 0};
  if (!swept_ || n != size_code_ || disk < first_disk_ || disk >= end_disk_) {
    return not_kept;
  }
  const int o = OwnerOf(start, track);
  if (o == kNone) return not_kept;
  // The owner's cohorts in the order its walk met them: the first that met
  // the sector met it first.
  for (int k = o; k != kNone; k = cohorts_[k].joined) {
    if (!Has(cohorts_[k].kept, r)) continue;
    const std::int64_t position = AnswerOf(k, r);
    if (position > owners_[o].last) break;
    return {Outcome::kFound, position};
  }
  return {Outcome::kAbsent, 0};
}

std::int64_t LongWalks::AnswerOf(int k, int r) const {
  for (std::uint32_t at = cohorts_[k].answers; at != 0;) {
    const KeptAnswer& kept = answers_[at - 1];
    if (static_cast<int>(kept.sector_and_before >> kSectorShift) == r) {
      return kept.position;
    }
    at = kept.sector_and_before & kBeforeMask;
  }
  return kNoEnd;  // not reached: a kept bit has its answer
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
// each walk's index (index = key + steps in either group), and their
// cohorts with them.
int LongWalks::Merge(int a, int b) {
  if (groups_[a].walks < groups_[b].walks) std::swap(a, b);
  const std::int64_t shift = groups_[b].steps - groups_[a].steps;
  for (int walk = groups_[b].first; walk != kNone;) {
    const int next = next_in_group_[walk];
    const std::int64_t key = key_of_[walk] + shift;
    UnlinkWalk(walk);
    LinkWalk(walk, a, key);
    for (int o = first_owner_[walk]; o < first_owner_[walk + 1]; ++o) {
      const int k = Active(o);
      if (cohorts_[k].group == b) MoveCohort(k, a);
    }
    walk = next;
  }
  return a;
}

// A cohort of the track with the same wants becomes one with it.
void LongWalks::MoveCohort(int k, int group) {
  UnlinkCohort(k);
  Cohort& moved = cohorts_[k];
  for (int other = cohort_buckets_[BucketOf(group, moved.track)];
       other != kNone; other = cohorts_[other].next_in_bucket) {
    Cohort& met = cohorts_[other];
    if (met.track != moved.track || met.group != group ||
        !std::equal(met.want, met.want + 8, moved.want)) {
      continue;
    }
    UnlinkCohort(other);
    const int joined = cohort_count_++;
    Cohort& both = cohorts_[joined];
    both = {};
    std::copy(moved.want, moved.want + 8, both.want);
    both.joined = kNone;
    both.live = moved.live + met.live;
    both.track = moved.track;
    both.first_disk = std::min(moved.first_disk, met.first_disk);
    moved.joined = joined;
    met.joined = joined;
    LinkCohort(joined, group);
    return;
  }
  LinkCohort(k, group);
}

int LongWalks::Active(int o) {
  int k = owners_[o].active;
  while (cohorts_[k].joined != kNone) k = cohorts_[k].joined;
  owners_[o].active = k;
  return k;
}

void LongWalks::EndMatching(int group, std::int64_t key, std::int64_t last) {
  for (int walk = walk_buckets_[BucketOf(group, key)]; walk != kNone;) {
    const int next = next_in_bucket_[walk];
    if (group_of_[walk] == group && key_of_[walk] == key) EndWalk(walk, last);
    walk = next;
  }
}

void LongWalks::EndAll(int group, std::int64_t last) {
  while (groups_[group].first != kNone) EndWalk(groups_[group].first, last);
}

// A cohort whose owners' walks have all ended wants nothing more.
void LongWalks::EndWalk(int walk, std::int64_t last) {
  UnlinkWalk(walk);
  for (int o = first_owner_[walk]; o < first_owner_[walk + 1]; ++o) {
    owners_[o].last = last;
    const int k = Active(o);
    if (--cohorts_[k].live == 0) UnlinkCohort(k);
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

void LongWalks::LinkCohort(int k, int group) {
  Cohort& cohort = cohorts_[k];
  cohort.group = group;
  const std::uint32_t bucket = BucketOf(group, cohort.track);
  cohort.previous_in_bucket = kNone;
  cohort.next_in_bucket = cohort_buckets_[bucket];
  if (cohort.next_in_bucket != kNone) {
    cohorts_[cohort.next_in_bucket].previous_in_bucket = k;
  }
  cohort_buckets_[bucket] = k;
}

void LongWalks::UnlinkCohort(int k) {
  Cohort& cohort = cohorts_[k];
  if (cohort.previous_in_bucket != kNone) {
    cohorts_[cohort.previous_in_bucket].next_in_bucket = cohort.next_in_bucket;
  } else {
    cohort_buckets_[BucketOf(cohort.group, cohort.track)] =
        cohort.next_in_bucket;
  }
  if (cohort.next_in_bucket != kNone) {
    cohorts_[cohort.next_in_bucket].previous_in_bucket =
        cohort.previous_in_bucket;
  }
  cohort.group = kNone;
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
