// Choosing entries by name, as archivers choose members: shell patterns
// matched against the whole name.
//
// '*' stands for any run of characters (none included), '?' for one
// character, "[abc]", "[a-z]" and "[!abc]" for one character of (or not of)
// a set, and '\' before a character makes it stand for itself. Case counts.
// A name is matched as raw bytes (each byte one character), or as UTF-8
// text, where '?' and a set stand for one whole character.
#pragma once

namespace d88 {

enum class PatternText { kBytes, kUtf8 };

// Whether the whole of name matches pattern. A '[' with no closing ']'
// stands for itself.
bool MatchesPattern(const char* pattern, const char* name, PatternText text);

}  // namespace d88
