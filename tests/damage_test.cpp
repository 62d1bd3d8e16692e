// End-to-end tests of what the tool says about damage: the notes during
// extraction, --test and its exit status, disk header warnings, host files
// that replace earlier ones, --info, and the JSON of --json.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "d88_builder.h"
#include "json_check.h"
#include "tool_runner.h"

namespace {

using d88test::AsText;
using d88test::Bytes;
using d88test::ConsoleText;
using d88test::DiskBuilder;
using d88test::FileSystemDisk;
using d88test::ToolRun;
using d88test::ToolRunner;
using Tree = std::map<std::string, std::string>;
using Change = std::function<void(FileSystemDisk&)>;

constexpr int kGameSize = 12 * 1024;  // track 2 sector 1 to track 4 sector 2

// One disk holding GAME, changed as the case says.
FileSystemDisk GameDisk(const Change& change) {
  FileSystemDisk disk("WORK", 8);
  disk.AddEntry("GAME", 2, 1, 4, 2);
  if (change) change(disk);
  return disk;
}

// What GAME's host file must hold: the sectors in run order up to the
// first missing one, the bytes of a short sector that ends the run, then
// zeros up to its size.
std::string GameFile(const FileSystemDisk& disk) {
  Bytes out;
  int track = 2;
  int r = 1;
  while (out.size() < static_cast<std::size_t>(kGameSize)) {
    const std::optional<Bytes> data = disk.Sector(track, r);
    if (!data) break;
    out.insert(out.end(), data->begin(), data->end());
    if (data->size() < 1024) break;
    r = r == 5 ? 1 : r + 1;
    if (r == 1) ++track;
  }
  out.resize(kGameSize, 0);
  return AsText(out);
}

std::string Notes(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += "d88unpack: " + line + "\n";
  return ConsoleText(text);
}

const char kGameListing[] =
    "\n[WORK] -> 000\n"
    "GAME     START:02 01    END:04 02   SIZE:3000\n";

struct DamageCase {
  const char* what;
  Change change;
  std::vector<std::string> notes;  // with folders; "000/" is the folder
  bool written;
};

const std::vector<DamageCase>& DamageCases() {
  static const std::vector<DamageCase> cases = {
      {"clean", nullptr, {}, true},
      {"break at the second sector",
       [](FileSystemDisk& d) { d.RemoveSector(2, 2); },
       {"000/GAME: run breaks off at track 02 sector 02; "
        "last 11264 bytes are zeros"},
       true},
      {"short sector on the next track",
       [](FileSystemDisk& d) { d.ShortenSector(3, 1, 100); },
       {"000/GAME: run breaks off at track 03 sector 01; "
        "last 7068 bytes are zeros"},
       true},
      {"break at the last sector",
       [](FileSystemDisk& d) { d.RemoveSector(4, 2); },
       {"000/GAME: run breaks off at track 04 sector 02; "
        "last 1024 bytes are zeros"},
       true},
      {"ID CRC error", [](FileSystemDisk& d) { d.MarkSector(2, 3, 0xA0); },
       {"000/GAME: track 02 sector 03 has status 0xa0; "
        "its data is used as stored"},
       true},
      {"data CRC error in the last sector",
       [](FileSystemDisk& d) { d.MarkSector(4, 2, 0xB0); },
       {"000/GAME: track 04 sector 02 has status 0xb0; "
        "its data is used as stored"},
       true},
      {"deleted-data mark",
       [](FileSystemDisk& d) { d.MarkSector(2, 1, 0x00, 0x10); },
       {"000/GAME: track 02 sector 01 has a deleted-data mark (0x10); "
        "its data is used as stored"},
       true},
      {"other bytes at 0x07 are no mark",
       [](FileSystemDisk& d) { d.MarkSector(2, 1, 0x00, 0x01); }, {}, true},
      {"status and mark",
       [](FileSystemDisk& d) { d.MarkSector(2, 5, 0xB0, 0x10); },
       {"000/GAME: track 02 sector 05 has status 0xb0 and a deleted-data "
        "mark (0x10); its data is used as stored"},
       true},
      {"status before a break",
       [](FileSystemDisk& d) { d.MarkSector(2, 2, 0xE0).RemoveSector(3, 1); },
       {"000/GAME: track 02 sector 02 has status 0xe0; "
        "its data is used as stored",
        "000/GAME: run breaks off at track 03 sector 01; "
        "last 7168 bytes are zeros"},
       true},
      {"ten marked sectors: eight listed",
       [](FileSystemDisk& d) {
         for (int track = 2; track <= 3; ++track) {
           for (int r = 1; r <= 5; ++r) d.MarkSector(track, r, 0xB0);
         }
       },
       {"000/GAME: track 02 sector 01 has status 0xb0; its data is used as stored",
        "000/GAME: track 02 sector 02 has status 0xb0; its data is used as stored",
        "000/GAME: track 02 sector 03 has status 0xb0; its data is used as stored",
        "000/GAME: track 02 sector 04 has status 0xb0; its data is used as stored",
        "000/GAME: track 02 sector 05 has status 0xb0; its data is used as stored",
        "000/GAME: track 03 sector 01 has status 0xb0; its data is used as stored",
        "000/GAME: track 03 sector 02 has status 0xb0; its data is used as stored",
        "000/GAME: track 03 sector 03 has status 0xb0; its data is used as stored",
        "000/GAME: 2 more sectors have a status or a deleted-data mark"},
       true},
      {"first sector missing: listed, not written",
       [](FileSystemDisk& d) { d.RemoveSector(2, 1); }, {}, false},
  };
  return cases;
}

// Each case's notes also come without the folder with -d.
std::vector<std::string> WithoutFolder(std::vector<std::string> notes) {
  for (std::string& note : notes) note.erase(0, 4);
  return notes;
}

TEST(DamageTest, ExtractionNotesBrokenRunsAndSectorStatus) {
  for (const DamageCase& c : DamageCases()) {
    const FileSystemDisk disk = GameDisk(c.change);
    for (const bool folders : {true, false}) {
      const ToolRunner runner;
      const ToolRun run = runner.RunOn(
          disk.Build(), folders ? std::vector<std::string>{}
                                : std::vector<std::string>{"-d"});
      const std::string what = std::string(c.what) + (folders ? "" : " -d");
      EXPECT_EQ(run.status, 0) << what;
      EXPECT_EQ(run.out, ConsoleText(folders ? kGameListing
                                             : kGameListing + 15))
          << what;
      EXPECT_EQ(run.err, Notes(folders ? c.notes : WithoutFolder(c.notes)))
          << what;
      Tree expected;
      if (folders) expected["000"] = "<dir>";
      if (c.written) expected[folders ? "000/GAME" : "GAME"] = GameFile(disk);
      EXPECT_EQ(run.tree, expected) << what;
    }
  }
}

// --test prints what --list prints, says on standard error what extraction
// would, writes nothing, and ends with 2 when a file is not whole and clean.
TEST(DamageTest, TestModeReadsEverythingAndWritesNothing) {
  for (const DamageCase& c : DamageCases()) {
    const Bytes image = GameDisk(c.change).Build();
    const ToolRunner runner;
    const ToolRun list = runner.RunOn(image, {"--list"});
    const ToolRun run = runner.RunOn(image, {"--test"});
    std::vector<std::string> notes = c.notes;
    if (!c.written) {
      notes = {"000/GAME: first sector at track 02 sector 01 is missing; "
               "nothing can be read"};
    }
    const bool clean = notes.empty();
    EXPECT_EQ(run.status, clean ? 0 : 2) << c.what;
    EXPECT_EQ(run.out, list.out) << c.what;
    EXPECT_EQ(run.err, Notes(notes)) << c.what;
    EXPECT_TRUE(run.tree.empty()) << c.what;
    const ToolRun json = runner.RunOn(image, {"--test", "--json"});
    EXPECT_EQ(json.status, run.status) << c.what;
    EXPECT_EQ(json.err, run.err) << c.what;
    EXPECT_TRUE(d88check::IsValidJson(json.out.data(), json.out.size()))
        << c.what;
  }
}

TEST(DamageTest, TestModeStatesAndExitStatus) {
  struct Case {
    const char* what;
    Change change;
    std::vector<std::string> args;
    int status;
    std::string state;  // of the entry GAME in the JSON document
    std::vector<std::string> notes;
  };
  const Case cases[] = {
      {"first sector cut short", [](FileSystemDisk& d) { d.ShortenSector(2, 1, 10); },
       {}, 2, "missing",
       {"000/GAME: first sector at track 02 sector 01 is cut short; "
        "nothing can be read"}},
      {"an entry that ends before it starts is no file",
       [](FileSystemDisk& d) { d.AddEntry("NONE", 5, 3, 5, 1); }, {}, 0,
       "complete", {}},
      {"partial, without folders", [](FileSystemDisk& d) { d.RemoveTrack(4); },
       {"-d"}, 2, "partial",
       {"GAME: run breaks off at track 04 sector 01; last 2048 bytes are zeros"}},
      {"bad status", [](FileSystemDisk& d) { d.MarkSector(3, 3, 0xB0); }, {}, 2,
       "bad_status",
       {"000/GAME: track 03 sector 03 has status 0xb0; its data is used as stored"}},
  };
  for (const Case& c : cases) {
    const Bytes image = GameDisk(c.change).Build();
    const ToolRunner runner;
    std::vector<std::string> args = c.args;
    args.push_back("--test");
    const ToolRun run = runner.RunOn(image, args);
    EXPECT_EQ(run.status, c.status) << c.what;
    EXPECT_EQ(run.err, Notes(c.notes)) << c.what;
    args.push_back("--json");
    const ToolRun json = runner.RunOn(image, args);
    EXPECT_EQ(json.status, c.status) << c.what;
    EXPECT_NE(json.out.find("\"state\": \"" + c.state + "\""), std::string::npos)
        << c.what << json.out;
    EXPECT_TRUE(run.tree.empty() && json.tree.empty()) << c.what;
  }
}

// --disk picks which disks count towards the exit status.
TEST(DamageTest, TestModeCountsOnlyTheDisksAsked) {
  const Bytes image = d88test::Concat(
      {GameDisk([](FileSystemDisk& d) { d.RemoveSector(3, 3); }).Build(),
       GameDisk(nullptr).Build()});
  const ToolRunner runner;
  EXPECT_EQ(runner.RunOn(image, {"--test", "--disk", "1"}).status, 0);
  EXPECT_EQ(runner.RunOn(image, {"--test", "--disk", "0"}).status, 2);
  EXPECT_EQ(runner.RunOn(image, {"--test"}).status, 2);
  // A disk that is not there is a usage error, whatever the files.
  EXPECT_EQ(runner.RunOn(image, {"--test", "--disk", "1,5"}).status, 1);
}

std::string Usage() {
  const std::string program = d88test::ToolPath();
  return "Usage: " + program + " [d88file] [-d]\n" + "Try '" + program +
         " --help' for more information.\n";
}

TEST(DamageTest, ModeAndJsonMistakesAreUsageErrors) {
  struct Case {
    std::vector<std::string> args;
    std::string problem;
  };
  const std::string json_alone = "option --json needs --list, --test or --info";
  const Case cases[] = {
      {{"--json"}, json_alone},
      {{"--json", "-d"}, json_alone},
      {{"--repack", "--json"}, json_alone},
      {{"--test", "--list"}, "options --test and --list cannot be used together"},
      {{"--info", "--test", "--json"},
       "options --info and --test cannot be used together"},
      {{"--list", "--info"}, "options --list and --info cannot be used together"},
  };
  for (const Case& c : cases) {
    const ToolRunner runner;
    const ToolRun run = runner.RunOn(GameDisk(nullptr).Build(), c.args);
    EXPECT_EQ(run.status, 1) << c.problem;
    EXPECT_EQ(run.out, "") << c.problem;
    EXPECT_EQ(run.err, ConsoleText("d88unpack: " + c.problem + "\n" + Usage()))
        << c.problem;
    EXPECT_TRUE(run.tree.empty()) << c.problem;
  }
  const ToolRunner runner;
  const ToolRun missing = runner.Run({"no-such.d88", "--test"});
  EXPECT_EQ(missing.status, 1);
}

// A header that cannot be a D88 disk header gets a warning; the disk is
// still read as before and the status stays 0. --test counts it as damage,
// and none of these disks has its directory track either.
TEST(DamageTest, ImplausibleDiskHeadersAreNamed) {
  const Bytes track0 = DiskBuilder("D").SetTrack(0, d88test::StandardTrack(0)).Build();
  const auto real_size = static_cast<std::uint32_t>(track0.size());
  struct Case {
    const char* what;
    DiskBuilder disk;
    std::string note;  // after "disk 000: not a D88 disk header: "
  };
  const auto with_track = [] {
    return DiskBuilder("D").SetTrack(0, d88test::StandardTrack(0));
  };
  const Case cases[] = {
      {"plausible", with_track(), ""},
      {"size field below the header", with_track().SetSizeField(100),
       "size field 100 is smaller than the header (688 bytes)"},
      {"size field past the end", with_track().SetSizeField(real_size + 1),
       "size field " + std::to_string(real_size + 1) +
           " reaches past the end of the file"},
      {"no track", DiskBuilder("D"), "no track recorded"},
      {"track inside the header", with_track().SetTrackOffset(5, 0x20),
       "track 05 offset 32 lies inside the header"},
      {"several at once",
       DiskBuilder("D").SetSizeField(16).SetTrackOffset(0xa3, 687),
       "size field 16 is smaller than the header (688 bytes); "
       "track a3 offset 687 lies inside the header"},
  };
  for (const Case& c : cases) {
    for (const char* mode : {"--list", "--test", "--info"}) {
      const ToolRunner runner;
      const ToolRun run = runner.RunOn(c.disk.Build(), {mode, "--disk", "0"});
      const bool test = std::string(mode) == "--test";
      EXPECT_EQ(run.status, test ? 2 : 0) << c.what << mode;
      std::vector<std::string> notes;
      if (!c.note.empty()) {
        notes.push_back("disk 000: not a D88 disk header: " + c.note);
      }
      if (test) {
        notes.push_back("disk 000: directory not whole in the image "
                        "(0 of 2048 bytes); entries past that are lost");
      }
      EXPECT_EQ(run.err, notes.empty() ? "" : Notes(notes)) << c.what << mode;
    }
  }
}

// The host file at path; on Windows, whatever the case of its letters.
const std::string* FindFile(const Tree& tree, const std::string& path) {
  for (const auto& [name, content] : tree) {
    bool same = name.size() == path.size();
    for (std::size_t i = 0; same && i < name.size(); ++i) {
#if defined(_WIN32)
      same = std::tolower(static_cast<unsigned char>(name[i])) ==
             std::tolower(static_cast<unsigned char>(path[i]));
#else
      same = name[i] == path[i];
#endif
    }
    if (same) return &content;
  }
  return nullptr;
}

// A later entry with the same host name wins and is named with the one it
// replaces; files in different folders never meet.
TEST(DamageTest, ReplacedHostFilesAreNamed) {
  const auto disk_with = [](std::vector<std::string> names) {
    FileSystemDisk disk("R", 6);
    int track = 2;
    for (const std::string& name : names) {
      disk.AddEntry(name, track, 1, track, 1);
      ++track;
    }
    return disk.Build();
  };
  struct Case {
    const char* what;
    Bytes image;
    std::vector<std::string> args;
    std::vector<std::string> notes;
    Tree files;  // host files and the track their content starts at
  };
  const std::string replaced =
      "\"GAME\" replaces disk 000 entry 1 \"GAME\", written earlier";
  const Case cases[] = {
      {"twice on one disk", disk_with({"GAME", "GAME"}), {},
       {"000/GAME: disk 000 entry 2 " + replaced}, {{"000/GAME", "3"}}},
      {"three times: each names the one before", disk_with({"A", "A", "A"}), {"-d"},
       {"A: disk 000 entry 2 \"A\" replaces disk 000 entry 1 \"A\", written earlier",
        "A: disk 000 entry 3 \"A\" replaces disk 000 entry 2 \"A\", written earlier"},
       {{"A", "4"}}},
      {"across disks with -d",
       d88test::Concat({disk_with({"GAME"}), disk_with({"X", "GAME"})}), {"-d"},
       {"GAME: disk 001 entry 2 " + replaced}, {{"GAME", "3"}, {"X", "2"}}},
      {"across disks in folders",
       d88test::Concat({disk_with({"GAME"}), disk_with({"GAME"})}), {}, {},
       {{"000/GAME", "2"}, {"001/GAME", "2"}}},
#if defined(_WIN32)
      {"names that differ in case", disk_with({"game", "GAME"}), {"-d"},
       {"GAME: disk 000 entry 2 \"GAME\" replaces disk 000 entry 1 \"game\", "
        "written earlier"},
       {{"game", "3"}}},
#else
      {"names that differ in case", disk_with({"game", "GAME"}), {"-d"}, {},
       {{"game", "2"}, {"GAME", "3"}}},
#endif
  };
  for (const Case& c : cases) {
    const ToolRunner runner;
    const ToolRun run = runner.RunOn(c.image, c.args);
    EXPECT_EQ(run.status, 0) << c.what;
    EXPECT_EQ(run.err, Notes(c.notes)) << c.what;
    std::size_t files = 0;
    for (const auto& item : run.tree) files += item.second != "<dir>";
    EXPECT_EQ(files, c.files.size()) << c.what;
    for (const auto& [path, track] : c.files) {
      const std::string* file = FindFile(run.tree, path);
      ASSERT_NE(file, nullptr) << c.what << path;
      EXPECT_EQ(*file, AsText(d88test::SectorPattern(std::stoi(track), 1)))
          << c.what << path;
    }
  }
}

// The contents of the host files a run left, in order: what survived,
// whatever the host named it.
std::multiset<std::string> Contents(const Tree& tree) {
  std::multiset<std::string> contents;
  for (const auto& item : tree) {
    if (item.second != "<dir>") contents.insert(item.second);
  }
  return contents;
}

// Names that differ only in the case of letters beyond ASCII (fullwidth
// a/A, Greek alpha/Alpha) are one file wherever the host folds them, as
// Windows does; the note comes from the host's answer, not from comparing
// the names. The folders these tests use on POSIX tell case apart: there
// both files stay and nothing is noted.
TEST(DamageTest, ReplacedFilesAreTheHostsAnswer) {
  struct Case {
    const char* what;
    std::string lower;  // raw names, the lower-case one first
    std::string upper;
    bool unicode;
    std::string lower_shown;  // as the notes show them
    std::string upper_shown;
  };
  const Case cases[] = {
      {"fullwidth, raw", "\x82\x81", "\x82\x60", false, "\x82\x81",
       "\x82\x60"},
      {"fullwidth, decoded", "\x82\x81", "\x82\x60", true, "\xEF\xBD\x81",
       "\xEF\xBC\xA1"},
      {"Greek, raw", "\x83\xBF", "\x83\x9F", false, "\x83\xBF", "\x83\x9F"},
      {"Greek, decoded", "\x83\xBF", "\x83\x9F", true, "\xCE\xB1",
       "\xCE\x91"},
  };
  const std::string earlier = AsText(d88test::SectorPattern(2, 1));
  const std::string later = AsText(d88test::SectorPattern(3, 1));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (!c.unicode && !d88test::HostTakesShiftJisNames()) continue;
    FileSystemDisk disk("FOLD", 6);
    disk.AddEntry(c.lower, 2, 1, 2, 1).AddEntry(c.upper, 3, 1, 3, 1);
    std::vector<std::string> args = {"-d"};
    if (c.unicode) args.push_back("--unicode-names");
    const ToolRunner runner;
    const ToolRun run = runner.RunOn(disk.Build(), args);
    EXPECT_EQ(run.status, 0);
    // Decoded names are UTF-8, which the raw tree cannot open on Windows.
    const Tree tree =
        c.unicode ? d88test::ReadTreeUtf8(runner.work()) : run.tree;
#if defined(_WIN32)
    EXPECT_EQ(run.err, Notes({c.upper_shown + ": disk 000 entry 2 \"" +
                              c.upper_shown + "\" replaces disk 000 entry 1 \"" +
                              c.lower_shown + "\", written earlier"}));
    EXPECT_EQ(Contents(tree), std::multiset<std::string>({later}));
    (void)earlier;  // the later file's content is all that is left
#else
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(Contents(tree), std::multiset<std::string>({earlier, later}));
#endif
  }
}

