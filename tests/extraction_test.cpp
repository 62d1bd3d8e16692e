// End-to-end tests of listing and extraction: images with the disks' file
// system built in code, the real binary run in a fresh folder, and every
// line of output and every byte of every host file checked.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "d88_builder.h"
#include "tool_runner.h"

namespace {

using d88test::AsText;
using d88test::Bytes;
using d88test::ConsoleText;
using d88test::FileSystemDisk;
using d88test::ToolRun;
using d88test::ToolRunner;
using Tree = std::map<std::string, std::string>;

using d88test::ListingLine;
constexpr auto Listing = ListingLine;

// The host file a run from (track, r) writes: what the run delivers, then
// zeros up to size.
std::string FileBytes(const FileSystemDisk& disk, int track, int r,
                      std::size_t size) {
  Bytes bytes = disk.RunBytes(track, r, size);
  bytes.resize(size, 0);
  return AsText(bytes);
}

TEST(ExtractionTest, ListsAndExtractsFiles) {
  FileSystemDisk disk("WORK");
  disk.AddEntry("PROG1", 2, 1, 3, 2)   // seven sectors
      .AddEntry("SPAN", 2, 4, 3, 1)    // track 2 R4, R5, track 3 R1
      .AddEntry("ONE", 10, 3, 10, 3)   // start = end
      .AddEntry("ZERO", 10, 3, 10, 2)  // end one before start
      .AddEntry("NEG", 10, 3, 10, 1)   // end two before start
      .AddEntry("FAR", 164, 1, 164, 1) // no such track
      .AddEntry("ABCDEFGH", 4, 1, 4, 1)
      .AddRawEntry({'A', 'B', 0, 'C', 'D', 0, 0, 0, 0, 0, 0, 0, 5, 1, 5, 2});
  const ToolRunner runner;
  const ToolRun run = runner.RunOn(disk.Build());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            ConsoleText("\n[WORK] -> 000\n"
                        "PROG1    START:02 01    END:03 02   SIZE:1c00\n"
                        "SPAN     START:02 04    END:03 01   SIZE:0c00\n"
                        "ONE      START:0a 03    END:0a 03   SIZE:0400\n"
                        "ZERO     START:0a 03    END:0a 02   SIZE:0000\n"
                        "NEG      START:0a 03    END:0a 01   SIZE:fffffc00\n"
                        "FAR      START:a4 01    END:a4 01   SIZE:0400\n"
                        "ABCDEF   START:04 01    END:04 01   SIZE:0400\n"
                        "AB       START:05 01    END:05 02   SIZE:0800\n"));
  EXPECT_EQ(run.err, "");
  const Bytes span = d88test::Concat({d88test::SectorPattern(2, 4),
                                      d88test::SectorPattern(2, 5),
                                      d88test::SectorPattern(3, 1)});
  const Tree expected = {
      {"000", "<dir>"},
      {"000/PROG1", FileBytes(disk, 2, 1, 7 * 1024)},
      {"000/SPAN", AsText(span)},
      {"000/ONE", AsText(d88test::SectorPattern(10, 3))},
      {"000/ABCDEF", FileBytes(disk, 4, 1, 1024)},
      {"000/AB", FileBytes(disk, 5, 1, 2048)},
  };
  EXPECT_EQ(run.tree, expected);
}

TEST(ExtractionTest, EndMarkerAndFullDirectory) {
  FileSystemDisk marked("MARKED");
  marked.AddRawEntry(Bytes(16, 0xFF)).AddEntry("HIDDEN", 2, 1, 2, 1);
  FileSystemDisk full("FULL");
  std::string listing = "\n[FULL] -> 001\n";
  Tree expected = {{"000", "<dir>"}, {"001", "<dir>"}};
  for (int i = 0; i < 128; ++i) {
    const std::string name = "F" + std::to_string(1000 + i);
    const int track = 2 + i / 5;
    const int r = 1 + i % 5;
    full.AddEntry(name, track, r, track, r);
    listing += Listing(name, track, r, track, r, 0x400);
    expected["001/" + name] = AsText(d88test::SectorPattern(track, r));
  }
  const ToolRunner runner;
  const ToolRun run =
      runner.RunOn(d88test::Concat({marked.Build(), full.Build()}));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, ConsoleText("\n[MARKED] -> 000\n" + listing));
  EXPECT_EQ(run.tree, expected);
}

