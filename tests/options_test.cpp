// End-to-end tests of the options: the built binary runs in a fresh folder
// and its exact output, exit status and every file it made are checked.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

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
using Args = std::vector<std::string>;

std::string Usage() {
  const std::string program = d88test::ToolPath();
  return "Usage: " + program + " [d88file] [-d]\nTry '" + program +
         " --help' for more information.\n";
}

// Three disks of one file each, so that every disk's folder and file show.
Bytes ThreeDisks() {
  std::vector<Bytes> disks;
  for (int i = 0; i < 3; ++i) {
    FileSystemDisk disk("D" + std::to_string(i), 4);
    disk.AddEntry("F" + std::to_string(i), 2, 1 + i, 2, 1 + i);
    disks.push_back(disk.Build());
  }
  return d88test::Concat(disks);
}

std::string DiskLines(int disk) {
  const std::string n = std::to_string(disk);
  return "\n[D" + n + "] -> 00" + n + "\n" + "F" + n +
         "       START:02 0" + std::to_string(1 + disk) + "    END:02 0" +
         std::to_string(1 + disk) + "   SIZE:0400\n";
}

std::string FileOf(int disk) {
  return AsText(d88test::SectorPattern(2, 1 + disk));
}

// A mistake on the command line reads nothing and writes nothing: one line
// naming it, then the usage.
TEST(OptionsTest, MistakesAreNamedBeforeTheUsage) {
  struct Case {
    Args args;
    std::string problem;
  };
  const std::vector<Case> cases = {
      {{"--frobnicate", "x.d88"}, "unknown option '--frobnicate'"},
      {{"x.d88", "--output"}, "option '--output' needs a value"},
      {{"--output=", "x.d88"}, "option '--output' needs a value"},
      {{"--list=yes", "x.d88"}, "option '--list=yes' takes no value"},
      {{"--disk=1-x", "x.d88"},
       "invalid disk list '1-x' (examples: 2  0,3  1-4  5-)"},
      {{"--disk=3-1", "x.d88"},
       "invalid disk list '3-1' (examples: 2  0,3  1-4  5-)"},
      {{"--disk", ",", "x.d88"},
       "invalid disk list ',' (examples: 2  0,3  1-4  5-)"},
      {{"--color=", "x.d88"}, "option '--color' needs a value"},
      {{"--color=sometimes", "x.d88"},
       "invalid --color 'sometimes' (auto, always or never)"},
      {{"--color"}, ""},  // no image: only the usage
  };
  for (const Case& c : cases) {
    const ToolRunner runner;
    const ToolRun run = runner.Run(c.args);
    EXPECT_EQ(run.status, 1) << c.problem;
    EXPECT_EQ(run.out, "") << c.problem;
    EXPECT_EQ(run.err, ConsoleText((c.problem.empty() ? "" : "d88unpack: " +
                                                             c.problem + "\n") +
                                   Usage()));
    EXPECT_TRUE(run.tree.empty()) << c.problem;
  }
}

// --color takes a value only after "=": alone it asks for colour, and the
// argument after it is the image path, never a colour.
TEST(OptionsTest, ColorAloneNeverTakesTheImagePath) {
  const ToolRunner runner;
  const std::string image = runner.WriteImage(ThreeDisks());
  const ToolRun always =
      runner.Run({"--map", "--disk=0", "--color=always", image});
  ASSERT_EQ(always.status, 0);
  ASSERT_NE(always.out.find("\x1b["), std::string::npos);
  for (const Args& args : {Args{"--map", "--disk=0", "--color", image},
                           Args{"--color", image, "--disk=0", "--map"}}) {
    const ToolRun run = runner.Run(args);
    EXPECT_EQ(run.status, 0) << args[2];
    EXPECT_EQ(run.out, always.out) << args[2];
    EXPECT_EQ(run.err, "") << args[2];
  }
}

