#include "host_name.h"

#include <cctype>
#include <cstring>
#include <initializer_list>

namespace d88 {
namespace {

// Shift_JIS: a lead byte and the byte after it form one character, and that
// second byte may be 0x5C, the backslash. Only single-byte characters can be
// path syntax.
bool IsShiftJisLead(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

bool IsShiftJisTrail(unsigned char byte) {
  return byte >= 0x40 && byte <= 0xFC && byte != 0x7F;
}

bool IsForbiddenOnWindows(unsigned char byte) {
  return byte < 0x20 || std::strchr("\\:*?\"<>|", byte) != nullptr;
}

void ReplacePathBytes(char* name, HostRules rules) {
  for (std::size_t i = 0; name[i] != '\0'; ++i) {
    const auto byte = static_cast<unsigned char>(name[i]);
    if (rules == HostRules::kWindows && IsShiftJisLead(byte) &&
        IsShiftJisTrail(static_cast<unsigned char>(name[i + 1]))) {
      ++i;  // the pair is one character; its second byte is not syntax
    } else if (byte == '/' ||
               (rules == HostRules::kWindows && IsForbiddenOnWindows(byte))) {
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

// CON, PRN, AUX, NUL, COM1-COM9 and LPT1-LPT9 name devices in every folder,
// in any case, alone or followed by an extension.
bool IsWindowsDeviceName(const char* name) {
  std::size_t stem = std::strcspn(name, ".");
  if (stem == 3) {
    for (const char* device : {"CON", "PRN", "AUX", "NUL"}) {
      if (SameLetters(name, device, 3)) return true;
    }
  }
  if (stem == 4 && name[3] >= '1' && name[3] <= '9') {
    return SameLetters(name, "COM", 3) || SameLetters(name, "LPT", 3);
  }
  return false;
}

}  // namespace

bool HostFileName(const char* entry_name, HostRules rules, char* host_name) {
  constexpr std::size_t kMaxEntryName = kHostNameCapacity - 2;
  const std::size_t length = strnlen(entry_name, kMaxEntryName);
  std::memcpy(host_name, entry_name, length);
  host_name[length] = '\0';
  ReplacePathBytes(host_name, rules);
  if (rules == HostRules::kWindows) {
    ReplaceTrailingDotsAndSpaces(host_name);
    if (IsWindowsDeviceName(host_name)) {
      std::memmove(host_name + 1, host_name, length + 1);
      host_name[0] = '_';
    }
  } else {
    ReplaceDotNames(host_name);
  }
  return std::strcmp(host_name, entry_name) != 0;
}

}  // namespace d88
