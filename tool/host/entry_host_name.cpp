#include "host/entry_host_name.h"

#include "host/host.h"

namespace d88 {

EntryHostName HostNameOf(const char* raw_name, bool unicode_names) {
  EntryHostName name = {};
  name.mapped = HostFileName(
      raw_name, host::NameRules(),
      unicode_names ? NameEncoding::kUnicode : NameEncoding::kRaw, name.text);
  return name;
}

}  // namespace d88