TEST(ExtractionTest, ShiftJisNamesPassThrough) {
  if (!d88test::HostTakesShiftJisNames()) {
    GTEST_SKIP() << "raw Shift_JIS names need the Japanese ANSI code page";
  }
  const std::string so = "\x83\x5C";        // its second byte is 0x5C
  const std::string kana = "\xB1\xB2\xB3";  // half-width katakana
  FileSystemDisk disk("\x83\x66\x83\x42\x83\x58\x83\x4E");
  disk.AddEntry(so + "\x83\x74", 2, 1, 2, 1).AddEntry(kana, 2, 2, 2, 2);
  const ToolRunner runner;
  const ToolRun run = runner.RunOn(disk.Build());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            ConsoleText("\n[\x83\x66\x83\x42\x83\x58\x83\x4E] -> 000\n" +
                        Listing(so + "\x83\x74", 2, 1, 2, 1, 0x400) +
                        Listing(kana, 2, 2, 2, 2, 0x400)));
  EXPECT_EQ(run.err, "");
  const Tree expected = {
      {"000", "<dir>"},
      {"000/" + so + "\x83\x74", AsText(d88test::SectorPattern(2, 1))},
      {"000/" + kana, AsText(d88test::SectorPattern(2, 2))},
  };
  EXPECT_EQ(run.tree, expected);
}

// A run that breaks off must leave zeros after what it delivered, never the
// bytes of the larger file read before it; a short sector's own bytes stay.
TEST(ExtractionTest, BrokenRunsAreZeroFilled) {
  FileSystemDisk disk("BROKEN");
  disk.AddEntry("BIG", 2, 1, 4, 5)      // 15 whole sectors
      .AddEntry("GAP", 10, 1, 10, 4)    // sector 2 is missing
      .AddEntry("SHORT", 12, 1, 12, 3)  // sector 2 holds 100 bytes
      .AddEntry("NONE", 14, 1, 14, 2)   // first sector missing
      .RemoveSector(10, 2)
      .ShortenSector(12, 2, 100)
      .RemoveSector(14, 1);
  const ToolRunner runner;
  const ToolRun run = runner.RunOn(disk.Build(), {"-d"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, ConsoleText(Listing("BIG", 2, 1, 4, 5, 15 * 1024) +
                                 Listing("GAP", 10, 1, 10, 4, 4 * 1024) +
                                 Listing("SHORT", 12, 1, 12, 3, 3 * 1024) +
                                 Listing("NONE", 14, 1, 14, 2, 2 * 1024)));
  Bytes gap = d88test::SectorPattern(10, 1);
  gap.resize(4 * 1024, 0);
  Bytes short_file = d88test::SectorPattern(12, 1);
  const Bytes partial = d88test::SectorPattern(12, 2, 100);
  short_file.insert(short_file.end(), partial.begin(), partial.end());
  short_file.resize(3 * 1024, 0);
  const Tree expected = {
      {"BIG", FileBytes(disk, 2, 1, 15 * 1024)},
      {"GAP", AsText(gap)},
      {"SHORT", AsText(short_file)},
  };
  EXPECT_EQ(run.tree, expected);
}

// An entry can cover far more than 80 tracks' worth of sectors; the file is
// written whole.
TEST(ExtractionTest, FileLargerThanEightyTracks) {
  FileSystemDisk disk("LARGE", 164);
  disk.AddEntry("HUGE", 2, 1, 163, 5).AddEntry("PAST", 150, 1, 255, 255);
  const ToolRunner runner;
  const ToolRun run = runner.RunOn(disk.Build(), {"-d"});
  EXPECT_EQ(run.status, 0);
  const std::size_t huge = 162 * 5 * 1024;
  const std::size_t past = (255 * 5 + 255 - 150 * 5) * 1024;
  EXPECT_EQ(
      run.out,
      ConsoleText(Listing("HUGE", 2, 1, 163, 5, static_cast<int>(huge)) +
                  Listing("PAST", 150, 1, 255, 255, static_cast<int>(past))));
  ASSERT_EQ(run.tree.size(), 2u);
  EXPECT_EQ(run.tree.at("HUGE"), FileBytes(disk, 2, 1, huge));
  EXPECT_EQ(run.tree.at("PAST").size(), past);
  EXPECT_EQ(run.tree.at("PAST"), FileBytes(disk, 150, 1, past));
}

// Only entries inside the bytes the directory read delivered belong to the
// disk: never entries left from an earlier disk's directory.
TEST(ExtractionTest, ShortAndMissingDirectories) {
  FileSystemDisk full("FULL");
  FileSystemDisk half("HALF");
  std::string full_listing;
  std::string half_listing;
  for (int i = 0; i < 100; ++i) {
    const std::string name = "A" + std::to_string(100 + i);
    full.AddEntry(name, 0, 2, 0, 1);
    full_listing += Listing(name, 0, 2, 0, 1, 0);
  }
  for (int i = 0; i < 64; ++i) {
    const std::string name = "B" + std::to_string(100 + i);
    half.AddEntry(name, 0, 2, 0, 1);
    half_listing += Listing(name, 0, 2, 0, 1, 0);
  }
  half.SetDirectoryBytes(1024);
  FileSystemDisk none("NONE");
  none.SetDirectoryBytes(0);
  const ToolRunner runner;
  const ToolRun run = runner.RunOn(
      d88test::Concat({full.Build(), half.Build(), none.Build()}));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, ConsoleText("\n[FULL] -> 000\n" + full_listing +
                                 "\n[HALF] -> 001\n" + half_listing +
                                 "\n[NONE] -> 002\n"));
}

