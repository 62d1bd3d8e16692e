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
// far without ending switches to segments as soon as it crosses into a new
// grain (see kGrainSize); from then on every walk that reaches the same
// records uses the same segments, found by their start position, and crosses
// each one with two binary searches instead of up to 4096 reads. A segment's
// distinct IDs are kept with where each first occurs, so that a walk that
// finds its sector there reads only that record's header. They are kept only
// once a lookup's ID gets past the segment's filter (which values each byte
// of its IDs takes), and only then is the segment read a second time: the
// long runs of junk that crafted chains are made of, whose IDs no lookup
// comes near, then take no room at all.
//
// All memory is fixed. A segment that finds the pool of IDs or of ends full
// keeps a summary instead: its filter, and the least and greatest index its
// counts can end a walk at. Only a walk that the summary cannot turn away
// reads the segment's records again. Forgetting
// everything when the pools were full, as this index once did, made every
// lookup of a chain longer than the pools build all of its segments anew.
// Only when the table of segments itself is full does the index start over.
#pragma once

#include <cstdint>

#include "d88_format.h"
#include "image_file.h"

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
    bool ids_kept;          // ids holds them; until then only the filter
    bool ends_kept;         // ends holds them; otherwise only the bounds
    std::uint16_t least_end;     // bounds of count - 1 - k over the records,
    std::uint16_t greatest_end;  // least > greatest when no record can end
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
  // A distinct ID of a segment: its first record's k and offset from the
  // segment's start (records start within one block, so both fit 16 bits).
  struct IdEntry {
    std::uint32_t id;
    std::uint16_t k;
    std::uint16_t offset;
  };
  // Which values each of the four ID bytes takes in a segment.
  struct IdFilter {
    std::uint64_t bits[kSectorIdSize][4];
  };
  struct Scratch {
    IdEntry ids[kMaxSegmentRecords];
    std::uint16_t counts[kMaxSegmentRecords];
    EndEntry ends[kMaxSegmentRecords];
  };
  static constexpr std::int64_t kNone = INT64_MAX;
  struct Match {
    std::int64_t k;  // kNone when the segment does not hold the ID
    std::int64_t position;
  };

  static constexpr int kMaxSegments = 4096;
  static constexpr int kHashSlots = 2 * kMaxSegments;  // a power of two
  // The IDs of 8 MiB of 16-byte records, each one different, if lookups
  // came near all of them; past that the filters alone answer.
  static constexpr std::uint32_t kMaxIds = 512 * 1024;
  static constexpr std::uint32_t kMaxEnds = 256 * 1024;
  // A segment whose counts change more often keeps single entries.
  static constexpr int kMaxRuns = 4;

  Segment* Find(std::int64_t start);
  Segment* Build(ImageFile& file, std::int64_t start);
  Segment ReadSegment(ImageFile& file, std::int64_t start);
  bool KeepIds(ImageFile& file, Segment& segment);
  void StoreIds(Segment& segment);
  void StoreFilter(int records);
  void StoreEnds(Segment& segment);
  int CollectEnds(Segment& segment);
  void NoteEndBounds(Segment& segment);
  int CountRuns(int records) const;
  void Insert(const Segment& segment);
  static std::uint32_t SlotOf(std::int64_t start);
  bool MayHold(const Segment& segment, std::uint32_t id) const;
  Match FirstMatch(ImageFile& file, Segment& segment, std::uint32_t id);
  std::int64_t FirstEnd(ImageFile& file, const Segment& segment,
                        std::int64_t index) const;
  std::int64_t KeptEnd(const Segment& segment, std::int64_t index) const;
  static Match ReadForMatch(ImageFile& file, const Segment& segment,
                            std::uint32_t id);
  static std::int64_t ReadForEnd(ImageFile& file, const Segment& segment,
                                 std::int64_t index);

  Segment segments_[kMaxSegments] = {};
  IdFilter filters_[kMaxSegments] = {};
  int segment_count_ = 0;
  // 0 is free, otherwise the segment's slot in segments_ plus one.
  std::uint16_t hash_[kHashSlots] = {};
  // Each segment's distinct IDs, sorted.
  IdEntry ids_[kMaxIds] = {};
  std::uint32_t id_count_ = 0;
  EndEntry ends_[kMaxEnds] = {};
  std::uint32_t end_count_ = 0;
  Scratch scratch_ = {};
};

}  // namespace d88
