// End-to-end tests of what a repack changes besides the files' bytes:
// files that move to a larger run, new files, entries taken out and
// renamed, and the disk headers. Every image the tool writes is compared
// whole with one this test builds itself, so any byte changed that should
// not have been shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "d88_builder.h"
#include "tool_runner.h"

namespace {

namespace fs = std::filesystem;
using d88test::AsText;
using d88test::Bytes;
using d88test::ConsoleText;
using d88test::FileSystemDisk;
using d88test::ToolRun;
using d88test::ToolRunner;
using Args = std::vector<std::string>;

// The end of a line that takes out or renames an entry whose host file is
// still there.
const std::string left = " (host file left; --add would take it again)\n";

Args Joined(const std::string& image, Args first, const Args& more) {
  first.insert(first.begin(), image);
  first.insert(first.end(), more.begin(), more.end());
  return first;
}

struct EntryRun {
  std::string name;
  int start_track, start_sector, end_track, end_sector;
};

struct HostEdit {
  std::string path;  // from the work folder, UTF-8
  std::size_t size;
  std::uint8_t seed;
};

// One row: the entries before and after, the host files written after the
// extraction, the options of the repack and everything it must print. The
// data of an edit lands at the start of its entry's run when that run
// changed: these rows edit only files that must move or stay out.
struct EditCase {
  const char* label;
  std::vector<EntryRun> before;
  std::vector<HostEdit> edits;
  Args options;
  std::vector<EntryRun> after;  // empty: the image must stay as it was
  std::string out;
  std::string err;
  int status;
};

void CheckEdit(const EditCase& c,
               const std::function<FileSystemDisk(const std::vector<EntryRun>&)>&
                   make_disk) {
  SCOPED_TRACE(c.label);
  const ToolRunner runner;
  const Bytes original = make_disk(c.before).Build();
  const std::string image = runner.WriteImage(original);
  ASSERT_EQ(runner.Run({image}).status, 0);
  for (const HostEdit& edit : c.edits) {
    d88test::WriteFileBytes(runner.work() / fs::u8path(edit.path),
                            d88test::HostFileBytes(edit.size, edit.seed));
  }
  const ToolRun run = runner.Run(Joined(image, {"--repack"}, c.options));
  EXPECT_EQ(run.out, ConsoleText(c.out));
  EXPECT_EQ(run.err, ConsoleText(c.err));
  EXPECT_EQ(run.status, c.status);
  if (c.after.empty()) {
    EXPECT_EQ(d88test::ImageDifference(d88test::ReadFileText(image),
                                       AsText(original)),
              "");
    return;
  }
  FileSystemDisk expected = make_disk(c.after);
  for (const HostEdit& edit : c.edits) {
    const std::string name = edit.path.substr(edit.path.rfind('/') + 1);
    for (const EntryRun& entry : c.after) {
      const auto same_run = [&](const EntryRun& old) {
        return old.name == name && old.start_track == entry.start_track &&
               old.start_sector == entry.start_sector &&
               old.end_track == entry.end_track &&
               old.end_sector == entry.end_sector;
      };
      if (entry.name != name ||
          std::any_of(c.before.begin(), c.before.end(), same_run)) {
        continue;
      }
      Bytes data = d88test::HostFileBytes(edit.size, edit.seed);
      data.resize((data.size() + 1023) / 1024 * 1024, 0);
      expected.OverwriteRun(entry.start_track, entry.start_sector, data);
    }
  }
  EXPECT_EQ(d88test::ImageDifference(d88test::ReadFileText(image),
                                     AsText(expected.Build())),
            "");
}

// A: 2/1-2/2, B: 2/4, C: 3/3, D: 5/1-5/2 with 5/2 missing. Free: 2/3, 2/5
// to 3/2, 3/4 to 4/5, 5/3 to 5/5.
FileSystemDisk GrowDisk(const std::vector<EntryRun>& runs) {
  FileSystemDisk disk("GROW", 6);
  for (const EntryRun& r : runs) {
    disk.AddEntry(r.name, r.start_track, r.start_sector, r.end_track,
                  r.end_sector);
  }
  disk.RemoveSector(5, 2);
  return disk;
}

TEST(EditTest, GrownFilesMoveToARunThatHoldsThem) {
  const std::vector<EntryRun> before = {
      {"A", 2, 1, 2, 2}, {"B", 2, 4, 2, 4}, {"C", 3, 3, 3, 3},
      {"D", 5, 1, 5, 2}};
  const auto with = [&](const std::string& name, EntryRun moved) {
    std::vector<EntryRun> runs = before;
    for (EntryRun& r : runs) {
      if (r.name == name) r = moved;
    }
    return runs;
  };
  const std::string refused = "d88unpack: cannot repack \"000/A\": ";
  const EditCase cases[] = {
      {"its own run, extended", before, {{"000/A", 2500, 1}}, {"--relocate"},
       with("A", {"A", 2, 1, 2, 3}),
       "relocated 000/A (2500 bytes) START:02 01 END:02 03\n", "", 0},
      {"extended up to the last sector of the track", before,
       {{"000/B", 1025, 2}}, {"--relocate"}, with("B", {"B", 2, 4, 2, 5}),
       "relocated 000/B (1025 bytes) START:02 04 END:02 05\n", "", 0},
      {"the first free run that fits, across tracks", before,
       {{"000/A", 3500, 3}}, {"--relocate"}, with("A", {"A", 3, 4, 4, 2}),
       "relocated 000/A (3500 bytes) START:03 04 END:04 02\n", "", 0},
      {"a run with a missing sector", before, {{"000/D", 1500, 4}},
       {"--relocate"}, with("D", {"D", 2, 5, 3, 1}),
       "relocated 000/D (1500 bytes) START:02 05 END:03 01\n", "", 0},
      {"no run large enough", before, {{"000/A", 20 * 1024, 5}},
       {"--relocate"}, {}, "",
       refused + "it needs 20 free sectors in a row (20480 bytes) and the "
                 "largest free run of its disk holds 7 (7168 bytes); not "
                 "written back\n",
       1},
      // The other change still happens; the refusal says what would help.
      {"not asked to move", before, {{"000/A", 2500, 6}}, {"--remove=C"},
       {{"A", 2, 1, 2, 2}, {"B", 2, 4, 2, 4}, {"D", 5, 1, 5, 2}},
       "removed 000/C START:03 03 END:03 03" + left,
       refused + "it is larger than its entry's 2048 bytes (--relocate moves "
                 "it); not written back\n",
       1},
  };
  for (const EditCase& c : cases) CheckEdit(c, GrowDisk);
}

// Two disks; the first is named DIRS and the second OTHER, whose only
// entry shares its name with one of the first.
std::vector<EntryRun> kDirsBefore = {{"README", 2, 1, 2, 1},
                                {"POEM", 2, 2, 2, 3},
                                {"GAME", 2, 4, 2, 5},
                                {"GAME2", 3, 1, 3, 1}};

TEST(EditTest, EntriesLeaveAndChangeTheirNames) {
  const auto without = [](const std::string& name) {
    std::vector<EntryRun> runs;
    for (const EntryRun& r : kDirsBefore) {
      if (r.name != name) runs.push_back(r);
    }
    return runs;
  };
  std::vector<EntryRun> renamed = kDirsBefore;
  renamed[1].name = "VERSE";
  const std::string cannot = "d88unpack: cannot rename \"POEM\" to ";
  const EditCase cases[] = {
      {"a pattern that matches two", kDirsBefore, {}, {"--remove=GAME*"},
       {{"README", 2, 1, 2, 1}, {"POEM", 2, 2, 2, 3}},
       "removed 000/GAME START:02 04 END:02 05" + left +
           "removed 000/GAME2 START:03 01 END:03 01" + left,
       "", 0},
      {"a pattern that matches none", kDirsBefore, {},
       {"--remove=NOPE", "--remove", "POEM"}, without("POEM"),
       "removed 000/POEM START:02 02 END:02 03" + left,
       "d88unpack: no entry matches \"NOPE\"\n", 1},
      {"an edited file of an entry taken out stays out", kDirsBefore,
       {{"000/POEM", 100, 1}}, {"--remove=POEM"}, without("POEM"),
       "removed 000/POEM START:02 02 END:02 03" + left, "", 0},
      {"renamed", kDirsBefore, {}, {"--rename=POEM=VERSE"}, renamed,
       "renamed 000/POEM to 000/VERSE START:02 02 END:02 03" + left, "", 0},
      {"to a name taken", kDirsBefore, {}, {"--rename=POEM=GAME"}, {}, "",
       cannot + "\"GAME\": another entry of its disk has that name\n", 1},
      {"to a name too long", kDirsBefore, {}, {"--rename=POEM=SONNETS"}, {},
       "", cannot + "\"SONNETS\": an entry's name holds 1 to 6 bytes, and this one "
                 "has 7\n",
       1},
      {"to a name no extraction writes", kDirsBefore, {}, {"--rename=POEM=a/b"},
       {}, "",
       cannot + "\"a/b\": an extraction writes no file of that name\n", 1},
      {"a name no entry has", kDirsBefore, {}, {"--rename=POEMS=VERSE"}, {},
       "",
       "d88unpack: cannot rename \"POEMS\" to \"VERSE\": no entry of the "
       "disks taken has that name\n",
       1},
  };
  for (const EditCase& c : cases) {
    CheckEdit(c, [](const std::vector<EntryRun>& runs) {
      FileSystemDisk disk("DIRS", 5);
      for (const EntryRun& r : runs) {
        disk.AddEntry(r.name, r.start_track, r.start_sector, r.end_track,
                      r.end_sector);
      }
      // After the end marker, what an earlier directory left: it moves
      // with the marker.
      disk.AddRawEntry({0xFF, 'O', 'L', 'D', 0, 0, 1, 2, 3, 4, 5, 6, 3, 1, 3, 1});
      disk.AddRawEntry({'S', 'T', 'A', 'L', 'E', 0, 0, 0, 0, 0, 0, 0, 4, 1, 4, 2});
      return disk;
    });
  }
}

// The headers of every disk taken, and a rename that needs --disk to tell
// which disk's entry is meant.
TEST(EditTest, DiskHeadersAndRenamesAcrossDisks) {
  struct Case {
    const char* label;
    Args options;
    std::string out;
    std::string err;
    int status;
    const char* names[2];  // the disks' names after; nullptr: untouched
    std::uint8_t protect;
    const char* second_readme;
  };
  const Case cases[] = {
      {"name and protection", {"--set-disk-name=NEW NAME", "--write-protect=on"},
       "named disk 000 [NEW NAME]\nwrite protection of disk 000 on\n"
       "named disk 001 [NEW NAME]\nwrite protection of disk 001 on\n",
       "", 0, {"NEW NAME", "NEW NAME"}, 0x10, "README"},
      {"one disk, sixteen bytes", {"--disk=1", "--set-disk-name=0123456789ABCDEF"},
       "named disk 001 [0123456789ABCDEF]\n", "", 0,
       {nullptr, "0123456789ABCDEF"}, 0, "README"},
      {"a name too long", {"--set-disk-name=0123456789ABCDEFG",
                           "--write-protect=on"},
       "write protection of disk 000 on\nwrite protection of disk 001 on\n",
       "d88unpack: cannot name the disks \"0123456789ABCDEFG\": a disk name "
       "holds up to 16 bytes, and this one has 17\n",
       1, {nullptr, nullptr}, 0x10, "README"},

      {"a name on two disks", {"--rename=README=READ"}, "",
       "d88unpack: cannot rename \"README\" to \"READ\": 2 entries of the "
       "disks taken have that name (--disk picks one disk)\n",
       1, {nullptr, nullptr}, 0, "README"},
      {"the disk picked", {"--disk=1", "--rename=README=READ"},
       "renamed 001/README to 001/READ START:02 01 END:02 01\n", "", 0,
       {nullptr, nullptr}, 0, "READ"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const auto build = [](const char* first, const char* second,
                          std::uint8_t protect, const std::string& readme) {
      FileSystemDisk one(first, 4);
      one.AddEntry("README", 2, 1, 2, 1).SetHeader(0, protect);
      FileSystemDisk two(second, 4);
      two.AddEntry(readme, 2, 1, 2, 1).SetHeader(0, protect);
      return d88test::Concat({one.Build(), two.Build()});
    };
    const ToolRunner runner;
    const std::string image =
        runner.WriteImage(build("DIRS", "OTHER", 0, "README"));
    const ToolRun run = runner.Run(Joined(image, {"--repack"}, c.options));
    EXPECT_EQ(run.out, ConsoleText(c.out));
    EXPECT_EQ(run.err, ConsoleText(c.err));
    EXPECT_EQ(run.status, c.status);
    const Bytes expected =
        build(c.names[0] != nullptr ? c.names[0] : "DIRS",
              c.names[1] != nullptr ? c.names[1] : "OTHER", c.protect,
              c.second_readme);
    EXPECT_EQ(d88test::ImageDifference(d88test::ReadFileText(image),
                                       AsText(expected)),
              "");
  }
}

// OLD takes tracks 2 and 3 whole; track 4 is free. With the disk's size
// field cut into track 4, the next disk's header lies on that track's
// sectors: nothing may be written there.
TEST(EditTest, NewFilesBecomeEntries) {
  struct Case {
    const char* label;
    std::vector<HostEdit> files;  // in the disk's folder
    int extra_entries;            // more entries of size 0 after OLD
    bool cut_into_track_4;
    std::vector<EntryRun> added;
    std::string out;
    std::string err;
    int status;
  };
  const std::string not_added = "; not added\n";
  const Case cases[] = {
      {"two, in the order of their names",
       {{"B1", 1500, 1}, {"A1", 10, 2}}, 0, false,
       {{"A1", 4, 1, 4, 1}, {"B1", 4, 2, 4, 3}},
       "added 000/A1 (10 bytes, 1 sector) START:04 01 END:04 01\n"
       "added 000/B1 (1500 bytes, 2 sectors) START:04 02 END:04 03\n",
       "", 0},
      {"empty, in one sector", {{"E", 0, 3}}, 0, false, {{"E", 4, 1, 4, 1}},
       "added 000/E (0 bytes, 1 sector) START:04 01 END:04 01\n", "", 0},
      {"what --unclaimed writes is passed over",
       {{"unclaimed-02-03", 1024, 4}}, 0, false, {}, "", "", 0},
      {"a name too long", {{"LONGNAME", 10, 5}, {"OK", 10, 6}}, 0, false,
       {{"OK", 4, 1, 4, 1}},
       "added 000/OK (10 bytes, 1 sector) START:04 01 END:04 01\n",
       "d88unpack: cannot add \"000/LONGNAME\": an entry's name holds 1 to 6 "
       "bytes, and this one has 8" + not_added,
       1},
      {"no run large enough", {{"BIG", 5121, 7}}, 0, false, {}, "",
       "d88unpack: cannot add \"000/BIG\": it needs 6 free sectors in a row "
       "(6144 bytes) and the largest free run of its disk holds 5 (5120 "
       "bytes)" + not_added,
       1},
      {"a full directory", {{"NEW", 10, 8}}, 127, false, {}, "",
       "d88unpack: cannot add \"000/NEW\": its disk's directory is full (128 "
       "entries)" + not_added,
       1},
      {"a track that another disk's header shares", {{"NEW", 10, 9}}, 0, true,
       {}, "",
       "d88unpack: cannot add \"000/NEW\": it needs 1 free sector in a row "
       "(1024 bytes) and the largest free run of its disk holds 0 (0 bytes)" +
           not_added,
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const auto build = [&](const std::vector<EntryRun>& added,
                           const std::vector<HostEdit>& files) {
      FileSystemDisk disk("ADD", 5);
      disk.AddEntry("OLD", 2, 1, 3, 5);
      // Entries of one sector on track 0, which holds no R = 0 sector: an
      // extraction writes none of them.
      for (int i = 0; i < c.extra_entries; ++i) {
        disk.AddEntry("E" + std::to_string(i), 0, 0, 0, 0);
      }
      for (const EntryRun& r : added) {
        disk.AddEntry(r.name, r.start_track, r.start_sector, r.end_track,
                      r.end_sector);
        for (const HostEdit& file : files) {
          if (file.path != r.name) continue;
          Bytes data = d88test::HostFileBytes(file.size, file.seed);
          data.resize(data.empty() ? 1024 : (data.size() + 1023) / 1024 * 1024,
                      0);
          disk.OverwriteRun(r.start_track, r.start_sector, data);
        }
      }
      Bytes bytes = disk.Build();
      if (c.cut_into_track_4) {
        const auto size = static_cast<std::uint32_t>(bytes.size() - 2000);
        for (int i = 0; i < 4; ++i) {
          bytes[0x1C + static_cast<std::size_t>(i)] =
              static_cast<std::uint8_t>(size >> (8 * i));
        }
      }
      return bytes;
    };
    const ToolRunner runner;
    const Bytes original = build({}, {});
    const std::string image = runner.WriteImage(original);
    ASSERT_EQ(runner.Run({image, "--disk=0"}).status, 0);
    for (const HostEdit& file : c.files) {
      d88test::WriteFileBytes(runner.work() / "000" / file.path,
                              d88test::HostFileBytes(file.size, file.seed));
    }
    const ToolRun run = runner.Run({image, "--repack", "--add", "--disk=0"});
    EXPECT_EQ(run.out, ConsoleText(c.out));
    EXPECT_EQ(run.err, ConsoleText(c.err));
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(d88test::ImageDifference(d88test::ReadFileText(image),
                                       AsText(build(c.added, c.files))),
              "");
  }
}

// Without folders, --add takes the files of the work folder for the one
// disk --disk names; the image itself is no new file, even when it lies
// there, and neither is what a killed repack left beside it.
TEST(EditTest, NewFilesWithoutFolders) {
  FileSystemDisk first("ONE", 4);
  first.AddEntry("OLD", 2, 1, 2, 1);
  FileSystemDisk second("TWO", 4);
  second.AddEntry("OLD2", 2, 1, 2, 1);
  const ToolRunner runner;
  const Bytes original = d88test::Concat({first.Build(), second.Build()});
  d88test::WriteFileBytes(runner.work() / "i.d88", original);
  ASSERT_EQ(runner.Run({"i.d88", "-d", "--disk=1"}).status, 0);
  d88test::WriteFileBytes(runner.work() / "NEW",
                          d88test::HostFileBytes(2000, 1));
  d88test::WriteFileBytes(runner.work() / "i.d88.d88unpack-tmp", {1, 2});
  const ToolRun run =
      runner.Run({"--repack", "--add", "--disk=1", "i.d88", "-d"});
  EXPECT_EQ(run.out,
            ConsoleText("added NEW (2000 bytes, 2 sectors) START:02 02 END:02 03\n"));
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 0);
  Bytes data = d88test::HostFileBytes(2000, 1);
  data.resize(2048, 0);
  second.AddEntry("NEW", 2, 2, 2, 3).OverwriteRun(2, 2, data);
  EXPECT_EQ(d88test::ImageDifference(
                d88test::ReadFileText(runner.work() / "i.d88"),
                AsText(d88test::Concat({first.Build(), second.Build()}))),
            "");
}

// The names typed for --rename and --set-disk-name. Windows hands a program
// its arguments in the ANSI code page, which need not hold Japanese
// characters: there the typed names are ASCII, and the Japanese names come
// from the image and from the host file added.
#if defined(_WIN32)
const char* const kNewMemoName = "NOTE";
const char* const kNewDiskName = "DISKS";
#else
const char* const kNewMemoName = u8"ノート";
const char* const kNewDiskName = u8"ディスク";
#endif

// Every kind of change in one run, on two disks with Japanese names: first
// as a dry run, which must print the same lines and write nothing, then for
// real.
TEST(EditTest, ManyChangesAtOnceWithJapaneseNames) {
  const std::string memo = "\x83\x81\x83\x82";  // メモ
  const std::string fresh = "\x90\x56";         // 新
#if defined(_WIN32)
  const std::string note = kNewMemoName;
  const std::string disk_name = kNewDiskName;
#else
  const std::string note = "\x83\x6D\x81\x5B\x83\x67";
  const std::string disk_name = "\x83\x66\x83\x42\x83\x58\x83\x4E";
#endif
  const auto build = [&](bool edited) {
    FileSystemDisk one(edited ? disk_name : "SYSTEM", 8);
    FileSystemDisk two(edited ? disk_name : "DATA", 5);
    one.AddEntry("README", 2, 1, 2, 1);
    two.AddEntry("SCORES", 2, 1, 2, 1).AddEntry("TOOLS", 2, 2, 2, 3);
    if (!edited) {
      one.AddEntry("POEM", 2, 2, 2, 4).AddEntry("GAME", 2, 5, 3, 2);
      one.AddEntry(memo, 3, 3, 3, 3);
      return d88test::Concat({one.Build(), two.Build()});
    }
    const auto padded = [](std::size_t size, std::uint8_t seed) {
      Bytes data = d88test::HostFileBytes(size, seed);
      data.resize((size + 1023) / 1024 * 1024, 0);
      return data;
    };
    // POEM keeps its start: GAME, taken out, left it the sector after.
    one.AddEntry("POEM", 2, 2, 2, 5).AddEntry(note, 3, 3, 3, 3);
    one.AddEntry(fresh, 3, 1, 3, 2).SetHeader(0, 0x10);
    one.OverwriteRun(2, 1, padded(1024, 1))
        .OverwriteRun(2, 2, padded(4000, 2))
        .OverwriteRun(3, 1, padded(2000, 3));
    two.AddEntry("LOG", 2, 4, 2, 4).OverwriteRun(2, 4, padded(100, 4));
    two.SetHeader(0, 0x10);
    return d88test::Concat({one.Build(), two.Build()});
  };
  const ToolRunner runner;
  const Bytes original = build(false);
  const std::string image = runner.WriteImage(original);
  const Args unicode = {"--unicode-names"};
  ASSERT_EQ(runner.Run(Joined(image, unicode, {})).status, 0);
  d88test::WriteFileBytes(runner.work() / "000/README",
                          d88test::HostFileBytes(1024, 1));
  d88test::WriteFileBytes(runner.work() / "000/POEM",
                          d88test::HostFileBytes(4000, 2));
  d88test::WriteFileBytes(runner.work() / fs::u8path(u8"000/新"),
                          d88test::HostFileBytes(2000, 3));
  d88test::WriteFileBytes(runner.work() / "001/LOG",
                          d88test::HostFileBytes(100, 4));
  // The entry to rename is named as typed, in Unicode, on every host.
  const std::string old_name = u8"メモ";
  const std::string new_name = kNewMemoName;
  const std::string shown_disk = std::string("[") + kNewDiskName + "]\n";
  const Args edits = {"--repack", "--relocate", "--add", "--remove=GAME",
                      "--rename=" + old_name + "=" + new_name,
                      std::string("--set-disk-name=") + kNewDiskName,
                      "--write-protect=on"};
  const std::string lines =
      "named disk 000 " + shown_disk +
      "write protection of disk 000 on\n"
      "removed 000/GAME START:02 05 END:03 02" + left +
      std::string(u8"renamed 000/メモ to 000/") + new_name +
      " START:03 03 END:03 03" + left +
      "repacked 000/README (1024 bytes)\n"
      "relocated 000/POEM (4000 bytes) START:02 02 END:02 05\n" +
      std::string(u8"added 000/新 (2000 bytes, 2 sectors) START:03 01 END:03 02\n") +
      "named disk 001 " + shown_disk +
      "write protection of disk 001 on\n"
      "added 001/LOG (100 bytes, 1 sector) START:02 04 END:02 04\n";
  const auto tree = d88test::ReadTreeUtf8(runner.work());

  const ToolRun dry = runner.RunUnicode(
      Joined(image, edits, {"--dry-run", "--unicode-names"}));
  EXPECT_EQ(dry.out, ConsoleText(lines));
  EXPECT_EQ(dry.err, "");
  EXPECT_EQ(dry.status, 0);
  EXPECT_EQ(
      d88test::ImageDifference(d88test::ReadFileText(image), AsText(original)),
      "");
  EXPECT_EQ(d88test::ReadTreeUtf8(runner.work()), tree);

  const ToolRun run = runner.RunUnicode(Joined(image, edits, unicode));
  EXPECT_EQ(run.out, ConsoleText(lines));
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(d88test::ImageDifference(d88test::ReadFileText(image),
                                     AsText(build(true))),
            "");
}

// Which entry a host file belongs to is the host's own answer. Names that
// differ only by the case of a fullwidth letter are two files on POSIX and
// one on Windows, which folds them; the one file goes back to the last
// entry that writes it, and --add finds nothing new either way.
TEST(EditTest, HostFilesBelongToEntriesByWhatTheHostTakesAsOneFile) {
  FileSystemDisk disk("CASE", 4);
  disk.AddEntry("\x82\x60", 2, 1, 2, 1).AddEntry("\x82\x81", 2, 2, 2, 2);
  const ToolRunner runner;
  const std::string image = runner.WriteImage(disk.Build());
  ASSERT_EQ(runner.Run({image, "--unicode-names"}).status, 0);
  const fs::path upper = runner.work() / fs::u8path(u8"000/Ａ");
  const fs::path lower = runner.work() / fs::u8path(u8"000/ａ");
  const bool one_file = fs::equivalent(upper, lower);
  d88test::WriteFileBytes(upper, d88test::HostFileBytes(1024, 7));
  const ToolRun run =
      runner.Run({image, "--repack", "--add", "--unicode-names"});
  EXPECT_EQ(run.out, ConsoleText(one_file ? u8"repacked 000/ａ (1024 bytes)\n"
                                           : u8"repacked 000/Ａ (1024 bytes)\n"));
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 0);
  disk.OverwriteRun(2, one_file ? 2 : 1, d88test::HostFileBytes(1024, 7));
  EXPECT_EQ(d88test::ImageDifference(d88test::ReadFileText(image),
                                     AsText(disk.Build())),
            "");
}

TEST(EditTest, EditOptionsNeedARepack) {
  const std::string program = d88test::ToolPath();
  const std::string usage = "Usage: " + program + " [d88file] [-d]\nTry '" +
                            program + " --help' for more information.\n";
  struct Case {
    Args args;
    std::string problem;
  };
  const Case cases[] = {
      {{"x.d88", "--relocate"}, "option --relocate needs --repack"},
      {{"x.d88", "--list", "--add"}, "option --add needs --repack"},
      {{"x.d88", "--remove=A"}, "option --remove needs --repack"},
      {{"x.d88", "--rename=A=B"}, "option --rename needs --repack"},
      {{"x.d88", "--set-disk-name=X"},
       "option --set-disk-name needs --repack or --create"},
      {{"x.d88", "--write-protect=on"},
       "option --write-protect needs --repack or --create"},
      {{"x.d88", "--dry-run"}, "option --dry-run needs --repack or --create"},
      {{"x.d88", "--dry-run", "--add"}, "option --add needs --repack"},
      {{"x.d88", "--repack", "--write-protect=yes"},
       "invalid value 'yes' for --write-protect (on or off)"},
      {{"x.d88", "--repack", "--rename=AB"}, "invalid rename 'AB' (OLD=NEW)"},
      // An empty name would only clear the one the disks have.
      {{"x.d88", "--repack", "--set-disk-name="},
       "option '--set-disk-name' needs a value"},
      {{"x.d88", "--repack", "--rename==B"}, "invalid rename '=B' (OLD=NEW)"},
      {{"x.d88", "-d", "--repack", "--add"},
       "option --add with -d needs exactly one disk in --disk"},
      {{"x.d88", "-d", "--repack", "--add", "--disk=0-1"},
       "option --add with -d needs exactly one disk in --disk"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.problem);
    const ToolRunner runner;
    const ToolRun run = runner.Run(c.args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, ConsoleText("d88unpack: " + c.problem + "\n" + usage));
    EXPECT_TRUE(run.tree.empty());
  }
}

}  // namespace
