// Making a new image from folders: the road of an extraction backwards.
//
// Each disk folder ("000", "001", ... in number order, or with -d the work
// folder alone) becomes one disk, formatted afresh: its regular files go on
// in name order, each in the first free run that holds it, as a repack adds
// a file, and its "unclaimed-system" piece, when it is the 8192 bytes an
// extraction with --unclaimed writes, becomes the system area again. So an
// extraction with --unclaimed followed by a creation gives back an image
// whose extraction writes the same files.
//
// Everything is checked before anything stays: a file that cannot go on a
// disk is named with the reason, and then no image is made at all. The
// image is written under a temporary name beside it, flushed and only then
// given its name, which must not be taken: an image is never replaced.
#pragma once

#include <cstdint>

namespace d88 {

struct CreateSettings {
  const char* image_path;
  const char* output_folder;  // nullptr: the current folder
  bool folders;               // false with -d: one disk from the folder
  bool unicode_names;
  int track_count;
  std::uint8_t media;
  const char* disk_name;  // nullptr: an empty name
  bool write_protected;
  bool dry_run;  // print what would be made; write nothing
};

// Makes the image; prints its listing as an extraction of it would, then
// "created PATH (N disks, M bytes)". Returns the exit status: 0, or 1 when
// anything was refused or the image could not be written.
int CreateImage(const CreateSettings& settings);

}  // namespace d88
