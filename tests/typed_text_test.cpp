// End-to-end tests of what the user types beyond ASCII: paths (the image,
// --output, --map-svg) and text values (--only, --remove, --rename,
// --set-disk-name). Every argument reaches the tool in Unicode, as a
// console hands it over whatever the system's code page (on Windows the
// wide command line; elsewhere the bytes typed). A path names the very file
// typed, never one with a near spelling; a text value is taken exactly or
// refused with the image untouched. Also: the help and the map fit 79
// columns.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "d88_builder.h"
#include "scratch.h"
#include "tool_runner.h"

namespace {

namespace fs = std::filesystem;
using d88test::AsText;
using d88test::Bytes;
using d88test::ConsoleText;
using d88test::FileSystemDisk;
using d88test::ListingLine;
using d88test::ToolRun;
using d88test::ToolRunner;
using d88test::TypedText;
using Args = std::vector<std::string>;

// "memo" and "game" in katakana, as Shift_JIS and as typed (UTF-8).
const std::string kMemoRaw = "\x83\x81\x83\x82";
const std::string kMemoTyped = u8"メモ";
const std::string kRunOfMemo = " START:02 01 END:02 01\n";

// A disk named disk_name whose first entry, "memo" unless named otherwise,
// is taken out when first_entry is "" (the later entries move up a slot):
// the image as made, or as an edit must leave it.
Bytes MemoDisk(const std::string& disk_name,
               const std::string& first_entry = kMemoRaw) {
  FileSystemDisk disk(disk_name, 4);
  if (!first_entry.empty()) disk.AddEntry(first_entry, 2, 1, 2, 1);
  return disk.AddEntry("GAME", 2, 2, 2, 2).Build();
}

std::string ReadImage(const ToolRunner& runner, const std::string& name) {
  return d88test::ReadFileText(runner.work() / fs::u8path(name));
}

void PutImage(const ToolRunner& runner, const std::string& name,
              const Bytes& image) {
  d88test::WriteFileBytes(runner.work() / fs::u8path(name), image);
}

// --- Paths: the file typed, whatever the code page can spell. ---

// "dāta.d88" beside "data.d88": the ANSI spelling of the first is the
// second, so reading or editing one through it would touch the other.
TEST(TypedPathTest, NearSpellingsAreOtherFiles) {
  const std::string macron = u8"dāta.d88";
  struct Case {
    Args args;
    std::string edited;  // the image that must change, or "" for none
    std::string out;
    std::string made;  // a folder the run must make, or ""
  };
  const std::vector<Case> cases = {
      {{"--list", macron}, "",
       "\n[MACRON] -> 000\n" + ListingLine(kMemoRaw, 2, 1, 2, 1, 1024) +
           ListingLine("GAME", 2, 2, 2, 2, 1024),
       ""},
      {{"--list", "data.d88", "--only=GAME"}, "",
       "\n[PLAIN] -> 000\n" + ListingLine("GAME", 2, 2, 2, 2, 1024), ""},
      {{"--repack", "--set-disk-name=EDITED", macron}, macron,
       "named disk 000 [EDITED]\n", ""},
      {{"--repack", "--set-disk-name=EDITED", "data.d88"}, "data.d88",
       "named disk 000 [EDITED]\n", ""},
      {{macron, u8"--output=ōut", "--only=GAME"}, "",
       "\n[MACRON] -> 000\n" + ListingLine("GAME", 2, 2, 2, 2, 1024),
       u8"ōut/000/GAME"},
  };
  for (const Case& c : cases) {
    const ToolRunner runner;
    const std::map<std::string, Bytes> images = {{macron, MemoDisk("MACRON")},
                                                 {"data.d88", MemoDisk("PLAIN")}};
    for (const auto& [name, image] : images) PutImage(runner, name, image);
    const ToolRun run = runner.RunUnicode(c.args);
    const std::string what = ::testing::PrintToString(c.args);
    EXPECT_EQ(run.status, 0) << what;
    EXPECT_EQ(run.out, ConsoleText(c.out)) << what;
    EXPECT_EQ(run.err, "") << what;
    for (const auto& [name, image] : images) {
      const bool same = ReadImage(runner, name) == AsText(image);
      EXPECT_EQ(same, name != c.edited) << what << " " << name;
    }
    const auto tree = d88test::ReadTreeUtf8(runner.work());
    if (!c.made.empty()) {
      EXPECT_EQ(tree.count(c.made), 1u) << what;
    }
    EXPECT_EQ(tree.count("out"), 0u) << what;
  }
}

// Japanese and Greek paths, which no Western or Japanese code page holds
// whole, as the image, the output folder (with a parent made on the way)
// and the map's picture.
TEST(TypedPathTest, PathsBeyondAnyCodePage) {
  for (const std::string stem : {u8"ゲーム画像", u8"Ελλάδα"}) {
    const ToolRunner runner;
    const std::string image = stem + ".d88";
    PutImage(runner, image, MemoDisk("D"));
    const ToolRun extracted =
        runner.RunUnicode({image, "--output=o1/" + stem, "--only=GAME"});
    const ToolRun mapped =
        runner.RunUnicode({"--map-svg=" + stem + ".svg", image});
    EXPECT_EQ(extracted.status, 0) << stem << extracted.err;
    EXPECT_EQ(extracted.err, "") << stem;
    EXPECT_EQ(mapped.status, 0) << stem << mapped.err;
    const auto tree = d88test::ReadTreeUtf8(runner.work());
    const auto file = tree.find("o1/" + stem + "/000/GAME");
    ASSERT_NE(file, tree.end()) << stem;
    EXPECT_EQ(file->second.size(), 1024u) << stem;
    const auto svg = tree.find(stem + ".svg");
    ASSERT_NE(svg, tree.end()) << stem;
    EXPECT_NE(svg->second.find("</svg>"), std::string::npos) << stem;
  }
}

// --- Text values: taken exactly, or refused with nothing changed. ---

// A value typed in Japanese: with --unicode-names encoded to Shift_JIS on
// every host; without it, the host's raw bytes for it (Shift_JIS under the
// Japanese code page, refused under any other, the UTF-8 typed on POSIX).
TEST(TypedTextTest, JapaneseValuesAreTakenExactlyOrRefused) {
  const std::string note_raw = "\x83\x6D\x81\x5B\x83\x67";  // "no-to"
  const std::string disk_raw = "\x83\x66\x83\x42\x83\x58\x83\x4E";  // "disuku"
  struct Case {
    std::string option;  // the edit, as typed
    Bytes edited;        // the image it leaves when taken as Shift_JIS
    std::string out_raw;      // its line, names raw
    std::string out_decoded;  // its line with --unicode-names
    // On POSIX without --unicode-names: the disk name the typed bytes make,
    // or "" where they match no raw name and nothing changes.
    std::string posix_disk_name;
  };
  const std::vector<Case> cases = {
      {"--remove=" + kMemoTyped.substr(0, 3) + "*", MemoDisk("D", ""),
       "removed 000/" + kMemoRaw + " START:02 01 END:02 01\n",
       "removed 000/" + kMemoTyped + " START:02 01 END:02 01\n", ""},
      {"--rename=" + kMemoTyped + u8"=ノート", MemoDisk("D", note_raw),
       "renamed 000/" + kMemoRaw + " to 000/" + note_raw + kRunOfMemo,
       "renamed 000/" + kMemoTyped + u8" to 000/ノート" + kRunOfMemo, ""},
      {u8"--set-disk-name=ディスク", MemoDisk(disk_raw, kMemoRaw),
       "named disk 000 [" + disk_raw + "]\n", u8"named disk 000 [ディスク]\n",
       u8"ディスク"},
  };
  const TypedText host = d88test::HostTypedJapanese();
  for (const Case& c : cases) {
    for (const bool unicode : {true, false}) {
      const ToolRunner runner;
      const std::string image = runner.WriteImage(MemoDisk("D"));
      Args args = {"--repack", c.option, image};
      if (unicode) args.push_back("--unicode-names");
      const ToolRun run = runner.RunUnicode(args);
      const std::string what = ::testing::PrintToString(args);
      const std::string after = d88test::ReadFileText(image);
      if (unicode || host == TypedText::kShiftJis) {
        EXPECT_EQ(run.status, 0) << what << run.err;
        EXPECT_EQ(run.out, ConsoleText(unicode ? c.out_decoded : c.out_raw))
            << what;
        EXPECT_EQ(d88test::ImageDifference(after, AsText(c.edited)), "")
            << what;
      } else if (host == TypedText::kRefused) {  // as the option says
        const std::string value = c.option.substr(2);
        EXPECT_EQ(run.status, 1) << what;
        EXPECT_EQ(run.out, "") << what;
        EXPECT_EQ(run.err,
                  ConsoleText("d88unpack: cannot take --" + value +
                              ": the system's code page has no exact form of "
                              "it (--unicode-names takes it as Unicode)\n"))
            << what;
        EXPECT_EQ(after, AsText(MemoDisk("D"))) << what;
      } else if (c.posix_disk_name.empty()) {
        EXPECT_EQ(run.status, 1) << what;
        EXPECT_NE(run.err, "") << what;
        EXPECT_EQ(after, AsText(MemoDisk("D"))) << what;
      } else {
        EXPECT_EQ(run.status, 0) << what << run.err;
        EXPECT_EQ(after, AsText(MemoDisk(c.posix_disk_name, kMemoRaw)))
            << what;
      }
    }
  }
}

// A character that neither the Japanese nor the Western code page holds,
// nor Shift_JIS: refused, with a line naming the option, and nothing done.
// On POSIX, without --unicode-names, the bytes typed are the value.
TEST(TypedTextTest, CharacterWithNoExactFormIsRefused) {
  const std::string name = u8"dāta";
  const auto refusal = [](const std::string& value) {
    return "d88unpack: cannot take --" + value +
           ": the system's code page has no exact form of it "
           "(--unicode-names takes it as Unicode)\n";
  };
  struct Case {
    Args args;  // after the image path
    int status;
    std::string err;         // on every host, or on Windows
    std::string posix_err;   // on POSIX, where it differs
    std::string posix_name;  // the disk name a POSIX run gives, if any
  };
  const bool posix = d88test::HostTypedJapanese() == TypedText::kUtf8Bytes;
  const std::vector<Case> cases = {
      {{"--repack", "--unicode-names", "--set-disk-name=" + name}, 1,
       "d88unpack: cannot name the disks \"" + name +
           "\": it has no Shift_JIS form\n",
       "d88unpack: cannot name the disks \"" + name +
           "\": it has no Shift_JIS form\n",
       ""},
      {{"--repack", "--set-disk-name=" + name}, posix ? 0 : 1,
       refusal("set-disk-name=" + name), "", name},
      {{"--list", "--only=" + name + "*", "--only=GAME"}, 1,
       refusal("only=" + name + "*"),
       "d88unpack: no entry matches \"" + name + "*\"\n", ""},
  };
  for (const Case& c : cases) {
    const ToolRunner runner;
    const Bytes original = MemoDisk("D");
    const std::string image = runner.WriteImage(original);
    Args args = c.args;
    args.insert(args.begin(), image);
    const ToolRun run = runner.RunUnicode(args);
    const std::string what = ::testing::PrintToString(args);
    EXPECT_EQ(run.status, c.status) << what;
    EXPECT_EQ(run.err, ConsoleText(posix ? c.posix_err : c.err)) << what;
    if (!posix || c.posix_name.empty()) {
      EXPECT_EQ(d88test::ReadFileText(image), AsText(original)) << what;
    } else {
      EXPECT_EQ(d88test::ReadFileText(image),
                AsText(MemoDisk(c.posix_name, kMemoRaw)))
          << what;
    }
  }
}

// --- The console. ---

// Every line of --help and of a map (its key and legend included) fits a
// console 80 columns wide without wrapping.
TEST(ConsoleWidthTest, HelpAndMapFit79Columns) {
  const ToolRunner runner;
  const std::string image = runner.WriteImage(MemoDisk("WIDTH"));
  for (const Args& args : std::vector<Args>{{"--help"}, {"--map", image}}) {
    const ToolRun run = runner.Run(args);
    ASSERT_EQ(run.status, 0) << args[0];
    std::size_t start = 0;
    int lines = 0;
    for (std::size_t end = run.out.find('\n'); end != std::string::npos;
         start = end + 1, end = run.out.find('\n', start), ++lines) {
      std::string line = run.out.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      EXPECT_LE(line.size(), 79u) << args[0] << ": " << line;
    }
    EXPECT_GT(lines, 5) << args[0];
  }
}

}  // namespace
