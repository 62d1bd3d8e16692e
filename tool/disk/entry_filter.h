// Which entries a run takes, by name (--only): the entries whose name
// matches one of the patterns, as archivers take the members named on
// their command line. The others are handed to no consumer at all.
//
// A pattern is matched against the entry's raw name bytes, or against the
// name decoded from Shift_JIS as UTF-8 text. The filter also remembers
// which patterns matched some entry, so that the run can name those that
// matched none.
#pragma once

namespace d88 {

class EntryFilter {
 public:
  static constexpr int kMaxPatterns = 64;

  // Forgets every pattern: the filter takes every entry again.
  void Clear() { count_ = 0; }
  // decoded: the pattern is UTF-8 text matched against the decoded name.
  // shown: the pattern as a note names it. Both must outlive the filter's
  // use. Returns false when the filter is full.
  bool Add(const char* pattern, bool decoded, const char* shown);

  // Whether the entry with this raw name (NUL-terminated) is taken; every
  // pattern it matches is marked as matched.
  bool Takes(const char* raw_name);
  // The same with the name's decoded form given: for a name that is not an
  // entry's yet, such as a host file's that --add would take.
  bool TakesNamed(const char* raw_name, const char* decoded_name);

  int PatternCount() const { return count_; }
  bool Matched(int index) const { return patterns_[index].matched; }
  const char* Shown(int index) const { return patterns_[index].shown; }

 private:
  struct Pattern {
    const char* text;
    const char* shown;
    bool decoded;
    bool matched;
  };
  Pattern patterns_[kMaxPatterns] = {};
  int count_ = 0;
};

}  // namespace d88
