#include "json_check.h"

namespace d88check {
namespace {

// Nesting deeper than this is refused rather than recursed into.
constexpr int kMaxDepth = 256;

class Checker {
 public:
  Checker(const char* data, std::size_t length)
      : text_(reinterpret_cast<const unsigned char*>(data)), length_(length) {}

  bool Document() {
    SkipSpace();
    if (!Value(0)) return false;
    SkipSpace();
    return at_ == length_;
  }

 private:
  int Peek() const { return at_ < length_ ? text_[at_] : -1; }
  bool Take(int c) {
    if (at_ == length_ || text_[at_] != c) return false;
    ++at_;
    return true;
  }
  static bool IsSpace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
  }
  void SkipSpace() {
    while (at_ < length_ && IsSpace(text_[at_])) ++at_;
  }
  bool Word(const char* word) {
    for (; *word != '\0'; ++word) {
      if (!Take(static_cast<unsigned char>(*word))) return false;
    }
    return true;
  }

  bool Value(int depth) {
    if (depth > kMaxDepth) return false;
    switch (Peek()) {
      case '{': return Container(depth, '}', true);
      case '[': return Container(depth, ']', false);
      case '"': return String();
      case 't': return Word("true");
      case 'f': return Word("false");
      case 'n': return Word("null");
      default: return Number();
    }
  }

  // An object (members "key": value) or an array (values), comma-separated.
  bool Container(int depth, int close, bool object) {
    ++at_;
    SkipSpace();
    if (Take(close)) return true;
    for (;;) {
      SkipSpace();
      if (object) {
        if (!String()) return false;
        SkipSpace();
        if (!Take(':')) return false;
        SkipSpace();
      }
      if (!Value(depth + 1)) return false;
      SkipSpace();
      if (Take(close)) return true;
      if (!Take(',')) return false;
    }
  }

  static bool IsDigit(int c) { return c >= '0' && c <= '9'; }
  bool Digits() {
    const std::size_t first = at_;
    while (at_ < length_ && IsDigit(text_[at_])) ++at_;
    return at_ > first;
  }

  bool Number() {
    Take('-');
    if (!Take('0') && !Digits()) return false;
    if (Take('.') && !Digits()) return false;
    if (Take('e') || Take('E')) {
      if (!Take('+')) Take('-');
      if (!Digits()) return false;
    }
    return true;
  }

  bool Escape() {
    const int c = Peek();
    ++at_;
    if (c == 'u') {
      for (int i = 0; i < 4; ++i) {
        const int h = Peek();
        const bool hex = (h >= '0' && h <= '9') || (h >= 'a' && h <= 'f') ||
                         (h >= 'A' && h <= 'F');
        if (!hex) return false;
        ++at_;
      }
      return true;
    }
    return c == '"' || c == '\\' || c == '/' || c == 'b' || c == 'f' ||
           c == 'n' || c == 'r' || c == 't';
  }

  // One UTF-8 sequence of two to four bytes: no overlong form, no
  // surrogate, nothing beyond U+10FFFF.
  bool Sequence() {
    const int lead = Peek();
    int more = 0;
    int low = 0x80;
    int high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      more = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      more = 2;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      more = 3;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    ++at_;
    for (int i = 0; i < more; ++i) {
      const int c = Peek();
      if (c < (i == 0 ? low : 0x80) || c > (i == 0 ? high : 0xBF)) return false;
      ++at_;
    }
    return true;
  }

  bool String() {
    if (!Take('"')) return false;
    for (;;) {
      // Most of a document is plain text inside strings, read here byte by
      // byte without a call per byte.
      if (at_ == length_) return false;
      const int c = text_[at_];
      if (c < 0x20) return false;  // a raw control
      if (c == '"') {
        ++at_;
        return true;
      }
      if (c == '\\') {
        ++at_;
        if (!Escape()) return false;
      } else if (c < 0x80) {
        ++at_;
      } else if (!Sequence()) {
        return false;
      }
    }
  }

  const unsigned char* text_;
  std::size_t length_;
  std::size_t at_ = 0;
};

}  // namespace

bool IsValidJson(const char* data, std::size_t length) {
  return Checker(data, length).Document();
}

}  // namespace d88check
