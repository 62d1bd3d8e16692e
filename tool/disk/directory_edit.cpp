#include "disk/directory_edit.h"

#include <cstring>

namespace d88 {

// The sectors are looked up one by one, not read as a run, because their
// file positions are what the rewrite needs. As for the walk, a sector that
// is not whole ends the directory before it.
bool DirectoryEdit::Load(D88Image& image) {
  *this = DirectoryEdit();
  std::memset(slots_, kEndOfDirectory, sizeof slots_);
  std::uint8_t* bytes = &slots_[0][0];
  bool whole = true;
  for (int index = 0; index < 2 && whole; ++index) {
    const SectorInfo found = image.FindSector(
        kDirectoryTrack, kDirectoryTrack / 2, kDirectoryTrack % 2,
        kFirstSector + index, kSectorSizeCode);
    std::uint8_t* dest = bytes + index * kSectorSize;
    whole = image.ReadFoundSector(kDirectoryTrack, found, dest,
                                  kSectorSize) == kSectorSize;
    if (!whole) std::memset(dest, kEndOfDirectory, kSectorSize);
    positions_[index] = found.data_position;
  }
  entry_count_ = kMaxDirEntries;
  for (int slot = 0; slot < kMaxDirEntries; ++slot) {
    if (slots_[slot][kEntryNameOffset] == kEndOfDirectory) {
      entry_count_ = slot;
      break;
    }
  }
  return whole;
}

void DirectoryEdit::StartEmpty() {
  *this = DirectoryEdit();
  std::memset(slots_, kEndOfDirectory, sizeof slots_);
  positions_[0] = -1;
  positions_[1] = -1;
}

void DirectoryEdit::Remove(int slot) {
  if (removed_[slot]) return;
  removed_[slot] = true;
  ++removed_count_;
  changed_ = true;
}

void DirectoryEdit::Rename(int slot, const char* raw_name) {
  DirEntry entry = Entry(slot);
  std::memset(entry.name, 0, sizeof entry.name);
  std::strncpy(entry.name, raw_name, kEntryNameLength);
  EncodeDirEntry(entry, slots_[slot]);
  changed_ = true;
}

void DirectoryEdit::MoveRun(int slot, SectorAddress start, SectorAddress end) {
  DirEntry entry = Entry(slot);
  entry.start_track = start.track;
  entry.start_sector = start.sector;
  entry.end_track = end.track;
  entry.end_sector = end.sector;
  EncodeDirEntry(entry, slots_[slot]);
  changed_ = true;
}

int DirectoryEdit::Room() const {
  return kMaxDirEntries - (entry_count_ - removed_count_) - appended_count_;
}

// A new entry's bytes 6 to 11 are zero: nothing is known to go there.
bool DirectoryEdit::Append(const DirEntry& entry) {
  if (Room() <= 0) return false;
  std::uint8_t* bytes = appended_[appended_count_++];
  std::memset(bytes, 0, kDirEntrySize);
  EncodeDirEntry(entry, bytes);
  changed_ = true;
  return true;
}

// The kept entries, the new ones, then the slots from the old end marker
// on, then fresh end markers; whatever passes the last slot falls off.
void DirectoryEdit::Compose(std::uint8_t* dest) const {
  std::memset(dest, kEndOfDirectory, kDirectorySize);
  int out = 0;
  const auto put = [&](const std::uint8_t* slot) {
    if (out < kMaxDirEntries) {
      std::memcpy(dest + out * kDirEntrySize, slot, kDirEntrySize);
    }
    ++out;
  };
  for (int slot = 0; slot < entry_count_; ++slot) {
    if (!removed_[slot]) put(slots_[slot]);
  }
  for (int index = 0; index < appended_count_; ++index) put(appended_[index]);
  for (int slot = entry_count_; slot < kMaxDirEntries; ++slot) {
    put(slots_[slot]);
  }
}

}  // namespace d88
