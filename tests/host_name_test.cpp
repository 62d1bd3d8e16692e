// The mapping from directory entry names to host file names: every file must
// land in the working folder, under a name the host accepts as it stands.
#include <gtest/gtest.h>

#include <string>

#include "host_name.h"

namespace {

using d88::HostFileName;
using d88::HostRules;

struct NameCase {
  const char* entry;
  const char* posix;
  const char* windows;
};

std::string Mapped(const char* entry, HostRules rules, bool* changed) {
  char host[d88::kHostNameCapacity];
  std::fill(std::begin(host), std::end(host), '#');
  *changed = HostFileName(entry, rules, host);
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

TEST(HostFileNameTest, LongestNameFitsWithDevicePrefix) {
  bool changed = false;
  EXPECT_EQ(Mapped("COM1.X", HostRules::kWindows, &changed), "_COM1.X");
  EXPECT_TRUE(changed);
}

}  // namespace