#if !defined(_WIN32)
// A failed write removes its file, whose inode number the host may give to
// the next new file; that file replaces nothing written earlier. The shell
// limits files to 1024 bytes and ignores the signal, so the write fails.
TEST(DamageTest, FileRemovedAfterAFailedWriteIsNotReplaced) {
  struct Case {
    const char* what;
    std::vector<std::string> names;  // 1024 bytes each, 2048 the second
  };
  const Case cases[] = {
      {"another name next", {"A", "A", "B"}},
      {"the same name again", {"A", "A", "A"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FileSystemDisk disk("GONE", 6);
    disk.AddEntry(c.names[0], 2, 1, 2, 1)
        .AddEntry(c.names[1], 3, 1, 3, 2)
        .AddEntry(c.names[2], 4, 1, 4, 1);
    ToolRunner runner;
    runner.SetShellPrefix("trap '' XFSZ; ulimit -f 2; ");
    const ToolRun run = runner.RunOn(disk.Build(), {"-d"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "d88unpack: cannot write file \"" + c.names[1] +
                           "\": File too large\n");
    // The first file went with the failed write; only the last is there.
    const Tree expected = {
        {c.names[2], AsText(d88test::SectorPattern(4, 1))}};
    EXPECT_EQ(run.tree, expected);
  }
}
#endif

TEST(DamageTest, InfoDescribesEachDisk) {
  FileSystemDisk worn("WORN", 10);
  worn.SetHeader(0x20, 0x10)
      .AddEntry("GAME", 2, 1, 4, 2)
      .AddEntry("NONE", 5, 3, 5, 1)
      .RemoveSector(7, 3)
      .ShortenSector(9, 2, 256)
      .MarkSector(3, 4, 0xB0)
      .MarkSector(8, 1, 0xA0, 0x10)
      .MarkSector(8, 2, 0x00, 0x10)
      .SetDirectoryBytes(1024 + 32);
  const Bytes worn_image = worn.Build();
  const Bytes image = d88test::Concat(
      {worn_image, DiskBuilder("BLANK", 0x99).Build()});
  const ToolRunner runner;
  const ToolRun run = runner.RunOn(image, {"--info"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            ConsoleText("\nDisk 000 [WORN]\n"
                        "  media type        2HD (0x20)\n"
                        "  write protection  on\n"
                        "  size field        " +
                        std::to_string(worn_image.size()) +
                        " bytes\n"
                        "  tracks recorded   10 of 164\n"
                        "  sector layout     7 tracks x 5 sectors x 1024 bytes\n"
                        "  other tracks      track 01: 4 sectors x 1024 bytes\n"
                        "                    track 07: 4 sectors x 1024 bytes\n"
                        "                    track 09: 5 sectors of mixed sizes\n"
                        "  damaged sectors   3\n"
                        "                    track 03 sector 04: status 0xb0\n"
                        "                    track 08 sector 01: status 0xa0, "
                        "deleted-data mark\n"
                        "                    track 08 sector 02: deleted-data mark\n"
                        "  directory         sector 2 missing\n"
                        "  entries           2, covering 12288 bytes\n"
                        "\nDisk 001 [BLANK]\n"
                        "  media type        unknown (0x99)\n"
                        "  write protection  off\n"
                        "  size field        688 bytes\n"
                        "  tracks recorded   0 of 164\n"
                        "  sector layout     none\n"
                        "  damaged sectors   0\n"
                        "  directory         missing\n"
                        "  entries           0, covering 0 bytes\n"));
  EXPECT_EQ(run.err, Notes({"disk 001: not a D88 disk header: no track recorded"}));
  EXPECT_TRUE(run.tree.empty());
  const ToolRun json = runner.RunOn(image, {"--info", "--json"});
  EXPECT_TRUE(d88check::IsValidJson(json.out.data(), json.out.size()));
  for (const char* part : {"\"write_protected\": true", "\"media_name\": \"2HD\"",
                           "\"media_name\": null", "\"directory_sectors\": 1",
                           "\"damaged_count\": 3", "\"bytes\": null"}) {
    EXPECT_NE(json.out.find(part), std::string::npos) << part;
  }
}

// --info counts every record a track holds, however many (a count field
// can claim 65535), and names damage past the 256th; its counts agree in
// number with what they count.
TEST(DamageTest, InfoCountsEveryRecordOfATrack) {
  std::vector<d88test::SectorRecord> crowded;
  for (int i = 0; i < 300; ++i) {
    d88test::SectorRecord record;
    record.c = 0;
    record.h = 1;
    record.r = static_cast<std::uint8_t>(1 + i % 250);
    record.n = 0;
    record.count = 300;
    record.data = Bytes(128, static_cast<std::uint8_t>(i));
    if (i == 279) record.status = 0xB0;
    crowded.push_back(record);
  }
  d88test::SectorRecord lone;
  lone.c = 1;
  lone.data = Bytes(1, 0x55);
  const Bytes image = DiskBuilder("CROWD")
                          .SetTrack(0, d88test::StandardTrack(0))
                          .SetTrack(1, crowded)
                          .SetTrack(2, {lone})
                          .Build();
  const ToolRunner runner;
  const ToolRun run = runner.RunOn(image, {"--info"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            ConsoleText("\nDisk 000 [CROWD]\n"
                        "  media type        2D (0x00)\n"
                        "  write protection  off\n"
                        "  size field        " + std::to_string(image.size()) +
                        " bytes\n"
                        "  tracks recorded   3 of 164\n"
                        "  sector layout     1 track x 5 sectors x 1024 bytes\n"
                        "  other tracks      track 01: 300 sectors x 128 bytes\n"
                        "                    track 02: 1 sector x 1 byte\n"
                        "  damaged sectors   1\n"
                        "                    track 01 sector 1e: status 0xb0\n"
                        "  directory         missing\n"
                        "  entries           0, covering 0 bytes\n"));
  EXPECT_EQ(run.err, "");
}

// For --test, an image that loses files before any entry can be read is
// damaged: no disk at all, a disk header that cannot be one (the disks
// after it are misplaced or cut off), a directory not whole in the image.
// Status 2 and a note that says which, in text and JSON; the other modes
// keep their statuses and the header notes they always gave.
TEST(DamageTest, TestModeCountsADamagedImage) {
  FileSystemDisk first("FIRST", 6);
  first.AddEntry("README", 2, 1, 2, 1);
  const Bytes whole = first.Build();
  FileSystemDisk second("SECOND", 6);
  second.AddEntry("SCORES", 2, 1, 2, 1);
  const Bytes two = d88test::Concat({whole, second.Build()});
  const auto cut = [](const Bytes& bytes, std::size_t size) {
    return Bytes(bytes.begin(), bytes.begin() + static_cast<long>(size));
  };
  const Bytes cut_into_second = cut(two, whole.size() + 5000);
  const Bytes cut_into_first = cut(whole, 5000);
  FileSystemDisk half = first;
  half.SetDirectoryBytes(1024);
  const std::string size_past =
      "disk 001: not a D88 disk header: size field " +
      std::to_string(two.size() - whole.size()) +
      " reaches past the end of the file";
  struct Case {
    const char* what;
    Bytes image;
    std::vector<std::string> header_notes;  // every mode
    std::vector<std::string> test_notes;    // --test's own, after them
  };
  const Case cases[] = {
      {"not an image", {'h', 'i', '\n'}, {"\"IMAGE\" holds no D88 disk"}, {}},
      {"empty", {}, {"\"IMAGE\" holds no D88 disk"}, {}},
      {"cut in the first disk", cut_into_first,
       {"disk 000: not a D88 disk header: size field " +
        std::to_string(whole.size()) + " reaches past the end of the file"},
       {"disk 000: directory not whole in the image (0 of 2048 bytes); "
        "entries past that are lost"}},
      {"cut in the second disk", cut_into_second, {size_past},
       {"disk 001: directory not whole in the image (0 of 2048 bytes); "
        "entries past that are lost"}},
      {"directory sector 2 missing", half.Build(), {},
       {"disk 000: directory not whole in the image (1024 of 2048 bytes); "
        "entries past that are lost"}},
  };
  for (const Case& c : cases) {
    for (const bool json : {false, true}) {
      const ToolRunner runner;
      const std::string image = runner.WriteImage(c.image);
      std::vector<std::string> notes = c.header_notes;
      for (std::string& note : notes) {
        const std::size_t at = note.find("IMAGE");
        if (at != std::string::npos) note.replace(at, 5, image);
      }
      std::vector<std::string> args{image, "--list"};
      if (json) args.push_back("--json");
      const ToolRun listed = runner.Run(args);
      EXPECT_EQ(listed.status, 0) << c.what << json;
      EXPECT_EQ(listed.err, notes.empty() ? "" : Notes(notes))
          << c.what << json;
      notes.insert(notes.end(), c.test_notes.begin(), c.test_notes.end());
      args[1] = "--test";
      const ToolRun tested = runner.Run(args);
      EXPECT_EQ(tested.status, 2) << c.what << json;
      EXPECT_EQ(tested.err, Notes(notes)) << c.what << json;
      if (json) {
        EXPECT_TRUE(d88check::IsValidJson(tested.out.data(), tested.out.size()))
            << c.what;
      }
    }
  }
  // The same image whole is clean.
  const ToolRunner runner;
  const ToolRun clean = runner.RunOn(two, {"--test"});
  EXPECT_EQ(clean.status, 0);
  EXPECT_EQ(clean.err, "");
}

std::string Hex(const std::string& bytes) {
  std::string hex;
  for (const char byte : bytes) {
    char two[3];
    std::snprintf(two, sizeof two, "%02x",
                  static_cast<unsigned>(static_cast<unsigned char>(byte)));
    hex += two;
  }
  return hex;
}

// Names with every byte value from 1 to 255 (a 0 ends a name) come out as
// valid JSON, their bytes as hex and their text escaped.
TEST(DamageTest, JsonHoldsNamesWithEveryByteValue) {
  std::vector<std::string> names;
  FileSystemDisk disk("", 3);
  for (int first = 1; first <= 255; first += 6) {
    std::string name;
    for (int b = first; b < first + 6 && b <= 255; ++b) name += static_cast<char>(b);
    names.push_back(name);
    Bytes entry(16, 0);
    std::copy(name.begin(), name.end(), entry.begin());
    entry[12] = 2;
    entry[13] = 1;
    entry[14] = 2;
    entry[15] = 1;
    disk.AddRawEntry(entry);
  }
  Bytes image = disk.Build();
  std::string disk_name;
  for (int b = 0x70; b < 0x80; ++b) disk_name += static_cast<char>(b);
  std::copy(disk_name.begin(), disk_name.end(), image.begin());
  for (const char* mode : {"--list", "--test", "--info"}) {
    for (const char* unicode : {"--json", "--unicode-names"}) {
      const ToolRunner runner;
      const ToolRun run = runner.RunOn(image, {mode, "--json", unicode});
      EXPECT_EQ(run.status, 0) << mode;
      ASSERT_TRUE(d88check::IsValidJson(run.out.data(), run.out.size()))
          << mode << run.out;
      EXPECT_NE(run.out.find("\"hex\": \"" + Hex(disk_name) + "\""),
                std::string::npos)
          << mode;
      // DEL is escaped; the rest of the disk name is plain ASCII.
      EXPECT_NE(run.out.find("\"text\": \"pqrstuvwxyz{|}~\\u007f\""),
                std::string::npos)
          << mode;
      if (std::string(mode) == "--info") continue;
      for (const std::string& name : names) {
        EXPECT_NE(run.out.find("\"hex\": \"" + Hex(name) + "\""),
                  std::string::npos)
            << mode << Hex(name);
      }
      EXPECT_NE(run.out.find("\"text\": \"\\u0001\\u0002\\u0003\\u0004\\u0005"
                             "\\u0006\""),
                std::string::npos);
      EXPECT_NE(run.out.find("\"text\": \"\\u001f !\\\"#$\""), std::string::npos);
      EXPECT_NE(run.out.find("\"text\": \"[\\\\]^_`\""), std::string::npos);
    }
  }
}

}  // namespace
