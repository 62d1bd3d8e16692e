#include "report/json_writer.h"

#include <cstdio>
#include <cstring>

namespace d88 {
namespace json {
namespace {

// Deep enough for the tool's documents, which nest five levels at most.
constexpr int kMaxDepth = 16;
bool has_member[kMaxDepth + 1];
int depth = 0;

void Put(const char* text) { std::fputs(text, stdout); }

// Names are short; a text too long for the buffer is cut at a sequence.
void PutQuoted(const char* text) {
  char escaped[512];
  EscapeText(text, escaped, sizeof escaped);
  Put("\"");
  Put(escaped);
  Put("\"");
}

// The comma after the previous member, the line break and the indentation,
// then the key.
void BeginValue(const char* key) {
  if (depth > 0) {
    if (has_member[depth]) Put(",");
    Put("\n");
    for (int i = 0; i < depth; ++i) Put("  ");
    has_member[depth] = true;
  }
  if (key != nullptr) {
    PutQuoted(key);
    Put(": ");
  }
}

void Open(const char* key, const char* bracket) {
  BeginValue(key);
  Put(bracket);
  if (depth < kMaxDepth) ++depth;
  has_member[depth] = false;
}

void Close(const char* bracket) {
  const bool had_members = has_member[depth];
  if (depth > 0) --depth;
  if (had_members) {
    Put("\n");
    for (int i = 0; i < depth; ++i) Put("  ");
  }
  Put(bracket);
}

// The length of the UTF-8 sequence at text, or 0 when it is not one: a
// stray continuation byte, an overlong form, a surrogate, beyond U+10FFFF,
// or cut short.
std::size_t SequenceLength(const unsigned char* text) {
  const unsigned char lead = text[0];
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text[1] < low || text[1] > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (text[i] < 0x80 || text[i] > 0xBF) return 0;
  }
  return length;
}

// The escape for a code point below U+00A0 that needs one, or nullptr.
// C0 controls, DEL and the C1 controls (U+0080..U+009F) are all escaped.
const char* EscapeFor(unsigned code, char* buffer, std::size_t size) {
  switch (code) {
    case '"': return "\\\"";
    case '\\': return "\\\\";
    case '\n': return "\\n";
    case '\r': return "\\r";
    case '\t': return "\\t";
    case '\b': return "\\b";
    case '\f': return "\\f";
    default: break;
  }
  if (code < 0x20 || (code >= 0x7F && code <= 0x9F)) {
    std::snprintf(buffer, size, "\\u%04x", code);
    return buffer;
  }
  return nullptr;
}

}  // namespace

void Reset() {
  depth = 0;
  has_member[0] = false;
}

void OpenObject(const char* key) { Open(key, "{"); }
void CloseObject() { Close("}"); }
void OpenArray(const char* key) { Open(key, "["); }
void CloseArray() { Close("]"); }

void Number(const char* key, std::int64_t value) {
  BeginValue(key);
  std::printf("%lld", static_cast<long long>(value));
}

void Bool(const char* key, bool value) {
  BeginValue(key);
  Put(value ? "true" : "false");
}

void Null(const char* key) {
  BeginValue(key);
  Put("null");
}

void String(const char* key, const char* text) {
  BeginValue(key);
  PutQuoted(text);
}

void HexString(const char* key, const char* bytes, std::size_t length) {
  BeginValue(key);
  Put("\"");
  for (std::size_t i = 0; i < length; ++i) {
    std::printf("%02x", static_cast<unsigned>(static_cast<unsigned char>(bytes[i])));
  }
  Put("\"");
}

void Finish() {
  Put("\n");
  std::fflush(stdout);
}

std::size_t EscapeText(const char* text, char* dest, std::size_t capacity) {
  const auto* in = reinterpret_cast<const unsigned char*>(text);
  std::size_t used = 0;
  while (*in != 0) {
    const std::size_t length = SequenceLength(in);
    const unsigned code =
        length == 1 ? in[0]
        : length == 2 ? ((in[0] & 0x1Fu) << 6) | (in[1] & 0x3Fu) : 0x100u;
    char buffer[8];
    const char* escape = EscapeFor(code, buffer, sizeof buffer);
    const char* piece = escape != nullptr ? escape
                        : length == 0    ? "\xEF\xBF\xBD"
                                         : reinterpret_cast<const char*>(in);
    const std::size_t piece_length =
        escape != nullptr || length == 0 ? std::strlen(piece) : length;
    if (used + piece_length >= capacity) {
      if (capacity > 0) dest[used] = '\0';
      return capacity;
    }
    std::memcpy(dest + used, piece, piece_length);
    used += piece_length;
    in += length == 0 ? 1 : length;
  }
  if (capacity > 0) dest[used] = '\0';
  return used;
}

}  // namespace json
}  // namespace d88
