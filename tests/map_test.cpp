// End-to-end tests of the sector map (--map, --map --json, --map-svg) and
// of --unclaimed, on one disk that has a bit of everything: two entries
// sharing a sector, a run that breaks off, an entry with no file, free
// runs, a system sector missing, a short one, a track not recorded and
// sectors whose headers record trouble.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "d88_builder.h"
#include "json_check.h"
#include "tool_runner.h"

namespace {

using d88test::AsText;
using d88test::Bytes;
using d88test::ConsoleText;
using d88test::FileSystemDisk;
using d88test::ListingLine;
using d88test::ToolRun;
using d88test::ToolRunner;
using Args = std::vector<std::string>;

FileSystemDisk MixedDisk() {
  FileSystemDisk disk("MAPDISK", 6);
  disk.AddEntry("ALPHA", 2, 1, 2, 3)   // 00: shares 2/3 with BETA
      .AddEntry("BETA", 2, 3, 2, 4)    // 01
      .AddEntry("GAMMA", 3, 1, 3, 5)   // 02: breaks off at 3/3
      .AddEntry("N<&>", 4, 2, 4, 1)    // 03: ends before it starts
      .RemoveSector(3, 3)
      .RemoveSector(0, 2)
      .ShortenSector(4, 1, 100)
      .RemoveTrack(5)
      .MarkSector(2, 2, 0xB0)
      .MarkSector(4, 5, 0, 0x10);
  return disk;
}

const char kPlainMap[] =
    "\nDisk 000 [MAPDISK]\n"
    "cyl trk  1   2   3   4   5   trk  1   2   3   4   5\n"
    "00  00: ==  --  ==  ==  ==   01: ##  ##  ==  ==  ==\n"
    "01  02: 00  00! **  01  ..   03: 02  02  --  ..  ..\n"
    "02  04: --  ..  ..  ..  ..!\n"
    "== system  ## directory  .. free  -- missing  ** shared  ! "
    "status/deleted mark\n";

std::string Legend(const std::vector<std::string>& symbols) {
  return symbols[0] + " " + ListingLine("ALPHA", 2, 1, 2, 3, 0xc00) +
         symbols[1] + " " + ListingLine("BETA", 2, 3, 2, 4, 0x800) +
         symbols[2] + " " + ListingLine("GAMMA", 3, 1, 3, 5, 0x1400) +
         symbols[3] + " " + ListingLine("N<&>", 4, 2, 4, 1, 0);
}

std::string Sgr(const std::string& code, const std::string& text) {
  return "\x1b[" + code + "m" + text + "\x1b[0m";
}

// The coloured map, cell by cell: the code of each cell, then its mark.
std::string ColouredMap() {
  const std::string sys = Sgr("30;43", "==");
  const std::string dir = Sgr("30;46", "##");
  const std::string free = Sgr("2", "..");
  const std::string gone = Sgr("31", "--");
  const std::string mark = Sgr("1;31", "!");
  return "\nDisk 000 [MAPDISK]\n"
         "cyl trk  1   2   3   4   5   trk  1   2   3   4   5\n"
         "00  00: " + sys + "  " + gone + "  " + sys + "  " + sys + "  " + sys +
         "   01: " + dir + "  " + dir + "  " + sys + "  " + sys + "  " + sys +
         "\n01  02: " + Sgr("32", "00") + "  " + Sgr("32", "00") + mark + " " +
         Sgr("97;41", "**") + "  " + Sgr("33", "01") + "  " + free +
         "   03: " + Sgr("34", "02") + "  " + Sgr("34", "02") + "  " + gone +
         "  " + free + "  " + free +
         "\n02  04: " + gone + "  " + free + "  " + free + "  " + free + "  " +
         free + mark + "\n" + sys + " system  " + dir + " directory  " + free +
         " free  " + gone + " missing  " + Sgr("97;41", "**") + " shared  " +
         mark + " status/deleted mark\n" +
         Legend({Sgr("32", "00"), Sgr("33", "01"), Sgr("34", "02"),
                 Sgr("35", "03")});
}

// The text map, plain and coloured, with and without folders.
TEST(MapTest, TextMapShowsEverySectorAndTheLegend) {
  const std::string plain =
      kPlainMap + Legend({"00", "01", "02", "03"});
  struct Case {
    Args args;
    std::string out;
  };
  const std::vector<Case> cases = {
      {{"--map"}, plain},
      {{"--map", "--color=never"}, plain},
      {{"--map", "-d", "--color=auto"}, plain},  // a file is no terminal
      {{"--map", "--color"}, ColouredMap()},     // alone: always
      {{"--map", "--color=always"}, ColouredMap()},
      {{"--map", "--disk=0", "--unicode-names"}, plain},
  };
  const Bytes image = MixedDisk().Build();
  for (const Case& c : cases) {
    const ToolRunner runner;
    const ToolRun run = runner.RunOn(image, c.args);
    const std::string label = c.args.back();
    EXPECT_EQ(run.status, 0) << label;
    EXPECT_EQ(run.out, ConsoleText(c.out)) << label;
    EXPECT_EQ(run.err, "") << label;
    EXPECT_TRUE(run.tree.empty()) << label;
  }
}

std::string WithoutSpace(const std::string& text) {
  std::string compact;
  bool in_string = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"' && (i == 0 || text[i - 1] != '\\')) in_string = !in_string;
    if (in_string || !std::isspace(static_cast<unsigned char>(c))) compact += c;
  }
  return compact;
}

