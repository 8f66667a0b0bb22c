// Splitting at a delimiter: the listed shapes, padding to a minimum count
// and repeated calls. Arbitrary texts are the string_parser fuzz target's job.
#include <gtest/gtest.h>

#include "AppMgr/StringParser.h"

namespace {

using Parts = std::vector<std::string>;

TEST(StringParser, SplitsKeepingEmptyComponentsAndPadsToTheMinimumCount) {
  const struct {
    std::string text;
    char delimiter;
    int minCount;
    Parts parts;
  } cases[] = {
      {"a,b,c", ',', 0, {"a", "b", "c"}},
      {"a,,b", ',', 0, {"a", "", "b"}},
      {"a,", ',', 0, {"a", ""}},
      {",a", ',', 0, {"", "a"}},
      {",", ',', 0, {"", ""}},
      {"", ',', 0, {}},
      {std::string("a\0b", 3), '\0', 0, {"a", "b"}},
      {"a,b", ',', 4, {"a", "b", "", ""}},
      {"a,b", ',', 1, {"a", "b"}},
      {"a,b", ',', -3, {"a", "b"}},
      {"", ',', 2, {"", ""}},
  };
  for (const auto& c : cases) {
    StringParser parser(c.text, c.delimiter);
    EXPECT_EQ(parser.getComponents(c.minCount), c.parts) << c.text << " " << c.minCount;
  }
}

TEST(StringParser, RepeatedCallsAppend) {
  StringParser parser("x;y", ';');
  parser.getComponents(0);
  EXPECT_EQ(parser.getComponents(3), (Parts{"x", "y", "x", "y", ""}));
}

}  // namespace
