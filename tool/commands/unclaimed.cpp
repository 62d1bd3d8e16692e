#include "commands/unclaimed.h"

#include <cstdio>
#include <cstring>

#include "disk/sector_map.h"
#include "host/host.h"
#include "report/damage_notes.h"
#include "report/file_output.h"
#include "report/reporter.h"

namespace d88 {
namespace {

SectorMap map;  // of the disk being walked

// The system area: all of track 0 and the three sectors of track 1 after
// the directory.
constexpr SectorAddress kSystemSectors[] = {
    {0, 1}, {0, 2}, {0, 3}, {0, 4}, {0, 5}, {1, 3}, {1, 4}, {1, 5}};
constexpr int kSystemSectorCount = 8;

// The longest piece: every sector of the map.
std::uint8_t piece[kTrackCount * kSectorsPerTrack * kSectorSize];

struct PieceName {
  char text[40];
};

PieceName NameOf(const DiskVisit& disk, const char* what) {
  PieceName name = {};
  if (disk.folder != nullptr) {
    std::snprintf(name.text, sizeof name.text, "unclaimed-%s", what);
  } else {
    std::snprintf(name.text, sizeof name.text, "%03d-unclaimed-%s",
                  disk.number, what);
  }
  return name;
}

// A short sector keeps the bytes it holds in front of the zeros, as it
// does at the end of a file's broken run.
void ReadSectorOrZeros(D88Image& image, SectorAddress address,
                       std::uint8_t* dest) {
  std::memset(dest, 0, kSectorSize);
  image.ReadSector(address.track, address.track / 2, address.track % 2,
                   address.sector, kSectorSizeCode, dest, kSectorSize);
}

// Sectors are counted in the order a run steps them: track by track, R 1
// to 5 on each.
SectorAddress AddressAt(int position) {
  return {position / kSectorsPerTrack, position % kSectorsPerTrack + kFirstSector};
}

bool IsFree(int position) {
  const SectorAddress address = AddressAt(position);
  return StateOf(map, address.track, address.sector) == SectorState::kFree;
}

}  // namespace

void UnclaimedPieces::BeginDisk(const DiskVisit& disk) {
  BeginSectorMap(map, disk.image);
}

// The listing numbers entries from 1 in directory order.
void UnclaimedPieces::Entry(const DiskVisit& disk, const EntryFacts& facts) {
  ClaimEntry(map, disk.image, facts.number - 1, facts.entry);
}

void UnclaimedPieces::EndDisk(const DiskVisit& disk) {
  TakeSystemArea(disk);
  TakeFreeRuns(disk);
}

// The system area is always all eight sectors, so that an offset in the
// piece always means the same sector; a sector no image holds is zeros.
void UnclaimedPieces::TakeSystemArea(const DiskVisit& disk) {
  for (int i = 0; write_ && i < kSystemSectorCount; ++i) {
    ReadSectorOrZeros(disk.image, kSystemSectors[i], piece + i * kSectorSize);
  }
  TakePiece(disk, NameOf(disk, "system").text, kSystemSectors[0],
            kSystemSectors[kSystemSectorCount - 1],
            kSystemSectorCount * kSectorSize);
}

// Each longest run of free sectors from track 2 on is one piece. The free
// sectors are whole by definition, so every byte comes from the image.
void UnclaimedPieces::TakeFreeRuns(const DiskVisit& disk) {
  const int end = kTrackCount * kSectorsPerTrack;
  for (int position = 2 * kSectorsPerTrack; position < end; ++position) {
    if (!IsFree(position)) continue;
    int length = 0;
    for (; position + length < end && IsFree(position + length); ++length) {
      if (write_) {
        ReadSectorOrZeros(disk.image, AddressAt(position + length),
                          piece + length * kSectorSize);
      }
    }
    const SectorAddress first = AddressAt(position);
    char where[8];
    std::snprintf(where, sizeof where, "%02x-%02x",
                  static_cast<unsigned>(first.track),
                  static_cast<unsigned>(first.sector));
    TakePiece(disk, NameOf(disk, where).text, first,
              AddressAt(position + length - 1), length * kSectorSize);
    position += length;
  }
}

// Prints the piece's line and, when the run extracts, writes the piece
// from the buffer.
void UnclaimedPieces::TakePiece(const DiskVisit& disk, const char* name,
                                SectorAddress start, SectorAddress end,
                                std::int32_t size) {
  report::PieceLine(name, start, end, size);
  if (!write_) return;
  const OutputOutcome outcome = WriteOutputFile(
      LabelFile(disk.folder, name).text, name, false, piece,
      static_cast<std::size_t>(size), static_cast<std::size_t>(size),
      old_files_);
  if (outcome == OutputOutcome::kFailed) status_ = RunStatus::kFailed;
}

}  // namespace d88
