// The images README shows and the tests use as users would: the sample
// (three disks with text files, the third with Shift_JIS names) and the
// rescue disk (files that share sectors, runs that break off, damage).
#pragma once

#include "d88_builder.h"

namespace d88test {

// With damaged, as a worn disk could have given it: a sector of POEM with a
// data CRC error, the last sector of GAME missing, and the sector of SCORES
// written with a deleted-data mark.
Bytes SampleImage(bool damaged = false);
// One larger disk to look at with --map.
Bytes RescueImage();

}  // namespace d88test
