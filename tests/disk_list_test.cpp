// The --disk list: which numbers and ranges it takes, and which it refuses.
#include <gtest/gtest.h>

#include <vector>

#include "cli/options.h"

namespace {

TEST(DiskListTest, ParsesNumbersAndRanges) {
  struct Case {
    const char* text;
    bool valid;
    std::vector<int> included;  // of disks 0..9
  };
  const Case cases[] = {
      {"2", true, {2}},
      {"0,3", true, {0, 3}},
      {"1-4", true, {1, 2, 3, 4}},
      {"7-", true, {7, 8, 9}},
      {"5-,1", true, {1, 5, 6, 7, 8, 9}},
      {"", false, {}},
      {"1,", false, {}},
      {"-3", false, {}},
      {"1--2", false, {}},
      {"a", false, {}},
      {"4-2", false, {}},
      {"99999999999", false, {}},
  };
  for (const Case& c : cases) {
    const d88::ParsedDiskList parsed = d88::ParseDiskList(c.text);
    EXPECT_EQ(parsed.valid, c.valid) << c.text;
    if (!parsed.valid) continue;
    std::vector<int> included;
    for (int disk = 0; disk < 10; ++disk) {
      if (parsed.list.Includes(disk)) included.push_back(disk);
    }
    EXPECT_EQ(included, c.included) << c.text;
  }
}

}  // namespace
