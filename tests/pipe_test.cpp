// End-to-end tests of a run whose standard output is a pipe nobody reads
// any more, as in "d88unpack IMAGE | head -n 1" once head has quit. The
// pipe is closed before the tool starts, so the very first write finds the
// reader gone, on every host.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "d88_builder.h"
#include "tool_runner.h"

namespace {

using d88test::AsText;
using d88test::Bytes;
using d88test::FileSystemDisk;
using d88test::ToolRun;
using d88test::ToolRunner;
using Tree = std::map<std::string, std::string>;
using Args = std::vector<std::string>;

// 2 x 60 listing lines of 44 bytes pass the 4096 bytes that stdio holds
// back for a pipe.
constexpr int kEntriesPerDisk = 60;

// Two disks of one-sector files, their listing far longer than any stdio
// buffer, so that the loss of standard output shows while files are still
// to be written. The last file of disk 1 has a sector with a status, the one
// thing --test finds.
Bytes ManyFiles() {
  std::vector<Bytes> disks;
  for (const char* name : {"FIRST", "SECOND"}) {
    FileSystemDisk disk(name);
    for (int i = 0; i < kEntriesPerDisk; ++i) {
      char entry[8];
      std::snprintf(entry, sizeof entry, "F%03d", i);
      disk.AddEntry(entry, 2 + i / 5, 1 + i % 5, 2 + i / 5, 1 + i % 5);
    }
    const int last = kEntriesPerDisk - 1;
    if (disks.size() == 1) disk.MarkSector(2 + last / 5, 1 + last % 5, 0xB0);
    disks.push_back(disk.Build());
  }
  return d88test::Concat(disks);
}

// The paths of a tree, for a failure message that fits on a screen; the
// contents are compared apart.
std::vector<std::string> Paths(const Tree& tree) {
  std::vector<std::string> paths;
  for (const auto& entry : tree) paths.push_back(entry.first);
  return paths;
}

// Every mode with work besides its output does all of it and ends as the
// same run with its output in a file ends: the output is lost, nothing else.
TEST(PipeTest, AReaderThatQuitsCostsNoWork) {
  struct Case {
    Args args;
    int status;          // of the run, read or not
    std::size_t made;    // files and folders it makes
  };
  const Case cases[] = {
      {{}, 0, 2 + 2 * kEntriesPerDisk},
      {{"-d"}, 0, kEntriesPerDisk},
      {{"--unclaimed", "--disk=0"}, 0, 1 + kEntriesPerDisk + 2},
      {{"--test"}, 2, 0},
      {{"--test", "--json"}, 2, 0},
      {{"--list"}, 0, 0},
      {{"--info"}, 0, 0},
      {{"--map", "--color=always", "--map-svg=map.svg"}, 0, 1},
  };
  const Bytes image = ManyFiles();
  for (const Case& c : cases) {
    const std::string label = c.args.empty() ? "(none)" : c.args[0];
    const ToolRunner read;
    const ToolRun reference = read.RunOn(image, c.args);
    ASSERT_EQ(reference.status, c.status) << label;
    ASSERT_EQ(reference.tree.size(), c.made) << label;
    const ToolRunner runner;
    Args args{runner.WriteImage(image)};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ToolRun run = runner.RunIntoClosedPipe(args);
    EXPECT_EQ(run.status, c.status) << label;
    EXPECT_EQ(run.err, reference.err) << label;
    EXPECT_EQ(Paths(run.tree), Paths(reference.tree)) << label;
    EXPECT_TRUE(run.tree == reference.tree) << label;
  }
}

// A repack whose "repacked" line nobody reads still puts the file back.
TEST(PipeTest, ARepackFinishesWithoutItsReader) {
  const ToolRunner runner;
  const std::string image = runner.WriteImage(ManyFiles());
  ASSERT_EQ(runner.Run({image, "--disk=0"}).status, 0);
  const Bytes edited = d88test::HostFileBytes(1024, 7);
  d88test::WriteFileBytes(runner.work() / "000" / "F042", edited);
  const ToolRun run = runner.RunIntoClosedPipe({image, "--repack", "--disk=0"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  const ToolRun back =
      runner.Run({image, "--to-stdout", "--disk=0", "--only=F042"});
  EXPECT_EQ(back.out, AsText(edited));
}

// --to-stdout has nothing to do but its output: it stops at once, as a
// filter cut off by its reader does (killed by SIGPIPE, where the host has
// it, or status 141), before it reads the damaged file that would make a
// note.
TEST(PipeTest, ToStdoutStopsLikeAFilter) {
  const ToolRunner runner;
  const ToolRun run =
      runner.RunIntoClosedPipe({runner.WriteImage(ManyFiles()), "--to-stdout"});
  EXPECT_EQ(run.status, 141);
  EXPECT_EQ(run.err, "");
  EXPECT_TRUE(run.tree.empty());
}

}  // namespace
