#include "sample_images.h"

#include <cstring>
#include <string>

namespace d88test {
namespace {

// What the imaging hardware made of a worn copy of the sample's track.
void Damage(std::vector<d88test::SectorRecord>& records, int track) {
  for (auto record = records.begin(); record != records.end(); ++record) {
    if (track == 2 && record->r == 3) record->status = 0xB0;
    if (track == 3 && record->r == 2) {
      records.erase(record);
      break;
    }
  }
  for (auto& record : records) {
    record.count = static_cast<std::uint16_t>(records.size());
  }
}

// A disk whose files hold text, so that the extracted files can be read.
Bytes SampleDisk(const char* name,
                 const std::vector<std::pair<std::string, std::string>>& files,
                 bool damaged) {
  d88test::DiskBuilder disk(name);
  Bytes directory(2048, 0xFF);
  std::vector<Bytes> data_sectors;
  int next_sector = 0;  // counted from track 2, sector 1
  for (std::size_t i = 0; i < files.size(); ++i) {
    const auto& [file_name, text] = files[i];
    const int sectors = static_cast<int>(text.size() / 1024 + 1);
    const int first = 10 + next_sector;  // track 2 * 5
    const int last = first + sectors - 1;
    Bytes entry(16, 0);
    std::memcpy(entry.data(), file_name.data(), std::min<std::size_t>(6, file_name.size()));
    entry[12] = static_cast<std::uint8_t>(first / 5);
    entry[13] = static_cast<std::uint8_t>(first % 5 + 1);
    entry[14] = static_cast<std::uint8_t>(last / 5);
    entry[15] = static_cast<std::uint8_t>(last % 5 + 1);
    std::copy(entry.begin(), entry.end(), directory.begin() + 16 * static_cast<long>(i));
    Bytes content(text.begin(), text.end());
    content.resize(static_cast<std::size_t>(sectors) * 1024, 0);
    for (int s = 0; s < sectors; ++s) {
      data_sectors.emplace_back(content.begin() + s * 1024, content.begin() + (s + 1) * 1024);
    }
    next_sector += sectors;
  }
  const int tracks = 2 + (next_sector + 4) / 5;
  for (int track = 0; track < tracks; ++track) {
    std::vector<d88test::SectorRecord> records = d88test::StandardTrack(track);
    for (auto& record : records) {
      const int linear = track * 5 + record.r - 1 - 10;
      if (track == 1 && record.r <= 2) {
        record.data.assign(directory.begin() + (record.r - 1) * 1024,
                           directory.begin() + record.r * 1024);
      } else if (linear >= 0 && linear < static_cast<int>(data_sectors.size())) {
        record.data = data_sectors[static_cast<std::size_t>(linear)];
      } else {
        record.data.assign(1024, 0xE5);  // formatted, never written
      }
    }
    if (damaged && std::strcmp(name, "SYSTEM DISK") == 0) Damage(records, track);
    if (damaged && std::strcmp(name, "DATA DISK") == 0 && track == 2) {
      records[0].deleted_mark = 0x10;  // the sector of SCORES
    }
    disk.SetTrack(track, records);
  }
  return disk.Build();
}

}  // namespace

Bytes RescueImage() {
  FileSystemDisk disk("RESCUE ME", 40);
  disk.AddEntry("MAIN", 2, 1, 4, 5)
      .AddEntry("TITLE", 5, 1, 6, 3)
      .AddEntry("DATA1", 6, 4, 9, 2)
      .AddEntry("DATA2", 9, 3, 10, 5)
      .AddEntry("SAVE", 10, 4, 11, 2)
      .AddEntry("MUSIC", 14, 1, 20, 5)
      .AddEntry("MAP", 26, 1, 27, 5)
      .AddEntry("END", 30, 1, 31, 5)
      .RemoveSector(8, 1)
      .ShortenSector(27, 4, 300)
      .MarkSector(16, 3, 0xB0)
      .MarkSector(17, 2, 0, 0x10)
      .MarkSector(0, 4, 0xA0)
      .RemoveTrack(33);
  return disk.Build();
}

Bytes SampleImage(bool damaged) {
  std::string poem;
  for (int i = 1; i <= 60; ++i) {
    poem += "Line " + std::to_string(i) + " of a text file on a floppy disk.\n";
  }
  return Concat({
      SampleDisk("SYSTEM DISK", {{"README", "Hello from a floppy disk.\n"},
                                 {"POEM", poem},
                                 {"GAME", std::string(3000, 'G')}},
                 damaged),
      SampleDisk("DATA DISK", {{"SCORES", "1. AAA 9999\n2. BBB 8000\n"}},
                 damaged),
      // A Japanese disk: its names are Shift_JIS, as on the machines these
      // disks come from ("game" and "memo").
      SampleDisk("\x83\x51\x81\x5B\x83\x80",
                 {{"\x83\x81\x83\x82", "\x82\xB1\x82\xF1\x82\xC9\x82\xBF"
                                         "\x82\xCD\r\n"}},
                 damaged),
  });
}

}  // namespace d88test
