#include "chain_index.h"

#include <algorithm>
#include <ctime>

#include "sector_header.h"

namespace d88 {

namespace {

// A bijective mix of 32 bits (each step can be undone), so that the key
// spreads over the whole fingerprint.
std::uint32_t Mix32(std::uint32_t value) {
  value ^= value >> 16;
  value *= 0x7FEB352Du;
  value ^= value >> 15;
  value *= 0x846CA68Bu;
  value ^= value >> 16;
  return value;
}

constexpr int kOffsetBits = 16;
constexpr int kMaxBucketBits = 9;  // 4096 records / 8

}  // namespace

ChainIndex::Step ChainIndex::Cross(ImageFile& file, std::int64_t position,
                                   std::uint32_t id, std::int64_t last) {
  if (position > last) return {Outcome::kEnded, position};
  const Anchor* anchor = FindAnchor(position);
  const Place place = anchor != nullptr
                          ? Place{&segments_[anchor->segment], anchor->offset}
                          : Build(file, position);
  const std::int64_t match = FirstMatch(file, place, id);
  if (match != kNone) {
    return {match <= last ? Outcome::kFound : Outcome::kEnded, match};
  }
  const Segment& segment = *place.segment;
  // The walk's last record lies in this segment, or the chain ends here.
  if (segment.terminated || segment.next > last) {
    return {Outcome::kEnded, segment.next};
  }
  return {Outcome::kGoOn, segment.next};
}

// The key comes from the clocks and from where this index and the stack
// lie: nothing an image can know or choose. (The C library's clocks, so that
// the tool needs no other runtime library.)
void ChainIndex::Clear() {
  Forget();
  const auto seconds = static_cast<std::uint64_t>(std::time(nullptr));
  const auto ticks = static_cast<std::uint64_t>(std::clock());
  int here = 0;
  const auto place = static_cast<std::uint64_t>(
      reinterpret_cast<std::uintptr_t>(this) ^
      reinterpret_cast<std::uintptr_t>(&here));
  const std::uint64_t mixed = seconds * 0x9E3779B97F4A7C15u ^ ticks ^ place;
  key_ = Mix32(static_cast<std::uint32_t>(mixed ^ (mixed >> 32)) ^ key_);
}

WalkEnds::Workspace& ChainIndex::LendRoom() {
  Forget();
  return room_.walks;
}

// The table of anchors is emptied only when something was put in it: most
// files never need the index, and its pages then stay untouched.
void ChainIndex::Forget() {
  if (anchor_count_ > 0) {
    for (std::uint16_t& slot : hash_) slot = 0;
  }
  segment_count_ = 0;
  anchor_count_ = 0;
  entry_count_ = 0;
  bucket_count_ = 0;
  form_chosen_ = false;
  filter_bits_ = 0;
  if (found_used_) {
    for (Found& slot : found_) slot = {};
    found_used_ = false;
  }
}

std::uint32_t ChainIndex::Fingerprint(std::uint32_t id) const {
  return Mix32(Mix32(id ^ key_) + key_);
}

std::uint32_t ChainIndex::SlotOf(std::int64_t position) {
  const auto mixed = static_cast<std::uint64_t>(position) * 0x9E3779B97F4A7C15u;
  return static_cast<std::uint32_t>(mixed >> 40) & (kHashSlots - 1);
}

const ChainIndex::Anchor* ChainIndex::FindAnchor(std::int64_t position) const {
  for (std::uint32_t slot = SlotOf(position); hash_[slot] != 0;
       slot = (slot + 1) & (kHashSlots - 1)) {
    const Anchor& anchor = anchors_[hash_[slot] - 1];
    if (PositionOf(anchor) == position) return &anchor;
  }
  return nullptr;
}

void ChainIndex::AddAnchor(std::int64_t position, int segment,
                           std::uint32_t offset) {
  std::uint32_t slot = SlotOf(position);
  while (hash_[slot] != 0) slot = (slot + 1) & (kHashSlots - 1);
  anchors_[anchor_count_] = {static_cast<std::uint16_t>(segment),
                             static_cast<std::uint16_t>(offset)};
  ++anchor_count_;
  hash_[slot] = static_cast<std::uint16_t>(anchor_count_);
}

// The segment's start and the grain firsts noted while it was read, as far
// as there is room: the start first, without which the segment would never
// be found again.
void ChainIndex::AddAnchors(int segment) {
  const std::int64_t start = segments_[segment].start;
  for (int i = 0; i < grain_first_count_ && anchor_count_ < kMaxAnchors; ++i) {
    AddAnchor(grain_firsts_[i], segment,
              static_cast<std::uint32_t>(grain_firsts_[i] - start));
  }
}

// A segment the table has no room for lives in the spare slot until the
// next one is made, and keeps no entries.
ChainIndex::Place ChainIndex::Build(ImageFile& file, std::int64_t start) {
  Segment segment = ReadSegment(file, start);
  if (segment_count_ == kMaxSegments || anchor_count_ == kMaxAnchors) {
    spare_ = segment;
    return {&spare_, 0};
  }
  if (!form_chosen_) ChooseForm(file);
  if (filter_bits_ == 0) {
    KeepEntries(segment);
  } else {
    KeepFilter(segment);
  }
  segments_[segment_count_] = segment;
  AddAnchors(segment_count_);
  ++segment_count_;
  return {&segments_[segment_count_ - 1], 0};
}

// Reads records from start while they start in start's block, noting each
// one's entry in the scratch array, up to the first record that is another
// segment's anchor: from there the chain is known. No record of a block is
// left out: the last one may reach far beyond it, but the next one is the
// first of another block.
ChainIndex::Segment ChainIndex::ReadSegment(ImageFile& file,
                                            std::int64_t start) {
  Segment segment = {};
  segment.start = start;
  grain_first_count_ = 0;
  const std::int64_t block = start / kBlockSize;
  std::int64_t position = start;
  std::int64_t grain = position / kGrainSize;
  int anchored = 0;  // the record of the last anchor
  grain_firsts_[grain_first_count_++] = start;
  int k = 0;
  for (; k < kMaxSegmentRecords; ++k) {
    if (k > 0 && position / kBlockSize != block) break;
    if (position / kGrainSize != grain) {
      grain = position / kGrainSize;
      if (FindAnchor(position) != nullptr) break;
      if (k - anchored >= kAnchorSpacing) {
        grain_firsts_[grain_first_count_++] = position;
        anchored = k;
      }
    }
    const SectorHeader header = ReadSectorHeader(file, position);
    if (!header.whole || header.count == 0) {
      segment.terminated = true;
      break;
    }
    const auto offset = static_cast<std::uint64_t>(position - start);
    scratch_[k] = std::uint64_t{Fingerprint(header.id)} << kOffsetBits | offset;
    position = NextRecord(position, header);
  }
  segment.next = position;
  segment.records = static_cast<std::uint16_t>(k);
  return segment;
}

// Entries when every record the file can hold fits; otherwise filters with
// as many bits per record as the room gives (k = 0.7 bits per record
// hashes, the fewest false matches for the size).
void ChainIndex::ChooseForm(ImageFile& file) {
  const std::int64_t size = file.Size();
  const std::int64_t records = size > 0 ? size / 16 : 0;
  form_chosen_ = true;
  if (records <= static_cast<std::int64_t>(kMaxEntries)) {
    filter_bits_ = 0;
    return;
  }
  const std::int64_t bits = std::int64_t{kMaxEntries} * 32 / records;
  filter_bits_ = static_cast<int>(bits < 1 ? 1 : bits > 32 ? 32 : bits);
  filter_hashes_ = (filter_bits_ * 7 + 5) / 10;
  if (filter_hashes_ < 1) filter_hashes_ = 1;
}

std::uint32_t ChainIndex::FilterWords(const Segment& segment) const {
  const std::uint32_t bits =
      std::uint32_t{segment.records} * static_cast<std::uint32_t>(filter_bits_);
  return bits / 32 + 1;
}

// Each hash of the fingerprint sets one bit (double hashing: the i-th is
// first + i * step).
void ChainIndex::KeepFilter(Segment& segment) {
  const std::uint32_t words = FilterWords(segment);
  if (kMaxEntries - entry_count_ < words) return;
  std::uint32_t* filter = room_.entries.entries + entry_count_;
  for (std::uint32_t w = 0; w < words; ++w) filter[w] = 0;
  const std::uint32_t bits = words * 32;
  for (int k = 0; k < segment.records; ++k) {
    const auto fingerprint = static_cast<std::uint32_t>(scratch_[k] >> kOffsetBits);
    const std::uint32_t step = Mix32(fingerprint) | 1u;
    for (int i = 0; i < filter_hashes_; ++i) {
      const std::uint32_t bit =
          (fingerprint + static_cast<std::uint32_t>(i) * step) % bits;
      filter[bit / 32] |= 1u << (bit % 32);
    }
  }
  segment.filtered = true;
  segment.entries_begin = entry_count_;
  entry_count_ += words;
}

bool ChainIndex::FilterMayHold(const Segment& segment,
                               std::uint32_t fingerprint) const {
  const std::uint32_t* filter = room_.entries.entries + segment.entries_begin;
  const std::uint32_t bits = FilterWords(segment) * 32;
  const std::uint32_t step = Mix32(fingerprint) | 1u;
  for (int i = 0; i < filter_hashes_; ++i) {
    const std::uint32_t bit =
        (fingerprint + static_cast<std::uint32_t>(i) * step) % bits;
    if ((filter[bit / 32] >> (bit % 32) & 1u) == 0) return false;
  }
  return true;
}

// The segment's records read for the ID once; a walk that stands on a
// later record of the segment than the first match reads them again.
std::int64_t ChainIndex::FilteredMatch(ImageFile& file, const Place& place,
                                       std::uint32_t id,
                                       std::uint32_t fingerprint) {
  const Segment& segment = *place.segment;
  const auto number = static_cast<std::uint32_t>(&segment - segments_) + 1;
  Found& slot = found_[(fingerprint ^ Mix32(number)) & (kFoundSlots - 1)];
  if (slot.segment != number || slot.id != id) {
    const std::int64_t first = ReadForMatch(file, {place.segment, 0}, id);
    slot = {id, number,
            first == kNone ? kNothing
                           : static_cast<std::uint32_t>(first - segment.start)};
    found_used_ = true;
  }
  if (slot.offset == kNothing) return kNone;
  if (slot.offset >= place.offset) return segment.start + slot.offset;
  return ReadForMatch(file, place, id);
}

// About 8 entries to a bucket.
int ChainIndex::BucketBits(int records) {
  int bits = 0;
  while (bits < kMaxBucketBits && (8 << bits) < records) ++bits;
  return bits;
}

// Sorting by fingerprint, then offset, puts the entries in bucket order and
// each bucket's in the order searched: the first entry of a fingerprint is
// the first record that may have the ID.
void ChainIndex::KeepEntries(Segment& segment) {
  const std::uint32_t records = segment.records;
  const int bits = BucketBits(segment.records);
  const std::uint32_t buckets = (1u << bits) + 1;
  if (kMaxEntries - entry_count_ < records ||
      kMaxBucketStarts - bucket_count_ < buckets) {
    return;
  }
  std::sort(scratch_, scratch_ + records);
  std::uint16_t* starts = room_.entries.buckets + bucket_count_;
  std::uint32_t bucket = 0;
  for (std::uint32_t k = 0; k < records; ++k) {
    const auto fingerprint =
        static_cast<std::uint32_t>(scratch_[k] >> kOffsetBits);
    const std::uint32_t of = bits == 0 ? 0 : fingerprint >> (32 - bits);
    while (bucket <= of) starts[bucket++] = static_cast<std::uint16_t>(k);
    room_.entries.entries[entry_count_ + k] =
        (fingerprint & 0xFFFFu) << kOffsetBits |
        static_cast<std::uint32_t>(scratch_[k] & 0xFFFFu);
  }
  while (bucket < buckets) {
    starts[bucket++] = static_cast<std::uint16_t>(records);
  }
  segment.kept = true;
  segment.bucket_bits = static_cast<std::uint8_t>(bits);
  segment.entries_begin = entry_count_;
  segment.buckets_begin = bucket_count_;
  entry_count_ += records;
  bucket_count_ += buckets;
}

// The position of the first record with this ID from the place on to the
// segment's end, or kNone.
std::int64_t ChainIndex::FirstMatch(ImageFile& file, const Place& place,
                                    std::uint32_t id) {
  const Segment& segment = *place.segment;
  const std::uint32_t fingerprint = Fingerprint(id);
  if (segment.filtered) {
    if (!FilterMayHold(segment, fingerprint)) return kNone;
    return FilteredMatch(file, place, id, fingerprint);
  }
  if (!segment.kept) return ReadForMatch(file, place, id);
  const int bits = segment.bucket_bits;
  const std::uint32_t bucket = bits == 0 ? 0 : fingerprint >> (32 - bits);
  const std::uint16_t* starts = room_.entries.buckets + segment.buckets_begin;
  const std::uint32_t* entries = room_.entries.entries + segment.entries_begin;
  const std::uint32_t wanted = (fingerprint & 0xFFFFu) << kOffsetBits;
  // A bucket holds a handful of entries. Those of one fingerprint lie
  // together in the order of their offsets, so the first that holds the ID
  // is the first record that has it.
  for (std::uint32_t k = starts[bucket]; k < starts[bucket + 1]; ++k) {
    const std::uint32_t entry = entries[k];
    const std::uint32_t offset = entry & 0xFFFFu;
    if ((entry & 0xFFFF0000u) != wanted || offset < place.offset) continue;
    const std::int64_t position = segment.start + offset;
    if (HasId(file, position, id)) return position;
  }
  return kNone;
}

bool ChainIndex::HasId(ImageFile& file, std::int64_t position,
                       std::uint32_t id) {
  const SectorHeader header = ReadSectorHeader(file, position);
  return header.whole && header.id == id;
}

std::int64_t ChainIndex::ReadForMatch(ImageFile& file, const Place& place,
                                      std::uint32_t id) {
  const Segment& segment = *place.segment;
  std::int64_t position = segment.start;
  for (int k = 0; k < segment.records; ++k) {
    const SectorHeader header = ReadSectorHeader(file, position);
    // The file cannot have shrunk; if it has, the walk ends here.
    if (!header.whole) return kNone;
    if (position - segment.start >= place.offset && header.id == id) {
      return position;
    }
    position = NextRecord(position, header);
  }
  return kNone;
}

}  // namespace d88
