// End-to-end tests of --unicode-names: Shift_JIS names decoded in the
// listing, in the per-disk line, in notes and in host file names, on any
// host and, on Windows, under any ANSI code page.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "d88_builder.h"
#include "tool_runner.h"

namespace {

using d88test::AsText;
using d88test::ConsoleText;
using d88test::FileSystemDisk;
using d88test::SectorPattern;
using Tree = std::map<std::string, std::string>;

std::string Line(const std::string& shown, int padding, int sector) {
  return shown + std::string(static_cast<std::size_t>(padding), ' ') +
         "   START:02 0" + std::to_string(sector) + "    END:02 0" +
         std::to_string(sector) + "   SIZE:0400\n";
}

// Each name's raw bytes, what they decode to, and the columns they keep:
// a name is padded by its raw length, as a Shift_JIS console shows it.
TEST(UnicodeNamesTest, NamesAreDecodedEverywhere) {
  struct Entry {
    const char* raw;
    const char* decoded;
  };
  const Entry entries[] = {
      {"\x83\x5C\x83\x74", "\xE3\x82\xBD\xE3\x83\x95"},  // so fu: 5C inside
      {"\xB1\xB2\xB3", "\xEF\xBD\xB1\xEF\xBD\xB2\xEF\xBD\xB3"},  // half-width
      {"\x87\x40", "\xE2\x91\xA0"},                     // NEC row 13: (1)
      {"\x81\xAD" "B", "_B"},                           // a pair with no char
      {"\x80" "A", "_A"},                                // no such byte
      {"A\x5C", "A\\"},                                 // ASCII backslash
  };
  FileSystemDisk disk("\x83\x66\x83\x42\x83\x58\x83\x4E", 4);
  std::string listing = "\n[\xE3\x83\x87\xE3\x82\xA3\xE3\x82\xB9\xE3\x82\xAF] -> 000\n";
  Tree expected = {{"000", "<dir>"}};
  int sector = 1;
  for (const Entry& entry : entries) {
    const int track_sector = sector <= 5 ? sector : sector - 5;
    const int track = sector <= 5 ? 2 : 3;
    disk.AddEntry(entry.raw, track, track_sector, track, track_sector);
    std::string line = Line(entry.decoded,
                            6 - static_cast<int>(std::string(entry.raw).size()),
                            track_sector);
    if (track == 3) line.replace(line.find("START:02"), 8, "START:03");
    if (track == 3) line.replace(line.find("END:02"), 6, "END:03");
    listing += line;
    expected["000/" + std::string(entry.decoded)] =
        AsText(SectorPattern(track, track_sector));
    ++sector;
  }
#if defined(_WIN32)
  // A decoded backslash is a path separator to Windows: mapped and noted.
  expected.erase("000/A\\");
  expected["000/A_"] = AsText(SectorPattern(3, 1));
  const std::string err = "d88unpack: file \"A\\\" saved as \"A_\"\n";
#else
  const std::string err;
#endif
  const d88test::ToolRunner runner;
  const d88test::ToolRun run = runner.RunOn(disk.Build(), {"--unicode-names"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, ConsoleText(listing));
  EXPECT_EQ(run.err, ConsoleText(err));
  EXPECT_EQ(d88test::ReadTreeUtf8(runner.work()), expected);
}

}  // namespace
