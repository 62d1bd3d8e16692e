#include "chain_index.h"

#include <algorithm>

#include "sector_header.h"

namespace d88 {

ChainIndex::Step ChainIndex::Cross(ImageFile& file, std::int64_t position,
                                   std::int64_t index, std::uint32_t id) {
  Segment* segment = Find(position);
  if (segment == nullptr) segment = Build(file, position);
  const std::int64_t end = FirstEnd(file, *segment, index);
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

ChainIndex::Segment* ChainIndex::Find(std::int64_t start) {
  for (std::uint32_t slot = SlotOf(start); hash_[slot] != 0;
       slot = (slot + 1) & (kHashSlots - 1)) {
    Segment& segment = segments_[hash_[slot] - 1];
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

// The filter goes to the slot the segment is about to take.
ChainIndex::Segment* ChainIndex::Build(ImageFile& file, std::int64_t start) {
  if (segment_count_ == kMaxSegments) Clear();
  Segment segment = ReadSegment(file, start);
  StoreFilter(segment.records);
  StoreEnds(segment);
  Insert(segment);
  return &segments_[segment_count_ - 1];
}

// Reads records from start while they start in start's block, noting each
// one's ID, place and count in the scratch arrays. No record of a block is
// left out: the last one may reach far beyond it, but the next one is the
// first of another block.
ChainIndex::Segment ChainIndex::ReadSegment(ImageFile& file,
                                            std::int64_t start) {
  Segment segment = {};
  segment.start = start;
  const std::int64_t block = start / kBlockSize;
  std::int64_t position = start;
  int k = 0;
  for (; k < kMaxSegmentRecords; ++k) {
    if (k > 0 && position / kBlockSize != block) break;
    const SectorHeader header = ReadSectorHeader(file, position);
    if (!header.whole || header.count == 0) {
      segment.terminated = true;
      break;
    }
    const auto at = static_cast<std::uint16_t>(k);
    scratch_.ids[k] = {header.id, at,
                       static_cast<std::uint16_t>(position - start)};
    scratch_.counts[k] = header.count;
    position = NextRecord(position, header);
  }
  segment.next = position;
  segment.records = static_cast<std::uint16_t>(k);
  return segment;
}

void ChainIndex::StoreFilter(int records) {
  IdFilter& filter = filters_[segment_count_];
  filter = {};
  for (int k = 0; k < records; ++k) {
    for (int byte = 0; byte < kSectorIdSize; ++byte) {
      const std::uint32_t value = (scratch_.ids[k].id >> (8 * byte)) & 0xFF;
      filter.bits[byte][value >> 6] |= std::uint64_t{1} << (value & 63);
    }
  }
}

// Reads the segment again to keep its IDs, when the pool has room for as many
// as it has records. False when it has not: the IDs are not kept.
bool ChainIndex::KeepIds(ImageFile& file, Segment& segment) {
  if (kMaxIds - id_count_ < segment.records) return false;
  const Segment again = ReadSegment(file, segment.start);
  // The file cannot have changed; if it has, the records are read each time.
  if (again.records != segment.records) return false;
  StoreIds(segment);
  return true;
}

// Keeps each ID of the scratch array once, sorted, with the place of its
// first record.
void ChainIndex::StoreIds(Segment& segment) {
  IdEntry* first = scratch_.ids;
  IdEntry* last = first + segment.records;
  std::sort(first, last, [](const IdEntry& a, const IdEntry& b) {
    return a.id != b.id ? a.id < b.id : a.k < b.k;
  });
  last = std::unique(first, last, [](const IdEntry& a, const IdEntry& b) {
    return a.id == b.id;
  });
  const auto distinct = static_cast<std::uint32_t>(last - first);
  segment.ids_kept = true;
  segment.ids_begin = id_count_;
  segment.ids_count = static_cast<std::uint16_t>(distinct);
  std::copy(first, last, ids_ + id_count_);
  id_count_ += distinct;
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
// Returns how many entries the scratch array holds.
int ChainIndex::CollectEnds(Segment& segment) {
  const int records = segment.records;
  segment.ends_as_runs = CountRuns(records) <= kMaxRuns;
  EndEntry* out = scratch_.ends;
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
  return static_cast<int>(last - out);
}

// The least and greatest index at which a record of the segment can end a
// walk: no walk that enters with an index outside them ends in it.
void ChainIndex::NoteEndBounds(Segment& segment) {
  segment.least_end = 0xFFFF;
  segment.greatest_end = 0;
  for (int k = 0; k < segment.records; ++k) {
    const int value = scratch_.counts[k] - 1 - k;
    if (value < 0) continue;
    const auto end = static_cast<std::uint16_t>(value);
    segment.least_end = std::min(segment.least_end, end);
    segment.greatest_end = std::max(segment.greatest_end, end);
  }
}

void ChainIndex::StoreEnds(Segment& segment) {
  NoteEndBounds(segment);
  const auto entries = static_cast<std::uint32_t>(CollectEnds(segment));
  segment.ends_kept = entries <= kMaxEnds - end_count_;
  if (!segment.ends_kept) return;
  segment.ends_begin = end_count_;
  segment.ends_count = static_cast<std::uint16_t>(entries);
  std::copy(scratch_.ends, scratch_.ends + entries, ends_ + end_count_);
  end_count_ += entries;
}

bool ChainIndex::MayHold(const Segment& segment, std::uint32_t id) const {
  const IdFilter& filter = filters_[&segment - segments_];
  for (int byte = 0; byte < kSectorIdSize; ++byte) {
    const std::uint32_t value = (id >> (8 * byte)) & 0xFF;
    if ((filter.bits[byte][value >> 6] >> (value & 63) & 1) == 0) return false;
  }
  return true;
}

// The segment's first record with this ID, looked for only when the filter
// lets the ID through: from the kept IDs, kept now if not yet, or when there
// is no room for them by reading the records again.
ChainIndex::Match ChainIndex::FirstMatch(ImageFile& file, Segment& segment,
                                         std::uint32_t id) {
  if (!MayHold(segment, id)) return {kNone, 0};
  if (!segment.ids_kept && !KeepIds(file, segment)) {
    return ReadForMatch(file, segment, id);
  }
  const IdEntry* first = ids_ + segment.ids_begin;
  const IdEntry* last = first + segment.ids_count;
  const IdEntry* found = std::lower_bound(
      first, last, id,
      [](const IdEntry& e, std::uint32_t wanted) { return e.id < wanted; });
  if (found == last || found->id != id) return {kNone, 0};
  return {found->k, segment.start + found->offset};
}

ChainIndex::Match ChainIndex::ReadForMatch(ImageFile& file,
                                           const Segment& segment,
                                           std::uint32_t id) {
  std::int64_t position = segment.start;
  for (int k = 0; k < segment.records; ++k) {
    const SectorHeader header = ReadSectorHeader(file, position);
    // The file cannot have shrunk; if it has, the walk ends here.
    if (!header.whole) return {kNone, 0};
    if (header.id == id) return {k, position};
    position = NextRecord(position, header);
  }
  return {kNone, 0};
}

// The first k at which a walk that entered with this index ends by its
// count: where index + k == count_k - 1.
std::int64_t ChainIndex::FirstEnd(ImageFile& file, const Segment& segment,
                                  std::int64_t index) const {
  if (index < segment.least_end || index > segment.greatest_end) return kNone;
  if (segment.ends_kept) return KeptEnd(segment, index);
  return ReadForEnd(file, segment, index);
}

std::int64_t ChainIndex::KeptEnd(const Segment& segment,
                                 std::int64_t index) const {
  const EndEntry* first = ends_ + segment.ends_begin;
  const EndEntry* last = first + segment.ends_count;
  if (segment.ends_as_runs) {
    for (const EndEntry* run = first; run != last; ++run) {
      const std::int64_t k = run->value - 1 - index;
      const std::int64_t run_end =
          run + 1 != last ? run[1].first : segment.records;
      // Runs are in record order, so the first hit is the earliest.
      if (k >= run->first && k < run_end) return k;
    }
    return kNone;
  }
  const auto value = static_cast<std::uint16_t>(index);
  const EndEntry* found = std::lower_bound(
      first, last, value,
      [](const EndEntry& e, std::uint16_t wanted) { return e.value < wanted; });
  return found != last && found->value == value ? found->first : kNone;
}

std::int64_t ChainIndex::ReadForEnd(ImageFile& file, const Segment& segment,
                                    std::int64_t index) {
  std::int64_t position = segment.start;
  for (int k = 0; k < segment.records; ++k) {
    const SectorHeader header = ReadSectorHeader(file, position);
    if (!header.whole) return kNone;
    if (header.count - 1 - k == index) return k;
    position = NextRecord(position, header);
  }
  return kNone;
}

}  // namespace d88
