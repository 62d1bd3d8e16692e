#include "host/entry_host_name.h"

#include <cstring>

#include "host/host.h"
#include "host/shift_jis.h"

namespace d88 {
namespace {

// Under Emscripten every host name is a JavaScript string in the end (a
// Node path, a name in the page's file system), which holds UTF-8 only:
// raw Shift_JIS bytes would arrive as replacement characters. There the
// names are always decoded, as --unicode-names decodes them.
#if defined(__EMSCRIPTEN__)
constexpr bool kHostNamesAreUtf8 = true;
#else
constexpr bool kHostNamesAreUtf8 = false;
#endif

}  // namespace

EntryHostName HostNameOf(const char* raw_name, bool unicode_names) {
  unicode_names = unicode_names || kHostNamesAreUtf8;
  EntryHostName name = {};
  name.mapped = HostFileName(
      raw_name, host::NameRules(),
      unicode_names ? NameEncoding::kUnicode : NameEncoding::kRaw, name.text);
  return name;
}

// A name that the host's rules change (a device name, a trailing dot) comes
// back from the entry name as another host name, so no entry writes it.
EntryNameFromHost EntryNameFor(const char* host_name, bool unicode_names) {
  unicode_names = unicode_names || kHostNamesAreUtf8;
  EntryNameFromHost name = {EntryNameProblem::kNone, {}, 0};
  if (unicode_names) {
    const ShiftJisEncoding encoding =
        Utf8ToShiftJis(host_name, name.raw, sizeof name.raw);
    if (!encoding.encodable) {
      name.problem = EntryNameProblem::kNoShiftJis;
      return name;
    }
    name.length = encoding.length;
  } else {
    name.length = std::strlen(host_name);
    std::strncpy(name.raw, host_name, kMaxEntryName);
  }
  if (name.length == 0 || name.length > kMaxEntryName) {
    name.problem = EntryNameProblem::kLength;
    return name;
  }
  if (std::strcmp(HostNameOf(name.raw, unicode_names).text, host_name) != 0) {
    name.problem = EntryNameProblem::kNotWritten;
  }
  return name;
}

}  // namespace d88
