// What the run tells the user about damage it finds: files whose run breaks
// off, sectors whose headers record trouble, disk headers that cannot be
// what they claim, and host files that replace one written earlier.
//
// Disks kept as images are often incomplete: sectors the imaging hardware
// could not read are missing, cut short or stored with an error status. The
// run still writes what it can; these notes, on standard error, say where
// the result is not what was on the disk.
#pragma once

#include "d88_image.h"
#include "disk/file_system.h"
#include "host/written_files.h"

namespace d88 {

// Where a file's notes place it: its host file name, after its disk's
// folder when the run uses folders.
struct FileLabel {
  char text[96];
};
// folder is nullptr when every disk's files go into one folder.
FileLabel LabelFile(const char* folder, const char* host_name);

// What a read came to, as --test and JSON name it.
enum class FileState {
  kComplete,   // every byte read from clean sectors
  kPartial,    // the run broke off after its first sector
  kMissing,    // the first sector is missing or cut short: nothing written
  kBadStatus,  // read whole, but a sector header records trouble
  kNotAFile,   // the entry's end lies before its start
};
FileState StateOf(const FileRead& read);
const char* StateName(FileState state);

// One line per damaged sector listed in read (and one for the rest), and a
// line when the run broke off before the file's end.
void NoteFileDamage(const FileLabel& label, const FileRead& read);
// The line --test adds for a file whose first sector cannot be read.
void NoteMissingStart(const FileLabel& label, const FileRead& read);

// A line when the file holds no disk at all; true then.
bool NoteNoDisk(D88Image& image, const char* path);
// A line when the selected disk's header cannot be a D88 disk header; true
// then.
bool NoteDiskHeader(D88Image& image, int disk);
// Whether the selected disk's header cannot be a D88 disk header, without
// a word.
bool DiskHeaderIsWrong(D88Image& image);
// The line --test adds for a disk whose directory the image does not hold
// whole: bytes_read of its bytes are there.
void NoteDirectoryNotWhole(int disk, std::int32_t bytes_read);

// The line for a host file that a later entry's file replaced: folder is
// the disk's folder, or nullptr when the run uses no folders.
void NoteReplaced(const char* folder, const char* host_name,
                  const FileWriter& later, const FileWriter& earlier);

}  // namespace d88
