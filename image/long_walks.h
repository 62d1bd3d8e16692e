// Answers for the track walks that go far, found in one pass over the file.
//
// A sector is looked up by walking its track's records from the first one
// until one has the ID asked for, or the walk ends: at a header cut short by
// the end of the file, at a record whose count field is 0 (before its ID is
// looked at), or after the record whose index in the walk equals its own
// count minus one. On a sound track that is a few records. On a damaged or
// crafted one the walk may run on through the rest of the file, and every
// lookup from every track that leads into the same records would read them
// all again.
//
// The record after a record depends only on that record: it starts 16 + data
// length bytes on, always further into the file. So all the walks can be
// followed together, in order of file position, and walks that meet go on
// as one: a record is read once however many walks pass it, and the file is
// read once, front to back. While they are followed, each record is offered
// to the walks that stand on it, and each keeps the first record of every ID
// it may be asked for. After that pass a lookup is a table lookup.
//
// What a walk may be asked for: the sectors of its own track, whose ID says
// where they are (C = track / 2, H = track % 2), with any sector number and
// the size code of the lookup that caused the pass. That is every lookup a
// file system makes. A walk is kept per track start and track number (an
// "owner"), because tracks of several disks may share a start and yet ask
// for different IDs. A lookup for any other ID, or with another size code
// than the pass was made for, is for the reader to answer otherwise: no file
// content can make the file system ask one.
//
// Where a walk ends by its count depends on where it began: two walks that
// meet arrive with different indexes. A group of walks that have met keeps
// each walk under a key, its index minus the group's step count, which stays
// fixed while the group steps on; the walks that a record ends are those
// whose key equals count - 1 - steps, found by hashing. When two groups
// meet, the smaller one's walks are keyed anew into the larger, so a walk
// moves at most log2(walks) times.
//
// What is kept: each owner knows which of its sector numbers it has met. A
// record of a track's sector is kept, once, for the group that reads it
// when some owner of that track in the group meets that sector number for
// the first time there. An owner's answer is then the first record kept
// for its sector number by the groups it was in, each from when it joined
// to when that group joined another: at most log2(walks) + 1 groups.
//
// Memory is fixed (about 4 MiB), whatever the file's size, and a file
// touches only what it uses. Every kept record is some owner's first
// meeting, so a file holds at most one per record and at most 256 per
// owner. The room has space for kMaxAnswers; a pass that would need more
// keeps the answers of the first disks only, and a lookup on a later disk
// makes one more pass for the disks from there on: each pass is linear in
// the file's size, and a file needs more than one only if that many of its
// records are first meetings.
#pragma once

#include <cstdint>

#include "d88_format.h"
#include "image_file.h"

namespace d88 {

class LongWalks {
 public:
  static constexpr int kMaxTracks = kMaxDisks * kTrackCount;
  // A walk that has gone this many records, or this many bytes from its
  // track's start, is on a damaged track and may go far: its lookups are
  // answered by the pass instead of by walking.
  static constexpr std::int64_t kPlainSteps = 64;
  static constexpr std::int64_t kPlainBytes = 64 * 1024;
  static constexpr std::uint32_t kMaxAnswers = 1u << 17;

  // A track of a disk, and where its walk starts in the file.
  struct TrackStart {
    std::int64_t start;
    int disk;
    int track;
  };
  enum class Outcome { kNotKept, kFound, kAbsent };
  struct Answer {
    Outcome outcome;
    std::int64_t position;  // kFound: the record's header
  };

  static bool IsLong(std::int64_t index, std::int64_t position,
                     std::int64_t track_start) {
    return index >= kPlainSteps || position - track_start >= kPlainBytes;
  }

  // Follows the walks of the given tracks (those of the disks from
  // first_disk on, each a walk that goes far) and keeps their answers for
  // size code n, for as many of those disks as there is room.
  void Sweep(ImageFile& file, const TrackStart* tracks, int count,
             int first_disk, int n);
  // The first record with ID (track / 2, track % 2, r, n) on the walk from
  // start, as the walk compares IDs; kNotKept when no pass kept it.
  Answer Find(int disk, std::int64_t start, int track, int r, int n) const;
  // Forgets every answer: they describe one file only.
  void Clear();

  // What the passes took, for tests and the benchmark.
  int Passes() const { return passes_; }

 private:
  enum class Step { kGoOn, kStop, kFull };

