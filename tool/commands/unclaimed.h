// --unclaimed: what no file claims, taken out beside the files.
//
// Per disk, after its listing: "unclaimed-system", the system area's eight
// sectors in order (track 0 sectors 1 to 5, track 1 sectors 3 to 5), and
// "unclaimed-TT-SS" for each run of free sectors from track 2 on, named by
// its first sector. With -d the names start with the disk's number
// ("000-unclaimed-system"). A directory entry's host name has at most seven
// characters, so these names never meet a file's. One listing line per
// piece; the pieces are written only when the run extracts.
#pragma once

#include "disk/disk_walk.h"
#include "report/file_output.h"

namespace d88 {

class UnclaimedPieces : public DiskConsumer {
 public:
  UnclaimedPieces(bool write, OldFiles old_files)
      : write_(write), old_files_(old_files) {}
  bool WritesHostFiles() const override { return write_; }
  void BeginDisk(const DiskVisit& disk) override;
  void Entry(const DiskVisit& disk, const EntryFacts& facts) override;
  void EndDisk(const DiskVisit& disk) override;
  RunStatus Status() const override { return status_; }

 private:
  void TakeSystemArea(const DiskVisit& disk);
  void TakeFreeRuns(const DiskVisit& disk);
  void TakePiece(const DiskVisit& disk, const char* name,
                 SectorAddress start, SectorAddress end, std::int32_t size);

  bool write_;
  OldFiles old_files_;
  RunStatus status_ = RunStatus::kClean;
};

}  // namespace d88
