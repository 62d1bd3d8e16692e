// A note for each disk whose header cannot be a D88 disk header: a size
// field smaller than the header or past the end of the file, no track, a
// track inside the header. The rest of the run still reads the disk as the
// header says.
#pragma once

#include "disk/disk_walk.h"

namespace d88 {

class HeaderNotes : public DiskConsumer {
 public:
  void BeginDisk(const DiskVisit& disk) override;
};

}  // namespace d88
