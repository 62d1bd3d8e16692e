// The shell patterns that choose entries by name. Each row guards a rule a
// user relies on when picking files as from an archive.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "disk/name_pattern.h"

namespace {

using d88::MatchesPattern;
using d88::PatternText;

struct PatternCase {
  const char* rule;  // the test's name
  const char* pattern;
  const char* name;
  PatternText text;
  bool matches;
};

// A case prints as its rule, not as its bytes, whose pointers would give the
// test a new name on every run.
void PrintTo(const PatternCase& c, std::ostream* out) { *out << c.rule; }

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
        PatternCase{"WholeName", "GAME", "GAME", kBytes, true},
        PatternCase{"NotAPart", "GAM", "GAME", kBytes, false},
        PatternCase{"CaseCounts", "game", "GAME", kBytes, false},
        PatternCase{"EmptyName", "", "", kBytes, true},
        // '*' takes any run, none included, and backs off when the rest
        // fails further on.
        PatternCase{"StarTakesNone", "*", "", kBytes, true},
        PatternCase{"StarAtTheEnd", "G*", "GAME", kBytes, true},
        PatternCase{"StarAtTheFront", "*E", "GAME", kBytes, true},
        PatternCase{"StarsBackOff", "A*B*C", "AXBYBZC", kBytes, true},
        PatternCase{"StarsBackOffAndFail", "A*B*C", "AXBYBZ", kBytes, false},
        PatternCase{"TwoStars", "**A", "BA", kBytes, true},
        // '?' is exactly one character.
        PatternCase{"QuestionMarkIsOne", "GAM?", "GAME", kBytes, true},
        PatternCase{"QuestionMarkIsNotNone", "GAME?", "GAME", kBytes, false},
        // Sets, ranges, negation, and ']' first in a set.
        PatternCase{"Set", "[PG]AME", "GAME", kBytes, true},
        PatternCase{"RangeMisses", "[A-F]AME", "GAME", kBytes, false},
        PatternCase{"NegatedRange", "[!A-F]AME", "GAME", kBytes, true},
        PatternCase{"BracketFirstInASet", "[]]X", "]X", kBytes, true},
        PatternCase{"BracketFirstInANegatedSet", "[!]]X", "]X", kBytes, false},
        // A '[' with no ']' is itself; '\' makes the next character itself.
        PatternCase{"UnclosedBracket", "A[B", "A[B", kBytes, true},
        PatternCase{"EscapedStar", "\\*", "*", kBytes, true},
        PatternCase{"EscapedStarIsNoStar", "\\*", "A", kBytes, false},
        PatternCase{"EscapedBracketInASet", "[\\]]", "]", kBytes, true},
        // Raw Shift_JIS: '?' is one byte, so a two-byte character needs two.
        PatternCase{"ShiftJisTakesTwo", "??", "\x83\x81", kBytes, true},
        PatternCase{"ShiftJisIsNotOne", "?", "\x83\x81", kBytes, false},
        // Decoded names: '?' and sets stand for whole UTF-8 characters.
        PatternCase{"Utf8QuestionMark", "?", "\xE3\x83\xA1", kUtf8, true},
        PatternCase{"Utf8QuestionMarkThenOne", "?\xE3\x83\xA2",
                    "\xE3\x83\xA1\xE3\x83\xA2", kUtf8, true},
        PatternCase{"Utf8Range", "[\xE3\x82\xA1-\xE3\x83\xB6]*",
                    "\xE3\x83\xA1X", kUtf8, true},
        PatternCase{"Utf8NegatedSet", "[!\xE3\x83\xA1]", "\xE3\x83\xA1",
                    kUtf8, false},
        // A byte that is no UTF-8 is still one character.
        PatternCase{"ByteThatIsNoUtf8", "?A", "\xFF" "A", kUtf8, true}),
    [](const testing::TestParamInfo<PatternCase>& param) {
      return std::string(param.param.rule);
    });

}  // namespace
