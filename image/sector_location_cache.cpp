#include "sector_location_cache.h"

namespace d88 {

std::uint32_t SectorLocationCache::SetOf(std::int64_t track_start,
                                         std::uint32_t id) {
  const auto position = static_cast<std::uint64_t>(track_start);
  std::uint64_t mixed = (position ^ (position >> 29)) * 0x9E3779B97F4A7C15u;
  mixed ^= id * 0xC2B2AE3D27D4EB4Fu;
  mixed ^= mixed >> 32;
  return static_cast<std::uint32_t>(mixed) & (kSets - 1);
}

const SectorLocation* SectorLocationCache::Find(std::int64_t track_start,
                                                std::uint32_t id) const {
  const std::uint32_t set = SetOf(track_start, id);
  for (std::uint32_t way = 0; way < kWays; ++way) {
    const SectorLocation& slot = slots_[set][way];
    if (Holds(set, way) && slot.track_start == track_start && slot.id == id) {
      return &slot;
    }
  }
  return nullptr;
}

void SectorLocationCache::Remember(const SectorLocation& location) {
  const std::uint32_t set = SetOf(location.track_start, location.id);
  std::uint32_t way = 0;
  while (way < kWays && Holds(set, way)) ++way;
  if (way == kWays) {
    way = next_victim_[set];
    next_victim_[set] = static_cast<std::uint8_t>((way + 1) % kWays);
  }
  slots_[set][way] = location;
  kept_in_[set][way] = generation_;
}

// Only when the generations have gone all the way round are the slots
// themselves emptied.
void SectorLocationCache::Clear() {
  ++generation_;
  if (generation_ != 0) return;
  generation_ = 1;
  for (auto& set : kept_in_) {
    for (std::uint32_t& kept : set) kept = 0;
  }
}

}  // namespace d88
