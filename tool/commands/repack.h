// Putting edited files back into the image: the inverse of an extraction.
//
// Every file an extraction of the selected disks would write is looked for
// where the extraction puts it. A host file whose bytes differ from what the
// extraction writes goes back into its entry's sectors; the image is then
// rewritten as a whole, beside the old one, and renamed over it, so that
// it is either wholly the new image or untouched.
//
// Asked to, the repack also changes what the disks hold: it moves a file
// that outgrew its run, adds new host files as entries, takes entries out,
// renames them and rewrites the disks' names and write protection. All of it
// is worked out in memory first and reaches the image in the same one
// rewrite. The pieces are in commands/repack/.
#pragma once

#include "d88_image.h"
#include "disk/disk_walk.h"
#include "disk/edit_request.h"

namespace d88 {

// Where the host files lie and what the image is, all paths taken from the
// folder the run started in.
struct RepackSettings {
  const char* image_path;
  const char* output_folder;  // nullptr: the current folder
  bool folders;               // each disk's files in its numbered folder
  bool unicode_names;
  EditRequest edits;
  // --only's patterns, which --add's new host files must match too. The
  // run marks a pattern a new file matched, so that it counts as matched.
  EntryFilter* only;
};

// Collects the entries of the walked disks; after the last disk judges
// their host files, makes the changes asked for and rewrites the image.
// Prints one line per change. Closes the image before it is replaced.
// Fails when a host file could not be read or was refused, when a change
// was refused, or when the image could not be rewritten.
class Repacker : public DiskConsumer {
 public:
  Repacker(D88Image& image, const RepackSettings& settings)
      : image_(image), settings_(settings) {}

  void BeginRun() override;
  void BeginDisk(const DiskVisit& disk) override;
  void Entry(const DiskVisit& disk, const EntryFacts& facts) override;
  void EndRun() override;
  RunStatus Status() const override { return status_; }

 private:
  D88Image& image_;
  RepackSettings settings_;
  RunStatus status_ = RunStatus::kClean;
};

}  // namespace d88
