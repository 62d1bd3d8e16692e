#include "d88_builder.h"

#include <algorithm>

namespace d88test {
namespace {

constexpr std::size_t kHeaderSize = 0x2B0;
constexpr int kTrackCount = 164;

void PutLe16(Bytes& out, std::size_t at, std::uint16_t value) {
  out[at] = static_cast<std::uint8_t>(value);
  out[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void PutLe32(Bytes& out, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    out[at + static_cast<std::size_t>(i)] =
        static_cast<std::uint8_t>(value >> (8 * i));
  }
}

void AppendRecord(Bytes& out, const SectorRecord& record) {
  Bytes header(16, 0);
  header[0] = record.c;
  header[1] = record.h;
  header[2] = record.r;
  header[3] = record.n;
  PutLe16(header, 4, record.count);
  header[7] = record.deleted_mark;
  header[8] = record.status;
  PutLe16(header, 14,
          record.length_field.value_or(
              static_cast<std::uint16_t>(record.data.size())));
  out.insert(out.end(), header.begin(), header.end());
  out.insert(out.end(), record.data.begin(), record.data.end());
}

}  // namespace

Bytes SectorPattern(int track, int r, std::size_t length) {
  Bytes data(length);
  for (std::size_t i = 0; i < length; ++i) {
    data[i] = static_cast<std::uint8_t>(
        static_cast<std::size_t>(track * 31 + r * 7) + i * 3 + i / 256);
  }
  return data;
}

std::vector<SectorRecord> StandardTrack(int track) {
  std::vector<SectorRecord> records;
  for (int r = 1; r <= 5; ++r) {
    SectorRecord record;
    record.c = static_cast<std::uint8_t>(track / 2);
    record.h = static_cast<std::uint8_t>(track % 2);
    record.r = static_cast<std::uint8_t>(r);
    record.count = 5;
    record.data = SectorPattern(track, r);
    records.push_back(record);
  }
  return records;
}

DiskBuilder::DiskBuilder(std::string name, std::uint8_t media) : media_(media) {
  std::copy_n(name.begin(), std::min<std::size_t>(name.size(), 16),
              name_.begin());
}

DiskBuilder& DiskBuilder::SetTrack(int track,
                                   std::vector<SectorRecord> records) {
  tracks_[track] = std::move(records);
  return *this;
}

DiskBuilder& DiskBuilder::SetTrackOffset(int track, std::uint32_t offset) {
  offset_overrides_[track] = offset;
  return *this;
}

DiskBuilder& DiskBuilder::SetSizeField(std::uint32_t size) {
  size_override_ = size;
  return *this;
}

DiskBuilder& DiskBuilder::SetNameBytes(const Bytes& sixteen) {
  name_.fill(0);
  std::copy_n(sixteen.begin(), std::min<std::size_t>(sixteen.size(), 16),
              name_.begin());
  return *this;
}

DiskBuilder& DiskBuilder::SetWriteProtect(std::uint8_t value) {
  write_protect_ = value;
  return *this;
}

Bytes DiskBuilder::Build() const {
  Bytes out(kHeaderSize, 0);
  std::copy(name_.begin(), name_.end(), out.begin());
  out[0x1A] = write_protect_;
  out[0x1B] = media_;
  for (const auto& [track, records] : tracks_) {
    if (track >= 0 && track < kTrackCount) {
      PutLe32(out, 0x20 + 4 * static_cast<std::size_t>(track),
              static_cast<std::uint32_t>(out.size()));
    }
    for (const SectorRecord& record : records) AppendRecord(out, record);
  }
  for (const auto& [track, offset] : offset_overrides_) {
    PutLe32(out, 0x20 + 4 * static_cast<std::size_t>(track), offset);
  }
  PutLe32(out, 0x1C,
          size_override_.value_or(static_cast<std::uint32_t>(out.size())));
  return out;
}

Bytes Concat(const std::vector<Bytes>& parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

FileSystemDisk::FileSystemDisk(std::string name, int track_count)
    : name_(std::move(name)) {
  for (int track = 0; track < track_count; ++track) {
    for (int r = 1; r <= 5; ++r) sectors_[track][r] = SectorPattern(track, r);
  }
}

FileSystemDisk& FileSystemDisk::AddEntry(const std::string& name,
                                         int start_track, int start_sector,
                                         int end_track, int end_sector) {
  Bytes entry(16, 0);
  std::copy_n(name.begin(), std::min<std::size_t>(name.size(), 6),
              entry.begin());
  entry[12] = static_cast<std::uint8_t>(start_track);
  entry[13] = static_cast<std::uint8_t>(start_sector);
  entry[14] = static_cast<std::uint8_t>(end_track);
  entry[15] = static_cast<std::uint8_t>(end_sector);
  return AddRawEntry(entry);
}

FileSystemDisk& FileSystemDisk::AddRawEntry(const Bytes& sixteen) {
  directory_.insert(directory_.end(), sixteen.begin(), sixteen.end());
  return *this;
}

FileSystemDisk& FileSystemDisk::RemoveSector(int track, int r) {
  sectors_[track].erase(r);
  return *this;
}

FileSystemDisk& FileSystemDisk::ShortenSector(int track, int r,
                                              std::size_t length) {
  sectors_[track][r].resize(length);
  return *this;
}

FileSystemDisk& FileSystemDisk::RemoveTrack(int track) {
  sectors_.erase(track);
  return *this;
}

FileSystemDisk& FileSystemDisk::MarkSector(int track, int r,
                                           std::uint8_t status,
                                           std::uint8_t deleted_mark) {
  marks_[track][r] = {status, deleted_mark};
  return *this;
}

FileSystemDisk& FileSystemDisk::SetHeader(std::uint8_t media,
                                          std::uint8_t write_protect) {
  media_ = media;
  write_protect_ = write_protect;
  return *this;
}

FileSystemDisk& FileSystemDisk::OverwriteRun(int track, int r,
                                             const Bytes& bytes) {
  for (std::size_t done = 0; done < bytes.size(); done += 1024) {
    Bytes& data = sectors_[track][r];
    const std::size_t part = std::min<std::size_t>(1024, bytes.size() - done);
    std::fill_n(data.begin(), 1024, std::uint8_t{0});
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(done), part,
                data.begin());
    if (r == 5) {
      ++track;
      r = 1;
    } else {
      ++r;
    }
  }
  return *this;
}

FileSystemDisk& FileSystemDisk::SetDirectoryBytes(std::size_t length) {
  directory_.resize(length, 0xFF);
  if (length < 2048) RemoveSector(1, 2);
  if (length < 1024) RemoveSector(1, 1);
  return *this;
}

std::optional<Bytes> FileSystemDisk::Sector(int track, int r) const {
  const auto t = sectors_.find(track);
  if (t == sectors_.end()) return std::nullopt;
  const auto s = t->second.find(r);
  if (s == t->second.end()) return std::nullopt;
  Bytes data = s->second;
  if (track == 1 && r <= 2) {
    // The directory lives in these two sectors, padded with 0xFF.
    Bytes directory = directory_;
    directory.resize(2048, 0xFF);
    const auto from = directory.begin() + (r - 1) * 1024;
    std::copy_n(from, data.size(), data.begin());
  }
  return data;
}

Bytes FileSystemDisk::RunBytes(int track, int r, std::size_t size) const {
  Bytes out;
  while (out.size() < size) {
    const std::optional<Bytes> data = Sector(track, r);
    if (!data || data->size() < 1024) break;
    out.insert(out.end(), data->begin(), data->end());
    if (r == 5) {
      ++track;
      r = 1;
    } else {
      ++r;
    }
  }
  out.resize(std::min(out.size(), size));
  return out;
}

Bytes FileSystemDisk::Build() const {
  DiskBuilder disk(name_, media_);
  disk.SetWriteProtect(write_protect_);
  for (const auto& [track, by_r] : sectors_) {
    std::vector<SectorRecord> records;
    for (const auto& entry : by_r) {
      const int r = entry.first;
      SectorRecord record;
      record.c = static_cast<std::uint8_t>(track / 2);
      record.h = static_cast<std::uint8_t>(track % 2);
      record.r = static_cast<std::uint8_t>(r);
      record.count = static_cast<std::uint16_t>(by_r.size());
      record.data = *Sector(track, r);
      const auto t = marks_.find(track);
      if (t != marks_.end() && t->second.count(r) != 0) {
        record.status = t->second.at(r).first;
        record.deleted_mark = t->second.at(r).second;
      }
      records.push_back(record);
    }
    disk.SetTrack(track, records);
  }
  return disk.Build();
}

}  // namespace d88test
