// Taking every accepted change into the image in one rewrite, and saying
// what changed.
#pragma once

namespace d88 {
namespace repack {

// Whether anything accepted would change a byte of the image.
bool AnythingToWrite();

// Writes the new image beside the old one and renames it over it: the
// files' sectors, the changed directories and the headers' bytes. False,
// with a line saying why, when the image is left as it was.
bool WriteImage();

// One line on standard output per change, disk by disk.
void ReportChanges();

}  // namespace repack
}  // namespace d88
