// A streaming JSON writer for standard output.
//
// Values go out as they are given, with no document held in memory: the
// writer keeps only which containers are open and whether each has had a
// member yet, so that commas and indentation come out right. Strings are
// UTF-8; every control character is escaped and bytes that are not UTF-8
// become U+FFFD, so the document is valid whatever it is given.
#pragma once

#include <cstddef>
#include <cstdint>

namespace d88 {
namespace json {

// Starts a document: forgets any containers left open by an earlier run.
void Reset();

// Inside an object every value takes a key; inside an array (and at the
// top) key is nullptr.
void OpenObject(const char* key);
void CloseObject();
void OpenArray(const char* key);
void CloseArray();
void Number(const char* key, std::int64_t value);
void Bool(const char* key, bool value);
void Null(const char* key);
void String(const char* key, const char* text);
// The bytes as lowercase hex digits, two per byte.
void HexString(const char* key, const char* bytes, std::size_t length);
// Ends the document with a line feed and flushes it.
void Finish();

// Writes text as the body of a JSON string (no quotes) into dest (capacity
// bytes, NUL-terminated) and returns its length, or capacity when it does
// not fit. What String writes goes through this.
std::size_t EscapeText(const char* text, char* dest, std::size_t capacity);

}  // namespace json
}  // namespace d88
