#include "report/map_text.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/host.h"
#include "report/reporter.h"

namespace d88 {
namespace report {
namespace {

constexpr char kTroubleMark = '!';

// Colours as SGR codes: a background for the areas no entry owns, so they
// stand out as blocks, and a foreground per entry, taken in turn, so that
// neighbouring files differ.
constexpr char kReset[] = "\x1b[0m";
constexpr const char* kEntryColors[] = {"32", "33", "34", "35", "36"};
constexpr char kTroubleColor[] = "1;31";

const char* StateColor(SectorState state) {
  switch (state) {
    case SectorState::kMissing: return "31";
    case SectorState::kFree: return "2";
    case SectorState::kSystem: return "30;43";
    case SectorState::kDirectory: return "30;46";
    case SectorState::kShared: return "97;41";
    case SectorState::kFile: return "";
  }
  return "";
}

const char* CellColor(const SectorMap& map, int track, int sector) {
  const SectorState state = StateOf(map, track, sector);
  if (state != SectorState::kFile) return StateColor(state);
  const int index = CellAt(map, track, sector).first_claimant;
  return kEntryColors[index % 5];
}

// Appends text to a line buffer, cutting it rather than overrunning.
struct LineBuffer {
  char text[512];
  std::size_t used = 0;
  void Add(const char* more) {
    const int written =
        std::snprintf(text + used, sizeof text - used, "%s", more);
    if (written > 0) used += static_cast<std::size_t>(written);
    if (used >= sizeof text) used = sizeof text - 1;
  }
  void AddColored(const char* color, const char* more, bool color_on) {
    if (!color_on) {
      Add(more);
      return;
    }
    char coded[64];
    std::snprintf(coded, sizeof coded, "\x1b[%sm%s%s", color, more, kReset);
    Add(coded);
  }
};

void AddCell(LineBuffer& line, const SectorMap& map, int track, int sector,
             bool color) {
  line.Add(" ");
  line.AddColored(CellColor(map, track, sector),
                  SymbolOf(map, track, sector).text, color);
  if (HasTroubleMark(CellAt(map, track, sector))) {
    const char mark[2] = {kTroubleMark, '\0'};
    line.AddColored(kTroubleColor, mark, color);
  } else {
    line.Add(" ");
  }
}

// "00: 00  01  01! 01  02 ", or blanks of that width for an absent track.
void AddHead(LineBuffer& line, const SectorMap& map, int track, bool color) {
  if (!map.recorded[track]) {
    char blank[32];
    std::snprintf(blank, sizeof blank, "%23s", "");
    line.Add(blank);
    return;
  }
  char label[8];
  std::snprintf(label, sizeof label, "%02x:", static_cast<unsigned>(track));
  line.Add(label);
  for (int r = kFirstSector; r <= kLastSector; ++r) {
    AddCell(line, map, track, r, color);
  }
}

void PrintCylinder(const SectorMap& map, int cylinder, bool color) {
  LineBuffer line;
  char label[8];
  std::snprintf(label, sizeof label, "%02x  ", static_cast<unsigned>(cylinder));
  line.Add(label);
  AddHead(line, map, cylinder * 2, color);
  line.Add("  ");
  AddHead(line, map, cylinder * 2 + 1, color);
  while (line.used > 0 && line.text[line.used - 1] == ' ') --line.used;
  line.text[line.used] = '\0';
  line.Add("\n");
  RawText(line.text);
}

void PrintKey(bool color) {
  LineBuffer line;
  line.AddColored(StateColor(SectorState::kSystem), "==", color);
  line.Add(" system  ");
  line.AddColored(StateColor(SectorState::kDirectory), "##", color);
  line.Add(" directory  ");
  line.AddColored(StateColor(SectorState::kFree), "..", color);
  line.Add(" free  ");
  line.AddColored(StateColor(SectorState::kMissing), "--", color);
  line.Add(" missing  ");
  line.AddColored(StateColor(SectorState::kShared), "**", color);
  line.Add(" shared  ");
  line.AddColored(kTroubleColor, "!", color);
  line.Add(" status/deleted mark\n");
  RawText(line.text);
}

void PrintLegendEntry(const MapEntry& item, bool color) {
  char symbol[4];
  std::snprintf(symbol, sizeof symbol, "%02x", static_cast<unsigned>(item.index));
  LineBuffer line;
  line.AddColored(kEntryColors[item.index % 5], symbol, color);
  line.Add(" ");
  RawText(line.text);
  ListingLine(item.entry, item.size);
}

}  // namespace

bool ColorWanted(ColorWhen when, bool output_is_terminal,
                 const char* no_color) {
  if (when != ColorWhen::kAuto) return when == ColorWhen::kAlways;
  return output_is_terminal && (no_color == nullptr || no_color[0] == '\0');
}

bool DecideMapColor(ColorWhen when) {
  if (!ColorWanted(when, host::IsTerminal(stdout), std::getenv("NO_COLOR"))) {
    return false;
  }
  return host::EnableColorCodes(stdout) || when == ColorWhen::kAlways;
}

MapSymbol SymbolOf(const SectorMap& map, int track, int sector) {
  MapSymbol symbol = {};
  const char* pair = "??";
  switch (StateOf(map, track, sector)) {
    case SectorState::kMissing: pair = "--"; break;
    case SectorState::kFree: pair = ".."; break;
    case SectorState::kSystem: pair = "=="; break;
    case SectorState::kDirectory: pair = "##"; break;
    case SectorState::kShared: pair = "**"; break;
    case SectorState::kFile:
      std::snprintf(symbol.text, sizeof symbol.text, "%02x",
                    static_cast<unsigned>(CellAt(map, track, sector).first_claimant));
      return symbol;
  }
  std::memcpy(symbol.text, pair, 2);
  return symbol;
}

void PrintTextMap(const SectorMap& map, int disk, const char* raw_disk_name,
                  bool color) {
  Text("\nDisk %03d [%s]\n", disk, ShowNameOnOutput(raw_disk_name).text);
  RawText("cyl trk  1   2   3   4   5   trk  1   2   3   4   5\n");
  for (int cylinder = 0; cylinder < kTrackCount / 2; ++cylinder) {
    if (!map.recorded[cylinder * 2] && !map.recorded[cylinder * 2 + 1]) {
      continue;
    }
    PrintCylinder(map, cylinder, color);
  }
  PrintKey(color);
  for (int i = 0; i < map.entry_count; ++i) {
    PrintLegendEntry(map.entries[i], color);
  }
}

}  // namespace report
}  // namespace d88
