// Names from the disk as UTF-8 text, for output that must be Unicode
// whatever the user asked for (JSON).
//
// Disk and entry names are raw bytes in the machines' own character set,
// Shift_JIS. The one decoder of the tool turns them into UTF-8; this thin
// call is where the rest of the tool reaches it.
#pragma once

#include <cstddef>

namespace d88 {

// Room for the UTF-8 text of a 16-byte disk name: at most three bytes per
// raw byte, and the terminator.
constexpr std::size_t kNameTextCapacity = 3 * 16 + 1;

// Writes the UTF-8 text of raw_length raw bytes into dest (capacity bytes,
// NUL-terminated) and returns its length. Bytes that do not decode become
// U+FFFD; control characters pass through for the caller to escape.
std::size_t NameToUtf8(const char* raw, std::size_t raw_length, char* dest,
                       std::size_t capacity);

}  // namespace d88
