#include "disk/name_pattern.h"

#include <cstdint>

namespace d88 {
namespace {

// One character of a text and where the next begins. In UTF-8 a sequence
// that is cut or malformed counts as one character per byte, so that every
// name, well-formed or not, can be matched.
struct Character {
  std::uint32_t code;
  const char* next;
};

int SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 1;
}

Character NextCharacter(const char* text, PatternText kind) {
  const auto lead = static_cast<unsigned char>(*text);
  const int length = kind == PatternText::kUtf8 ? SequenceLength(lead) : 1;
  if (length == 1) return {lead, text + 1};
  std::uint32_t code = lead & (0x7Fu >> length);
  for (int i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if ((byte & 0xC0) != 0x80) return {lead, text + 1};
    code = (code << 6) | (byte & 0x3Fu);
  }
  return {code, text + length};
}

// The result of matching one character against the pattern's next item.
struct ItemMatch {
  bool matched;
  const char* after;  // the pattern after the item
};

// A set "[...]" starting at pattern. A ']' right after "[" or "[!" belongs
// to the set. Without a closing ']' the '[' is an ordinary character.
ItemMatch MatchSet(const char* pattern, std::uint32_t code, PatternText kind) {
  const char* p = pattern + 1;
  const bool negated = *p == '!';
  if (negated) ++p;
  bool found = false;
  bool first = true;
  while (*p != '\0' && (*p != ']' || first)) {
    first = false;
    if (*p == '\\' && p[1] != '\0') ++p;
    const Character low = NextCharacter(p, kind);
    Character high = low;
    if (*low.next == '-' && low.next[1] != ']' && low.next[1] != '\0') {
      const char* h = low.next + 1;
      if (*h == '\\' && h[1] != '\0') ++h;
      high = NextCharacter(h, kind);
    }
    if (code >= low.code && code <= high.code) found = true;
    p = high.next;
  }
  if (*p != ']') return {code == '[', pattern + 1};
  return {found != negated, p + 1};
}

// Matches one character of the name against the pattern's next item,
// which is not '*'.
ItemMatch MatchItem(const char* pattern, Character character,
                    PatternText kind) {
  if (*pattern == '?') return {true, pattern + 1};
  if (*pattern == '[') return MatchSet(pattern, character.code, kind);
  if (*pattern == '\\' && pattern[1] != '\0') ++pattern;
  const Character wanted = NextCharacter(pattern, kind);
  return {wanted.code == character.code, wanted.next};
}

}  // namespace

// The usual matcher with one point to come back to: at a '*' it first
// takes nothing and, when the rest fails, takes one more character. Only
// the latest '*' needs remembering, so the work stays proportional to the
// pattern times the name.
bool MatchesPattern(const char* pattern, const char* name, PatternText text) {
  const char* star_pattern = nullptr;
  const char* star_name = nullptr;
  while (true) {
    if (*pattern == '*') {
      while (*pattern == '*') ++pattern;
      star_pattern = pattern;
      star_name = name;
      continue;
    }
    if (*name == '\0' && *pattern == '\0') return true;
    if (*name != '\0' && *pattern != '\0') {
      const Character character = NextCharacter(name, text);
      const ItemMatch item = MatchItem(pattern, character, text);
      if (item.matched) {
        pattern = item.after;
        name = character.next;
        continue;
      }
    }
    if (star_pattern == nullptr || *star_name == '\0') return false;
    star_name = NextCharacter(star_name, text).next;
    pattern = star_pattern;
    name = star_name;
  }
}

}  // namespace d88
