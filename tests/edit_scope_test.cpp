// End-to-end tests of what a repack's edits take: --add only the host files
// the run's options point at, nothing at all when nothing changes, and
// lines that say what a user would otherwise be surprised by later.
#include <gtest/gtest.h>

#include <filesystem>
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

const std::string kMemo = "\x83\x81\x83\x82";  // メモ in Shift_JIS

struct Entry {
  int disk;
  std::string name;  // raw
  int start_track, start_sector, end_track, end_sector;
};

struct HostFile {
  std::string path;  // from the work folder, UTF-8
  std::size_t size;
  std::uint8_t seed;
};

// Disk 0, ONE, write-protected: GAME 2/1, POEM 2/2-2/3, README 2/4 and
// メモ 2/5, track 3 free. Disk 1, TWO: DATA 2/1, the rest free.
const std::vector<Entry> kBefore = {{0, "GAME", 2, 1, 2, 1},
                                    {0, "POEM", 2, 2, 2, 3},
                                    {0, "README", 2, 4, 2, 4},
                                    {0, kMemo, 2, 5, 2, 5},
                                    {1, "DATA", 2, 1, 2, 1}};

// The two disks with these entries; each host file whose name an entry
// has on the disk its path names ("000/X", or "X" with -d on disk
// data_disk) fills that entry's run, padded to whole sectors.
Bytes TwoDisks(const std::vector<Entry>& entries,
               const std::vector<HostFile>& data = {}, int data_disk = 0) {
  std::vector<FileSystemDisk> disks = {FileSystemDisk("ONE", 4),
                                       FileSystemDisk("TWO", 4)};
  disks[0].SetHeader(0, 0x10);
  for (const Entry& e : entries) {
    FileSystemDisk& disk = disks[static_cast<std::size_t>(e.disk)];
    disk.AddEntry(e.name, e.start_track, e.start_sector, e.end_track,
                  e.end_sector);
    for (const HostFile& file : data) {
      const std::size_t slash = file.path.find('/');
      const int disk_of_file =
          slash == std::string::npos ? data_disk : std::stoi(file.path);
      if (disk_of_file != e.disk || file.path.substr(slash + 1) != e.name) {
        continue;
      }
      disk.OverwriteRun(e.start_track, e.start_sector,
                        d88test::HostFileBytes(file.size, file.seed));
    }
  }
  return d88test::Concat({disks[0].Build(), disks[1].Build()});
}

std::vector<Entry> With(std::vector<Entry> entries,
                        const std::vector<Entry>& more) {
  entries.insert(entries.end(), more.begin(), more.end());
  return entries;
}

Args Joined(const std::string& image, Args first, const Args& more) {
  first.insert(first.begin(), image);
  first.insert(first.end(), more.begin(), more.end());
  return first;
}

