// When the map is coloured: as ls decides it, and NO_COLOR only turns off
// what the tool would decide by itself.
#include <gtest/gtest.h>

#include "report/map_text.h"

namespace {

using d88::report::ColorWanted;
using d88::report::ColorWhen;

TEST(MapColorTest, TerminalOptionAndEnvironmentDecide) {
  struct Case {
    ColorWhen when;
    bool terminal;
    const char* no_color;
    bool colored;
  };
  const Case cases[] = {
      {ColorWhen::kAuto, true, nullptr, true},
      {ColorWhen::kAuto, true, "1", false},
      {ColorWhen::kAuto, true, "", true},  // set but empty counts as unset
      {ColorWhen::kAuto, false, nullptr, false},
      {ColorWhen::kAlways, false, "1", true},
      {ColorWhen::kNever, true, nullptr, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ColorWanted(c.when, c.terminal, c.no_color), c.colored)
        << static_cast<int>(c.when) << " " << c.terminal << " "
        << (c.no_color != nullptr ? c.no_color : "(unset)");
  }
}

}  // namespace