// Names that would mean a path are mapped to plain names in the working
// folder, with a note on standard error; nothing lands anywhere else.
TEST(ExtractionTest, PathNamesStayInTheWorkingFolder) {
  FileSystemDisk disk("PATHS");
  disk.AddEntry("../X", 2, 1, 2, 1)
      .AddEntry(".", 2, 2, 2, 2)
      .AddEntry("..", 2, 3, 2, 3)
      .AddEntry("/ETC", 2, 4, 2, 4);
  const ToolRunner runner;
  const ToolRun run = runner.RunOn(disk.Build());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, ConsoleText("\n[PATHS] -> 000\n" +
                                 Listing("../X", 2, 1, 2, 1, 0x400) +
                                 Listing(".", 2, 2, 2, 2, 0x400) +
                                 Listing("..", 2, 3, 2, 3, 0x400) +
                                 Listing("/ETC", 2, 4, 2, 4, 0x400)));
  EXPECT_EQ(run.err,
            ConsoleText("d88unpack: file \"../X\" saved as \".._X\"\n"
                        "d88unpack: file \".\" saved as \"_\"\n"
                        "d88unpack: file \"..\" saved as \"__\"\n"
                        "d88unpack: file \"/ETC\" saved as \"_ETC\"\n"));
  const Tree expected = {
      {"000", "<dir>"},
      {"000/.._X", AsText(d88test::SectorPattern(2, 1))},
      {"000/_", AsText(d88test::SectorPattern(2, 2))},
      {"000/__", AsText(d88test::SectorPattern(2, 3))},
      {"000/_ETC", AsText(d88test::SectorPattern(2, 4))},
  };
  EXPECT_EQ(run.tree, expected);
  // The folder around the working folder holds only what the test put there.
  std::size_t around = 0;
  for (const auto& item :
       std::filesystem::directory_iterator(runner.work().parent_path())) {
    const std::string name = item.path().filename().string();
    EXPECT_TRUE(name == "work" || name == "image.d88" || name == "stdout" ||
                name == "stderr")
        << name;
    ++around;
  }
  EXPECT_EQ(around, 4u);
}

// With "-d" every disk writes into one folder: the later file of a name wins,
// within a disk and across disks.
TEST(ExtractionTest, LaterFileOfTheSameNameWins) {
  FileSystemDisk first("ONE");
  first.AddEntry("SAME", 2, 1, 2, 2).AddEntry("SAME", 3, 1, 3, 1)
      .AddEntry("ONLY1", 4, 1, 4, 1).AddEntry("ACROSS", 5, 1, 5, 3);
  FileSystemDisk second("TWO");
  second.AddEntry("ACROSS", 6, 1, 6, 1);
  const ToolRunner runner;
  const ToolRun run = runner.RunOn(
      d88test::Concat({first.Build(), second.Build()}), {"-d"});
  EXPECT_EQ(run.status, 0);
  const Tree expected = {
      {"SAME", AsText(d88test::SectorPattern(3, 1))},
      {"ONLY1", AsText(d88test::SectorPattern(4, 1))},
      {"ACROSS", AsText(d88test::SectorPattern(6, 1))},
  };
  EXPECT_EQ(run.tree, expected);
}

