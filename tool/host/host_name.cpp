#include "host/host_name.h"

#include <cctype>
#include <cstring>
#include <initializer_list>

#include "host/shift_jis.h"

namespace d88 {
namespace {

// Raw Shift_JIS: a lead byte and the byte after it form one character, and
// that second byte may be 0x5C, the backslash. Only single-byte characters
// can be path syntax. (In UTF-8 no byte of a multi-byte character is ASCII,
// so decoded names need no such care.)
bool IsShiftJisLead(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

bool IsShiftJisTrail(unsigned char byte) {
  return byte >= 0x40 && byte <= 0xFC && byte != 0x7F;
}

bool IsForbiddenOnWindows(unsigned char byte) {
  return byte < 0x20 || std::strchr("\\:*?\"<>|", byte) != nullptr;
}

bool IsWindows(HostRules rules) { return rules != HostRules::kPosix; }

void ReplacePathBytes(char* name, HostRules rules, NameEncoding encoding) {
  const bool skip_pairs =
      rules == HostRules::kWindows && encoding == NameEncoding::kRaw;
  for (std::size_t i = 0; name[i] != '\0'; ++i) {
    const auto byte = static_cast<unsigned char>(name[i]);
    if (skip_pairs && IsShiftJisLead(byte) &&
        IsShiftJisTrail(static_cast<unsigned char>(name[i + 1]))) {
      ++i;  // the pair is one character; its second byte is not syntax
    } else if (byte == '/' ||
               (IsWindows(rules) && IsForbiddenOnWindows(byte))) {
      name[i] = '_';
    }
  }
}

// Windows drops trailing dots and spaces from a name, so "A." and "A" would
// meet in one file; this also turns "." and ".." into "_" and "__".
void ReplaceTrailingDotsAndSpaces(char* name) {
  for (std::size_t end = std::strlen(name); end > 0; --end) {
    if (name[end - 1] != '.' && name[end - 1] != ' ') break;
    name[end - 1] = '_';
  }
}

// POSIX only needs the two names that mean folders.
void ReplaceDotNames(char* name) {
  if (std::strcmp(name, ".") == 0) std::strcpy(name, "_");
  if (std::strcmp(name, "..") == 0) std::strcpy(name, "__");
}

bool SameLetters(const char* name, const char* upper, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(name[i]);
    if (byte >= 0x80 || std::toupper(byte) != upper[i]) return false;
  }
  return true;
}

// The name as the host rules first see it: the entry's bytes, or their
// UTF-8. Either way it leaves room for a '_' in front.
void StartName(const char* entry_name, NameEncoding encoding, char* name) {
  const std::size_t length = strnlen(entry_name, kMaxEntryName);
  if (encoding == NameEncoding::kUnicode) {
    ShiftJisToUtf8(entry_name, length, name, kHostNameCapacity - 1);
  } else {
    std::memcpy(name, entry_name, length);
    name[length] = '\0';
  }
}

void PrefixDeviceName(char* name) {
  std::memmove(name + 1, name, std::strlen(name) + 1);
  name[0] = '_';
}

}  // namespace

// Devices are there in every folder. CONIN$ and CONOUT$ are the console's
// own input and output.
bool IsWindowsDeviceName(const char* name) {
  const std::size_t stem = std::strcspn(name, ".");
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (stem == std::strlen(device) && SameLetters(name, device, stem)) {
      return true;
    }
  }
  if (stem == 4 && name[3] >= '1' && name[3] <= '9') {
    return SameLetters(name, "COM", 3) || SameLetters(name, "LPT", 3);
  }
  return false;
}

bool HostFileName(const char* entry_name, HostRules rules,
                  NameEncoding encoding, char* host_name) {
  char start[kHostNameCapacity];
  StartName(entry_name, encoding, start);
  std::strcpy(host_name, start);
  ReplacePathBytes(host_name, rules, encoding);
  if (IsWindows(rules)) {
    ReplaceTrailingDotsAndSpaces(host_name);
    if (IsWindowsDeviceName(host_name)) PrefixDeviceName(host_name);
  } else {
    ReplaceDotNames(host_name);
  }
  return std::strcmp(host_name, start) != 0;
}

namespace {

unsigned char FoldedByte(unsigned char byte, HostRules rules) {
  if (rules != HostRules::kPosix && byte >= 'a' && byte <= 'z') {
    return static_cast<unsigned char>(byte - 'a' + 'A');
  }
  return byte;
}

}  // namespace

// Windows takes names equal but for the case of their ASCII letters as one
// file. The second byte of a raw Shift_JIS character is no letter, whatever
// its value, where the code page reads the pair as one character.
int CompareHostNames(const char* a, const char* b, HostRules rules,
                     NameEncoding encoding) {
  const bool pairs =
      encoding == NameEncoding::kRaw && rules == HostRules::kWindows;
  bool in_character = false;
  for (std::size_t i = 0;; ++i) {
    const auto x = static_cast<unsigned char>(a[i]);
    const auto y = static_cast<unsigned char>(b[i]);
    const unsigned char fx = in_character ? x : FoldedByte(x, rules);
    const unsigned char fy = in_character ? y : FoldedByte(y, rules);
    if (fx != fy) return fx < fy ? -1 : 1;
    if (x == 0) return 0;
    in_character = !in_character && pairs && IsShiftJisLead(x);
  }
}

}  // namespace d88
