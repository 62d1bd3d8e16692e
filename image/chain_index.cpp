#include "chain_index.h"

#include <algorithm>

#include "sector_header.h"

namespace d88 {

ChainIndex::Step ChainIndex::Cross(ImageFile& file, std::int64_t position,
                                   std::int64_t index, std::uint32_t id) {
  const Segment* segment = Find(position);
  if (segment == nullptr) segment = Build(file, position);
  const std::int64_t end = FirstEnd(*segment, index);
  const Match match = FirstMatch(file, *segment, id);
  // The ID is compared before the count, so a match on the record that
  // ends the walk still counts.
  if (match.k != kNone && match.k <= end) {
    return {Outcome::kFound, match.position, index + match.k};
  }
  if (end != kNone || segment->terminated) {
    return {Outcome::kEnded, segment->next, index};
  }
  return {Outcome::kGoOn, segment->next, index + segment->records};
}

void ChainIndex::Clear() {
  segment_count_ = 0;
  id_count_ = 0;
  end_count_ = 0;
  for (std::uint16_t& slot : hash_) slot = 0;
}

std::uint32_t ChainIndex::SlotOf(std::int64_t start) {
  const auto mixed = static_cast<std::uint64_t>(start) * 0x9E3779B97F4A7C15u;
  return static_cast<std::uint32_t>(mixed >> 40) & (kHashSlots - 1);
}

const ChainIndex::Segment* ChainIndex::Find(std::int64_t start) const {
  for (std::uint32_t slot = SlotOf(start); hash_[slot] != 0;
       slot = (slot + 1) & (kHashSlots - 1)) {
    const Segment& segment = segments_[hash_[slot] - 1];
    if (segment.start == start) return &segment;
  }
  return nullptr;
}

void ChainIndex::Insert(const Segment& segment) {
  std::uint32_t slot = SlotOf(segment.start);
  while (hash_[slot] != 0) slot = (slot + 1) & (kHashSlots - 1);
  segments_[segment_count_] = segment;
  ++segment_count_;
  hash_[slot] = static_cast<std::uint16_t>(segment_count_);
}

bool ChainIndex::HasRoom(const Segment& segment) const {
  return segment_count_ < kMaxSegments &&
         id_count_ + segment.records <= kMaxIds &&
         end_count_ + segment.records <= kMaxEnds;
}

const ChainIndex::Segment* ChainIndex::Build(ImageFile& file,
                                             std::int64_t start) {
  Segment segment = ReadSegment(file, start);
  if (!HasRoom(segment)) Clear();
  StoreIds(segment);
  StoreEnds(segment);
  Insert(segment);
  return &segments_[segment_count_ - 1];
}

// Reads records from start while they start in start's block, noting each
// one's ID and count in the scratch arrays. No record of a block is left
// out: the last one may reach far beyond it, but the next one is the first
// of another block.
ChainIndex::Segment ChainIndex::ReadSegment(ImageFile& file,
                                            std::int64_t start) {
  Segment segment = {};
  segment.start = start;
  const std::int64_t block = start / kBlockSize;
  std::int64_t position = start;
  int k = 0;
  for (; k < kMaxSegmentRecords; ++k) {
    if (k > 0 && position / kBlockSize != block) break;
    const SectorHeader header = ReadSectorHeader(file, position, start);
    if (!header.whole || header.count == 0) {
      segment.terminated = true;
      break;
    }
    scratch_.ids[k] = header.id;
    scratch_.counts[k] = header.count;
    position = NextRecord(position, header);
  }
  segment.next = position;
  segment.records = static_cast<std::uint16_t>(k);
  return segment;
}

// Keeps each ID once, sorted: enough to tell that a segment can be crossed.
void ChainIndex::StoreIds(Segment& segment) {
  std::uint32_t* first = scratch_.ids;
  std::uint32_t* last = first + segment.records;
  std::sort(first, last);
  last = std::unique(first, last);
  segment.ids_begin = id_count_;
  segment.ids_count = static_cast<std::uint16_t>(last - first);
  std::copy(first, last, ids_ + id_count_);
  id_count_ += segment.ids_count;
}

int ChainIndex::CountRuns(int records) const {
  int runs = 0;
  for (int k = 0; k < records; ++k) {
    if (k == 0 || scratch_.counts[k] != scratch_.counts[k - 1]) ++runs;
  }
  return runs;
}

// Few runs of equal counts are kept as runs: a crafted chain of one count
// would otherwise need an entry per record. Otherwise each value of
// count - 1 - k that a walk's index can have (0 to 65534) keeps its first k.
void ChainIndex::StoreEnds(Segment& segment) {
  const int records = segment.records;
  segment.ends_begin = end_count_;
  segment.ends_as_runs = CountRuns(records) <= kMaxRuns;
  EndEntry* out = ends_ + end_count_;
  EndEntry* last = out;
  for (int k = 0; k < records; ++k) {
    const std::uint16_t count = scratch_.counts[k];
    const auto at = static_cast<std::uint16_t>(k);
    if (segment.ends_as_runs) {
      if (k == 0 || count != scratch_.counts[k - 1]) *last++ = {count, at};
    } else if (count - 1 >= k) {
      *last++ = {static_cast<std::uint16_t>(count - 1 - k), at};
    }
  }
  if (!segment.ends_as_runs) {
    std::sort(out, last, [](const EndEntry& a, const EndEntry& b) {
      return a.value != b.value ? a.value < b.value : a.first < b.first;
    });
    last = std::unique(out, last, [](const EndEntry& a, const EndEntry& b) {
      return a.value == b.value;
    });
  }
  segment.ends_count = static_cast<std::uint16_t>(last - out);
  end_count_ += segment.ends_count;
}

// The segment's first record with this ID. The sorted IDs answer whether
// there is one; only then are the records read again to find it.
ChainIndex::Match ChainIndex::FirstMatch(ImageFile& file,
                                         const Segment& segment,
                                         std::uint32_t id) const {
  const std::uint32_t* first = ids_ + segment.ids_begin;
  const std::uint32_t* last = first + segment.ids_count;
  if (!std::binary_search(first, last, id)) return {kNone, 0};
  std::int64_t position = segment.start;
  for (int k = 0; k < segment.records; ++k) {
    const SectorHeader header = ReadSectorHeader(file, position, segment.start);
    // The file cannot have shrunk; if it has, the walk ends here.
    if (!header.whole) return {kNone, 0};
    if (header.id == id) return {k, position};
    position = NextRecord(position, header);
  }
  return {kNone, 0};
}

// The first k at which a walk that entered with this index ends by its
// count: where index + k == count_k - 1.
std::int64_t ChainIndex::FirstEnd(const Segment& segment,
                                  std::int64_t index) const {
  const EndEntry* first = ends_ + segment.ends_begin;
  const EndEntry* last = first + segment.ends_count;
  if (segment.ends_as_runs) {
    for (const EndEntry* run = first; run != last; ++run) {
      const std::int64_t k = run->value - 1 - index;
      const std::int64_t run_end = run + 1 != last ? run[1].first : segment.records;
      // Runs are in record order, so the first hit is the earliest.
      if (k >= run->first && k < run_end) return k;
    }
    return kNone;
  }
  if (index > 0xFFFE) return kNone;  // no count reaches it
  const auto value = static_cast<std::uint16_t>(index);
  const EndEntry* found = std::lower_bound(
      first, last, value,
      [](const EndEntry& e, std::uint16_t wanted) { return e.value < wanted; });
  return found != last && found->value == value ? found->first : kNone;
}

}  // namespace d88