// A host file that cannot be written is reported, leaves nothing behind, and
// makes the run end with status 1; the other files are still written.
TEST(ExtractionTest, UnwritableHostFiles) {
  FileSystemDisk disk("FAILS");
  disk.AddEntry("", 2, 1, 2, 1)          // empty name, readable sector
      .AddEntry("INDIR", 2, 2, 2, 2)     // a folder of that name exists
      .AddEntry("OK", 2, 3, 2, 3);
  const ToolRunner runner;
  std::filesystem::create_directories(runner.work() / "000" / "INDIR");
  const ToolRun run = runner.RunOn(disk.Build());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out,
            ConsoleText("\n[FAILS] -> 000\n" + Listing("", 2, 1, 2, 1, 0x400) +
                        Listing("INDIR", 2, 2, 2, 2, 0x400) +
                        Listing("OK", 2, 3, 2, 3, 0x400)));
#if defined(_WIN32)
  const std::string folder_reason = "Permission denied";
#else
  const std::string folder_reason = "Is a directory";
#endif
  EXPECT_EQ(run.err, ConsoleText("d88unpack: cannot write file \"000/\": "
                                 "No such file or directory\n"
                                 "d88unpack: cannot write file \"000/INDIR\": " +
                                 folder_reason + "\n"));
  const Tree expected = {
      {"000", "<dir>"},
      {"000/INDIR", "<dir>"},
      {"000/OK", AsText(d88test::SectorPattern(2, 3))},
  };
  EXPECT_EQ(run.tree, expected);
}

// --to-stdout gives an entry's bytes only where an extraction writes its
// file: an entry whose name leaves nothing to name a host file by fails the
// same way, with or without folders, and the run ends with status 1.
TEST(ExtractionTest, ToStdoutFailsWhereTheExtractionFails) {
  FileSystemDisk disk("FAILS");
  disk.AddEntry("", 2, 1, 2, 1).AddEntry("OK", 2, 3, 2, 3);
  for (const bool folders : {true, false}) {
    const ToolRunner runner;
    const std::string image = runner.WriteImage(disk.Build());
    std::vector<std::string> args{image};
    if (!folders) args.push_back("-d");
    const ToolRun extraction = runner.Run(args);
    args.push_back("--to-stdout");
    const ToolRunner stdout_runner;
    const ToolRun run = stdout_runner.Run(args);
    const std::string label = folders ? "000/" : "";
    EXPECT_EQ(extraction.status, 1) << folders;
    EXPECT_EQ(run.status, extraction.status) << folders;
    EXPECT_EQ(run.out, AsText(d88test::SectorPattern(2, 3))) << folders;
    EXPECT_EQ(run.err, ConsoleText("d88unpack: cannot write file \"" + label +
                                   "\": its name is empty\n"))
        << folders;
    EXPECT_TRUE(run.tree.empty()) << folders;
  }
}

#if !defined(_WIN32)
// A disk folder that is a symbolic link is not followed, whether it leads to
// a folder outside or nowhere: that disk is skipped with a line naming the
// folder, the run ends with status 1, nothing lands where the link points,
// and the next disk's folder is made beside it in the work folder.
TEST(ExtractionTest, LinkedDiskFolderIsSkipped) {
  namespace fs = std::filesystem;
  FileSystemDisk first("FIRST");
  first.AddEntry("F1", 2, 1, 2, 1);
  FileSystemDisk second("SECOND");
  second.AddEntry("F2", 2, 2, 2, 2);
  for (const char* target : {"folder", "none"}) {
    const ToolRunner runner;
    const fs::path outside = runner.work().parent_path();
    fs::create_directory(outside / "folder");
    fs::create_directory_symlink(outside / target, runner.work() / "000");
    const ToolRun run =
        runner.RunOn(d88test::Concat({first.Build(), second.Build()}));
    EXPECT_EQ(run.status, 1) << target;
    EXPECT_EQ(run.out, "\n[SECOND] -> 001\n" + Listing("F2", 2, 2, 2, 2, 0x400))
        << target;
    EXPECT_EQ(run.err,
              "d88unpack: cannot enter folder \"000\": it is a link, which "
              "the run does not follow; disk 0 skipped\n")
        << target;
    EXPECT_TRUE(fs::is_symlink(runner.work() / "000")) << target;
    EXPECT_EQ(d88test::ReadFileText(runner.work() / "001" / "F2"),
              AsText(d88test::SectorPattern(2, 2)))
        << target;
    EXPECT_TRUE(fs::is_empty(outside / "folder")) << target;
    EXPECT_FALSE(fs::exists(outside / "none")) << target;
    EXPECT_FALSE(fs::exists(outside / "001")) << target;
  }
}