// One sector of the expected JSON: state, claimants and header.
struct SectorExpect {
  const char* state;
  const char* entries;  // "0,1"
  const char* status;   // "0", "176" or "null"
  const char* deleted;  // "false", "true" or "null"
};

std::string TrackJson(int track, const std::vector<SectorExpect>& sectors) {
  std::string json = "{\"track\":" + std::to_string(track) +
                     ",\"cylinder\":" + std::to_string(track / 2) +
                     ",\"head\":" + std::to_string(track % 2) + ",\"sectors\":[";
  for (std::size_t r = 0; r < sectors.size(); ++r) {
    const SectorExpect& s = sectors[r];
    json += std::string(r == 0 ? "" : ",") + "{\"sector\":" +
            std::to_string(r + 1) + ",\"state\":\"" + s.state +
            "\",\"entries\":[" + s.entries + "],\"status\":" + s.status +
            ",\"deleted\":" + s.deleted + "}";
  }
  return json + "]}";
}

std::string LegendJson(int index, const char* hex, const char* name, int st,
                       int ss, int et, int es, int size) {
  char symbol[4];
  std::snprintf(symbol, sizeof symbol, "%02x", static_cast<unsigned>(index));
  return "{\"index\":" + std::to_string(index) + ",\"symbol\":\"" + symbol +
         "\",\"name\":{\"hex\":\"" + hex + "\",\"text\":\"" + name +
         "\"},\"start\":{\"track\":" + std::to_string(st) + ",\"sector\":" +
         std::to_string(ss) + "},\"end\":{\"track\":" + std::to_string(et) +
         ",\"sector\":" + std::to_string(es) + "},\"size\":" +
         std::to_string(size) + "}";
}

