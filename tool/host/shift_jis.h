// Reading the disks' Shift_JIS names as Unicode, and the UTF-16 that
// Windows' wide-character file calls take.
//
// The disks store names as raw code page 932 bytes. Decoding never fails:
// a byte or pair that names no character becomes '_', so every name still
// gives a usable file name. All of it is plain arithmetic on buffers, the
// same on every host, so the Windows conversions are tested on POSIX too.
#pragma once

#include <cstddef>

namespace d88 {

// What an undecodable byte or pair becomes.
constexpr char32_t kUndecodable = U'_';

struct ShiftJisChar {
  char32_t code_point;
  std::size_t length;  // bytes consumed: 1 or 2, or 0 for empty input
};

// Decodes the character at the start of raw (raw_length bytes available).
// A lead byte whose trail byte is missing or invalid is consumed alone as
// '_'; the byte after it then starts the next character.
ShiftJisChar DecodeShiftJisChar(const char* raw, std::size_t raw_length);

// Each Shift_JIS byte gives at most three bytes of UTF-8 (every character
// of the code page lies in the Basic Multilingual Plane), plus the NUL.
constexpr std::size_t Utf8CapacityFor(std::size_t raw_length) {
  return 3 * raw_length + 1;
}

// Decodes raw_length bytes of Shift_JIS into dest as UTF-8 and returns the
// number of bytes written before the NUL. A NUL byte in raw is decoded like
// any other ASCII byte. Only whole characters are written: decoding stops
// at the first one that would not fit in capacity together with the NUL.
// dest is NUL-terminated whenever capacity is at least 1;
// Utf8CapacityFor(raw_length) is always enough (19 for a six-byte name).
std::size_t ShiftJisToUtf8(const char* raw, std::size_t raw_length, char* dest,
                           std::size_t capacity);

// What encoding UTF-8 as Shift_JIS came to.
struct ShiftJisEncoding {
  bool encodable;      // false: a character has no Shift_JIS form
  std::size_t length;  // bytes the whole text takes, fitting or not
};

// Encodes NUL-terminated UTF-8 as code page 932 bytes into dest, which
// holds capacity bytes, NUL included; only whole characters that fit are
// written, and dest is terminated whenever capacity is at least 1. Each
// character takes the first pair of the code page that decodes to it, so
// that decoding the result gives the text back. A malformed sequence has no
// Shift_JIS form; encoding stops at the first character without one.
ShiftJisEncoding Utf8ToShiftJis(const char* utf8, char* dest,
                                std::size_t capacity);

// Converts NUL-terminated UTF-8 into NUL-terminated UTF-16 code units,
// with surrogate pairs beyond the Basic Multilingual Plane. A malformed,
// overlong or surrogate sequence gives one U+FFFD for its first byte.
// Returns the number of units written before the NUL; only whole characters
// are written, and dest is terminated whenever capacity is at least 1.
// Each UTF-8 byte gives at most one unit, so strlen(utf8) + 1 is enough.
std::size_t Utf8ToUtf16(const char* utf8, wchar_t* dest, std::size_t capacity);

// Converts NUL-terminated UTF-16 code units back into UTF-8; an unpaired
// surrogate becomes U+FFFD. Returns and terminates as Utf8ToUtf16 does. Each
// unit gives at most three bytes, so 3 * units + 1 is enough.
std::size_t Utf16ToUtf8(const wchar_t* utf16, char* dest, std::size_t capacity);

// Whether text (NUL-terminated) is well-formed UTF-8 holding at least one
// character beyond ASCII: a name as a UTF-8 host writes it, rather than the
// raw bytes of the disks' code page, which seldom form such sequences.
bool IsUtf8BeyondAscii(const char* text);

}  // namespace d88
