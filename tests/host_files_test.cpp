// End-to-end tests of the host files themselves: the names they get where an
// entry's name would mean something else to the host, and their bytes, which
// are written in binary on every host.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>

#include "d88_builder.h"
#include "tool_runner.h"

namespace {

using d88test::AsText;
using d88test::ConsoleText;
using d88test::FileSystemDisk;
using d88test::ToolRun;
using d88test::ToolRunner;
using Tree = std::map<std::string, std::string>;

struct NameCase {
  std::string entry;
  std::string posix;    // the host file's name on POSIX hosts
  std::string windows;  // the host file's name on Windows
};

const std::string& HostName(const NameCase& name) {
#if defined(_WIN32)
  return name.windows;
#else
  return name.posix;
#endif
}

// The listing line of a one-sector file.
std::string Listing(const std::string& name, int track, int r) {
  return d88test::ListingLine(name, track, r, track, r, 0x400);
}

// Each Windows rule by a name that Windows would refuse, open as a device,
// or store under another name; POSIX hosts take all of them as they are.
// No two host names differ only in case, as Windows would take them for one.
const NameCase kNames[] = {
    {"CON", "CON", "_CON"},
    {"prn.tx", "prn.tx", "_prn.tx"},
    {"Aux", "Aux", "_Aux"},
    {"NUL.X", "NUL.X", "_NUL.X"},
    {"COM1", "COM1", "_COM1"},
    {"LPT9", "LPT9", "_LPT9"},
    {"C:X", "C:X", "C_X"},
    {"D\\Y", "D\\Y", "D_Y"},
    {"*?\"<>|", "*?\"<>|", "______"},
    {"E\x01\x1F", "E\x01\x1F", "E__"},
    {"H\nI", "H\nI", "H_I"},
    {"F. . ", "F. . ", "F____"},
    {"...", "...", "___"},
    // 83 5C is one character whose second byte is the backslash's code; a
    // backslash after it, or after a one-byte katakana, is still a separator.
    {"\x83\x5C\x83\x74", "\x83\x5C\x83\x74", "\x83\x5C\x83\x74"},
    {"\x83\x5C\x5C", "\x83\x5C\x5C", "\x83\x5C_"},
    {"\xB1\x5C", "\xB1\x5C", "\xB1_"},
};

// The files land under their host names, each with its own sector, and every
// changed name gets its note on standard error; names with a line feed show
// it on both streams as the console stream carries it.
TEST(HostFilesTest, NamesTheHostWouldMisreadAreMapped) {
  if (!d88test::HostTakesShiftJisNames()) {
    GTEST_SKIP() << "raw Shift_JIS names need the Japanese ANSI code page";
  }
  FileSystemDisk disk("NAMES");
  std::string listing;
  std::string notes;
  Tree expected;
  int i = 0;
  for (const NameCase& name : kNames) {
    const int track = 2 + i / 5;
    const int r = 1 + i % 5;
    ++i;
    disk.AddEntry(name.entry, track, r, track, r);
    listing += Listing(name.entry, track, r);
    if (HostName(name) != name.entry) {
      notes += "d88unpack: file \"" + name.entry + "\" saved as \"" +
               HostName(name) + "\"\n";
    }
    expected[HostName(name)] = AsText(d88test::SectorPattern(track, r));
  }
  const ToolRunner runner;
  const ToolRun run = runner.RunOn(disk.Build(), {"-d"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, ConsoleText(listing));
  EXPECT_EQ(run.err, ConsoleText(notes));
  EXPECT_EQ(run.tree, expected);
}

// Host files are binary: a line feed stays one byte with no CR put before
// it, and a Ctrl-Z does not end the file, while the console text of the same
// run is translated.
TEST(HostFilesTest, ContentIsWrittenInBinary) {
  FileSystemDisk disk("BYTES");
  disk.AddEntry("DATA", 2, 1, 2, 1);
  const std::string data = AsText(d88test::SectorPattern(2, 1));
  const std::size_t line_feed = data.find('\n');
  ASSERT_NE(line_feed, std::string::npos);
  ASSERT_TRUE(line_feed == 0 || data[line_feed - 1] != '\r');
  ASSERT_NE(data.find('\x1A'), std::string::npos);
  const ToolRunner runner;
  const ToolRun run = runner.RunOn(disk.Build(), {"-d"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, ConsoleText(Listing("DATA", 2, 1)));
  const Tree expected = {{"DATA", data}};
  EXPECT_EQ(run.tree, expected);
}

}  // namespace
