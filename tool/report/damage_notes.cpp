#include "report/damage_notes.h"

#include <cstdio>
#include <cstring>

#include "report/reporter.h"

namespace d88 {

FileLabel LabelFile(const char* folder, const char* host_name) {
  FileLabel label = {};
  if (folder != nullptr) {
    std::snprintf(label.text, sizeof label.text, "%s/%s", folder, host_name);
  } else {
    std::snprintf(label.text, sizeof label.text, "%s", host_name);
  }
  return label;
}

FileState StateOf(const FileRead& read) {
  if (read.size <= 0) return FileState::kNotAFile;
  if (read.delivered == 0) return FileState::kMissing;
  if (read.delivered < read.size) return FileState::kPartial;
  if (read.damaged_count > 0) return FileState::kBadStatus;
  return FileState::kComplete;
}

const char* StateName(FileState state) {
  switch (state) {
    case FileState::kComplete: return "complete";
    case FileState::kPartial: return "partial";
    case FileState::kMissing: return "missing";
    case FileState::kBadStatus: return "bad_status";
    case FileState::kNotAFile: return "not_a_file";
  }
  return "";
}

namespace {

void NoteDamagedSector(const FileLabel& label, const DamagedSector& sector) {
  const bool deleted = sector.deleted_mark == kDeletedDataMark;
  char what[96];
  if (sector.status != 0 && deleted) {
    std::snprintf(what, sizeof what,
                  "status 0x%02x and a deleted-data mark (0x%02x)",
                  static_cast<unsigned>(sector.status),
                  static_cast<unsigned>(sector.deleted_mark));
  } else if (sector.status != 0) {
    std::snprintf(what, sizeof what, "status 0x%02x",
                  static_cast<unsigned>(sector.status));
  } else {
    std::snprintf(what, sizeof what, "a deleted-data mark (0x%02x)",
                  static_cast<unsigned>(sector.deleted_mark));
  }
  report::Note("%s: track %02x sector %02x has %s; its data is used as stored",
               label.text, static_cast<unsigned>(sector.address.track),
               static_cast<unsigned>(sector.address.sector), what);
}

}  // namespace

void NoteFileDamage(const FileLabel& label, const FileRead& read) {
  const int listed = read.damaged_count < FileRead::kMaxDamagedListed
                         ? read.damaged_count
                         : FileRead::kMaxDamagedListed;
  for (int i = 0; i < listed; ++i) NoteDamagedSector(label, read.damaged[i]);
  if (read.damaged_count > listed) {
    const int more = read.damaged_count - listed;
    report::Note("%s: %d more sector%s a status or a deleted-data mark",
                 label.text, more, more == 1 ? " has" : "s have");
  }
  if (read.size <= 0 || read.delivered == 0 || read.delivered == read.size) {
    return;
  }
  report::Note("%s: run breaks off at track %02x sector %02x; "
               "last %ld bytes are zeros",
               label.text, static_cast<unsigned>(read.break_at.track),
               static_cast<unsigned>(read.break_at.sector),
               static_cast<long>(read.size - read.data_end));
}

void NoteMissingStart(const FileLabel& label, const FileRead& read) {
  report::Note("%s: first sector at track %02x sector %02x is %s; "
               "nothing can be read",
               label.text, static_cast<unsigned>(read.break_at.track),
               static_cast<unsigned>(read.break_at.sector),
               read.data_end > 0 ? "cut short" : "missing");
}

bool NoteNoDisk(D88Image& image, const char* path) {
  if (image.DiskCount() > 0) return false;
  report::Note("\"%s\" holds no D88 disk", path);
  return true;
}

void NoteDirectoryNotWhole(int disk, std::int32_t bytes_read) {
  report::Note("disk %03d: directory not whole in the image (%ld of %d "
               "bytes); entries past that are lost",
               disk, static_cast<long>(bytes_read), kDirectorySize);
}

namespace {

// Adds one reason to the list; the first goes after ": ", others after "; ".
void AddReason(char* reasons, std::size_t capacity, const char* reason) {
  const std::size_t used = std::strlen(reasons);
  std::snprintf(reasons + used, capacity - used, "%s%s",
                used == 0 ? "" : "; ", reason);
}

// The first track whose offset points into the header, or -1.
int TrackInsideHeader(const D88Image& image) {
  for (int track = 0; track < kTrackCount; ++track) {
    const std::uint32_t offset = image.TrackOffset(track);
    if (offset != 0 && offset < kDiskHeaderSize) return track;
  }
  return -1;
}

bool AnyTrackRecorded(const D88Image& image) {
  for (int track = 0; track < kTrackCount; ++track) {
    if (image.TrackOffset(track) != 0) return true;
  }
  return false;
}

}  // namespace

namespace {

// The reasons the header cannot be a D88 disk header, after ": " and "; ";
// empty when there is none.
void DescribeHeaderProblems(D88Image& image, char* reasons,
                            std::size_t capacity) {
  char reason[96];
  const std::uint32_t size = image.SizeField();
  if (size < kDiskHeaderSize) {
    std::snprintf(reason, sizeof reason,
                  "size field %lu is smaller than the header (%lu bytes)",
                  static_cast<unsigned long>(size),
                  static_cast<unsigned long>(kDiskHeaderSize));
    AddReason(reasons, capacity, reason);
  }
  const std::int64_t file_size = image.FileSize();
  if (file_size >= 0 && image.DiskStart() >= 0 &&
      image.DiskStart() + static_cast<std::int64_t>(size) > file_size) {
    std::snprintf(reason, sizeof reason,
                  "size field %lu reaches past the end of the file",
                  static_cast<unsigned long>(size));
    AddReason(reasons, capacity, reason);
  }
  if (!AnyTrackRecorded(image)) {
    AddReason(reasons, capacity, "no track recorded");
  }
  const int inside = TrackInsideHeader(image);
  if (inside >= 0) {
    std::snprintf(reason, sizeof reason,
                  "track %02x offset %lu lies inside the header",
                  static_cast<unsigned>(inside),
                  static_cast<unsigned long>(image.TrackOffset(inside)));
    AddReason(reasons, capacity, reason);
  }
}

}  // namespace

bool DiskHeaderIsWrong(D88Image& image) {
  char reasons[320] = "";
  DescribeHeaderProblems(image, reasons, sizeof reasons);
  return reasons[0] != '\0';
}

bool NoteDiskHeader(D88Image& image, int disk) {
  char reasons[320] = "";
  DescribeHeaderProblems(image, reasons, sizeof reasons);
  if (reasons[0] == '\0') return false;
  report::Note("disk %03d: not a D88 disk header: %s", disk, reasons);
  return true;
}

void NoteReplaced(const char* folder, const char* host_name,
                  const FileWriter& later, const FileWriter& earlier) {
  report::Note("%s: disk %03d entry %d \"%s\" replaces disk %03d entry %d "
               "\"%s\", written earlier",
               LabelFile(folder, host_name).text, later.disk,
               later.entry_number, report::ShowName(later.entry_name).text,
               earlier.disk, earlier.entry_number,
               report::ShowName(earlier.entry_name).text);
}

}  // namespace d88
