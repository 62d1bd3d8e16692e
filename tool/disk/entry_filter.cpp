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

bool EntryFilter::Takes(const char* raw_name) {
  if (count_ == 0) return true;
  char decoded[Utf8CapacityFor(kEntryNameLength)];
  ShiftJisToUtf8(raw_name, std::strlen(raw_name), decoded, sizeof decoded);
  return TakesNamed(raw_name, decoded);
}

// Every pattern is tried, not just up to the first that matches: a pattern
// that matched only names another pattern also took still matched.
bool EntryFilter::TakesNamed(const char* raw_name, const char* decoded_name) {
  if (count_ == 0) return true;
  bool taken = false;
  for (int i = 0; i < count_; ++i) {
    Pattern& pattern = patterns_[i];
    const bool matches =
        pattern.decoded
            ? MatchesPattern(pattern.text, decoded_name, PatternText::kUtf8)
            : MatchesPattern(pattern.text, raw_name, PatternText::kBytes);
    if (matches) pattern.matched = true;
    taken = taken || matches;
  }
  return taken;
}

}  // namespace d88