// With --only and -d, --add takes the new host files the options point at
// and no file that an entry of the image writes, taken or not.
TEST(EditScopeTest, AddTakesOnlyTheNewFilesAskedFor) {
  struct Case {
    const char* label;
    Args extraction;
    std::vector<HostFile> files;
    Args repack;
    std::vector<Entry> added;
    int data_disk;  // the disk a host file without a folder goes to
    std::string out;
    std::string err;
    int status;
  };
  const std::string utf8_refusal =
      u8"d88unpack: cannot add \"000/メモ\": the name is UTF-8 text, which "
      u8"--unicode-names stores in Shift_JIS; not added\n";
  const Case cases[] = {
      {"--only: the entries left out keep their files",
       {}, {{"000/NOTE", 16, 1}, {"000/OLD", 20, 2}}, {"--only=NOTE"},
       {{0, "NOTE", 3, 1, 3, 1}}, 0,
       "added 000/NOTE (16 bytes, 1 sector) START:03 01 END:03 01\n", "", 0},
      {"--only: a pattern that matches an entry and new files",
       {}, {{"000/PAGE", 1500, 3}, {"000/NOTE", 16, 4}, {"000/OLD", 20, 5}},
       {"--only=[NP]*"},
       {{0, "NOTE", 3, 1, 3, 1}, {0, "PAGE", 3, 2, 3, 3}}, 0,
       "added 000/NOTE (16 bytes, 1 sector) START:03 01 END:03 01\n"
       "added 000/PAGE (1500 bytes, 2 sectors) START:03 02 END:03 03\n",
       "", 0},
      {"--only: a pattern that matches nothing at all",
       {}, {{"000/OLD", 20, 6}}, {"--only=NOPE"}, {}, 0, "",
       "d88unpack: no entry matches \"NOPE\"\n", 1},
      {"-d: no file of another disk or its pieces is new",
       {"-d", "--unclaimed"}, {{"NEW", 16, 7}}, {"-d", "--disk=1"},
       {{1, "NEW", 2, 2, 2, 2}}, 1,
       "added NEW (16 bytes, 1 sector) START:02 02 END:02 02\n", "", 0},
      {"-d and --only", {"-d"}, {{"NEW", 16, 8}, {"NOTE", 10, 9}},
       {"-d", "--disk=0", "--only=NEW"}, {{0, "NEW", 3, 1, 3, 1}}, 0,
       "added NEW (16 bytes, 1 sector) START:03 01 END:03 01\n", "", 0},
#if !defined(_WIN32)
      // Windows lists such a name in its ANSI code page, not as UTF-8.
      {"a name in UTF-8 needs --unicode-names", {"--unicode-names"}, {}, {},
       {}, 0, "", utf8_refusal, 1},
#endif
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const ToolRunner runner;
    const Bytes original = TwoDisks(kBefore);
    const std::string image = runner.WriteImage(original);
    ASSERT_EQ(runner.Run(Joined(image, c.extraction, {})).status, 0);
    for (const HostFile& file : c.files) {
      d88test::WriteFileBytes(runner.work() / fs::u8path(file.path),
                              d88test::HostFileBytes(file.size, file.seed));
    }
    const ToolRun run =
        runner.Run(Joined(image, c.repack, {"--repack", "--add"}));
    EXPECT_EQ(run.out, ConsoleText(c.out));
    EXPECT_EQ(run.err, ConsoleText(c.err));
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(d88test::ImageDifference(
                  d88test::ReadFileText(image),
                  AsText(TwoDisks(With(kBefore, c.added), c.files,
                                  c.data_disk))),
              "");
  }
}

