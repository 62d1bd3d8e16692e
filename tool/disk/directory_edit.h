// A disk's directory as a repack changes it, held in memory until the image
// is rewritten.
//
// The directory is 128 slots of 16 bytes; the entries fill the slots before
// the first one whose name starts with the end marker. Taking an entry out
// moves every later slot up by one, the end marker and whatever lies after
// it included, and the last slot becomes a fresh end marker of 0xFF bytes.
// Adding one puts it in the end marker's slot and moves the rest down; the
// last slot falls off. Entries keep their place otherwise, so the slots are
// always known by where they were when the directory was read.
#pragma once

#include <cstdint>

#include "d88_image.h"
#include "disk/file_system.h"

namespace d88 {

class DirectoryEdit {
 public:
  // Reads both directory sectors of the disk selected in image. Returns
  // false when either is missing from the image or holds under 1024 bytes:
  // the entries the walk sees are still there to look at, but such a
  // directory cannot be written back whole.
  bool Load(D88Image& image);
  // A directory as a disk formatted afresh has it: no entry, every slot an
  // end marker.
  void StartEmpty();
  // Where the two sectors keep their data in the image file.
  std::int64_t SectorPosition(int index) const { return positions_[index]; }

  // The entries as read, by slot: those taken out still answer.
  int EntryCount() const { return entry_count_; }
  DirEntry Entry(int slot) const { return DecodeDirEntry(slots_[slot]); }
  bool Removed(int slot) const { return removed_[slot]; }

  void Remove(int slot);
  void Rename(int slot, const char* raw_name);
  void MoveRun(int slot, SectorAddress start, SectorAddress end);
  // Entries the directory can still take, after the ones taken out.
  int Room() const;
  // Puts a new entry after the last one; false when there is no room.
  bool Append(const DirEntry& entry);
  int AppendedCount() const { return appended_count_; }
  DirEntry Appended(int index) const {
    return DecodeDirEntry(appended_[index]);
  }

  // Whether any entry was taken out, renamed, moved or added.
  bool Changed() const { return changed_; }
  // The directory's new bytes: kDirectorySize of them.
  void Compose(std::uint8_t* dest) const;

 private:
  bool changed_ = false;
  std::int64_t positions_[2] = {};
  int entry_count_ = 0;
  int removed_count_ = 0;
  int appended_count_ = 0;
  std::uint8_t slots_[kMaxDirEntries][kDirEntrySize] = {};
  bool removed_[kMaxDirEntries] = {};
  std::uint8_t appended_[kMaxDirEntries][kDirEntrySize] = {};
};

}  // namespace d88
