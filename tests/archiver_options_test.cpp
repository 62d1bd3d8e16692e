// End-to-end tests of the options an archiver's user reaches for first:
// --only (entries by name), --to-stdout (file bytes on standard output) and
// --keep-old-files / --skip-old-files (what stands under a name stays).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "d88_builder.h"
#include "json_check.h"
#include "tool_runner.h"

namespace {

namespace fs = std::filesystem;
using d88test::AsText;
using d88test::Bytes;
using d88test::ConsoleText;
using d88test::FileSystemDisk;
using d88test::ToolRun;
using d88test::ToolRunner;
using Tree = std::map<std::string, std::string>;
using Args = std::vector<std::string>;

// An entry of the test image: its name, run and what the disk holds.
struct Entry {
  std::string name;
  int start_track, start_sector, end_track, end_sector;
};

int SizeOf(const Entry& e) {
  return ((e.end_track - e.start_track) * 5 + e.end_sector - e.start_sector +
          1) * 1024;
}

// Disk 0: GAME's run breaks off at track 3 sector 2 (missing), so its file
// ends in 1024 zeros. Disk 1: names with pattern characters in them, a
// name the host cannot take ("A/B"), and an entry whose first sector is
// missing (no file).
const std::vector<Entry> kDisk0 = {{"README", 2, 1, 2, 1},
                                   {"POEM", 2, 2, 2, 4},
                                   {"GAME", 2, 5, 3, 2},
                                   {"gamma", 3, 3, 3, 3}};
const std::vector<Entry> kDisk1 = {{"SCORES", 2, 1, 2, 1},
                                   {"A*B", 2, 2, 2, 2},
                                   {"AXB", 2, 3, 2, 3},
                                   {"A/B", 2, 4, 2, 5},
                                   {"LOST", 4, 1, 4, 1}};

FileSystemDisk Disk0() {
  FileSystemDisk disk("SYS", 6);
  for (const Entry& e : kDisk0) {
    disk.AddEntry(e.name, e.start_track, e.start_sector, e.end_track,
                  e.end_sector);
  }
  disk.RemoveSector(3, 2);
  return disk;
}

FileSystemDisk Disk1() {
  FileSystemDisk disk("DATA", 6);
  for (const Entry& e : kDisk1) {
    disk.AddEntry(e.name, e.start_track, e.start_sector, e.end_track,
                  e.end_sector);
  }
  disk.RemoveSector(4, 1);
  return disk;
}

Bytes Image() { return d88test::Concat({Disk0().Build(), Disk1().Build()}); }

// The bytes an extraction writes for the entry: its run, then zeros to
// its size; none when its first sector is missing.
std::string FileBytes(const FileSystemDisk& disk, const Entry& e) {
  const std::size_t size = static_cast<std::size_t>(SizeOf(e));
  std::string bytes = AsText(disk.RunBytes(e.start_track, e.start_sector, size));
  if (bytes.empty()) return "";
  bytes.resize(size, '\0');
  return bytes;
}

std::string Line(const Entry& e) {
  return d88test::ListingLine(e.name, e.start_track, e.start_sector,
                              e.end_track, e.end_sector, SizeOf(e));
}

// The --list text of both disks with only the named entries.
std::string Listing(const std::vector<std::string>& names) {
  std::string text;
  const std::vector<Entry>* disks[] = {&kDisk0, &kDisk1};
  const char* headers[] = {"\n[SYS] -> 000\n", "\n[DATA] -> 001\n"};
  for (int d = 0; d < 2; ++d) {
    text += headers[d];
    for (const Entry& e : *disks[d]) {
      for (const std::string& name : names) {
        if (name == e.name) text += Line(e);
      }
    }
  }
  return text;
}

std::string NoMatch(const std::string& pattern) {
  return "d88unpack: no entry matches \"" + pattern + "\"\n";
}

// Shell patterns (name_pattern_test has their rules) reach the matcher
// intact from the command line, case counting; with several patterns an
// entry matching any is taken. A pattern that matches nothing on the disks
// taken is named and makes the status 1; the entries that matched are still
// listed.
TEST(OnlyTest, PatternsPickEntriesByName) {
  struct Case {
    Args args;
    std::vector<std::string> listed;
    std::string err;
  };
  const std::vector<Case> cases = {
      {{"--only=G*"}, {"GAME"}, ""},
      {{"--only=[!A-Z]*"}, {"gamma"}, ""},
      {{"--only=A?B"}, {"A*B", "AXB", "A/B"}, ""},
      {{"--only=A\\*B"}, {"A*B"}, ""},
      {{"--only", "POEM", "--only=SCORES"}, {"POEM", "SCORES"}, ""},
      {{"--only=*E*", "--only=GAME"}, {"README", "POEM", "GAME", "SCORES"}, ""},
      {{"--only=game"}, {}, NoMatch("game")},
      {{"--only=NOPE", "--only=POEM", "--only=GAM"},
       {"POEM"},
       NoMatch("NOPE") + NoMatch("GAM")},
  };
  for (const Case& c : cases) {
    const ToolRunner runner;
    Args args = c.args;
    args.insert(args.begin(), {runner.WriteImage(Image()), "--list"});
    const ToolRun run = runner.Run(args);
    const std::string what = ::testing::PrintToString(c.args);
    EXPECT_EQ(run.status, c.err.empty() ? 0 : 1) << what;
    EXPECT_EQ(run.out, ConsoleText(Listing(c.listed))) << what;
    EXPECT_EQ(run.err, ConsoleText(c.err)) << what;
    EXPECT_TRUE(run.tree.empty()) << what;
  }
}

// The entries not taken are not read, written, tested or counted in any
// mode; the disks are still chosen by --disk, and a pattern must match on
// the disks taken.
TEST(OnlyTest, EveryModeSeesOnlyTheEntriesTaken) {
  const std::string poem = FileBytes(Disk0(), kDisk0[1]);
  const std::string game = FileBytes(Disk0(), kDisk0[2]);
  const std::string broken =
      "run breaks off at track 03 sector 02; last 1024 bytes are zeros\n";
  struct Case {
    Args args;
    int status;
    std::string out;  // the whole of standard output, or a part of it
    bool out_exact;
    std::string err;
    Tree tree;
  };
  const std::vector<Case> cases = {
      {{"--only=P*"}, 0, Listing({"POEM"}), true, "",
       {{"000", "<dir>"}, {"000/POEM", poem}, {"001", "<dir>"}}},
      {{"--only=G*", "--disk=0", "-d"}, 0, Line(kDisk0[2]), true,
       "d88unpack: GAME: " + broken, {{"GAME", game}}},
      {{"--only=SCORES", "--disk=0"}, 1, "\n[SYS] -> 000\n", true,
       NoMatch("SCORES"), {{"000", "<dir>"}}},
      {{"--test", "--only=[!G]*", "--disk=0"}, 0,
       "\n[SYS] -> 000\n" + Line(kDisk0[0]) + Line(kDisk0[1]) +
           Line(kDisk0[3]),
       true, "", {}},
      {{"--test", "--only=GAME", "--disk=0"}, 2,
       "\n[SYS] -> 000\n" + Line(kDisk0[2]), true,
       "d88unpack: 000/GAME: " + broken, {}},
      {{"--info", "--only=?O*", "--disk=0"}, 0,
       "  entries           1, covering 3072 bytes\n", false, "", {}},
      {{"--info", "--json", "--only=?O*", "--disk=0"}, 0,
       "\"bytes_covered\": 3072\n", false, "", {}},
      {{"--list", "--json", "--only=POEM"}, 0, "\"text\": \"POEM\"", false,
       "", {}},
  };
  for (const Case& c : cases) {
    const ToolRunner runner;
    Args args = c.args;
    args.insert(args.begin(), runner.WriteImage(Image()));
    const ToolRun run = runner.Run(args);
    const std::string what = ::testing::PrintToString(c.args);
    EXPECT_EQ(run.status, c.status) << what;
    if (c.out_exact) {
      EXPECT_EQ(run.out, ConsoleText(c.out)) << what;
    } else {
      EXPECT_NE(run.out.find(ConsoleText(c.out)), std::string::npos)
          << what << "\n" << run.out;
    }
    EXPECT_EQ(run.err, ConsoleText(c.err)) << what;
    EXPECT_EQ(run.tree, c.tree) << what;
  }
  // The JSON listing holds the one entry taken, and only that one.
  const ToolRunner runner;
  const ToolRun json = runner.RunOn(Image(), {"--list", "--json", "--only=POEM"});
  EXPECT_TRUE(d88check::IsValidJson(json.out.data(), json.out.size()));
  for (const char* other : {"README", "GAME", "SCORES"}) {
    EXPECT_EQ(json.out.find(other), std::string::npos) << other;
  }
}

// A repack with --only puts back only the files taken: an edited file that
// no pattern names stays out of the image.
TEST(OnlyTest, RepackTakesOnlyTheFilesNamed) {
  const ToolRunner runner;
  const std::string image = runner.WriteImage(Image());
  ASSERT_EQ(runner.Run({image, "--disk=0"}).status, 0);
  const std::string poem(3072, 'P');
  const std::string readme(1024, 'R');
  { std::ofstream(runner.work() / "000" / "POEM", std::ios::binary) << poem; }
  { std::ofstream(runner.work() / "000" / "README", std::ios::binary) << readme; }
  const ToolRun repack = runner.Run({image, "--repack", "--disk=0", "--only=POEM"});
  EXPECT_EQ(repack.status, 0);
  EXPECT_EQ(repack.out, ConsoleText("repacked 000/POEM (3072 bytes)\n"));
  EXPECT_EQ(repack.err, "");
  const ToolRun back = runner.Run({image, "--to-stdout", "--disk=0",
                                   "--only=README", "--only=POEM"});
  EXPECT_EQ(back.status, 0);
  EXPECT_EQ(back.out, FileBytes(Disk0(), kDisk0[0]) + poem);
}

// --to-stdout gives the bytes of every file taken, in listing order, as an
// extraction writes them (zero tail included; nothing for an entry whose
// first sector is missing), and nothing else: no lines, no folders, no
// files. The notes an extraction gives stay on standard error.
TEST(ToStdoutTest, FilesGoToStandardOutputInListingOrder) {
  const FileSystemDisk disk0 = Disk0();
  const FileSystemDisk disk1 = Disk1();
  std::string all0;
  for (const Entry& e : kDisk0) all0 += FileBytes(disk0, e);
  std::string all1;
  for (const Entry& e : kDisk1) all1 += FileBytes(disk1, e);
  const std::string broken =
      "GAME: run breaks off at track 03 sector 02; last 1024 bytes are zeros\n";
  // Windows takes no '*' in a file name either.
  const std::string mapped =
#if defined(_WIN32)
      "d88unpack: file \"A*B\" saved as \"A_B\"\n"
#endif
      "d88unpack: file \"A/B\" saved as \"A_B\"\n";
  struct Case {
    Args args;
    std::string out;
    std::string err;
  };
  const std::vector<Case> cases = {
      {{}, all0 + all1, "d88unpack: 000/" + broken + mapped},
      {{"--disk=1"}, all1, mapped},
      {{"-d", "--only=G*"}, FileBytes(disk0, kDisk0[2]), "d88unpack: " + broken},
      {{"--only=LOST"}, "", ""},
      // Decoded, "??" is any name of two characters.
      {{"--unicode-names", "--only=A?B", "--only=??????"},
       FileBytes(disk0, kDisk0[0]) + all1, mapped},
  };
  for (const Case& c : cases) {
    const ToolRunner runner;
    Args args = c.args;
    args.insert(args.begin(), {runner.WriteImage(Image()), "--to-stdout"});
    const ToolRun run = runner.Run(args);
    const std::string what = ::testing::PrintToString(c.args);
    EXPECT_EQ(run.status, 0) << what;
    EXPECT_TRUE(run.out == c.out) << what << ": " << run.out.size()
                                  << " bytes instead of " << c.out.size();
    EXPECT_EQ(run.err, ConsoleText(c.err)) << what;
    EXPECT_TRUE(run.tree.empty()) << what;
  }
}

// The same bytes as the files an extraction of the disk writes, taken in
// listing order, and the same notes.
TEST(ToStdoutTest, SameBytesAsAnExtraction) {
  const ToolRunner extraction;
  const ToolRun extracted = extraction.RunOn(Image(), {"--disk=0"});
  ASSERT_EQ(extracted.status, 0);
  std::string files;
  for (const Entry& e : kDisk0) {
    const auto file = extracted.tree.find("000/" + e.name);
    ASSERT_NE(file, extracted.tree.end()) << e.name;
    files += file->second;
  }
  const ToolRunner runner;
  const ToolRun run = runner.RunOn(Image(), {"--to-stdout", "--disk=0"});
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(run.out == files) << run.out.size() << " bytes instead of "
                                << files.size();
  EXPECT_EQ(run.err, extracted.err);
}

// Combinations that cannot mean anything are refused before anything is
// read or written.
TEST(ArchiverOptionsTest, CombinationsThatAreRefused) {
  const std::string to_stdout = "options --to-stdout and --";
  const std::string together = " cannot be used together";
  struct Case {
    Args args;
    std::string problem;
  };
  const std::vector<Case> cases = {
      {{"--to-stdout", "--list"}, to_stdout + "list" + together},
      {{"--test", "--to-stdout"}, to_stdout + "test" + together},
      {{"--to-stdout", "--info"}, to_stdout + "info" + together},
      {{"--to-stdout", "--repack"}, to_stdout + "repack" + together},
      {{"--to-stdout", "--json"}, to_stdout + "json" + together},
      {{"--to-stdout", "--output=out"}, to_stdout + "output" + together},
      {{"--keep-old-files", "--skip-old-files"},
       "options --keep-old-files and --skip-old-files" + together},
      {{"--skip-old-files", "--keep-old-files"},
       "options --skip-old-files and --keep-old-files" + together},
      {{"--only"}, "option '--only' needs a value"},
      {{"--only="}, "option '--only' needs a value"},
      {{"--to-stdout=yes"}, "option '--to-stdout=yes' takes no value"},
  };
  const std::string program = d88test::ToolPath();
  const std::string usage = "Usage: " + program + " [d88file] [-d]\nTry '" +
                            program + " --help' for more information.\n";
  for (const Case& c : cases) {
    const ToolRunner runner;
    Args args = c.args;
    args.insert(args.begin(), runner.WriteImage(Image()));
    const ToolRun run = runner.Run(args);
    EXPECT_EQ(run.status, 1) << c.problem;
    EXPECT_EQ(run.out, "") << c.problem;
    EXPECT_EQ(run.err, ConsoleText("d88unpack: " + c.problem + "\n" + usage));
    EXPECT_TRUE(run.tree.empty()) << c.problem;
  }
  // 64 patterns are taken, a 65th is refused.
  Args many = {"--list", "--only=README"};
  for (int i = 0; i < 64; ++i) many.push_back("--only=*");
  const ToolRunner runner;
  const ToolRun run = runner.RunOn(Image(), many);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, ConsoleText("d88unpack: too many --only patterns (at "
                                 "most 64)\n" + usage));
  many.pop_back();
  EXPECT_EQ(runner.RunOn(Image(), many).status, 0);
}

