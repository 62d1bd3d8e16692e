// Decoding the disks' Shift_JIS names, and the UTF-16 conversions that
// Windows' wide-character calls need.
#include "host/shift_jis.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using d88::DecodeShiftJisChar;
using d88::ShiftJisToUtf8;
using d88::Utf16ToUtf8;
using d88::Utf8ToUtf16;

struct CharCase {
  std::string raw;
  char32_t code_point;
  std::size_t length;
};

TEST(ShiftJisTest, DecodesOneCharacterAtTheEdgesOfEachRange) {
  const CharCase cases[] = {
      {"", 0, 0},
      {std::string(1, '\0'), 0, 1},
      {"\x5C", U'\\', 1},
      {"\x7E", U'~', 1},
      {"\x7F", 0x7F, 1},
      {"\xA1", 0xFF61, 1},
      {"\xDF", 0xFF9F, 1},
      {"\x81\x40", 0x3000, 2},
      {"\x88\x9F", 0x4E9C, 2},  // first kanji of JIS level 1
      {"\x83\x5C", 0x30BD, 2},  // trail byte 0x5C
      {"\x81\x4E", 0x00A8, 2},  // trail below 0x7F, two UTF-8 bytes
      {"\x9F\xFC", 0x6ECC, 2},  // last pair of the first lead range
      {"\xE0\x40", 0x6F3E, 2},  // first pair of the second one
      {"\x87\x40", 0x2460, 2},  // NEC row 13
      {"\xED\x40", 0x7E8A, 2},  // NEC-selected IBM extensions
      {"\xEE\xFC", 0xFF02, 2},
      {"\xFA\x40", 0x2170, 2},  // IBM extensions
      {"\xFC\x4B", 0x9ED1, 2},
      {"\xF0\x40", 0xE000, 2},  // user-defined area
      {"\xF1\x40", 0xE000 + 188, 2},
      {"\xF9\xFC", 0xE757, 2},
      {"\x81\xAD", U'_', 2},  // a pair the code page leaves unmapped
      {"\xFC\xFC", U'_', 2},
      {"\x81", U'_', 1},  // lead byte at the end
      {"\x81\x7F", U'_', 1},
      {"\x81\x3F", U'_', 1},
      {"\x81\xFD", U'_', 1},
      {"\x80\x40", U'_', 1},
      {"\xA0\x40", U'_', 1},
      {"\xFD\x40", U'_', 1},
      {"\xFE", U'_', 1},
      {"\xFF", U'_', 1},
  };
  for (const CharCase& c : cases) {
    const d88::ShiftJisChar decoded =
        DecodeShiftJisChar(c.raw.data(), c.raw.size());
    EXPECT_EQ(decoded.code_point, c.code_point)
        << testing::PrintToString(c.raw);
    EXPECT_EQ(decoded.length, c.length) << testing::PrintToString(c.raw);
  }
}

struct Utf8Case {
  std::string raw;
  std::size_t capacity;
  std::string utf8;
};

TEST(ShiftJisTest, WritesWholeCharactersOfUtf8AndTheTerminator) {
  const Utf8Case cases[] = {
      {"\x83\x5C\x83\x5C", 19, "\xE3\x82\xBD\xE3\x82\xBD"},
      {"A\x81", 19, "A_"},
      {"\x81\x2E", 19, "_."},  // the byte after a bad lead stands alone
      {"\x81\x4E\xF0\x40", 19, "\xC2\xA8\xEE\x80\x80"},
      {std::string("A\0B", 3), 19, std::string("A\0B", 3)},
      // Six katakana fill the 18 bytes a six-byte name may need.
      {"\xB1\xB2\xB3\xB4\xB5\xB6", d88::Utf8CapacityFor(6),
       "\xEF\xBD\xB1\xEF\xBD\xB2\xEF\xBD\xB3\xEF\xBD\xB4\xEF\xBD\xB5\xEF\xBD"
       "\xB6"},
      {"\xB1\xB2", 7, "\xEF\xBD\xB1\xEF\xBD\xB2"},
      {"\xB1\xB2", 6, "\xEF\xBD\xB1"},
      {"\xB1\xB2", 3, ""},
      {"AB", 1, ""},
  };
  for (const Utf8Case& c : cases) {
    char dest[32];
    std::fill(std::begin(dest), std::end(dest), '#');
    const std::size_t length =
        ShiftJisToUtf8(c.raw.data(), c.raw.size(), dest, c.capacity);
    EXPECT_EQ(std::string(dest, length), c.utf8)
        << testing::PrintToString(c.raw);
    EXPECT_EQ(dest[length], '\0') << testing::PrintToString(c.raw);
  }
  char untouched = '#';
  EXPECT_EQ(ShiftJisToUtf8("A", 1, &untouched, 0), 0u);
  EXPECT_EQ(untouched, '#');
}

