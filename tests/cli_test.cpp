// End-to-end tests of the command line: the built binary runs in a fresh
// folder, and its exact output, exit status and folders are checked.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "d88_builder.h"
#include "tool_runner.h"

namespace {

using d88test::Bytes;
using d88test::ConsoleText;
using d88test::DiskBuilder;
using d88test::ToolRun;
using d88test::ToolRunner;
using Tree = std::map<std::string, std::string>;

// "Cannot open the file" in Shift_JIS.
const std::string kOpenError =
    "\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xF0\x83\x49\x81\x5B\x83\x76"
    "\x83\x93\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1\n";

// Three disks without a directory: only the per-disk lines appear. Each
// records track 0, so that its header is a plausible D88 disk header.
Bytes ThreeDisks() {
  return d88test::Concat(
      {DiskBuilder("FIRST").SetTrack(0, d88test::StandardTrack(0)).Build(),
       DiskBuilder("GAME A").SetTrack(0, d88test::StandardTrack(0)).Build(),
       DiskBuilder("\x83\x5C\x83\x74\x83\x67")
           .SetTrack(0, d88test::StandardTrack(0))
           .Build()});
}

const char kThreeDiskLines[] =
    "\n[FIRST] -> 000\n"
    "\n[GAME A] -> 001\n"
    "\n[\x83\x5C\x83\x74\x83\x67] -> 002\n";

// The usage line, unchanged, and the pointer to --help after it.
std::string Usage() {
  const std::string program = d88test::ToolPath();
  return "Usage: " + program + " [d88file] [-d]\n" + "Try '" + program +
         " --help' for more information.\n";
}

// The open error keeps its Shift_JIS line; a readable one follows.
std::string OpenError(const std::string& path, const std::string& reason) {
  return kOpenError + "d88unpack: cannot open \"" + path + "\": " + reason +
         "\n";
}

const Tree kThreeFolders = {{"000", "<dir>"}, {"001", "<dir>"}, {"002", "<dir>"}};

TEST(CommandLineTest, NoArgumentsPrintsUsage) {
  const ToolRunner runner;
  const ToolRun run = runner.Run({});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, ConsoleText(Usage()));
  EXPECT_TRUE(run.tree.empty());
}

TEST(CommandLineTest, ImagesThatCannotBeOpened) {
  const ToolRunner runner;
  // A missing file, and a folder, which opens like a file on POSIX hosts.
#if defined(_WIN32)
  const char* folder_reason = "Permission denied";
#else
  const char* folder_reason = "Is a directory";
#endif
  std::vector<std::pair<std::string, std::string>> cases = {
      {(runner.work() / "missing.d88").string(), "No such file or directory"},
      {runner.work().string(), folder_reason}};
#if !defined(_WIN32)
  // What cannot be read with seeks: a FIFO (which must not make the run
  // wait for a writer) and a character device.
  const std::string fifo = (runner.work().parent_path() / "fifo").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  cases.push_back({fifo, "Illegal seek"});
  cases.push_back({"/dev/null", "Illegal seek"});
#endif
  for (const auto& [path, reason] : cases) {
    const ToolRun run = runner.Run({path});
    EXPECT_EQ(run.status, 1) << path;
    EXPECT_EQ(run.out, "") << path;
    EXPECT_EQ(run.err, ConsoleText(OpenError(path, reason))) << path;
    EXPECT_TRUE(run.tree.empty()) << path;
  }
}

// Nothing on standard output and status 0 as always; one line on standard
// error says that the file holds no disk.
TEST(CommandLineTest, ImageWithoutDisksPrintsNothing) {
  const ToolRunner runner;
  const std::string path = runner.WriteImage(Bytes(100, 0));
  const ToolRun run = runner.Run({path});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err,
            ConsoleText("d88unpack: \"" + path + "\" holds no D88 disk\n"));
  EXPECT_TRUE(run.tree.empty());
}

// The line for an argument the positional rules pass over.
std::string Ignored(const std::string& argument) {
  return "d88unpack: argument \"" + argument + "\" ignored\n";
}

