// The shell patterns that choose entries by name. Each row guards a rule a
// user relies on when picking files as from an archive.
#include <gtest/gtest.h>

#include "disk/name_pattern.h"

namespace {

using d88::MatchesPattern;
using d88::PatternText;

struct PatternCase {
  const char* pattern;
  const char* name;
  PatternText text;
  bool matches;
};

class NamePatternTest : public testing::TestWithParam<PatternCase> {};

TEST_P(NamePatternTest, MatchesTheWholeName) {
  const PatternCase& c = GetParam();
  EXPECT_EQ(MatchesPattern(c.pattern, c.name, c.text), c.matches)
      << "pattern \"" << c.pattern << "\" name \"" << c.name << "\"";
}

constexpr PatternText kBytes = PatternText::kBytes;
constexpr PatternText kUtf8 = PatternText::kUtf8;

INSTANTIATE_TEST_SUITE_P(
    Rules, NamePatternTest,
    testing::Values(
        // The whole name, not a part of it, and case counts.
        PatternCase{"GAME", "GAME", kBytes, true},
        PatternCase{"GAM", "GAME", kBytes, false},
        PatternCase{"game", "GAME", kBytes, false},
        PatternCase{"", "", kBytes, true},
        // '*' takes any run, none included, and backs off when the rest
        // fails further on.
        PatternCase{"*", "", kBytes, true},
        PatternCase{"G*", "GAME", kBytes, true},
        PatternCase{"*E", "GAME", kBytes, true},
        PatternCase{"A*B*C", "AXBYBZC", kBytes, true},
        PatternCase{"A*B*C", "AXBYBZ", kBytes, false},
        PatternCase{"**A", "BA", kBytes, true},
        // '?' is exactly one character.
        PatternCase{"GAM?", "GAME", kBytes, true},
        PatternCase{"GAME?", "GAME", kBytes, false},
        // Sets, ranges, negation, and ']' first in a set.
        PatternCase{"[PG]AME", "GAME", kBytes, true},
        PatternCase{"[A-F]AME", "GAME", kBytes, false},
        PatternCase{"[!A-F]AME", "GAME", kBytes, true},
        PatternCase{"[]]X", "]X", kBytes, true},
        PatternCase{"[!]]X", "]X", kBytes, false},
        // A '[' with no ']' is itself; '\' makes the next character itself.
        PatternCase{"A[B", "A[B", kBytes, true},
        PatternCase{"\\*", "*", kBytes, true},
        PatternCase{"\\*", "A", kBytes, false},
        PatternCase{"[\\]]", "]", kBytes, true},
        // Raw Shift_JIS: '?' is one byte, so a two-byte character needs two.
        PatternCase{"??", "\x83\x81", kBytes, true},
        PatternCase{"?", "\x83\x81", kBytes, false},
        // Decoded names: '?' and sets stand for whole UTF-8 characters.
        PatternCase{"?", "\xE3\x83\xA1", kUtf8, true},
        PatternCase{"?\xE3\x83\xA2", "\xE3\x83\xA1\xE3\x83\xA2", kUtf8, true},
        PatternCase{"[\xE3\x82\xA1-\xE3\x83\xB6]*", "\xE3\x83\xA1X", kUtf8,
                    true},
        PatternCase{"[!\xE3\x83\xA1]", "\xE3\x83\xA1", kUtf8, false},
        // A byte that is no UTF-8 is still one character.
        PatternCase{"?A", "\xFF" "A", kUtf8, true}));

}  // namespace