struct Utf16Case {
  const char* utf8;
  std::size_t capacity;
  std::u32string units;  // one element per UTF-16 unit
};

std::u32string ToUtf16(const char* utf8, std::size_t capacity) {
  wchar_t dest[16];
  std::fill(std::begin(dest), std::end(dest), L'#');
  const std::size_t length = Utf8ToUtf16(utf8, dest, capacity);
  std::u32string units;
  for (std::size_t i = 0; i < length; ++i)
    units += static_cast<char32_t>(dest[i]);
  EXPECT_EQ(dest[length], L'\0') << utf8;
  return units;
}

TEST(ShiftJisTest, ConvertsUtf8ToUtf16WithSurrogatePairs) {
  const Utf16Case cases[] = {
      {"A", 16, {0x41}},
      {"\xC2\xA8\xE3\x82\xBD", 16, {0xA8, 0x30BD}},
      {"\xF0\x9F\x98\x80", 16, {0xD83D, 0xDE00}},  // U+1F600
      {"\xF4\x8F\xBF\xBF", 16, {0xDBFF, 0xDFFF}},  // U+10FFFF
      {"\xF0\x9F\x98\x80", 3, {0xD83D, 0xDE00}},
      {"\xF0\x9F\x98\x80", 2, {}},  // never half a pair
      {"\x80"
       "A",
       16,
       {0xFFFD, 0x41}},
      {"\xC0\xAF", 16, {0xFFFD, 0xFFFD}},  // overlong '/'
      {"\xE0\x80\xAF", 16, {0xFFFD, 0xFFFD, 0xFFFD}},
      {"\xED\xA0\x80", 16, {0xFFFD, 0xFFFD, 0xFFFD}},  // a surrogate
      {"\xF4\x90\x80\x80", 16, {0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD}},
      {"\xE3\x82", 16, {0xFFFD, 0xFFFD}},  // cut short by the NUL
  };
  for (const Utf16Case& c : cases) {
    EXPECT_EQ(ToUtf16(c.utf8, c.capacity), c.units) << c.utf8;
  }
}

TEST(ShiftJisTest, ConvertsUtf16BackToUtf8) {
  const struct {
    std::wstring units;
    std::size_t capacity;
    std::string utf8;
  } cases[] = {
      {{0x7F, 0x80, 0x7FF, 0x800, 0xFFFF},
       32,
       "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
      {{0xD83D, 0xDE00}, 32, "\xF0\x9F\x98\x80"},
      {{0xD83D, 0x41},
       32,
       "\xEF\xBF\xBD"
       "A"},  // unpaired high surrogate
      {{0xDE00}, 32, "\xEF\xBF\xBD"},
      {{0xD83D, 0xDE00}, 4, ""},
  };
  for (const auto& c : cases) {
    char dest[32];
    const std::size_t length = Utf16ToUtf8(c.units.c_str(), dest, c.capacity);
    EXPECT_EQ(std::string(dest, length), c.utf8);
    EXPECT_EQ(dest[length], '\0');
  }
}

// Every pair is either '_' or a character that is no ASCII (so the host
// rules cannot mistake it for path syntax) and survives UTF-8 and UTF-16.
TEST(ShiftJisTest, EveryPairIsUnmappedOrRoundTrips) {
  std::size_t mapped = 0;
  for (int lead = 0x81; lead <= 0xFC; ++lead) {
    if (lead >= 0xA0 && lead <= 0xDF) continue;
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      if (trail == 0x7F) continue;
      const char raw[] = {static_cast<char>(lead), static_cast<char>(trail)};
      const d88::ShiftJisChar decoded = DecodeShiftJisChar(raw, 2);
      ASSERT_EQ(decoded.length, 2u) << lead << ' ' << trail;
      if (decoded.code_point == U'_') continue;
      ++mapped;
      ASSERT_GE(decoded.code_point, 0x80u) << lead << ' ' << trail;
      char utf8[8];
      ShiftJisToUtf8(raw, 2, utf8, sizeof utf8);
      wchar_t utf16[4];
      ASSERT_EQ(Utf8ToUtf16(utf8, utf16, 4), 1u) << lead << ' ' << trail;
      ASSERT_EQ(static_cast<char32_t>(utf16[0]), decoded.code_point);
      char back[8];
      Utf16ToUtf8(utf16, back, sizeof back);
      ASSERT_STREQ(back, utf8) << lead << ' ' << trail;
    }
  }
  EXPECT_EQ(mapped, 9604u);  // what code page 932 maps
}

