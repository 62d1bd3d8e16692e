// The round trip of --create, for the fuzz target: an image whose files
// all come out whole is extracted with --unclaimed, made anew from what the
// extraction wrote, and the new image's extraction must write the same
// files and the same system areas.
#pragma once

#include <filesystem>

namespace d88fuzz {

// Runs the round trip on the image at image_path, in folders made under
// scratch and removed again, with or without -d. Does nothing for an image
// whose files do not all come out whole under their own names. Aborts with
// a message when the round trip gives other files. Returns to the folder
// it was called in.
void CheckCreateRoundTrip(const std::filesystem::path& image_path,
                          const std::filesystem::path& scratch,
                          bool no_folders);

}  // namespace d88fuzz
