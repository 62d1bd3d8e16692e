#include "reference_walk.h"

#include <algorithm>

namespace d88check {

namespace {

constexpr std::size_t kHeader = 0x2B0;

}  // namespace

std::uint32_t ReferenceImage::Le(std::size_t at, int width) const {
  std::uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) {
    value = value << 8 | bytes_[at + static_cast<std::size_t>(i)];
  }
  return value;
}

// Disk k + 1 starts where disk k starts plus its size field; every disk
// whose header is whole counts, 64 at most.
std::vector<std::int64_t> ReferenceImage::DiskStarts() const {
  std::vector<std::int64_t> starts;
  std::uint64_t at = 0;
  while (starts.size() < 64 && at + kHeader <= size_) {
    starts.push_back(static_cast<std::int64_t>(at));
    at += Le(static_cast<std::size_t>(at) + 0x1C, 4);
  }
  return starts;
}

std::int64_t ReferenceImage::TrackStart(std::int64_t disk_start,
                                        int track) const {
  if (track < 0 || track >= 164) return -1;
  const auto disk = static_cast<std::size_t>(disk_start);
  const std::uint32_t offset = Le(disk + 0x20 + 4 * static_cast<std::size_t>(track), 4);
  if (offset == 0 || offset > Le(disk + 0x1C, 4)) return -1;
  return disk_start + offset;
}

d88::SectorInfo ReferenceImage::Find(std::int64_t track_start,
                                     std::uint32_t id) const {
  d88::SectorInfo info = {};
  if (track_start < 0) return info;
  auto at = static_cast<std::uint64_t>(track_start);
  for (std::int64_t index = 0;; ++index) {
    if (at + 16 > size_) return info;
    const auto record = static_cast<std::size_t>(at);
    const std::uint32_t count = Le(record + 4, 2);
    if (count == 0) return info;
    if (Le(record, 4) == id) {
      info.found = true;
      info.data_length = static_cast<std::uint16_t>(Le(record + 14, 2));
      info.deleted_mark = bytes_[record + 7];
      info.status = bytes_[record + 8];
      info.data_position = static_cast<std::int64_t>(at + 16);
      return info;
    }
    at += 16 + Le(record + 14, 2);
    if (index == static_cast<std::int64_t>(count) - 1) return info;
  }
}

// One nominal sector at a time, the last step only for what is missing; a
// sector that is missing or shorter than asked ends the run, its bytes not
// counted.
std::vector<std::uint8_t> ReferenceImage::Run(std::int64_t disk_start,
                                              int track, int c, int h, int r,
                                              int n, std::int32_t total,
                                              int first, int last) const {
  std::vector<std::uint8_t> out;
  if (n < 0 || n > 23) return out;
  const std::int32_t nominal = 128 << n;
  while (static_cast<std::int32_t>(out.size()) < total) {
    const std::int32_t chunk =
        std::min(nominal, total - static_cast<std::int32_t>(out.size()));
    const bool in_range = c >= 0 && c <= 255 && h >= 0 && h <= 255 &&
                          r >= 0 && r <= 255;
    const d88::SectorInfo sector =
        in_range ? Find(TrackStart(disk_start, track), PackId(c, h, r, n))
                 : d88::SectorInfo{};
    if (!sector.found) return out;
    const auto from = static_cast<std::size_t>(sector.data_position);
    const std::size_t stored = std::min<std::size_t>(
        sector.data_length, from < size_ ? size_ - from : 0);
    if (static_cast<std::int32_t>(stored) < chunk) return out;
    out.insert(out.end(), bytes_ + from, bytes_ + from + chunk);
    if (r == last) {
      ++track;
      if (h == 0) {
        h = 1;
      } else {
        h = 0;
        ++c;
      }
      r = first;
    } else {
      ++r;
    }
  }
  return out;
}

// Unlike a lookup, a listing stops only at a cut header, after the record
// whose index is its count minus one, or when it has enough.
std::vector<std::uint8_t> ReferenceImage::Ids(std::int64_t track_start,
                                              std::int32_t max_records) const {
  std::vector<std::uint8_t> out;
  if (track_start < 0) return out;
  auto at = static_cast<std::uint64_t>(track_start);
  for (std::int64_t index = 0;
       static_cast<std::int32_t>(out.size() / 4) < max_records; ++index) {
    if (at + 16 > size_) break;
    const auto record = static_cast<std::size_t>(at);
    out.insert(out.end(), bytes_ + record, bytes_ + record + 4);
    const std::uint32_t count = Le(record + 4, 2);
    at += 16 + Le(record + 14, 2);
    if (index == static_cast<std::int64_t>(count) - 1) break;
  }
  return out;
}

}  // namespace d88check