TEST(MapTest, JsonMapHoldsTheSameFacts) {
  const SectorExpect sys = {"system", "", "0", "false"};
  const SectorExpect dir = {"directory", "", "0", "false"};
  const SectorExpect free = {"free", "", "0", "false"};
  const SectorExpect gone = {"missing", "", "null", "null"};
  const std::string expected =
      "{\"mode\":\"map\",\"disks\":[{\"number\":0,\"folder\":\"000\","
      "\"name\":{\"hex\":\"4d41504449534b\",\"text\":\"MAPDISK\"},"
      "\"media_type\":0,\"media_name\":\"2D\",\"write_protected\":false,"
      "\"tracks\":[" +
      TrackJson(0, {sys, gone, sys, sys, sys}) + "," +
      TrackJson(1, {dir, dir, sys, sys, sys}) + "," +
      TrackJson(2, {{"file", "0", "0", "false"},
                    {"file", "0", "176", "false"},
                    {"shared", "0,1", "0", "false"},
                    {"file", "1", "0", "false"},
                    free}) + "," +
      TrackJson(3, {{"file", "2", "0", "false"},
                    {"file", "2", "0", "false"},
                    gone, free, free}) + "," +
      TrackJson(4, {{"missing", "", "0", "false"}, free, free, free,
                    {"free", "", "0", "true"}}) +
      "],\"legend\":[" +
      LegendJson(0, "414c504841", "ALPHA", 2, 1, 2, 3, 3072) + "," +
      LegendJson(1, "42455441", "BETA", 2, 3, 2, 4, 2048) + "," +
      LegendJson(2, "47414d4d41", "GAMMA", 3, 1, 3, 5, 5120) + "," +
      LegendJson(3, "4e3c263e", "N<&>", 4, 2, 4, 1, 0) + "]}]}";
  const ToolRunner runner;
  const ToolRun run = runner.RunOn(MixedDisk().Build(), {"--map", "--json"});
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(d88check::IsValidJson(run.out.data(), run.out.size()));
  EXPECT_EQ(WithoutSpace(run.out), expected);
  EXPECT_EQ(run.err, "");
}

// Enough of XML 1.0 to tell that a browser will parse the picture: one
// root element, every tag closed in order, attributes quoted, every '&' a
// known reference, no '<' in text or values and no control characters.
class XmlChecker {
 public:
  explicit XmlChecker(const std::string& text) : text_(text) {}

  bool WellFormed() {
    if (text_.compare(0, 5, "<?xml") == 0) {
      pos_ = text_.find("?>");
      if (pos_ == std::string::npos) return false;
      pos_ += 2;
    }
    std::vector<std::string> open;
    int roots = 0;
    while (pos_ < text_.size()) {
      if (text_[pos_] != '<') {
        if (!Text(open.empty())) return false;
        continue;
      }
      if (text_.compare(pos_, 2, "</") == 0) {
        pos_ += 2;
        if (open.empty() || Name() != open.back() || !Expect('>')) return false;
        open.pop_back();
        continue;
      }
      ++pos_;
      if (open.empty() && roots++ > 0) return false;
      const std::string name = Name();
      if (name.empty()) return false;
      const int closed = Attributes();
      if (closed < 0) return false;
      if (closed == 0) open.push_back(name);
    }
    return open.empty() && roots == 1;
  }

 private:
  bool Valid(char c) const {
    return static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n' ||
           c == '\r';
  }
  bool Reference() {
    const std::size_t end = text_.find(';', pos_);
    if (end == std::string::npos) return false;
    const std::string name = text_.substr(pos_ + 1, end - pos_ - 1);
    pos_ = end + 1;
    return name == "amp" || name == "lt" || name == "gt" || name == "quot" ||
           name == "apos" || (name.size() > 1 && name[0] == '#');
  }
  // Character data; outside the root only white space.
  bool Text(bool outside) {
    const char c = text_[pos_];
    if (!Valid(c)) return false;
    if (outside && !std::isspace(static_cast<unsigned char>(c))) return false;
    if (c == '&') return Reference();
    ++pos_;
    return true;
  }
  std::string Name() {
    const std::size_t start = pos_;
    while (pos_ < text_.size() &&
           (std::isalnum(static_cast<unsigned char>(text_[pos_])) ||
            std::strchr("-_:.", text_[pos_]) != nullptr)) {
      ++pos_;
    }
    return text_.substr(start, pos_ - start);
  }
  bool Expect(char c) {
    if (pos_ >= text_.size() || text_[pos_] != c) return false;
    ++pos_;
    return true;
  }
  void SkipSpace() {
    while (pos_ < text_.size() &&
           std::isspace(static_cast<unsigned char>(text_[pos_]))) {
      ++pos_;
    }
  }
  bool Value() {
    if (!Expect('"')) return false;
    while (pos_ < text_.size() && text_[pos_] != '"') {
      const char c = text_[pos_];
      if (c == '<' || !Valid(c)) return false;
      if (c == '&') {
        if (!Reference()) return false;
      } else {
        ++pos_;
      }
    }
    return Expect('"');
  }
  // 1 after "/>", 0 after ">", -1 when malformed.
  int Attributes() {
    std::vector<std::string> seen;
    for (;;) {
      SkipSpace();
      if (text_.compare(pos_, 2, "/>") == 0) {
        pos_ += 2;
        return 1;
      }
      if (Expect('>')) return 0;
      const std::string name = Name();
      for (const std::string& other : seen) {
        if (other == name) return -1;
      }
      seen.push_back(name);
      if (name.empty() || !Expect('=') || !Value()) return -1;
    }
  }

