// Token escaping: each character class that matters survives a round trip,
// and the decoder never reads past the end of a token.
#include <random>

#include <gtest/gtest.h>

#include "AppMgr/TokenEscape.h"

namespace {

std::string encode(std::string s) {
  return transform_string_encode(s, TransformStringFromSymbol, TransformStringToSymbol);
}
std::string decode(std::string s) {
  return transform_string_decode(s, TransformStringFromSymbol, TransformStringToSymbol);
}

TEST(TokenEscape, EachCharacterClassRoundTrips) {
  const std::pair<std::string, std::string> cases[] = {
      {"", "`"},     {"`", "``"},    {"``", "```"},      {"a b", "a+1b"},   {"a+b", "a+2b"},
      {"+1", "+21"}, {"x`y", "x`y"}, {"`x y", "``x+1y"}, {" + ", "+1+2+1"}, {"a\tb", "a\tb"},
  };
  for (const auto& [plain, encoded] : cases) {
    EXPECT_EQ(encode(plain), encoded) << plain;
    EXPECT_EQ(decode(encoded), plain) << plain;
  }
  std::mt19937 rng(20240611);
  for (int i = 0; i < 2000; ++i) {
    std::string plain(rng() % 9, ' ');
    for (char& c : plain) c = " +`12ab\t"[rng() % 8];
    EXPECT_EQ(decode(encode(plain)), plain);
  }
}

TEST(TokenEscape, PlusAtTheEndIsKeptAndNothingBeyondIsRead) {
  for (const auto& [encoded, plain] : {std::pair{"+", "+"}, {"a+", "a+"}, {"`+", "+"}, {"a+x", "a+"}}) {
    EXPECT_EQ(decode(encoded), plain) << encoded;
  }
}

}  // namespace