// A write that fails part-way leaves no truncated file behind, whether it
// fails on the data or on lengthening the file to its zero tail. The shell
// limits the tool's files to 1024 bytes and ignores the signal that would
// end the tool, so that the write itself fails.
TEST(ExtractionTest, FailedWriteLeavesNoFile) {
  FileSystemDisk disk("FULL");
  disk.AddEntry("TWO", 2, 1, 2, 2)     // 2048 bytes of data
      .AddEntry("TAIL", 3, 1, 3, 3)    // 1024 bytes, then zeros to 3072
      .AddEntry("OK", 4, 1, 4, 1)      // exactly the limit
      .RemoveSector(3, 2);
  ToolRunner runner;
  runner.SetShellPrefix("trap '' XFSZ; ulimit -f 2; ");
  const ToolRun run = runner.RunOn(disk.Build(), {"-d"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "d88unpack: cannot write file \"TWO\": File too large\n"
            "d88unpack: cannot write file \"TAIL\": File too large\n");
  const Tree expected = {{"OK", AsText(d88test::SectorPattern(4, 1))}};
  EXPECT_EQ(run.tree, expected);
}

// A symbolic link already under a file's name is replaced by the file, as
// an archiver does; whatever it points to, outside the folder or not, is
// never opened: its bytes stay, a missing target is not made, a device is
// not written to.
TEST(ExtractionTest, LinksUnderFileNamesAreReplaced) {
  namespace fs = std::filesystem;
  FileSystemDisk disk("LINKS");
  const ToolRunner runner;
  const fs::path outside = runner.work().parent_path();
  const fs::path kept = outside / "kept";
  fs::create_directory(outside / "folder");
  { std::ofstream(kept) << "outside bytes"; }
  const std::pair<std::string, fs::path> links[] = {
      {"FILE", kept},
      {"NONE", outside / "none"},
      {"FOLDER", outside / "folder"},
      {"DEVICE", "/dev/full"},
      {"SELF", "SELF"},
  };
  Tree expected;
  int r = 1;
  for (const auto& [name, target] : links) {
    fs::create_symlink(target, runner.work() / name);
    disk.AddEntry(name, 2, r, 2, r);
    expected[name] = AsText(d88test::SectorPattern(2, r));
    ++r;
  }
  // A hard link shares its bytes with a name outside, and a FIFO without a
  // reader would hold the run: both are replaced too.
  const fs::path shared = outside / "shared";
  { std::ofstream(shared) << "shared bytes"; }
  fs::create_hard_link(shared, runner.work() / "HARD");
  ASSERT_EQ(mkfifo((runner.work() / "PIPE").c_str(), 0666), 0);
  for (const std::string name : {"HARD", "PIPE"}) {
    disk.AddEntry(name, 3, r - 5, 3, r - 5);
    expected[name] = AsText(d88test::SectorPattern(3, r - 5));
    ++r;
  }
  const ToolRun run = runner.RunOn(disk.Build(), {"-d"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.tree, expected);
  EXPECT_EQ(d88test::ReadFileText(shared), "shared bytes");
  for (const auto& link : links) {
    EXPECT_FALSE(fs::is_symlink(runner.work() / link.first)) << link.first;
  }
  EXPECT_EQ(d88test::ReadFileText(kept), "outside bytes");
  EXPECT_FALSE(fs::exists(outside / "none"));
  EXPECT_TRUE(fs::is_empty(outside / "folder"));
}
#endif

}  // namespace
