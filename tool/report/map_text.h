// The sector map as text: a heading per disk, a line per cylinder with the
// five sectors of each head, and a legend of the entries that took part.
//
// Every cell is two characters wide, and an entry's symbol is its index in
// the directory as two hex digits ("00" to "7f"): that stays readable and
// unambiguous for all 128 entries a directory holds, where single
// characters would run out after 62. The other states use characters that
// are no hex digits, so they can never be taken for an entry. A '!' after a
// cell marks a sector whose header records a status or a deleted-data mark.
#pragma once

#include "disk/sector_map.h"

namespace d88 {
namespace report {

// Whether the map's cells are coloured, as ls decides it.
enum class ColorWhen { kAuto, kAlways, kNever };

// auto colours only on a terminal and only when NO_COLOR is unset or empty
// (no_color is its value, nullptr when unset); always and never are what
// the user asked for, whatever the environment says.
bool ColorWanted(ColorWhen when, bool output_is_terminal, const char* no_color);
// The decision for standard output. On a console that cannot take colour
// codes, auto gives plain text.
bool DecideMapColor(ColorWhen when);

// The cell's two characters: the entry's hex index, or the state's pair.
struct MapSymbol {
  char text[3];
};
MapSymbol SymbolOf(const SectorMap& map, int track, int sector);

// Prints the disk's map and its legend on standard output.
void PrintTextMap(const SectorMap& map, int disk, const char* raw_disk_name,
                  bool color);

}  // namespace report
}  // namespace d88
