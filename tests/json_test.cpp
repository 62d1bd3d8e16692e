// The JSON writer's escaping, and the checker the fuzzer
// and the end-to-end tests rely on to tell valid JSON from invalid.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "json_check.h"
#include "report/json_writer.h"

namespace {

std::string Escaped(const std::string& text) {
  char out[256];
  const std::size_t length = d88::json::EscapeText(text.c_str(), out, sizeof out);
  return std::string(out, length);
}

TEST(JsonTest, EscapesEveryControlCharacterAndMendsBadUtf8) {
  struct Case {
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"plain", "plain"},
      {"a\"b\\c", "a\\\"b\\\\c"},
      {"\x01\x1f", "\\u0001\\u001f"},
      {"\n\r\t\b\f", "\\n\\r\\t\\b\\f"},
      {"\x7f", "\\u007f"},
      {"\xc2\x80\xc2\x9f", "\\u0080\\u009f"},     // C1 controls
      {"\xc2\xa0", "\xc2\xa0"},                   // first code after them
      {"\xef\xbd\xb1", "\xef\xbd\xb1"},           // half-width katakana
      {"\xf0\x9f\x92\xbe", "\xf0\x9f\x92\xbe"},   // four bytes
      {"\x83", "\xef\xbf\xbd"},                   // lone Shift_JIS lead
      {"\xc0\xaf", "\xef\xbf\xbd\xef\xbf\xbd"},   // overlong
      {"\xed\xa0\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},  // surrogate
      {"\xe3\x81", "\xef\xbf\xbd\xef\xbf\xbd"},   // cut short
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Escaped(c.in), c.out) << c.in;
    const std::string quoted = "\"" + Escaped(c.in) + "\"";
    EXPECT_TRUE(d88check::IsValidJson(quoted.data(), quoted.size())) << c.in;
  }
}

TEST(JsonTest, CheckerTellsValidFromInvalid) {
  const char* valid[] = {
      "{}", " [1, -0.5e+3, true, false, null] ", "{\"a\": {\"b\": [\"\\u00e9\"]}}",
      "\"\xe3\x81\x82\"", "0",
  };
  const char* invalid[] = {
      "", "{", "{,}", "[1,]", "{\"a\" 1}", "{\"a\": 1,}", "01", "1.", "-",
      "\"\x01\"", "\"\\x\"", "\"\\u12g4\"", "\"\x83\"", "[] []", "tru", "'a'",
      "[\"ab", "1e", "[12",
  };
  for (const char* text : valid) {
    EXPECT_TRUE(d88check::IsValidJson(text, std::strlen(text))) << text;
  }
  for (const char* text : invalid) {
    EXPECT_FALSE(d88check::IsValidJson(text, std::strlen(text))) << text;
  }
}

}  // namespace
