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
  for (const SectorLocation& slot : slots_[SetOf(track_start, id)]) {
    if (slot.valid && slot.track_start == track_start && slot.id == id) {
      return &slot;
    }
  }
  return nullptr;
}

void SectorLocationCache::Remember(const SectorLocation& location) {
  const std::uint32_t set = SetOf(location.track_start, location.id);
  for (SectorLocation& slot : slots_[set]) {
    if (!slot.valid) {
      slot = location;
      return;
    }
  }
  slots_[set][next_victim_[set]] = location;
  next_victim_[set] = static_cast<std::uint8_t>((next_victim_[set] + 1) % kWays);
}

void SectorLocationCache::Clear() {
  for (auto& set : slots_) {
    for (SectorLocation& slot : set) slot.valid = false;
  }
}

}  // namespace d88
