// The mapping from directory entry names to host file names: every file must
// land in the working folder, under a name the host accepts as it stands.
#include <gtest/gtest.h>

#include <string>

#include "host/host_name.h"

namespace {

using d88::HostFileName;
using d88::HostRules;
using d88::NameEncoding;

struct NameCase {
  const char* entry;
  const char* posix;
  const char* windows;
};

std::string Mapped(const char* entry, HostRules rules, bool* changed,
                   NameEncoding encoding = NameEncoding::kRaw) {
  char host[d88::kHostNameCapacity];
  std::fill(std::begin(host), std::end(host), '#');
  *changed = HostFileName(entry, rules, encoding, host);
  return host;
}

TEST(HostFileNameTest, MapsNamesThatMeanPathsOrDevices) {
  const NameCase cases[] = {
      {"GAME", "GAME", "GAME"},
      {"", "", ""},
      {"A/B", "A_B", "A_B"},
      {"/", "_", "_"},
      {".", "_", "_"},
      {"..", "__", "__"},
      {"...", "...", "___"},
      {".A", ".A", ".A"},
      {"A.", "A.", "A_"},
      {"A. . ", "A. . ", "A____"},
      {"C:X", "C:X", "C_X"},
      {"A\\B", "A\\B", "A_B"},
      {"*?\"<>|", "*?\"<>|", "______"},
      {"A\x01\x1F" "B", "A\x01\x1F" "B", "A__B"},
      {"CON", "CON", "_CON"},
      {"con.tx", "con.tx", "_con.tx"},
      {"Aux", "Aux", "_Aux"},
      {"NUL.", "NUL.", "NUL_"},
      {"COM1", "COM1", "_COM1"},
      {"lpt9.x", "lpt9.x", "_lpt9.x"},
      {"COM0", "COM0", "COM0"},
      {"CONX", "CONX", "CONX"},
      {"LPT", "LPT", "LPT"},
      {"CONIN$", "CONIN$", "_CONIN$"},
      {"conin$", "conin$", "_conin$"},
      {"CONIN", "CONIN", "CONIN"},
      // Shift_JIS: the second byte of "so" (83 5C) is not a backslash, but a
      // backslash after a complete character still is.
      {"\x83\x5C", "\x83\x5C", "\x83\x5C"},
      {"\x83\x5C\x5C", "\x83\x5C\x5C", "\x83\x5C_"},
      {"\xE0\x5C" "A", "\xE0\x5C" "A", "\xE0\x5C" "A"},
      // A lead byte with no valid second byte stands alone.
      {"\x81\x2E", "\x81\x2E", "\x81_"},
      {"\x81", "\x81", "\x81"},
      // Half-width katakana are single bytes.
      {"\xB1\x5C", "\xB1\x5C", "\xB1_"},
  };
  for (const NameCase& c : cases) {
    bool changed = false;
    EXPECT_EQ(Mapped(c.entry, HostRules::kPosix, &changed), c.posix) << c.entry;
    EXPECT_EQ(changed, std::string(c.entry) != c.posix) << c.entry;
    EXPECT_EQ(Mapped(c.entry, HostRules::kWindows, &changed), c.windows)
        << c.entry;
    EXPECT_EQ(changed, std::string(c.entry) != c.windows) << c.entry;
  }
}

// Under another ANSI code page than Shift_JIS, Windows reads raw bytes one
// by one: the 5C of a Shift_JIS pair is a backslash there, and left alone
// "..\x81\x5CA" would name a file in a folder beside the working one.
TEST(HostFileNameTest, OtherCodePagesTakeEveryBackslashAsSyntax) {
  const std::pair<const char*, const char*> cases[] = {
      {"\x83\x5C", "\x83_"},
      {"..\x81\x5C" "A", "..\x81_A"},
      {"\x83\x5C\x5C", "\x83__"},
      {"CON", "_CON"},
      {"A.", "A_"},
  };
  for (const auto& [entry, expected] : cases) {
    bool changed = false;
    EXPECT_EQ(Mapped(entry, HostRules::kWindowsOtherCodePage, &changed),
              expected) << entry;
    EXPECT_TRUE(changed) << entry;
  }
}

TEST(HostFileNameTest, LongestNameFitsWithDevicePrefix) {
  bool changed = false;
  EXPECT_EQ(Mapped("COM1.X", HostRules::kWindows, &changed), "_COM1.X");
  EXPECT_TRUE(changed);
}

struct UnicodeCase {
  const char* entry;
  const char* decoded;  // what decoding alone gives: no change to report
  const char* posix;
  const char* windows;
};

TEST(HostFileNameTest, AppliesTheHostRulesToDecodedCharacters) {
  const UnicodeCase cases[] = {
      {"GAME", "GAME", "GAME", "GAME"},
      {"", "", "", ""},
      // "so" is one character; its second byte is not split off.
      {"\x83\x5C", u8"\u30BD", u8"\u30BD", u8"\u30BD"},
      {"\x83\x5C\x5C", u8"\u30BD\\", u8"\u30BD\\", u8"\u30BD_"},
      {"A\x5C", "A\\", "A\\", "A_"},
      {"\xB1\x5C", u8"\uFF71\\", u8"\uFF71\\", u8"\uFF71_"},
      {"\x83\x5C.", u8"\u30BD.", u8"\u30BD.", u8"\u30BD_"},
      // The UTF-8 of U+3001 ends in 0x81, a Shift_JIS lead byte: the
      // backslash after it must not be taken for a trail byte.
      {"\x81\x41\x5C", u8"\u3001\\", u8"\u3001\\", u8"\u3001_"},
      // Undecodable bytes become '_' by decoding, which is no change.
      {"\x81", "_", "_", "_"},
      {"\x81\x2E", "_.", "_.", "__"},
      {"A/B", "A/B", "A_B", "A_B"},
      {".", ".", "_", "_"},
      {"..", "..", "__", "__"},
      {"C:X", "C:X", "C:X", "C_X"},
      {"con.tx", "con.tx", "con.tx", "_con.tx"},
      {"COM1.", "COM1.", "COM1.", "COM1_"},
      {"CONIN$", "CONIN$", "CONIN$", "_CONIN$"},
      // A full-width letter is no device name.
      {"\x82\x62ON", u8"\uFF23ON", u8"\uFF23ON", u8"\uFF23ON"},
      {"\xB1\xB2\xB3\xB4\xB5\xB6", u8"\uFF71\uFF72\uFF73\uFF74\uFF75\uFF76",
       u8"\uFF71\uFF72\uFF73\uFF74\uFF75\uFF76",
       u8"\uFF71\uFF72\uFF73\uFF74\uFF75\uFF76"},
  };
  for (const UnicodeCase& c : cases) {
    bool changed = false;
    EXPECT_EQ(
        Mapped(c.entry, HostRules::kPosix, &changed, NameEncoding::kUnicode),
        c.posix)
        << c.entry;
    EXPECT_EQ(changed, std::string(c.decoded) != c.posix) << c.entry;
    EXPECT_EQ(
        Mapped(c.entry, HostRules::kWindows, &changed, NameEncoding::kUnicode),
        c.windows)
        << c.entry;
    EXPECT_EQ(changed, std::string(c.decoded) != c.windows) << c.entry;
  }
}

TEST(HostFileNameTest, KnowsTheConsoleDevices) {
  const struct {
    const char* name;
    bool device;
  } cases[] = {
      {"CONOUT$", true}, {"conout$.txt", true}, {"CONIN$.X", true},
      {"CONOUT", false}, {"CONIN$X", false},    {"CONOUT$$", false},
      {"CON", true},     {"", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(d88::IsWindowsDeviceName(c.name), c.device) << c.name;
  }
}

}  // namespace

namespace {

// Which host names meet in one file: the repack and the notes of replaced
// files both rely on this. A Shift_JIS pair's second byte is no letter
// where the code page reads the pair as one character.
TEST(CompareHostNamesTest, NamesMeetAsTheHostTellsFilesApart) {
  struct Case {
    const char* a;
    const char* b;
    HostRules rules;
    NameEncoding encoding;
    bool same;
  };
  const Case cases[] = {
      {"Game", "GAME", HostRules::kPosix, NameEncoding::kRaw, false},
      {"Game", "GAME", HostRules::kWindows, NameEncoding::kRaw, true},
      {"\x83\x61", "\x83\x41", HostRules::kWindows, NameEncoding::kRaw, false},
      {"\x83\x61", "\x83\x41", HostRules::kWindowsOtherCodePage,
       NameEncoding::kRaw, true},
      {"\xE3\x81\x61", "\xE3\x81\x41", HostRules::kWindows,
       NameEncoding::kUnicode, true},
      {"AB", "ABC", HostRules::kWindows, NameEncoding::kRaw, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(d88::CompareHostNames(c.a, c.b, c.rules, c.encoding) == 0,
              c.same)
        << c.a << " / " << c.b;
  }
}

}  // namespace
