#include "host/written_files.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "d88_format.h"
#include "host/host.h"

namespace d88 {
namespace {

struct WrittenName {
  char host_name[kHostNameCapacity];
  FileWriter writer;
};

// One slot per entry the reader can deliver: 64 disks of 128 entries.
constexpr int kMaxWrittenNames = kMaxDisks * 128;
WrittenName written_names[kMaxWrittenNames];
int written_count = 0;

// The names written so far are found through a hash table, so that a run
// of 8192 files does not compare every name with every earlier one. Slots
// hold an index into written_names plus one; 0 is an empty slot.
constexpr std::uint32_t kHashSlots = 2 * kMaxWrittenNames;  // a power of two
std::uint16_t name_slots[kHashSlots];

// Folds every ASCII letter where the host ignores case: names the host
// takes as one file then always land in the same slot.
char FoldedForHost(char c) {
  if (host::NameRules() != HostRules::kPosix && c >= 'a' && c <= 'z') {
    return static_cast<char>(c - 'a' + 'A');
  }
  return c;
}

// In folder mode a name is only the same file on its own disk.
std::uint32_t SlotOf(const char* host_name, int disk, bool folders) {
  std::uint32_t hash = folders ? static_cast<std::uint32_t>(disk) : 0xFFFFu;
  for (const char* c = host_name; *c != '\0'; ++c) {
    hash = (hash ^ static_cast<unsigned char>(FoldedForHost(*c))) * 16777619u;
  }
  return hash & (kHashSlots - 1);
}

struct Lookup {
  WrittenName* found;  // nullptr when the name was not written yet
  std::uint32_t slot;  // where it is, or the free slot it would take
};

Lookup FindWritten(const char* host_name, NameEncoding encoding, int disk,
                   bool folders) {
  std::uint32_t slot = SlotOf(host_name, disk, folders);
  for (; name_slots[slot] != 0; slot = (slot + 1) & (kHashSlots - 1)) {
    WrittenName& name = written_names[name_slots[slot] - 1];
    if (folders && name.writer.disk != disk) continue;
    if (CompareHostNames(name.host_name, host_name, host::NameRules(),
                         encoding) == 0) {
      return {&name, slot};
    }
  }
  return {nullptr, slot};
}

}  // namespace

void ForgetWrittenFiles() {
  written_count = 0;
  std::memset(name_slots, 0, sizeof name_slots);
}

EarlierWriter RememberWrittenFile(const char* host_name, bool utf8_name,
                                  const FileWriter& writer, bool folders) {
  const Lookup lookup = FindWritten(
      host_name, utf8_name ? NameEncoding::kUnicode : NameEncoding::kRaw,
      writer.disk, folders);
  EarlierWriter earlier = {};
  WrittenName* slot = lookup.found;
  if (slot != nullptr) {
    earlier = {true, slot->writer};
  } else if (written_count < kMaxWrittenNames) {
    slot = &written_names[written_count++];
    name_slots[lookup.slot] = static_cast<std::uint16_t>(written_count);
  } else {
    return earlier;
  }
  std::snprintf(slot->host_name, sizeof slot->host_name, "%s", host_name);
  slot->writer = writer;
  return earlier;
}

}  // namespace d88
