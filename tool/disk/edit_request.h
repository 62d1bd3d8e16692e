// What a repack is asked to change on the disks besides the bytes of the
// files already there: as the command line gave it, checked only for form.
#pragma once

namespace d88 {

struct EditRequest {
  static constexpr int kMaxPatterns = 32;
  enum class WriteProtect { kUnchanged, kOn, kOff };

  bool relocate = false;  // a file that no longer fits its run moves
  bool add = false;       // new host files become new entries
  bool dry_run = false;   // say what would change; write nothing
  int remove_count = 0;
  const char* remove[kMaxPatterns] = {};  // shell patterns of entry names
  int rename_count = 0;
  const char* rename[kMaxPatterns] = {};  // "OLD=NEW", split at the first '='
  const char* disk_name = nullptr;        // nullptr: unchanged
  WriteProtect write_protect = WriteProtect::kUnchanged;

  // Whether anything beyond the files' bytes is asked for.
  bool Any() const {
    return relocate || add || dry_run || remove_count > 0 ||
           rename_count > 0 || disk_name != nullptr ||
           write_protect != WriteProtect::kUnchanged;
  }
};

}  // namespace d88
