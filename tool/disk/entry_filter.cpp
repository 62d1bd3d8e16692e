#include "disk/entry_filter.h"

#include <cstring>

#include "disk/file_system.h"
#include "disk/name_pattern.h"
#include "host/shift_jis.h"

namespace d88 {

bool EntryFilter::Add(const char* pattern, bool decoded, const char* shown) {
  if (count_ == kMaxPatterns) return false;
  patterns_[count_++] = {pattern, shown, decoded, false};
  return true;
}

// Every pattern is tried, not just up to the first that matches: a pattern
// that matched only entries another pattern also took still matched.
bool EntryFilter::Takes(const char* raw_name) {
  if (count_ == 0) return true;
  char decoded[Utf8CapacityFor(kEntryNameLength)];
  bool have_decoded = false;
  bool taken = false;
  for (int i = 0; i < count_; ++i) {
    Pattern& pattern = patterns_[i];
    if (pattern.decoded && !have_decoded) {
      ShiftJisToUtf8(raw_name, std::strlen(raw_name), decoded, sizeof decoded);
      have_decoded = true;
    }
    const bool matches =
        pattern.decoded
            ? MatchesPattern(pattern.text, decoded, PatternText::kUtf8)
            : MatchesPattern(pattern.text, raw_name, PatternText::kBytes);
    if (matches) pattern.matched = true;
    taken = taken || matches;
  }
  return taken;
}

}  // namespace d88
