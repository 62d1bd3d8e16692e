// Names typed or found on the host that go onto a disk: an entry's name
// from a host file's name, and a disk's name from text. A repack's added
// and renamed entries and a new disk's files and name all take them here.
#pragma once

#include <cstdint>

#include "d88_format.h"
#include "disk/file_system.h"

namespace d88 {

// Why the entry name that host_name gives cannot be used, or nullptr when
// it can; raw_name (room for 7 bytes) gets it, NUL-terminated. The name
// must be 1 to 6 bytes on the disk (with unicode_names, encoded to
// Shift_JIS) and be what an extraction writes under that name.
const char* EntryNameProblemOf(const char* host_name, bool unicode_names,
                               char* raw_name);

// The disk name as a header holds it: up to 16 bytes, zero-padded, into
// dest. Why it cannot be, or nullptr when it can.
const char* DiskNameProblemOf(const char* text, bool unicode_names,
                              std::uint8_t* dest);

}  // namespace d88
