#include "host/shift_jis.h"

#include <cstdint>

#include "host/cp932_table.h"

namespace d88 {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// --- Shift_JIS ---------------------------------------------------------

bool IsLead(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

bool IsTrail(unsigned char byte) {
  return byte >= 0x40 && byte <= 0xFC && byte != 0x7F;
}

bool IsHalfWidthKatakana(unsigned char byte) {
  return byte >= 0xA1 && byte <= 0xDF;
}

// The table's rows leave out the single-byte range 0xA0-0xDF between the
// two runs of lead bytes, and its columns leave out 0x7F.
std::size_t LeadIndex(unsigned char lead) {
  return lead <= 0x9F ? lead - 0x81u : lead - 0xE0u + (0x9Fu - 0x81u + 1u);
}

std::size_t TrailIndex(unsigned char trail) {
  return trail < 0x7F ? trail - 0x40u : trail - 0x41u;
}

char32_t PairCodePoint(unsigned char lead, unsigned char trail) {
  const std::uint16_t value =
      cp932::kPairTable[LeadIndex(lead) * cp932::kTrailCount +
                        TrailIndex(trail)];
  return value == 0 ? kUndecodable : char32_t{value};
}

// The inverse of the table's layout: the byte pair of a row and column.
unsigned char LeadOfIndex(std::size_t index) {
  return static_cast<unsigned char>(index < 0x9Fu - 0x81u + 1u
                                        ? 0x81u + index
                                        : 0xE0u + index - (0x9Fu - 0x81u + 1u));
}

unsigned char TrailOfIndex(std::size_t index) {
  return static_cast<unsigned char>(index < 0x7Fu - 0x40u ? 0x40u + index
                                                          : 0x41u + index);
}

struct ShiftJisBytes {
  unsigned char bytes[2];
  std::size_t length;  // 0: the code page has no form for the character
};

// Names are a few characters long, so a scan of the table in its own order
// is quick enough, and gives the lowest pair where the code page has two.
ShiftJisBytes EncodeShiftJisChar(char32_t code_point) {
  if (code_point < 0x80) return {{static_cast<unsigned char>(code_point)}, 1};
  if (code_point >= 0xFF61 && code_point <= 0xFF9F) {
    return {{static_cast<unsigned char>(0xA1 + (code_point - 0xFF61))}, 1};
  }
  if (code_point > 0xFFFF) return {{0, 0}, 0};
  for (std::size_t i = 0; i < cp932::kLeadCount * cp932::kTrailCount; ++i) {
    if (cp932::kPairTable[i] == code_point) {
      return {{LeadOfIndex(i / cp932::kTrailCount),
               TrailOfIndex(i % cp932::kTrailCount)},
              2};
    }
  }
  return {{0, 0}, 0};
}

// --- UTF-8 and UTF-16 units --------------------------------------------

template <typename Unit>
struct Encoded {
  Unit units[4];
  std::size_t length;
};

Encoded<char> EncodeUtf8(char32_t code_point) {
  const auto unit = [](char32_t bits) { return static_cast<char>(bits); };
  if (code_point < 0x80) return {{unit(code_point)}, 1};
  if (code_point < 0x800) {
    return {{unit(0xC0 | (code_point >> 6)), unit(0x80 | (code_point & 0x3F))},
            2};
  }
  if (code_point < 0x10000) {
    return {{unit(0xE0 | (code_point >> 12)),
             unit(0x80 | ((code_point >> 6) & 0x3F)),
             unit(0x80 | (code_point & 0x3F))},
            3};
  }
  return {{unit(0xF0 | (code_point >> 18)),
           unit(0x80 | ((code_point >> 12) & 0x3F)),
           unit(0x80 | ((code_point >> 6) & 0x3F)),
           unit(0x80 | (code_point & 0x3F))},
          4};
}

Encoded<wchar_t> EncodeUtf16(char32_t code_point) {
  const auto unit = [](char32_t bits) { return static_cast<wchar_t>(bits); };
  if (code_point < 0x10000) return {{unit(code_point)}, 1};
  const char32_t offset = code_point - 0x10000;
  return {{unit(0xD800 + (offset >> 10)), unit(0xDC00 + (offset & 0x3FF))}, 2};
}

struct DecodedChar {
  char32_t code_point;
  std::size_t length;
};

std::size_t Utf8SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;  // a continuation byte, or a lead no valid sequence starts with
}

// Whether a sequence of this length may carry this code point: the shortest
// form only, no surrogates, nothing beyond U+10FFFF.
bool IsWellFormed(char32_t code_point, std::size_t length) {
  if (code_point >= 0xD800 && code_point <= 0xDFFF) return false;
  if (length == 3) return code_point >= 0x800;
  if (length == 4) return code_point >= 0x10000 && code_point <= 0x10FFFF;
  return true;
}

// Reads one character of NUL-terminated UTF-8; never reads past the NUL,
// since the NUL is no continuation byte.
DecodedChar DecodeUtf8(const unsigned char* utf8) {
  const std::size_t length = Utf8SequenceLength(utf8[0]);
  if (length == 0) return {kReplacement, 1};
  if (length == 1) return {utf8[0], 1};
  char32_t code_point = utf8[0] & (0x7Fu >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((utf8[i] & 0xC0) != 0x80) return {kReplacement, 1};
    code_point = (code_point << 6) | (utf8[i] & 0x3Fu);
  }
  if (!IsWellFormed(code_point, length)) return {kReplacement, 1};
  return {code_point, length};
}

bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Reads one character of NUL-terminated UTF-16. A unit above 0xFFFF can
// only come from a 32-bit wchar_t and is no UTF-16 unit at all.
DecodedChar DecodeUtf16(const wchar_t* utf16) {
  const auto unit = static_cast<char32_t>(utf16[0]);
  if (unit > 0xFFFF) return {kReplacement, 1};
  if (IsHighSurrogate(unit)) {
    const auto next = static_cast<char32_t>(utf16[1]);
    if (!IsLowSurrogate(next)) return {kReplacement, 1};
    return {0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00), 2};
  }
  return {IsLowSurrogate(unit) ? kReplacement : unit, 1};
}