  void TakeOwners(const TrackStart* tracks, int count);
  bool Follow(ImageFile& file);
  Step StepGroup(ImageFile& file, int group);
  bool Offer(int group, std::uint32_t id, std::int64_t position);
  bool Keep(int group, int track, int r, std::int64_t position, int disk);
  int LastDiskThatFits() const;
  int Merge(int a, int b);
  void EndMatching(int group, std::int64_t key);
  void EndAll(int group);
  void EndWalk(int walk);
  void LinkWalk(int walk, int group, std::int64_t key);
  void UnlinkWalk(int walk);
  void LinkOwner(int owner, int group);
  void UnlinkOwner(int owner);
  void Push(int group);
  int Pop();
  bool Before(int a, int b) const;
  int OwnerOf(std::int64_t start, int track) const;
  std::int64_t FirstKept(int group, int track, int r, std::int64_t from,
                         std::int64_t to) const;
  std::uint32_t FindSlot(std::uint32_t key) const;
  void ForgetAnswers();
  static std::uint32_t BucketOf(int group, std::int64_t key);
  static std::uint32_t KeyOf(int group, int track, int r);

  static constexpr int kBuckets = 32768;  // a power of two
  static constexpr int kNone = -1;
  static constexpr std::uint32_t kSlots = kMaxAnswers;  // a power of two
  static constexpr std::uint32_t kMaxKeys = kSlots / 4 * 3;

  // One per distinct track start and track number, in that order: the
  // owners of a walk follow one another.
  struct Owner {
    std::int64_t start;
    std::int32_t walk;
    std::int32_t next_in_bucket;
    std::int32_t previous_in_bucket;
    std::uint8_t track;
    std::uint8_t first_disk;  // the first disk of the pass that has it
    // Linked for its group's records while its walk goes on and it has a
    // sector number left to meet.
    bool linked;
    std::uint16_t unmet_count;
    std::uint32_t unmet[8];   // a bit for each sector number not yet met
  };
  // Walks that have met, at the position of their next record. Group g was
  // made for walk g and keeps its slot whatever joins it; once it joins
  // another, its kept records stay for the walks that were in it.
  struct Group {
    std::int64_t position;
    std::int64_t steps;      // records this group has read
    std::int64_t joined_at;  // where it joined group joined
    std::int32_t joined;     // kNone while it goes on
    std::int32_t first;      // first walk of the group's list
    std::int32_t walks;      // how many are in the list
  };
  // A kept record's position and the one kept before it for the same
  // group, track and sector number (plus one; 0: none), and where the
  // newest of each such list is.
  struct Kept {
    std::uint32_t position;
    std::uint32_t before;
  };
  struct Slot {
    std::uint32_t key;     // KeyOf plus one; 0: empty
    std::uint32_t newest;  // the list's newest record plus one
  };

  // Counts and settings first: a file that never needs a pass touches
  // only them.
  int passes_ = 0;
  int owner_count_ = 0;
  int walk_count_ = 0;
  int heap_size_ = 0;
  int size_code_ = 0;
  int first_disk_ = 0;
  int end_disk_ = 0;  // the disks first_disk_ .. end_disk_ - 1 are kept
  // A pass that ends leaves every walk and owner unlinked: the buckets
  // need filling only at first and after a try that ran out of room.
  bool buckets_empty_ = false;
  std::uint32_t answers_kept_ = 0;
  std::uint32_t keys_ = 0;
  std::uint32_t answers_of_disk_[kMaxDisks] = {};
  Owner owners_[kMaxTracks] = {};
  std::int32_t first_owner_[kMaxTracks + 1] = {};  // by walk
  Group groups_[kMaxTracks] = {};
  std::int32_t heap_[kMaxTracks] = {};
  std::int32_t group_of_[kMaxTracks] = {};
  std::int64_t key_of_[kMaxTracks] = {};
  std::int32_t next_in_group_[kMaxTracks] = {};
  std::int32_t previous_in_group_[kMaxTracks] = {};
  std::int32_t next_in_bucket_[kMaxTracks] = {};
  std::int32_t walk_buckets_[kBuckets] = {};
  std::int32_t owner_buckets_[kBuckets] = {};
  Kept kept_[kMaxAnswers] = {};
  Slot slots_[kSlots] = {};
  std::uint32_t used_slots_[kMaxKeys] = {};  // to empty them again
};

}  // namespace d88