  const std::string& text_;
  std::size_t pos_ = 0;
};

TEST(MapTest, XmlCheckerTellsMalformedText) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"<?xml version=\"1.0\"?>\n<a x=\"1\"><b/>t &amp; u</a>\n", true},
      {"<a><b></a></b>", false},
      {"<a>x & y</a>", false},
      {"<a x=\"<\"/>", false},
      {"<a x=1/>", false},
      {"<a x=\"1\" x=\"2\"/>", false},
      {"<a>\x01</a>", false},
      {"<a/><b/>", false},
      {"<a>", false},
  };
  for (const auto& [text, good] : cases) {
    EXPECT_EQ(XmlChecker(text).WellFormed(), good) << text;
  }
}

int Count(const std::string& text, const std::string& what) {
  int count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos;
       at = text.find(what, at + 1)) {
    ++count;
  }
  return count;
}

// The picture comes with the text map; it has a square with a tooltip for
// each of the 25 sectors of the five recorded tracks, and names in it are
// decoded and escaped.
TEST(MapTest, SvgPictureIsWellFormedWithACellPerSector) {
  FileSystemDisk japanese("\x83\x81\x83\x82", 3);
  japanese.AddEntry("\x83\x51\x81\x5B", 2, 1, 2, 2);
  const Bytes image = d88test::Concat({MixedDisk().Build(), japanese.Build()});
  const ToolRunner runner;
  const ToolRun run = runner.RunOn(image, {"--map-svg=pic.svg", "--disk=0-1"});
  ASSERT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out.substr(0, ConsoleText(kPlainMap).size()),
            ConsoleText(kPlainMap));
  ASSERT_EQ(run.tree.size(), 1U);
  const std::string svg = run.tree.at("pic.svg");
  EXPECT_TRUE(XmlChecker(svg).WellFormed());
  EXPECT_EQ(Count(svg, "\"><title>disk "), 25 + 3 * 5);
  EXPECT_EQ(Count(svg, "<title>disk 000, track 02 (cylinder 1, head 0) "
                       "sector 3: shared by 00 ALPHA, 01 BETA</title>"),
            1);
  EXPECT_EQ(Count(svg, "sector 2: file 00 ALPHA; status 0xb0</title>"), 1);
  EXPECT_EQ(Count(svg, "sector 5: free; deleted-data mark</title>"), 1);
  EXPECT_EQ(Count(svg, "03 N&lt;&amp;&gt; (0)</text>"), 1);
  EXPECT_EQ(Count(svg, "Disk 001 [\xe3\x83\xa1\xe3\x83\xa2]"), 1);
  EXPECT_EQ(Count(svg, "file 00 \xe3\x82\xb2\xe3\x83\xbc</title>"), 2);
}

std::string Piece(const FileSystemDisk& disk,
                  const std::vector<std::pair<int, int>>& sectors) {
  std::string bytes;
  for (const auto& [track, r] : sectors) {
    const std::optional<Bytes> data = disk.Sector(track, r);
    bytes += data ? AsText(*data) : std::string(1024, '\0');
  }
  return bytes;
}