TEST(CommandLineTest, EveryDiskGetsAFolderAndALine) {
  // Only "-d" as the whole second argument switches folders off; later
  // arguments are ignored, each with a line that says so.
  struct Case {
    std::vector<std::string> extra;
    std::string err;
  };
  const Case cases[] = {
      {{}, ""},
      {{"-D"}, Ignored("-D")},
      {{"-dx"}, Ignored("-dx")},
      {{"x", "-d"}, Ignored("x") + Ignored("-d")},
      {{"--", "mydir"}, Ignored("mydir")},
  };
  for (const Case& c : cases) {
    const ToolRunner runner;
    const ToolRun run = runner.RunOn(ThreeDisks(), c.extra);
    const std::string what = c.extra.empty() ? "(none)" : c.extra.back();
    EXPECT_EQ(run.status, 0) << what;
    EXPECT_EQ(run.out, ConsoleText(kThreeDiskLines)) << what;
    EXPECT_EQ(run.err, ConsoleText(c.err)) << what;
    EXPECT_EQ(run.tree, kThreeFolders) << what;
  }
}

TEST(CommandLineTest, DashDMakesNoFoldersAndNoDiskLines) {
  const ToolRunner runner;
  const ToolRun run = runner.RunOn(ThreeDisks(), {"-d", "ignored"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, ConsoleText(Ignored("ignored")));
  EXPECT_TRUE(run.tree.empty());
}

// Ignored arguments are named only once the image is open, in every mode
// and whatever the status; past the first 32, a count stands for the rest.
TEST(CommandLineTest, IgnoredArgumentsAreNamed) {
  std::vector<std::string> many;
  std::string many_lines;
  for (int i = 0; i < 34; ++i) {
    many.push_back("x" + std::to_string(i));
    if (i < 32) many_lines += Ignored(many.back());
  }
  struct Case {
    std::vector<std::string> args;  // after the image path
    int status;
    std::string err;
  };
  const Case cases[] = {
      {{"--list", "b.d88"}, 0, Ignored("b.d88")},
      {{"--info", "-d", "b.d88"}, 0, Ignored("b.d88")},
      {{"--list", "--disk=7", "b.d88"}, 1,
       Ignored("b.d88") +
           "d88unpack: no disk 7 in \"IMAGE\", which holds 3 disks\n"},
      {{"-d", "--to-stdout", "mydir"}, 0, Ignored("mydir")},
      {many, 0, many_lines + "d88unpack: 2 more arguments ignored\n"},
  };
  for (const Case& c : cases) {
    const ToolRunner runner;
    const std::string image = runner.WriteImage(ThreeDisks());
    std::vector<std::string> args{image};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ToolRun run = runner.Run(args);
    std::string err = c.err;
    const std::size_t at = err.find("IMAGE");
    if (at != std::string::npos) err.replace(at, 5, image);
    EXPECT_EQ(run.status, c.status) << c.args.back();
    EXPECT_EQ(run.err, ConsoleText(err)) << c.args.back();
  }
  // An image that cannot be opened gets its own lines and no others.
  const ToolRunner runner;
  const ToolRun missing = runner.Run({"none.d88", "mydir"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err,
            ConsoleText(OpenError("none.d88", "No such file or directory")));
}

TEST(CommandLineTest, DashDFirstIsTheImagePath) {
  const ToolRunner runner;
  const ToolRun missing = runner.Run({"-d"});
  EXPECT_EQ(missing.status, 1);
  // "-d" typed before the image path: the second line says where it goes.
  EXPECT_EQ(missing.err,
            ConsoleText(OpenError("-d", "No such file or directory; -d goes "
                                        "after the image path")));
  std::filesystem::copy_file(runner.WriteImage(ThreeDisks()),
                             runner.work() / "-d");
  const ToolRun run = runner.Run({"-d"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, ConsoleText(kThreeDiskLines));
  EXPECT_EQ(run.tree.size(), 4u);
}

TEST(CommandLineTest, ExistingFolderIsReused) {
  const ToolRunner runner;
  std::filesystem::create_directory(runner.work() / "001");
  const ToolRun run = runner.RunOn(ThreeDisks());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, ConsoleText(kThreeDiskLines));
  EXPECT_EQ(run.tree, kThreeFolders);
}

// A plain file where a disk's folder should go: that disk is skipped with a
// message, the others are extracted in the starting folder, and the run ends
// with status 1. Nothing lands above the starting folder.
TEST(CommandLineTest, BlockedFolderSkipsOnlyThatDisk) {
  const ToolRunner runner;
  { std::ofstream(runner.work() / "001") << "in the way"; }
  const ToolRun run = runner.RunOn(ThreeDisks());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, ConsoleText("\n[FIRST] -> 000\n"
                                 "\n[\x83\x5C\x83\x74\x83\x67] -> 002\n"));
#if defined(_WIN32)
  // ERROR_DIRECTORY: the name is not a folder. The text is the system's own
  // (Japanese under the code page these tests run with).
  const std::string reason = d88test::SystemErrorText(267);
#else
  const std::string reason = "Not a directory";
#endif
  EXPECT_EQ(run.err, ConsoleText("d88unpack: cannot enter folder \"001\": " +
                                 reason + "; disk 1 skipped\n"));
  const Tree expected = {
      {"000", "<dir>"}, {"001", "in the way"}, {"002", "<dir>"}};
  EXPECT_EQ(run.tree, expected);
}

#if !defined(_WIN32)
// A folder that cannot be made is reported with the host's reason for not
// making it, not with what entering it afterwards would say.
TEST(CommandLineTest, WorkFolderThatCannotBeMade) {
  const std::string long_name(300, 'L');
  const std::pair<std::string, std::string> cases[] = {
      {"file/sub", "Not a directory"},
      {long_name, "File name too long"},
      {"file/" + long_name, "Not a directory"},
  };
  for (const auto& [folder, reason] : cases) {
    const ToolRunner runner;
    { std::ofstream(runner.work() / "file") << "a file"; }
    const ToolRun run = runner.RunOn(ThreeDisks(), {"--output=" + folder});
    EXPECT_EQ(run.status, 1) << folder;
    EXPECT_EQ(run.out, "") << folder;
    EXPECT_EQ(run.err, "d88unpack: cannot use folder \"" + folder + "\": " +
                           reason + "\n")
        << folder;
    const Tree expected = {{"file", "a file"}};
    EXPECT_EQ(run.tree, expected) << folder;
  }
}

// In a folder that may not be written to, each disk's folder fails with the
// reason mkdir gave. Permission bits do not stop root, so root skips this.
TEST(CommandLineTest, DiskFoldersThatCannotBeMade) {
  if (geteuid() == 0) GTEST_SKIP() << "permission bits do not stop root";
  const ToolRunner runner;
  std::filesystem::permissions(runner.work(),
                               std::filesystem::perms::owner_read |
                                   std::filesystem::perms::owner_exec);
  const ToolRun run = runner.RunOn(ThreeDisks());
  std::filesystem::permissions(runner.work(), std::filesystem::perms::owner_all);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  std::string err;
  for (int i = 0; i < 3; ++i) {
    err += "d88unpack: cannot make folder \"00" + std::to_string(i) +
           "\": Permission denied; disk " + std::to_string(i) + " skipped\n";
  }
  EXPECT_EQ(run.err, err);
  EXPECT_TRUE(run.tree.empty());
}
#endif

TEST(CommandLineTest, HelpAndVersion) {
  const ToolRunner runner;
  const ToolRun help = runner.Run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind(ConsoleText("Usage: " + d88test::ToolPath() +
                                       " [d88file] [-d]\n"),
                           0),
            0u);
  // Every option and the meaning of the exit statuses are in the help.
  for (const char* text : {"-d", "--list", "--output=DIR", "--disk=LIST",
                           "--unicode-names", "--only=PATTERN", "--to-stdout",
                           "--keep-old-files", "--skip-old-files", "--version",
                           "Exit status"}) {
    EXPECT_NE(help.out.find(text), std::string::npos) << text;
  }
  EXPECT_EQ(help.err, "");
  const ToolRun version = runner.Run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, ConsoleText("d88unpack 1.0.0\n"));
  EXPECT_TRUE(version.tree.empty());
}

}  // namespace