// With either option, whatever stands under a file's name stays: a file, a
// folder, a file written earlier in the same run (the second DUP), and on
// POSIX a link that leads nowhere. --keep-old-files names each and ends
// with status 1; --skip-old-files says nothing. The other files are written.
TEST(OldFilesTest, WhatStandsUnderANameStays) {
  // Each entry, and whether something stands under its name before it
  // is written.
  struct OldEntry {
    const char* name;
    int sector;
    bool stays;
  };
  const std::vector<OldEntry> entries = {
      {"OLD", 1, true},  {"DIR", 2, true}, {"NEW", 3, false},
      {"DUP", 4, false}, {"DUP", 5, true},
#if !defined(_WIN32)
      {"LINK", 6, true},
#endif
  };
  FileSystemDisk disk("OLD", 4);
  std::string listing = "\n[OLD] -> 000\n";
  std::string notes;
  for (const OldEntry& e : entries) {
    const int track = 2 + (e.sector - 1) / 5;
    const int r = 1 + (e.sector - 1) % 5;
    disk.AddEntry(e.name, track, r, track, r);
    listing += d88test::ListingLine(e.name, track, r, track, r, 1024);
    if (e.stays) {
      notes += "d88unpack: 000/" + std::string(e.name) +
               ": not replaced: something of that name exists\n";
    }
  }
  struct Case {
    const char* option;
    bool says;
  };
  for (const Case c : {Case{"--keep-old-files", true},
                       Case{"--skip-old-files", false}}) {
    const ToolRunner runner;
    const fs::path folder = runner.work() / "000";
    fs::create_directories(folder / "DIR");
    { std::ofstream(folder / "OLD") << "old bytes"; }
#if !defined(_WIN32)
    fs::create_symlink("nowhere", folder / "LINK");
#endif
    const ToolRun run = runner.RunOn(disk.Build(), {c.option});
    EXPECT_EQ(run.status, c.says ? 1 : 0) << c.option;
    EXPECT_EQ(run.out, ConsoleText(listing)) << c.option;
    EXPECT_EQ(run.err, ConsoleText(c.says ? notes : "")) << c.option;
    EXPECT_EQ(d88test::ReadFileText(folder / "OLD"), "old bytes") << c.option;
    EXPECT_TRUE(fs::is_directory(folder / "DIR")) << c.option;
    EXPECT_EQ(d88test::ReadFileText(folder / "NEW"),
              AsText(d88test::SectorPattern(2, 3)))
        << c.option;
    EXPECT_EQ(d88test::ReadFileText(folder / "DUP"),
              AsText(d88test::SectorPattern(2, 4)))
        << c.option;
#if !defined(_WIN32)
    EXPECT_TRUE(fs::is_symlink(folder / "LINK")) << c.option;
    EXPECT_FALSE(fs::exists(folder / "nowhere")) << c.option;
#endif
  }
}

