// One walk over a disk, many consumers.
//
// Every way of using a disk (listing it, extracting it, testing it,
// describing it, repacking it) needs the same facts about each directory
// entry: the entry itself, its size, the host file it goes to and, for some,
// what reading its file found. The walk reads a disk's directory once,
// works those facts out once and hands them, entry by entry, to each
// consumer the run has picked. A consumer keeps its own state and never
// sees another; a new way of using a disk is one new consumer.
#pragma once

#include <cstdint>

#include "d88_image.h"
#include "disk/entry_filter.h"
#include "disk/file_system.h"
#include "host/entry_host_name.h"

namespace d88 {

// The disk being walked.
struct DiskVisit {
  D88Image& image;     // with this disk selected
  int number;          // its number in the image, from 0
  // Its folder's name ("000"), or nullptr when the run uses no folders.
  const char* folder;
};

// Everything a consumer may want to know about one entry.
struct EntryFacts {
  // Its place in the disk's directory, from 1: entries that the run does
  // not take (--only) still count, so the number always names the entry.
  int number;
  DirEntry entry;
  std::int32_t size;    // the size the listing shows; <= 0: no file
  EntryHostName host_name;
  // What reading the file found, and its bytes (read->size of them, zero
  // tail included), when the run reads files; nullptr otherwise. Valid
  // until the next entry.
  const FileRead* read;
  const std::uint8_t* data;
};

// The exit status a consumer asks for: the run ends with the worst.
enum class RunStatus {
  kClean,       // 0
  kIncomplete,  // 2: a file tested is not whole, or a sector has trouble
  kFailed,      // 1: something asked for could not be done
};
RunStatus Worse(RunStatus a, RunStatus b);
int ExitStatusOf(RunStatus status);

// Consumers live as plain objects of the run and are never deleted
// through this base, so it needs no virtual destructor (which would pull
// the C++ runtime's operator delete into the tool).
class DiskConsumer {
 public:
  // Whether the walk must read every entry's file for this consumer.
  virtual bool ReadsFiles() const { return false; }
  // Whether it writes host files, so that the run must work in the output
  // folder and each disk in its own folder.
  virtual bool WritesHostFiles() const { return false; }

  virtual void BeginRun() {}
  virtual void BeginDisk(const DiskVisit&) {}
  virtual void Entry(const DiskVisit&, const EntryFacts&) {}
  virtual void EndDisk(const DiskVisit&) {}
  // After the last disk.
  virtual void EndRun() {}
  virtual RunStatus Status() const { return RunStatus::kClean; }

 protected:
  DiskConsumer() = default;
  DiskConsumer(const DiskConsumer&) = default;
  DiskConsumer& operator=(const DiskConsumer&) = default;
  ~DiskConsumer() = default;
};

// The consumers of a run, in the order they hear of each event.
struct ConsumerList {
  static constexpr int kMaxConsumers = 8;
  DiskConsumer* items[kMaxConsumers] = {};
  int count = 0;

  void Add(DiskConsumer& consumer) {
    if (count < kMaxConsumers) items[count++] = &consumer;
  }
  bool ReadsFiles() const;
  bool WritesHostFiles() const;
  void BeginRun() const;
  void EndRun() const;
  RunStatus Status() const;
};

// Walks the disk selected in visit.image: begins it with every consumer,
// hands each the facts of every entry the filter takes (all of them without
// a filter) in directory order, and ends it.
void WalkDisk(const DiskVisit& visit, const ConsumerList& consumers,
              bool unicode_names, EntryFilter* filter = nullptr);

}  // namespace d88