// Names typed for new entries go the other way: the first pair the code
// page has for a character, the single bytes for ASCII and halfwidth
// katakana, and nothing for what the code page lacks.
TEST(ShiftJisTest, EncodesUtf8AsTheCodePagesFirstPair) {
  struct Case {
    const char* utf8;
    std::string raw;  // what fits in a 5-byte buffer
    bool encodable;
    std::size_t length;
  };
  const Case cases[] = {
      {"", "", true, 0},
      {"A_b\\", "A_b\\", true, 4},
      {u8"ｱﾟ", "\xB1\xDF", true, 2},
      {u8"メモ", "\x83\x81\x83\x82", true, 4},
      {u8"￢", "\x81\xCA", true, 2},  // also at 0xEEF9 and 0xFA54
      {u8"¬", "", false, 0},  // U+00AC, which decoding never gives
      {u8"ⅰ", "\xEE\xEF", true, 2},  // NEC-selected IBM row before IBM's
      // Only whole characters that fit; the length counts them all.
      {u8"メモA", "\x83\x81\x83\x82", true, 5},
      {u8"ノート", "\x83\x6D\x81\x5B", true, 6},
      {u8"A€", "A", false, 1},
      {u8"😀", "", false, 0},
      {"\xC3", "", false, 0},  // a cut sequence
  };
  for (const Case& c : cases) {
    char dest[5];
    const d88::ShiftJisEncoding encoding =
        d88::Utf8ToShiftJis(c.utf8, dest, sizeof dest);
    EXPECT_EQ(std::string(dest), c.raw) << c.utf8;
    EXPECT_EQ(encoding.encodable, c.encodable) << c.utf8;
    EXPECT_EQ(encoding.length, c.length) << c.utf8;
  }
}

// Whatever pair a character comes from, its encoding decodes to it again.
TEST(ShiftJisTest, EveryDecodedPairEncodesBackToItsCharacter) {
  for (int lead = 0x81; lead <= 0xFC; ++lead) {
    if (lead >= 0xA0 && lead <= 0xDF) continue;
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      if (trail == 0x7F) continue;
      const char raw[] = {static_cast<char>(lead), static_cast<char>(trail)};
      if (DecodeShiftJisChar(raw, 2).code_point == U'_') continue;
      char utf8[8];
      ShiftJisToUtf8(raw, 2, utf8, sizeof utf8);
      char encoded[3];
      ASSERT_TRUE(d88::Utf8ToShiftJis(utf8, encoded, sizeof encoded).encodable)
          << lead << ' ' << trail;
      char back[8];
      ShiftJisToUtf8(encoded, 2, back, sizeof back);
      ASSERT_STREQ(back, utf8) << lead << ' ' << trail;
    }
  }
}

// Which host names are UTF-8 text beyond ASCII, the names a UTF-8 host
// writes for decoded entry names; raw Shift_JIS names seldom are.
TEST(ShiftJisTest, TellsUtf8TextBeyondAsciiFromOtherBytes) {
  struct Case {
    const char* text;
    bool beyond_ascii;
  };
  const Case cases[] = {
      {"", false},
      {"GAME", false},
      {u8"メモ", true},
      {u8"Aé", true},              // two bytes
      {u8"😀", true},           // four bytes
      {u8"�", true},               // a real replacement character
      {"\x83\x81\x83\x82", false},      // メモ in Shift_JIS
      {"\xC0\xAF", false},              // overlong '/'
      {"\xED\xA0\x80", false},          // a surrogate
      {"\xF4\x90\x80\x80", false},      // beyond U+10FFFF
      {"\xE3\x83", false},              // cut short
      {"\xC2\xB1", true},               // ﾂｱ in Shift_JIS, ± in UTF-8
  };
  for (const Case& c : cases) {
    EXPECT_EQ(d88::IsUtf8BeyondAscii(c.text), c.beyond_ascii) << c.text;
  }
}

}  // namespace
