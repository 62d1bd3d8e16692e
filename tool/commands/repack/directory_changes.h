// The changes that touch only a disk's directory and header: entries taken
// out, entries renamed, the disk's name and write protection.
#pragma once

#include "d88_image.h"

namespace d88 {
namespace repack {

// The new name and write protection of every disk taken. False when the
// name does not fit a disk header; then no disk is renamed.
bool SetHeaders();

// Takes out the entries that --remove's patterns match. False when a
// pattern matches nothing or an entry cannot be taken out.
bool RemoveEntries();

// Renames the entries --rename names. False when any rename was refused.
bool RenameEntries();

// Whether raw_name is the name of an entry of the disk that stays in its
// directory, other than the one in skip_slot (-1: none), new ones included.
bool NameTaken(int disk, const char* raw_name, int skip_slot);

// Why the entry name that host_name gives cannot be used, or nullptr when
// it can; raw_name gets it. Says nothing itself.
const char* EntryNameProblemOf(const char* host_name, char* raw_name);

}  // namespace repack
}  // namespace d88
