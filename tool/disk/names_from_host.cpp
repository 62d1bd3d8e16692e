#include "disk/names_from_host.h"

#include <cstdio>
#include <cstring>

#include "host/entry_host_name.h"
#include "host/shift_jis.h"

namespace d88 {

// A first byte of 0xFF would end the directory at the entry. Without
// --unicode-names a name goes to the disk byte for byte, so a name in
// UTF-8 would sit there as bytes no machine of the disk's reads as meant,
// beside the Shift_JIS name of the same text.
const char* EntryNameProblemOf(const char* host_name, bool unicode_names,
                               char* raw_name) {
  const EntryNameFromHost name = EntryNameFor(host_name, unicode_names);
  std::memcpy(raw_name, name.raw, kEntryNameLength + 1);
  if (!unicode_names && IsUtf8BeyondAscii(host_name)) {
    return "the name is UTF-8 text, which --unicode-names stores in "
           "Shift_JIS";
  }
  static char length_problem[80];
  switch (name.problem) {
    case EntryNameProblem::kNone: break;
    case EntryNameProblem::kNoShiftJis:
      return "the name has no Shift_JIS form";
    case EntryNameProblem::kLength:
      std::snprintf(length_problem, sizeof length_problem,
                    "an entry's name holds 1 to 6 bytes, and this one has %lu",
                    static_cast<unsigned long>(name.length));
      return length_problem;
    case EntryNameProblem::kNotWritten:
      return "an extraction writes no file of that name";
  }
  if (static_cast<std::uint8_t>(raw_name[0]) == kEndOfDirectory) {
    return "a name starting with byte 0xFF would end the directory";
  }
  return nullptr;
}

const char* DiskNameProblemOf(const char* text, bool unicode_names,
                              std::uint8_t* dest) {
  char encoded[4 * kDiskNameLength + 1] = {};
  std::size_t length = std::strlen(text);
  if (unicode_names) {
    const ShiftJisEncoding encoding =
        Utf8ToShiftJis(text, encoded, sizeof encoded);
    if (!encoding.encodable) return "it has no Shift_JIS form";
    length = encoding.length;
  } else {
    std::snprintf(encoded, sizeof encoded, "%s", text);
  }
  if (length > kDiskNameLength) {
    static char length_problem[80];
    std::snprintf(length_problem, sizeof length_problem,
                  "a disk name holds up to 16 bytes, and this one has %lu",
                  static_cast<unsigned long>(length));
    return length_problem;
  }
  std::memset(dest, 0, kDiskNameLength);
  std::memcpy(dest, encoded, length);
  return nullptr;
}

}  // namespace d88