// What no file claims: listed after the disk's entries, and written beside
// the files only by an extraction.
TEST(MapTest, UnclaimedPiecesFollowTheListing) {
  const FileSystemDisk disk = MixedDisk();
  const std::string system =
      Piece(disk, {{0, 1}, {0, 2}, {0, 3}, {0, 4}, {0, 5}, {1, 3}, {1, 4}, {1, 5}});
  const std::string run_0205 = Piece(disk, {{2, 5}});
  const std::string run_0304 = Piece(disk, {{3, 4}, {3, 5}});
  const std::string run_0402 = Piece(disk, {{4, 2}, {4, 3}, {4, 4}, {4, 5}});
  const std::string entries = Legend({"", "", "", ""});
  auto lines = [&](const std::string& prefix) {
    return ListingLine(prefix + "unclaimed-system", 0, 1, 1, 5, 0x2000) +
           ListingLine(prefix + "unclaimed-02-05", 2, 5, 2, 5, 0x400) +
           ListingLine(prefix + "unclaimed-03-04", 3, 4, 3, 5, 0x800) +
           ListingLine(prefix + "unclaimed-04-02", 4, 2, 4, 5, 0x1000);
  };
  std::string listing;
  for (std::size_t at = 0; at < entries.size();) {  // without the symbols
    const std::size_t end = entries.find('\n', at);
    listing += entries.substr(at + 1, end + 1 - at - 1);
    at = end + 1;
  }
  const std::string heading = "\n[MAPDISK] -> 000\n";
  struct Case {
    Args args;
    int status;
    std::string out;
    std::map<std::string, std::string> pieces;  // the tree's unclaimed files
  };
  const std::vector<Case> cases = {
      {{"--unclaimed"}, 0, heading + listing + lines(""),
       {{"000/unclaimed-system", system}, {"000/unclaimed-02-05", run_0205},
        {"000/unclaimed-03-04", run_0304}, {"000/unclaimed-04-02", run_0402}}},
      {{"-d", "--unclaimed"}, 0, listing + lines("000-"),
       {{"000-unclaimed-system", system}, {"000-unclaimed-02-05", run_0205},
        {"000-unclaimed-03-04", run_0304}, {"000-unclaimed-04-02", run_0402}}},
      {{"--unclaimed", "--list"}, 0, heading + listing + lines(""), {}},
      {{"--test", "--unclaimed"}, 2, heading + listing + lines(""), {}},
  };
  for (const Case& c : cases) {
    const ToolRunner runner;
    const ToolRun run = runner.RunOn(disk.Build(), c.args);
    const std::string label = c.args.front() + " " + c.args.back();
    EXPECT_EQ(run.status, c.status) << label;
    EXPECT_EQ(run.out, ConsoleText(c.out)) << label;
    std::map<std::string, std::string> pieces;
    for (const auto& [path, content] : run.tree) {
      if (path.find("unclaimed") != std::string::npos) pieces[path] = content;
    }
    EXPECT_EQ(pieces, c.pieces) << label;
  }
}

std::string Usage() {
  const std::string program = d88test::ToolPath();
  return "Usage: " + program + " [d88file] [-d]\nTry '" + program +
         " --help' for more information.\n";
}

TEST(MapTest, OptionsThatCannotGoTogetherAreRefused) {
  const std::string unclaimed =
      "option --unclaimed needs an extraction, --list or --test, without --json";
  const std::vector<std::pair<Args, std::string>> cases = {
      {{"--unclaimed", "--info", "x.d88"}, unclaimed},
      {{"--unclaimed", "--map", "x.d88"}, unclaimed},
      {{"--repack", "--unclaimed", "x.d88"}, unclaimed},
      {{"--unclaimed", "--list", "--json", "x.d88"}, unclaimed},
      {{"--color=sometimes", "--map", "x.d88"},
       "invalid --color 'sometimes' (auto, always or never)"},
      {{"--map", "--test", "x.d88"},
       "options --map and --test cannot be used together"},
      {{"--map-svg=p.svg", "--list", "x.d88"},
       "options --map-svg and --list cannot be used together"},
  };
  for (const auto& [args, problem] : cases) {
    const ToolRunner runner;
    const ToolRun run = runner.Run(args);
    EXPECT_EQ(run.status, 1) << problem;
    EXPECT_EQ(run.err, ConsoleText("d88unpack: " + problem + "\n" + Usage()));
    EXPECT_TRUE(run.tree.empty()) << problem;
  }
}

}  // namespace