// An entry taken out or renamed away leaves its host file, which a later
// bare --add takes as new: the line says so, and deleting the host file
// first (the safe order) leaves nothing to take.
TEST(EditScopeTest, LinesSayWhenAHostFileIsLeftForAdd) {
  const std::string left = " (host file left; --add would take it again)\n";
  // What the host file left holds by the time of the bare --add.
  const std::vector<HostFile> poem = {{"000/POEM", 2000, 9}};
  std::vector<Entry> without_poem = {kBefore[0], kBefore[2], kBefore[3],
                                     kBefore[4]};
  std::vector<Entry> renamed = kBefore;
  renamed[1].name = "VERSE";
  struct Case {
    const char* label;
    bool delete_first;
    Args edit;
    std::string edit_out;
    std::string add_out;
    std::vector<Entry> after;
  };
  const Case cases[] = {
      {"removed", false, {"--remove=POEM"},
       "removed 000/POEM START:02 02 END:02 03" + left,
       "added 000/POEM (2000 bytes, 2 sectors) START:02 02 END:02 03\n",
       With(without_poem, {{0, "POEM", 2, 2, 2, 3}})},
      {"removed after its host file", true, {"--remove=POEM"},
       "removed 000/POEM START:02 02 END:02 03\n", "", without_poem},
      {"renamed away", false, {"--rename=POEM=VERSE"},
       "renamed 000/POEM to 000/VERSE START:02 02 END:02 03" + left,
       "added 000/POEM (2000 bytes, 2 sectors) START:03 01 END:03 02\n",
       With(renamed, {{0, "POEM", 3, 1, 3, 2}})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const ToolRunner runner;
    const std::string image = runner.WriteImage(TwoDisks(kBefore));
    ASSERT_EQ(runner.Run({image}).status, 0);
    if (c.delete_first) fs::remove(runner.work() / "000/POEM");
    const ToolRun edit = runner.Run(Joined(image, {"--repack"}, c.edit));
    EXPECT_EQ(edit.out, ConsoleText(c.edit_out));
    EXPECT_EQ(edit.err, "");
    EXPECT_EQ(edit.status, 0);
    if (!c.delete_first) {
      d88test::WriteFileBytes(runner.work() / "000/POEM",
                              d88test::HostFileBytes(2000, 9));
    }
    const ToolRun add = runner.Run({image, "--repack", "--add"});
    EXPECT_EQ(add.out, ConsoleText(c.add_out));
    EXPECT_EQ(add.err, "");
    EXPECT_EQ(add.status, 0);
    EXPECT_EQ(d88test::ImageDifference(d88test::ReadFileText(image),
                                       AsText(TwoDisks(c.after, poem))),
              "");
  }
}

// A change to what is there already changes nothing: no line, and the
// image file is not written at all (same inode, same time).
TEST(EditScopeTest, NothingToChangeLeavesTheImageFileAlone) {
  struct Case {
    const char* label;
    Args options;
    std::string out;  // empty: nothing changes
  };
  const Case cases[] = {
      {"no edits", {}, ""},
      {"a rename to its own name", {"--rename=POEM=POEM"}, ""},
      {"protection as it is", {"--disk=0", "--write-protect=on"}, ""},
      {"no protection as it is", {"--disk=1", "--write-protect=off"}, ""},
      {"the name it has", {"--disk=0", "--set-disk-name=ONE"}, ""},
      {"nothing to move or add", {"--relocate", "--add"}, ""},
      {"all of them at once",
       {"--disk=0", "--rename=POEM=POEM", "--write-protect=on",
        "--set-disk-name=ONE", "--relocate", "--add", "--dry-run"},
       ""},
      {"only the disk that changes",
       {"--write-protect=on"}, "write protection of disk 001 on\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const ToolRunner runner;
    const Bytes original = TwoDisks(kBefore);
    const std::string image = runner.WriteImage(original);
    ASSERT_EQ(runner.Run({image}).status, 0);
    const d88test::FileStamp before = d88test::AgeFile(image);
    const ToolRun run = runner.Run(Joined(image, {"--repack"}, c.options));
    EXPECT_EQ(run.out, ConsoleText(c.out));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);
    const bool unchanged = c.out.empty();
    EXPECT_EQ(d88test::StampOf(image) == before, unchanged);
    Bytes expected = original;
    if (!unchanged) {
      // The second disk's write-protect byte: it starts halfway, both
      // disks being the same size, and the byte is 0x1A into its header.
      expected[original.size() / 2 + 0x1A] = 0x10;
    }
    EXPECT_EQ(d88test::ImageDifference(d88test::ReadFileText(image),
                                       AsText(expected)),
              "");
  }
}

// A repack that puts files back needs the folders the extraction made;
// when none of the disks taken has one, it says so rather than succeed
// at nothing. Changes to headers and names need no folder.
TEST(EditScopeTest, RepackWithoutDiskFoldersSaysSo) {
  struct Case {
    const char* label;
    Args extraction;
    Args repack;
    std::string out;
    std::string err;
    int status;
  };
  const Case cases[] = {
      {"extracted with -d", {"-d"}, {},
       "", "d88unpack: nothing to repack: none of the folders \"000\" to "
           "\"001\" exists\n", 1},
      {"one disk taken", {"-d"}, {"--disk=1", "--add"},
       "", "d88unpack: nothing to repack: there is no folder \"001\"\n", 1},
      {"another output folder", {"--output=out", "-d"},
       {"--output=out", "--disk=0"},
       "", "d88unpack: nothing to repack: there is no folder \"out/000\"\n",
       1},
      {"one folder of two is enough", {"--disk=1"}, {}, "", "", 0},
      {"a header needs no folder", {"-d"},
       {"--disk=1", "--write-protect=on"},
       "write protection of disk 001 on\n", "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const ToolRunner runner;
    const std::string image = runner.WriteImage(TwoDisks(kBefore));
    ASSERT_EQ(runner.Run(Joined(image, c.extraction, {})).status, 0);
    const ToolRun run = runner.Run(Joined(image, {"--repack"}, c.repack));
    EXPECT_EQ(run.out, ConsoleText(c.out));
    EXPECT_EQ(run.err, ConsoleText(c.err));
    EXPECT_EQ(run.status, c.status);
  }
}

}  // namespace
