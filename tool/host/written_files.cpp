#include "host/written_files.h"

#include <cstdint>
#include <cstring>

#include "d88_format.h"

namespace d88 {
namespace {

struct WrittenFile {
  host::FileIdentity identity;
  bool present;  // false once the file was removed again
  FileWriter writer;
};

// One slot per entry the reader can deliver: 64 disks of 128 entries.
constexpr int kMaxWrittenFiles = kMaxDisks * 128;
WrittenFile written_files[kMaxWrittenFiles];
int written_count = 0;

// The files written so far are found through a hash table, so that a run
// of 8192 files does not compare every identity with every earlier one.
// Slots hold an index into written_files plus one; 0 is an empty slot.
constexpr std::uint32_t kHashSlots = 2 * kMaxWrittenFiles;  // a power of two
std::uint16_t identity_slots[kHashSlots];

std::uint32_t SlotOf(const host::FileIdentity& identity) {
  std::uint64_t hash = 14695981039346656037u;
  const std::uint64_t parts[] = {identity.volume, identity.index};
  for (std::uint64_t part : parts) {
    for (int shift = 0; shift < 64; shift += 8) {
      hash = (hash ^ ((part >> shift) & 0xFF)) * 1099511628211u;
    }
  }
  return static_cast<std::uint32_t>(hash) & (kHashSlots - 1);
}

struct Lookup {
  WrittenFile* found;  // nullptr when the file was not written yet
  std::uint32_t slot;  // where it is, or the free slot it would take
};

Lookup FindWritten(const host::FileIdentity& identity) {
  std::uint32_t slot = SlotOf(identity);
  for (; identity_slots[slot] != 0; slot = (slot + 1) & (kHashSlots - 1)) {
    WrittenFile& file = written_files[identity_slots[slot] - 1];
    if (host::SameFile(file.identity, identity)) return {&file, slot};
  }
  return {nullptr, slot};
}

}  // namespace

void ForgetWrittenFiles() {
  written_count = 0;
  std::memset(identity_slots, 0, sizeof identity_slots);
}

EarlierWriter RememberWrittenFile(const host::FileIdentity& identity,
                                  const FileWriter& writer) {
  EarlierWriter earlier = {};
  if (!identity.known) return earlier;
  const Lookup lookup = FindWritten(identity);
  WrittenFile* file = lookup.found;
  if (file != nullptr) {
    if (file->present) earlier = {true, file->writer};
  } else if (written_count < kMaxWrittenFiles) {
    file = &written_files[written_count++];
    identity_slots[lookup.slot] = static_cast<std::uint16_t>(written_count);
  } else {
    return earlier;
  }
  *file = {identity, true, writer};
  return earlier;
}

// The record stays in the table, marked gone, so that lookups never need
// to step over a hole.
void ForgetWrittenFile(const host::FileIdentity& identity) {
  if (!identity.known) return;
  WrittenFile* file = FindWritten(identity).found;
  if (file != nullptr) file->present = false;
}

}  // namespace d88
