// Splitting at a delimiter: the listed shapes, repeated calls, and the
// single-pass split checked against a search for the i-th delimiter from the
// start of the text for each component.
#include <algorithm>
#include <random>

#include <gtest/gtest.h>

#include "AppMgr/StringParser.h"

namespace {

using Parts = std::vector<std::string>;

// Searches for the i-th delimiter from the start for component i.
Parts rescanningSplit(const std::string& text, char delimiter, int minCount, Parts list) {
  int i = 0;
  auto prev = text.begin();
  while (prev != text.end()) {
    ++i;
    const auto cur = std::find_if(text.begin(), text.end(), NthDelimiter(i, delimiter));
    list.emplace_back(i == 1 ? prev : prev + 1, cur);
    prev = cur;
  }
  if (minCount != 0 && i < minCount) list.resize(list.size() + (minCount - i));
  return list;
}

Parts split(const std::string& text, char delimiter, int minCount) {
  StringParser parser(text, delimiter);
  return parser.getComponents(minCount);
}

}  // namespace

TEST(StringParser, SplitsKeepingEmptyComponents) {
  EXPECT_EQ(split("a,b,c", ',', 0), (Parts{"a", "b", "c"}));
  EXPECT_EQ(split("a,,b", ',', 0), (Parts{"a", "", "b"}));
  EXPECT_EQ(split("a,", ',', 0), (Parts{"a", ""}));
  EXPECT_EQ(split(",a", ',', 0), (Parts{"", "a"}));
  EXPECT_EQ(split(",", ',', 0), (Parts{"", ""}));
  EXPECT_EQ(split("", ',', 0), Parts{});
  EXPECT_EQ(split(std::string("a\0b", 3), '\0', 0), (Parts{"a", "b"}));
}

TEST(StringParser, MinCountPadsAndRepeatedCallsAppend) {
  EXPECT_EQ(split("a,b", ',', 4), (Parts{"a", "b", "", ""}));
  EXPECT_EQ(split("a,b", ',', 1), (Parts{"a", "b"}));
  EXPECT_EQ(split("a,b", ',', -3), (Parts{"a", "b"}));
  EXPECT_EQ(split("", ',', 2), (Parts{"", ""}));
  StringParser parser("x;y", ';');
  parser.getComponents(0);
  EXPECT_EQ(parser.getComponents(0), (Parts{"x", "y", "x", "y"}));
}

TEST(StringParser, SinglePassMatchesRescanningOnRandomTexts) {
  std::mt19937 rng(20240611);
  const char alphabet[] = {'a', 'b', ',', ';', '\0', '\xff'};
  const char delimiters[] = {',', ';', '\0'};
  for (int round = 0; round < 4000; ++round) {
    std::string text(rng() % 14, ' ');
    for (char& c : text) c = alphabet[rng() % sizeof alphabet];
    const char delimiter = delimiters[rng() % sizeof delimiters];
    const int first = static_cast<int>(rng() % 9) - 1;
    const int second = static_cast<int>(rng() % 9) - 1;

    StringParser parser(text, delimiter);
    parser.getComponents(first);
    const Parts expected =
        rescanningSplit(text, delimiter, second, rescanningSplit(text, delimiter, first, {}));
    ASSERT_EQ(parser.getComponents(second), expected)
        << "text of " << text.size() << " bytes, round " << round;
  }
}
