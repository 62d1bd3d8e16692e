#include "report/map_svg.h"

#include <cstring>

#include "host/shift_jis.h"

namespace d88 {
namespace {

// Cylinders run left to right, the ten sectors of a cylinder (head 0 R 1
// to 5, then head 1) top to bottom: a disk of 80 cylinders is a wide strip
// rather than a tall column, so many disks fit on a screen.
constexpr int kCell = 10;
constexpr int kPitch = 12;
constexpr int kLeft = 56;  // row labels
constexpr int kHeadGap = 6;
constexpr int kHeadingHeight = 26;
constexpr int kGridHeight = 2 * kSectorsPerTrack * kPitch + kHeadGap;
constexpr int kAxisHeight = 18;
constexpr int kLegendColumn = 130;
constexpr int kLegendRow = 16;
constexpr int kBlockGap = 24;
constexpr int kKeyHeight = 44;
constexpr int kMinimumWidth = 800;

// Text as XML character data or attribute value: markup characters as
// references, and control characters, which XML 1.0 cannot hold, as '?'.
void PutEscaped(std::FILE* file, const char* text) {
  for (const char* c = text; *c != '\0'; ++c) {
    switch (*c) {
      case '&': std::fputs("&amp;", file); break;
      case '<': std::fputs("&lt;", file); break;
      case '>': std::fputs("&gt;", file); break;
      case '"': std::fputs("&quot;", file); break;
      default:
        std::fputc(static_cast<unsigned char>(*c) < 0x20 ? '?' : *c, file);
    }
  }
}

void PutName(std::FILE* file, const char* raw) {
  char text[Utf8CapacityFor(kDiskNameLength)];
  ShiftJisToUtf8(raw, std::strlen(raw), text, sizeof text);
  PutEscaped(file, text);
}

// A hue per entry, each a golden angle on from the last, so that entries
// next to each other on the disk never look alike.
void PutEntryFill(std::FILE* file, int index) {
  std::fprintf(file, "hsl(%d,70%%,62%%)", index * 137 % 360);
}

const char* StateFill(SectorState state) {
  switch (state) {
    case SectorState::kMissing: return "#ffffff";
    case SectorState::kFree: return "#e4e4e4";
    case SectorState::kSystem: return "#6b6b6b";
    case SectorState::kDirectory: return "#1f1f1f";
    case SectorState::kShared: return "url(#shared)";
    case SectorState::kFile: return "";
  }
  return "";
}

const char* StateText(SectorState state) {
  switch (state) {
    case SectorState::kMissing: return "missing";
    case SectorState::kFree: return "free";
    case SectorState::kSystem: return "system area";
    case SectorState::kDirectory: return "directory";
    case SectorState::kShared: return "shared by";
    case SectorState::kFile: return "file";
  }
  return "";
}

const MapEntry* EntryAt(const SectorMap& map, int index) {
  for (int i = 0; i < map.entry_count; ++i) {
    if (map.entries[i].index == index) return &map.entries[i];
  }
  return nullptr;
}

// "disk 000, track 02 (cylinder 1, head 0) sector 5: file README; status 0xb0"
void PutTitle(std::FILE* file, int disk, const SectorMap& map, int track,
              int sector) {
  const MapCell& cell = CellAt(map, track, sector);
  const SectorState state = StateOf(map, track, sector);
  std::fprintf(file, "<title>disk %03d, track %02x (cylinder %d, head %d) "
               "sector %d: %s", disk, static_cast<unsigned>(track), track / 2,
               track % 2, sector, StateText(state));
  int named = 0;
  for (int i = 0; cell.claim_count > 0 && i < kMaxDirEntries; ++i) {
    const MapEntry* item = ClaimedBy(cell, i) ? EntryAt(map, i) : nullptr;
    if (item == nullptr) continue;
    std::fprintf(file, "%s%02x ", named++ == 0 ? " " : ", ",
                 static_cast<unsigned>(i));
    PutName(file, item->entry.name);
  }
  if (cell.found && cell.status != 0) {
    std::fprintf(file, "; status 0x%02x", static_cast<unsigned>(cell.status));
  }
  if (cell.found && cell.deleted_mark == kDeletedDataMark) {
    std::fputs("; deleted-data mark", file);
  }
  std::fputs("</title>", file);
}

int RowOf(int track, int sector) {
  const int row = (track % 2) * kSectorsPerTrack + sector - kFirstSector;
  return row * kPitch + (track % 2) * kHeadGap;
}

void PutCell(std::FILE* file, int disk, const SectorMap& map, int track,
             int sector, int top) {
  const SectorState state = StateOf(map, track, sector);
  const MapCell& cell = CellAt(map, track, sector);
  std::fprintf(file, "<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"",
               kLeft + track / 2 * kPitch, top + RowOf(track, sector), kCell,
               kCell);
  if (state == SectorState::kFile) {
    PutEntryFill(file, cell.first_claimant);
  } else {
    std::fputs(StateFill(state), file);
  }
  std::fputs(HasTroubleMark(cell) ? "\" class=\"mark\">" : "\">", file);
  PutTitle(file, disk, map, track, sector);
  std::fputs("</rect>\n", file);
}

int LegendRows(const SectorMap& map, int width) {
  const int columns = (width - kLeft) / kLegendColumn;
  return (map.entry_count + columns - 1) / columns;
}

int BlockHeight(const SectorMap& map, int width) {
  return kHeadingHeight + kGridHeight + kAxisHeight +
         LegendRows(map, width) * kLegendRow + kBlockGap;
}

void PutAxes(std::FILE* file, int top, int cylinders) {
  for (int head = 0; head < 2; ++head) {
    for (int r = kFirstSector; r <= kLastSector; ++r) {
      std::fprintf(file, "<text x=\"%d\" y=\"%d\" class=\"axis\">h%d R%d</text>\n",
                   8, top + RowOf(head, r) + kCell - 1, head, r);
    }
  }
  for (int cylinder = 0; cylinder < cylinders; cylinder += 8) {
    std::fprintf(file, "<text x=\"%d\" y=\"%d\" class=\"axis\">%02x</text>\n",
                 kLeft + cylinder * kPitch, top + kGridHeight + 10,
                 static_cast<unsigned>(cylinder));
  }
}

void PutLegend(std::FILE* file, const SectorMap& map, int top, int width) {
  const int columns = (width - kLeft) / kLegendColumn;
  for (int i = 0; i < map.entry_count; ++i) {
    const MapEntry& item = map.entries[i];
    const int x = kLeft + i % columns * kLegendColumn;
    const int y = top + i / columns * kLegendRow;
    std::fprintf(file, "<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"",
                 x, y, kCell, kCell);
    PutEntryFill(file, item.index);
    std::fprintf(file, "\"/><text x=\"%d\" y=\"%d\">%02x ", x + kCell + 4,
                 y + kCell - 1, static_cast<unsigned>(item.index));
    PutName(file, item.entry.name);
    std::fprintf(file, " (%d)</text>\n", static_cast<int>(item.size));
  }
}

void PutDisk(std::FILE* file, const SvgDisk& disk, int top, int width,
             int cylinders) {
  const SectorMap& map = *disk.map;
  std::fprintf(file, "<g>\n<text x=\"8\" y=\"%d\" class=\"heading\">Disk %03d [",
               top + 16, disk.number);
  PutName(file, disk.raw_name);
  std::fputs("]</text>\n", file);
  const int grid_top = top + kHeadingHeight;
  PutAxes(file, grid_top, cylinders);
  for (int track = 0; track < kTrackCount; ++track) {
    if (!map.recorded[track]) continue;
    for (int r = kFirstSector; r <= kLastSector; ++r) {
      PutCell(file, disk.number, map, track, r, grid_top);
    }
  }
  PutLegend(file, map, grid_top + kGridHeight + kAxisHeight, width);
  std::fputs("</g>\n", file);
}

void PutKeyItem(std::FILE* file, int x, const char* fill, const char* label,
                bool marked) {
  std::fprintf(file, "<rect x=\"%d\" y=\"12\" width=\"%d\" height=\"%d\" "
               "fill=\"%s\"%s/><text x=\"%d\" y=\"21\">%s</text>\n",
               x, kCell, kCell, fill, marked ? " class=\"mark\"" : "",
               x + kCell + 4, label);
}

void PutKey(std::FILE* file) {
  PutKeyItem(file, 8, StateFill(SectorState::kSystem), "system area", false);
  PutKeyItem(file, 108, StateFill(SectorState::kDirectory), "directory", false);
  PutKeyItem(file, 198, StateFill(SectorState::kFree), "free", false);
  PutKeyItem(file, 258, StateFill(SectorState::kMissing), "missing", false);
  PutKeyItem(file, 338, StateFill(SectorState::kShared), "shared", false);
  PutKeyItem(file, 408, StateFill(SectorState::kFree),
             "status or deleted-data mark", true);
  std::fputs("<text x=\"8\" y=\"38\">A file's sectors take its entry's "
             "colour; rest the pointer on a sector for its details.</text>\n",
             file);
}

// The widest disk sets the picture's width: cylinders up to the last one
// any disk records.
int CylinderCount(const SvgDisk* disks, int count) {
  int cylinders = 1;
  for (int i = 0; i < count; ++i) {
    for (int track = 0; track < kTrackCount; ++track) {
      if (disks[i].map->recorded[track] && track / 2 + 1 > cylinders) {
        cylinders = track / 2 + 1;
      }
    }
  }
  return cylinders;
}

void PutStart(std::FILE* file, int width, int height) {
  std::fprintf(file,
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" "
               "height=\"%d\" viewBox=\"0 0 %d %d\" font-family=\"monospace\" "
               "font-size=\"11\">\n"
               "<style>.mark{stroke:#e00000;stroke-width:2}"
               ".heading{font-size:14px;font-weight:bold}"
               ".axis{fill:#555555;font-size:9px}rect{stroke:#9a9a9a;"
               "stroke-width:0.5}</style>\n"
               "<defs><pattern id=\"shared\" width=\"4\" height=\"4\" "
               "patternUnits=\"userSpaceOnUse\"><rect width=\"4\" height=\"4\" "
               "fill=\"#ffffff\" stroke=\"none\"/><path d=\"M0,4 L4,0\" "
               "stroke=\"#d00000\" stroke-width=\"1.5\"/></pattern></defs>\n"
               "<rect width=\"100%%\" height=\"100%%\" fill=\"#ffffff\" "
               "stroke=\"none\"/>\n",
               width, height, width, height);
}

}  // namespace

void WriteMapSvg(std::FILE* file, const SvgDisk* disks, int count) {
  const int cylinders = CylinderCount(disks, count);
  int width = kLeft + cylinders * kPitch + 16;
  if (width < kMinimumWidth) width = kMinimumWidth;
  int height = kKeyHeight;
  for (int i = 0; i < count; ++i) height += BlockHeight(*disks[i].map, width);
  PutStart(file, width, height);
  PutKey(file);
  int top = kKeyHeight;
  for (int i = 0; i < count; ++i) {
    PutDisk(file, disks[i], top, width, cylinders);
    top += BlockHeight(*disks[i].map, width);
  }
  std::fputs("</svg>\n", file);
}

}  // namespace d88