// The pieces --unclaimed takes out are kept like the files: an edited
// unclaimed-system survives a second extraction with --keep-old-files.
TEST(OldFilesTest, UnclaimedPiecesStayToo) {
  FileSystemDisk disk("OLD", 4);
  disk.AddEntry("A", 2, 1, 2, 1);
  const ToolRunner runner;
  const fs::path folder = runner.work() / "000";
  fs::create_directories(folder);
  { std::ofstream(folder / "unclaimed-system") << "edited"; }
  const ToolRun run =
      runner.RunOn(disk.Build(), {"--unclaimed", "--keep-old-files"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, ConsoleText("d88unpack: 000/unclaimed-system: not "
                                 "replaced: something of that name exists\n"));
  EXPECT_EQ(d88test::ReadFileText(folder / "unclaimed-system"), "edited");
  EXPECT_TRUE(fs::exists(folder / "unclaimed-02-02"));
}

// A pattern typed in Unicode. With --unicode-names it is matched against
// the decoded names on every host. Without, it is matched against the raw
// Shift_JIS bytes as the host's raw text: on Windows the ANSI code page's
// bytes (Shift_JIS under the Japanese one; refused under any other, where
// a near spelling or "?*" would take other names), on POSIX the UTF-8
// typed, which no raw name is.
TEST(OnlyTest, PatternInUnicode) {
  const std::string game = "\x83\x51\x81\x5B\x83\x80";  // "ge-mu"
  const std::string memo = "\x83\x81\x83\x82";          // "memo"
  FileSystemDisk disk("J", 4);
  disk.AddEntry(game, 2, 1, 2, 1).AddEntry(memo, 2, 2, 2, 2);
  const std::string pattern = "\xE3\x82\xB2*";  // U+30B2 then '*'
  struct Case {
    Args args;
    int status;
    std::string out;
    std::string err;
  };
  const Case raw_cases[] = {
      {{"--list", "--only=" + pattern}, 1, "\n[J] -> 000\n",
       NoMatch(pattern)},
      {{"--list", "--only=" + pattern}, 0,
       "\n[J] -> 000\n" + d88test::ListingLine(game, 2, 1, 2, 1, 1024), ""},
      {{"--list", "--only=" + pattern}, 1, "",
       "d88unpack: cannot take --only=" + pattern +
           ": the system's code page has no exact form of it "
           "(--unicode-names takes it as Unicode)\n"},
  };
  const std::vector<Case> cases = {
      raw_cases[static_cast<int>(d88test::HostTypedJapanese())],
      {{"--list", "--unicode-names", "--only=" + pattern}, 0,
       "\n[J] -> 000\n\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0" +
           d88test::ListingLine(game, 2, 1, 2, 1, 1024).substr(game.size()),
       ""},
  };
  for (const Case& c : cases) {
    const ToolRunner runner;
    Args args = c.args;
    args.insert(args.begin(), runner.WriteImage(disk.Build()));
    const ToolRun run = runner.RunUnicode(args);
    const std::string what = ::testing::PrintToString(c.args);
    EXPECT_EQ(run.status, c.status) << what;
    EXPECT_EQ(run.out, ConsoleText(c.out)) << what;
    EXPECT_EQ(run.err, ConsoleText(c.err)) << what;
  }
}

}  // namespace
