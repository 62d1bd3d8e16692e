#include "name_text.h"

#include <cstdint>

namespace d88 {
namespace {

// Until the tool's Shift_JIS decoder lands, names decode here to what can be
// told without its tables: ASCII, and the half-width katakana 0xA1..0xDF
// (U+FF61..U+FF9F). A double-byte character becomes one U+FFFD.
bool IsLeadByte(std::uint8_t byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

std::size_t Put(char* dest, std::size_t used, std::size_t capacity,
                std::uint32_t code) {
  char bytes[3];
  std::size_t length = 1;
  if (code < 0x80) {
    bytes[0] = static_cast<char>(code);
  } else {
    bytes[0] = static_cast<char>(0xE0 | (code >> 12));
    bytes[1] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    bytes[2] = static_cast<char>(0x80 | (code & 0x3F));
    length = 3;
  }
  if (used + length >= capacity) return used;
  for (std::size_t i = 0; i < length; ++i) dest[used + i] = bytes[i];
  return used + length;
}

}  // namespace

std::size_t NameToUtf8(const char* raw, std::size_t raw_length, char* dest,
                       std::size_t capacity) {
  if (capacity == 0) return 0;
  std::size_t used = 0;
  for (std::size_t i = 0; i < raw_length; ++i) {
    const auto byte = static_cast<std::uint8_t>(raw[i]);
    std::uint32_t code = 0xFFFD;
    if (byte < 0x80) {
      code = byte;
    } else if (byte >= 0xA1 && byte <= 0xDF) {
      code = 0xFF61u + (byte - 0xA1u);
    } else if (IsLeadByte(byte) && i + 1 < raw_length) {
      ++i;  // the pair stands for one character
    }
    used = Put(dest, used, capacity, code);
  }
  dest[used] = '\0';
  return used;
}

}  // namespace d88
