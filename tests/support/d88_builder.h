// Builds D88 image bytes from plain data, so that every test image is
// written in code next to the test that reads it.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace d88test {

using Bytes = std::vector<std::uint8_t>;

// One sector record as stored in a track: its ID, the track's record count
// as this record repeats it, and the data that follows. The data length field
// is data.size() unless length_field says otherwise.
struct SectorRecord {
  std::uint8_t c = 0, h = 0, r = 1, n = 3;
  std::uint16_t count = 1;
  Bytes data;
  std::optional<std::uint16_t> length_field;
  std::uint8_t deleted_mark = 0;  // header byte 0x07
  std::uint8_t status = 0;        // header byte 0x08
};

// Recognisable sector contents: different for every track, sector and byte.
Bytes SectorPattern(int track, int r, std::size_t length = 1024);

// The usual track of these disks: records R = 1..5 of 1024 bytes, N = 3, each
// claiming 5 records, with cylinder and head taken from the track index.
std::vector<SectorRecord> StandardTrack(int track);

class DiskBuilder {
 public:
  explicit DiskBuilder(std::string name = "", std::uint8_t media = 0);

  DiskBuilder& SetTrack(int track, std::vector<SectorRecord> records);
  // Raw track table entry, written over the one the layout gives.
  DiskBuilder& SetTrackOffset(int track, std::uint32_t offset);
  // Raw disk size field, written over the real size.
  DiskBuilder& SetSizeField(std::uint32_t size);
  // Raw header bytes 0..15 (may hold zeros anywhere).
  DiskBuilder& SetNameBytes(const Bytes& sixteen);
  // Raw write-protect byte (0x10: protected).
  DiskBuilder& SetWriteProtect(std::uint8_t value);

  Bytes Build() const;

 private:
  std::array<std::uint8_t, 16> name_{};
  std::uint8_t media_ = 0;
  std::uint8_t write_protect_ = 0;
  std::map<int, std::vector<SectorRecord>> tracks_;
  std::map<int, std::uint32_t> offset_overrides_;
  std::optional<std::uint32_t> size_override_;
};

Bytes Concat(const std::vector<Bytes>& parts);

// A disk with the tool's file system: tracks 0..track_count-1 hold five
// 1024-byte sectors of SectorPattern data, and track 1's sectors 1 and 2 hold
// a directory, 0xFF after the entries added.
class FileSystemDisk {
 public:
  explicit FileSystemDisk(std::string name, int track_count = 80);

  FileSystemDisk& AddEntry(const std::string& name, int start_track,
                           int start_sector, int end_track, int end_sector);
  // A raw 16-byte entry.
  FileSystemDisk& AddRawEntry(const Bytes& sixteen);
  FileSystemDisk& RemoveSector(int track, int r);
  FileSystemDisk& ShortenSector(int track, int r, std::size_t length);
  FileSystemDisk& RemoveTrack(int track);
  // The sector's header records this status and deleted-data mark byte.
  FileSystemDisk& MarkSector(int track, int r, std::uint8_t status,
                             std::uint8_t deleted_mark = 0);
  // Puts bytes over the first 1024 bytes of each sector of the run from
  // (track, r), stepping as a run does; the last one is padded with zeros.
  FileSystemDisk& OverwriteRun(int track, int r, const Bytes& bytes);
  // Replaces the directory with this many bytes (0 to 2048); sector 2, or
  // both, go missing when it is shorter than a sector.
  FileSystemDisk& SetDirectoryBytes(std::size_t length);
  // Header bytes: the media type and the write-protect byte.
  FileSystemDisk& SetHeader(std::uint8_t media, std::uint8_t write_protect);

  // The bytes a run of size bytes from (track, r) delivers: whole sectors in
  // stepping order until the first missing or short one.
  Bytes RunBytes(int track, int r, std::size_t size) const;
  // The stored data of a sector, directory included; none when missing.
  std::optional<Bytes> Sector(int track, int r) const;

  Bytes Build() const;

 private:
  std::string name_;
  std::uint8_t media_ = 0;
  std::uint8_t write_protect_ = 0;
  std::map<int, std::map<int, Bytes>> sectors_;  // track -> r -> data
  // track -> r -> (status, deleted mark)
  std::map<int, std::map<int, std::pair<std::uint8_t, std::uint8_t>>> marks_;
  Bytes directory_;
};

}  // namespace d88test
