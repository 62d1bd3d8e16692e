// Finding sectors for data that no longer fits where it was, or that was
// never on the disk: files moved by --relocate and files added by --add.
#pragma once

#include <cstdint>

#include "commands/repack/run.h"

namespace d88 {
namespace repack {

// Notes the free sectors of the disk, selected in image, as its entries now
// stand: after the entries taken out and before any file moves.
void StartPlacement(D88Image& image, const DiskState& disk);

// Moves the claim's file to a run that holds host_size bytes: its own run
// extended by free sectors right after it, so that its start stays where
// programs may expect it, or else the first free run that fits. False when
// refused, with a line saying why.
bool Relocate(int claim, std::int32_t host_size);

// Makes an entry of every host file in the disk's folder that no entry of
// the image writes there (and, with --only, whose name a pattern matches).
// The disk is selected in image again when it returns. False when any file
// was refused.
bool AddNewFiles(D88Image& image, DiskState& disk);

}  // namespace repack
}  // namespace d88
