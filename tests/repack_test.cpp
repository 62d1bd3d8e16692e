// End-to-end tests of --repack: extract, edit, repack and extract again,
// with the whole image compared byte for byte against an image built with
// the edits already in its sectors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "d88_builder.h"
#include "tool_runner.h"

#if !defined(_WIN32)
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;
using d88test::AsText;
using d88test::Bytes;
using d88test::ConsoleText;
using d88test::FileSystemDisk;
using d88test::ToolRun;
using d88test::ToolRunner;
using Args = std::vector<std::string>;
using Tree = std::map<std::string, std::string>;

Args With(Args args, const std::string& image, const Args& extra) {
  args.insert(args.begin(), image);
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

// Only the image (and the runner's own captures) may sit beside the work
// folder: a temporary file left there is a fault.
std::vector<std::string> BesideWork(const ToolRunner& runner) {
  std::vector<std::string> names;
  for (const auto& item : fs::directory_iterator(runner.work().parent_path())) {
    names.push_back(item.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Where two images part, for a failure message that fits on a screen.
const std::vector<std::string> kClean = {"image.d88", "stderr", "stdout",
                                         "work"};

FileSystemDisk FirstDisk(const std::string& msg_name) {
  FileSystemDisk disk("ONE");
  disk.AddEntry(msg_name, 2, 1, 2, 3).AddEntry("PROG", 2, 4, 3, 2);
  return disk;
}

FileSystemDisk SecondDisk() {
  FileSystemDisk disk("TWO");
  disk.AddEntry("DATA", 4, 5, 5, 1).AddEntry("TEXT", 6, 2, 6, 2);
  return disk;
}

struct RoundTrip {
  const char* label;
  std::string msg_name;  // the raw name of the first disk's first entry
  Args options;      // given to every run, after the image path
  std::string root;  // where the disks' folders or files are, from work
  std::string full_edit;   // host path from root: rewritten at full size
  std::string short_edit;  // rewritten with fewer bytes than its entry
  int disk;                // the disk both edited files are on
  bool utf8;               // host names are decoded to UTF-8
};

// The tree as the run's names were made: raw bytes, or UTF-8.
Tree TreeOf(const ToolRunner& runner, bool utf8) {
  return utf8 ? d88test::ReadTreeUtf8(runner.work())
              : d88test::ReadTree(runner.work());
}

TEST(RepackTest, RoundTripsEditsInEveryLayout) {
  const RoundTrip cases[] = {
      {"folders", "MSG", {}, "", "000/MSG", "000/PROG", 0, false},
      {"flat", "MSG", {"-d"}, "", "TEXT", "DATA", 1, false},
      {"one disk", "MSG", {"--disk", "1"}, "", "001/TEXT", "001/DATA", 1,
       false},
      {"output", "MSG", {"--output", "out/x"}, "out/x/", "000/MSG", "000/PROG",
       0, false},
      // "me mo" in Shift_JIS, found under its decoded name.
      {"unicode", "\x83\x81\x83\x82", {"--unicode-names"}, "",
       "000/\xE3\x83\xA1\xE3\x83\xA2", "000/PROG", 0, true},
  };
  for (const RoundTrip& c : cases) {
    SCOPED_TRACE(c.label);
    FileSystemDisk disks[] = {FirstDisk(c.msg_name), SecondDisk()};
    const ToolRunner runner;
    const std::string image = runner.WriteImage(
        d88test::Concat({disks[0].Build(), disks[1].Build()}));
    const ToolRun extracted = runner.Run(With(c.options, image, {}));
    ASSERT_EQ(extracted.status, 0);
    const Tree extracted_tree = TreeOf(runner, c.utf8);
    const std::string before = d88test::ReadFileText(image);

    // Nothing edited: nothing written, not even a temporary file.
    const ToolRun idle = runner.Run(With(c.options, image, {"--repack"}));
    EXPECT_EQ(idle.status, 0);
    EXPECT_EQ(idle.out + idle.err, "");
    EXPECT_EQ(d88test::ImageDifference(d88test::ReadFileText(image), before),
              "");
    EXPECT_EQ(TreeOf(runner, c.utf8), extracted_tree);

    const bool msg_on_disk0 = c.disk == 0;
    const Bytes full = d88test::HostFileBytes(msg_on_disk0 ? 3072 : 1024, 0x40);
    const Bytes part = d88test::HostFileBytes(1500, 0x90);
    d88test::WriteFileBytes(runner.work() / fs::u8path(c.root + c.full_edit),
                            full);
    d88test::WriteFileBytes(runner.work() / fs::u8path(c.root + c.short_edit),
                            part);
    const ToolRun repacked =
        runner.Run(With({"--repack"}, image, c.options));
    EXPECT_EQ(repacked.status, 0);
    const std::string full_path = c.root + c.full_edit;
    const std::string short_path = c.root + c.short_edit;
    const std::size_t short_size = msg_on_disk0 ? 4096 : 2048;
    // Lines come in directory order: on disk 1 DATA precedes TEXT.
    const std::string full_line = "repacked " + full_path + " (" +
                                  std::to_string(full.size()) + " bytes)\n";
    const std::string short_line = "repacked " + short_path + " (1500 bytes)\n";
    EXPECT_EQ(repacked.out, ConsoleText(msg_on_disk0 ? full_line + short_line
                                                     : short_line + full_line));
    EXPECT_EQ(repacked.err,
              ConsoleText("d88unpack: \"" + short_path +
                          "\" is shorter than its entry (1500 of " +
                          std::to_string(short_size) +
                          " bytes); the rest of its sectors is filled with "
                          "zeros\n"));
    EXPECT_EQ(BesideWork(runner), kClean);

    // The image is exactly one built with the edits in those sectors, the
    // short file's whole run included.
    Bytes padded = part;
    padded.resize(short_size, 0);
    if (msg_on_disk0) {
      disks[0].OverwriteRun(2, 1, full).OverwriteRun(2, 4, padded);
    } else {
      disks[1].OverwriteRun(6, 2, full).OverwriteRun(4, 5, padded);
    }
    EXPECT_EQ(
        d88test::ImageDifference(
            d88test::ReadFileText(image),
            AsText(d88test::Concat({disks[0].Build(), disks[1].Build()}))),
        "");

    // Extracting again gives the edits and every other file as it was.
    const ToolRunner again;
    ASSERT_EQ(again.Run(With(c.options, image, {})).status, 0);
    Tree expected = extracted_tree;
    expected[full_path] = AsText(full);
    expected[short_path] = AsText(padded);
    EXPECT_EQ(TreeOf(again, c.utf8), expected);
  }
}

// Every reason a file is refused, in one image, beside a file that goes in
// and one left alone: the refused ones change nothing, the good one still
// goes in, and the status says that something was refused.
TEST(RepackTest, RefusesWhatCannotGoBackAndWritesTheRest) {
  FileSystemDisk disk("REFUSE");
  disk.AddEntry("GOOD", 2, 1, 2, 1)
      .AddEntry("SAME", 2, 2, 2, 2)
      .AddEntry("BIG", 2, 3, 2, 3)
      .AddEntry("HOLE", 3, 1, 3, 3)
      .AddEntry("SHORT", 4, 1, 4, 2)
      .AddEntry("NONE", 5, 3, 5, 2)
      .AddEntry("GONE", 7, 1, 7, 2)
      .AddEntry("OVL1", 8, 1, 8, 3)
      .AddEntry("OVL2", 8, 3, 8, 4)
      .RemoveSector(3, 2)
      .ShortenSector(4, 2, 1000)
      .RemoveSector(7, 1);
  const ToolRunner runner;
  const std::string image = runner.WriteImage(disk.Build());
  ASSERT_EQ(runner.Run({image}).status, 0);
  const fs::path folder = runner.work() / "000";
  d88test::WriteFileBytes(folder / "GOOD", d88test::HostFileBytes(1024, 1));
  d88test::WriteFileBytes(folder / "BIG", d88test::HostFileBytes(1025, 2));
  d88test::WriteFileBytes(folder / "HOLE", d88test::HostFileBytes(3072, 3));
  d88test::WriteFileBytes(folder / "SHORT", d88test::HostFileBytes(2048, 4));
  d88test::WriteFileBytes(folder / "NONE", d88test::HostFileBytes(10, 5));
  d88test::WriteFileBytes(folder / "GONE", d88test::HostFileBytes(2048, 6));
  d88test::WriteFileBytes(folder / "OVL1", d88test::HostFileBytes(3072, 7));
  d88test::WriteFileBytes(folder / "OVL2", d88test::HostFileBytes(2048, 8));
  const ToolRun run = runner.Run({"--repack", image});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, ConsoleText("repacked 000/GOOD (1024 bytes)\n"));
  const std::string tail = "; not written back\n";
  const std::string moves = " (--relocate moves it)";
  EXPECT_EQ(
      run.err,
      ConsoleText(
          "d88unpack: cannot repack \"000/BIG\": it is larger than its "
          "entry's 1024 bytes" + moves + tail +
          "d88unpack: cannot repack \"000/HOLE\": sector 2 of track 3 in its "
          "entry's run is missing from the image or holds under 1024 bytes" +
          moves + tail +
          "d88unpack: cannot repack \"000/SHORT\": sector 2 of track 4 in its "
          "entry's run is missing from the image or holds under 1024 bytes" +
          moves + tail +
          "d88unpack: cannot repack \"000/NONE\": its entry ends before it "
          "starts and holds no bytes" + tail +
          "d88unpack: cannot repack \"000/GONE\": sector 1 of track 7 in its "
          "entry's run is missing from the image or holds under 1024 bytes" +
          moves + tail +
          "d88unpack: cannot repack \"000/OVL1\": its entry's sectors are "
          "also those of \"000/OVL2\"" + tail +
          "d88unpack: cannot repack \"000/OVL2\": its entry's sectors are "
          "also those of \"000/OVL1\"" + tail));
  disk.OverwriteRun(2, 1, d88test::HostFileBytes(1024, 1));
  EXPECT_EQ(d88test::ImageDifference(d88test::ReadFileText(image),
                                     AsText(disk.Build())),
            "");
  EXPECT_EQ(BesideWork(runner), kClean);
}

// A host file that several entries write holds the last one's bytes after
// an extraction, so it goes back into the last one's sectors only.
TEST(RepackTest, SharedHostFileGoesToTheLastEntryThatWritesIt) {
  struct Case {
    const char* label;
    Args options;
    std::string path;
  };
  const Case cases[] = {{"same disk", {}, "000/DUP"},
                        {"across disks", {"-d"}, "DUP"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const bool flat = c.options.size() == 1;
    FileSystemDisk first("A");
    FileSystemDisk second("B");
    first.AddEntry("DUP", 2, 1, 2, 1);
    (flat ? second : first).AddEntry("DUP", 3, 1, 3, 1);
    // An entry of that name that writes nothing does not take it over.
    (flat ? second : first).AddEntry("DUP", 4, 2, 4, 1);
    const ToolRunner runner;
    const std::string image =
        runner.WriteImage(d88test::Concat({first.Build(), second.Build()}));
    ASSERT_EQ(runner.Run(With(c.options, image, {})).status, 0);
    d88test::WriteFileBytes(runner.work() / c.path,
                            d88test::HostFileBytes(1024, 9));
    const ToolRun run = runner.Run(With(c.options, image, {"--repack"}));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, ConsoleText("repacked " + c.path + " (1024 bytes)\n"));
    EXPECT_EQ(run.err, "");
    (flat ? second : first).OverwriteRun(3, 1, d88test::HostFileBytes(1024, 9));
    EXPECT_EQ(d88test::ImageDifference(
                  d88test::ReadFileText(image),
                  AsText(d88test::Concat({first.Build(), second.Build()}))),
              "");
  }
}

#if !defined(_WIN32)

// Runs the tool through the shell with a limit on the size of any file it
// writes; the signal that limit raises is ignored, so the write fails with
// EFBIG as on a full disk. The limit holds for root as well.
int RunWithFileSizeLimit(const ToolRunner& runner, const std::string& image,
                         const std::string& err_path) {
  const std::string command = "cd '" + runner.work().string() +
                              "' && ulimit -f 64 && trap '' XFSZ && '" +
                              d88test::ToolPath() + "' --repack '" + image +
                              "' >/dev/null 2>'" + err_path + "'";
  const int result = std::system(command.c_str());
  return WIFEXITED(result) ? WEXITSTATUS(result) : -1;
}

#endif

// Whatever stops the new image from being written, the old one stays as it
// was, no temporary file of the run is left, and the status is 1. What a
// killed run left under the first temporary name is passed over, never
// written to or removed.
TEST(RepackTest, FailureToWriteLeavesTheImageUntouched) {
  enum class Injection { kNone, kImageReadOnly, kFileTooLarge };
  struct Case {
    const char* label;
    Injection injection;
    bool leftovers;  // a file and a folder under the first two names
    std::string reason;  // empty: the repack succeeds
  };
  const Case cases[] = {
      {"leftovers of killed runs", Injection::kNone, true, ""},
      {"read-only image", Injection::kImageReadOnly, false,
       ": it is read-only"},
#if !defined(_WIN32)
      {"file size limit", Injection::kFileTooLarge, false,
       " (through \"IMAGE.d88unpack-tmp\"): File too large"},
      {"file size limit, past leftovers", Injection::kFileTooLarge, true,
       " (through \"IMAGE.d88unpack-tmp-3\"): File too large"},
#endif
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    FileSystemDisk disk("FAIL");
    disk.AddEntry("MSG", 2, 1, 2, 3);
    const ToolRunner runner;
    const std::string image = runner.WriteImage(disk.Build());
    ASSERT_EQ(runner.Run({image}).status, 0);
    const std::string before = d88test::ReadFileText(image);
    d88test::WriteFileBytes(runner.work() / "000/MSG",
                            d88test::HostFileBytes(3072, 3));
    std::vector<std::string> beside = kClean;
    if (c.leftovers) {
      d88test::WriteFileBytes(image + ".d88unpack-tmp", {'o', 'l', 'd'});
      fs::create_directory(image + ".d88unpack-tmp-2");
      beside.insert(beside.begin() + 1, {"image.d88.d88unpack-tmp",
                                         "image.d88.d88unpack-tmp-2"});
    }
    if (c.injection == Injection::kImageReadOnly) {
      fs::permissions(image, fs::perms::owner_read | fs::perms::group_read |
                                 fs::perms::others_read);
    }
    ToolRun run;
#if !defined(_WIN32)
    if (c.injection == Injection::kFileTooLarge) {
      const std::string err = runner.work().parent_path().string() + "/stderr";
      run.status = RunWithFileSizeLimit(runner, image, err);
      run.err = d88test::ReadFileText(err);
    }
#endif
    if (c.injection != Injection::kFileTooLarge) {
      run = runner.Run({image, "--repack"});
      EXPECT_EQ(run.out, c.reason.empty()
                             ? ConsoleText("repacked 000/MSG (3072 bytes)\n")
                             : "");
    }
    EXPECT_EQ(BesideWork(runner), beside);
    if (c.leftovers) {
      EXPECT_EQ(d88test::ReadFileText(image + ".d88unpack-tmp"), "old");
    }
    if (c.reason.empty()) {
      EXPECT_EQ(run.status, 0);
      EXPECT_EQ(run.err, "");
      disk.OverwriteRun(2, 1, d88test::HostFileBytes(3072, 3));
      EXPECT_EQ(d88test::ImageDifference(d88test::ReadFileText(image),
                                         AsText(disk.Build())),
                "");
      continue;
    }
    std::string expected_reason = c.reason;
    const std::size_t mark = expected_reason.find("IMAGE");
    if (mark != std::string::npos) expected_reason.replace(mark, 5, image);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, ConsoleText("d88unpack: cannot write \"" + image +
                                   "\"" + expected_reason +
                                   "; the image is unchanged\n"));
    EXPECT_EQ(d88test::ImageDifference(d88test::ReadFileText(image), before),
              "");
  }
}

#if !defined(_WIN32)
// Permission bits do not stop root, so this one runs for other users only.
TEST(RepackTest, ReadOnlyFolderLeavesTheImageUntouched) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes to read-only folders";
  FileSystemDisk disk("RO");
  disk.AddEntry("MSG", 2, 1, 2, 1);
  const ToolRunner runner;
  const fs::path folder = runner.work() / "ro";
  fs::create_directory(folder);
  const std::string image = (folder / "image.d88").string();
  d88test::WriteFileBytes(image, disk.Build());
  ASSERT_EQ(runner.Run({image}).status, 0);
  d88test::WriteFileBytes(runner.work() / "000/MSG",
                          d88test::HostFileBytes(1024, 5));
  fs::permissions(folder, fs::perms::owner_write, fs::perm_options::remove);
  const ToolRun run = runner.Run({image, "--repack"});
  fs::permissions(folder, fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "d88unpack: cannot write \"" + image + "\" (through \"" +
                         image + ".d88unpack-tmp\"): Permission denied; the "
                         "image is unchanged\n");
  EXPECT_EQ(run.tree.count("ro/image.d88.d88unpack-tmp"), 0u);
  EXPECT_EQ(d88test::ImageDifference(d88test::ReadFileText(image),
                                     AsText(disk.Build())),
            "");
}

std::vector<std::string> NamesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& item : fs::directory_iterator(folder)) {
    names.push_back(item.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// An image named through a symbolic link is replaced where the link leads,
// in that file's folder, and the link stays the same link: through a
// relative link from another folder, an absolute one, and a chain of two.
// (That the folder is flushed after the rename cannot be seen from here.)
TEST(RepackTest, LinkedImageIsReplacedWhereTheLinkLeads) {
  struct Case {
    const char* label;
    bool absolute;  // the link holds the image's absolute path
    bool chain;     // the link leads to a second link, which leads on
  };
  const Case cases[] = {{"relative link", false, false},
                        {"absolute link", true, false},
                        {"chain of links", false, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    FileSystemDisk disk("LINKED");
    disk.AddEntry("MSG", 2, 1, 2, 1);
    const ToolRunner runner;
    const fs::path beside = runner.work().parent_path();
    fs::create_directory(beside / "real");
    fs::create_directory(beside / "links");
    const fs::path real = beside / "real" / "image.d88";
    d88test::WriteFileBytes(real, disk.Build());
    const fs::path leads_to =
        c.absolute ? real : fs::path("..") / "real" / "image.d88";
    const fs::path link = beside / "links" / "image.d88";
    if (c.chain) {
      fs::create_symlink(leads_to, beside / "links" / "hop.d88");
      fs::create_symlink("hop.d88", link);
    } else {
      fs::create_symlink(leads_to, link);
    }
    ASSERT_EQ(runner.Run({link.string()}).status, 0);
    d88test::WriteFileBytes(runner.work() / "000/MSG",
                            d88test::HostFileBytes(1024, 7));
    const ToolRun run = runner.Run({link.string(), "--repack"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "repacked 000/MSG (1024 bytes)\n");
    EXPECT_EQ(run.err, "");
    disk.OverwriteRun(2, 1, d88test::HostFileBytes(1024, 7));
    EXPECT_EQ(d88test::ImageDifference(d88test::ReadFileText(real),
                                       AsText(disk.Build())),
              "");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link), c.chain ? fs::path("hop.d88") : leads_to);
    EXPECT_EQ(NamesIn(beside / "real"), std::vector<std::string>{"image.d88"});
    const std::vector<std::string> links =
        c.chain ? std::vector<std::string>{"hop.d88", "image.d88"}
                : std::vector<std::string>{"image.d88"};
    EXPECT_EQ(NamesIn(beside / "links"), links);
  }
}
#endif

}  // namespace