// Fills a caller's buffer with whole characters and keeps room for the NUL.
template <typename Unit>
class Sink {
 public:
  Sink(Unit* dest, std::size_t capacity) : dest_(dest), capacity_(capacity) {}

  // Appends the character if it fits in front of the NUL; false if not.
  bool Put(const Encoded<Unit>& encoded) {
    if (capacity_ == 0 || capacity_ - 1 - written_ < encoded.length) {
      return false;
    }
    for (std::size_t i = 0; i < encoded.length; ++i) {
      dest_[written_++] = encoded.units[i];
    }
    return true;
  }

  std::size_t Finish() {
    if (capacity_ > 0) dest_[written_] = Unit{0};
    return written_;
  }

 private:
  Unit* dest_;
  std::size_t capacity_;
  std::size_t written_ = 0;
};

}  // namespace

ShiftJisChar DecodeShiftJisChar(const char* raw, std::size_t raw_length) {
  if (raw_length == 0) return {0, 0};
  const auto byte = static_cast<unsigned char>(raw[0]);
  if (byte < 0x80) return {byte, 1};
  if (IsHalfWidthKatakana(byte)) return {0xFF61 + (byte - 0xA1u), 1};
  if (IsLead(byte) && raw_length >= 2) {
    const auto trail = static_cast<unsigned char>(raw[1]);
    if (IsTrail(trail)) return {PairCodePoint(byte, trail), 2};
  }
  return {kUndecodable, 1};
}

std::size_t ShiftJisToUtf8(const char* raw, std::size_t raw_length, char* dest,
                           std::size_t capacity) {
  Sink<char> sink(dest, capacity);
  for (std::size_t at = 0; at < raw_length;) {
    const ShiftJisChar decoded = DecodeShiftJisChar(raw + at, raw_length - at);
    if (!sink.Put(EncodeUtf8(decoded.code_point))) break;
    at += decoded.length;
  }
  return sink.Finish();
}

ShiftJisEncoding Utf8ToShiftJis(const char* utf8, char* dest,
                                std::size_t capacity) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(utf8);
  ShiftJisEncoding result = {true, 0};
  std::size_t written = 0;
  for (std::size_t at = 0; bytes[at] != 0;) {
    // A malformed sequence decodes to U+FFFD, which the code page lacks.
    const DecodedChar decoded = DecodeUtf8(bytes + at);
    const ShiftJisBytes encoded = EncodeShiftJisChar(decoded.code_point);
    if (encoded.length == 0) {
      result.encodable = false;
      break;
    }
    const bool fits = written == result.length && capacity > 0 &&
                      capacity - 1 - written >= encoded.length;
    for (std::size_t i = 0; fits && i < encoded.length; ++i) {
      dest[written++] = static_cast<char>(encoded.bytes[i]);
    }
    result.length += encoded.length;
    at += decoded.length;
  }
  if (capacity > 0) dest[written] = '\0';
  return result;
}

std::size_t Utf8ToUtf16(const char* utf8, wchar_t* dest, std::size_t capacity) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(utf8);
  Sink<wchar_t> sink(dest, capacity);
  for (std::size_t at = 0; bytes[at] != 0;) {
    const DecodedChar decoded = DecodeUtf8(bytes + at);
    if (!sink.Put(EncodeUtf16(decoded.code_point))) break;
    at += decoded.length;
  }
  return sink.Finish();
}

std::size_t Utf16ToUtf8(const wchar_t* utf16, char* dest,
                        std::size_t capacity) {
  Sink<char> sink(dest, capacity);
  for (std::size_t at = 0; utf16[at] != 0;) {
    const DecodedChar decoded = DecodeUtf16(utf16 + at);
    if (!sink.Put(EncodeUtf8(decoded.code_point))) break;
    at += decoded.length;
  }
  return sink.Finish();
}

bool IsUtf8BeyondAscii(const char* text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  bool beyond = false;
  for (std::size_t at = 0; bytes[at] != 0;) {
    const DecodedChar decoded = DecodeUtf8(bytes + at);
    // A malformed sequence is one byte of U+FFFD; a real U+FFFD is three.
    if (decoded.code_point == kReplacement && decoded.length == 1) return false;
    beyond = beyond || decoded.length > 1;
    at += decoded.length;
  }
  return beyond;
}

}  // namespace d88
