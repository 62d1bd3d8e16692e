// Putting edited files back into the image: the inverse of an extraction.
//
// Every file an extraction of the selected disks would write is looked for
// where the extraction puts it. A host file whose bytes differ from what the
// extraction writes goes back into its entry's sectors; the image is then
// rewritten as a whole, beside the old one, and renamed over it, so that
// it is either wholly the new image or untouched.
#pragma once

#include "d88_image.h"
#include "options.h"

namespace d88 {

// Repacks the open image's selected disks from the host files under the
// output folder (or the current folder), all paths taken from the folder
// the run started in. Prints one line per file written back. Closes the
// image before it is replaced. Returns false when a host file could not be
// read or was refused, or when the image could not be rewritten.
bool RepackImage(D88Image& image, const Options& options);

}  // namespace d88