// What each combination prints and makes, against a plain extraction of
// the same three disks.
TEST(OptionsTest, ListOutputAndDiskSelection) {
  const std::string all = DiskLines(0) + DiskLines(1) + DiskLines(2);
  const Tree every = {{"000", "<dir>"}, {"000/F0", FileOf(0)},
                      {"001", "<dir>"}, {"001/F1", FileOf(1)},
                      {"002", "<dir>"}, {"002/F2", FileOf(2)}};
  struct Case {
    Args args;
    std::string out;
    Tree tree;
  };
  const std::vector<Case> cases = {
      {{"--list"}, all, {}},
      {{"--list", "-d"},
       DiskLines(0).substr(13) + DiskLines(1).substr(13) +
           DiskLines(2).substr(13),
       {}},
      {{"--list", "--output=out/a"}, all, {}},
      {{"--disk=1"}, DiskLines(1), {{"001", "<dir>"}, {"001/F1", FileOf(1)}}},
      {{"--disk", "2,0"}, DiskLines(0) + DiskLines(2),
       {{"000", "<dir>"}, {"000/F0", FileOf(0)},
        {"002", "<dir>"}, {"002/F2", FileOf(2)}}},
      {{"--disk=1-", "-d"}, DiskLines(1).substr(13) + DiskLines(2).substr(13),
       {{"F1", FileOf(1)}, {"F2", FileOf(2)}}},
      {{"--list", "--disk=0-1"}, DiskLines(0) + DiskLines(1), {}},
      {{"--output", "out/a"}, all, [&] {
         Tree tree = {{"out", "<dir>"}, {"out/a", "<dir>"}};
         for (const auto& [path, content] : every) tree["out/a/" + path] = content;
         return tree;
       }()},
  };
  for (const Case& c : cases) {
    const ToolRunner runner;
    Args args = c.args;
    args.insert(args.begin(), runner.WriteImage(ThreeDisks()));
    const ToolRun run = runner.Run(args);
    const std::string what = ::testing::PrintToString(c.args);
    EXPECT_EQ(run.status, 0) << what;
    EXPECT_EQ(run.out, ConsoleText(c.out)) << what;
    EXPECT_EQ(run.err, "") << what;
    EXPECT_EQ(run.tree, c.tree) << what;
  }
}

// Disks asked for that the image does not hold are named, the others are
// still done, and the run ends with status 1.
TEST(OptionsTest, DisksBeyondTheImageAreNamed) {
  const ToolRunner runner;
  const ToolRun run =
      runner.RunOn(ThreeDisks(), {"--list", "--disk=2-5,9,1,7-"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, ConsoleText(DiskLines(1) + DiskLines(2)));
  EXPECT_EQ(run.err,
            ConsoleText("d88unpack: no disk 3-5, 9, 7- in \"" +
                        runner.WriteImage(ThreeDisks()) +
                        "\", which holds 3 disks\n"));
}

// "--" ends the options: what follows is the image path, even "--list".
TEST(OptionsTest, DoubleDashEndsTheOptions) {
  const ToolRunner runner;
  std::filesystem::copy_file(runner.WriteImage(ThreeDisks()),
                             runner.work() / "--list");
  const ToolRun run = runner.Run({"--disk=0", "--", "--list", "-d"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, ConsoleText(DiskLines(0).substr(13)));
  EXPECT_EQ(run.tree.count("F0"), 1u);
  EXPECT_EQ(run.tree.count("000"), 0u);
}

// An output folder that cannot be made stops the run before anything is
// written anywhere.
TEST(OptionsTest, UnusableOutputFolder) {
  const ToolRunner runner;
  { std::ofstream(runner.work() / "plain") << "a file"; }
  const ToolRun run = runner.RunOn(ThreeDisks(), {"--output=plain/sub"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
#if defined(_WIN32)
  const std::string reason = d88test::SystemErrorText(3);  // path not found
#else
  const std::string reason = "Not a directory";
#endif
  EXPECT_EQ(run.err, ConsoleText("d88unpack: cannot use folder \"plain/sub\": " +
                                 reason + "\n"));
  const Tree expected = {{"plain", "a file"}};
  EXPECT_EQ(run.tree, expected);
}

}  // namespace
