// Token escaping: each character class that matters survives a round trip,
// and the decoder never reads past the end of a token.
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
  const struct {
    std::string plain;
    std::string encoded;
  } cases[] = {
      {"", "`"},         {"`", "``"},      {"``", "```"},   {"a b", "a+1b"},
      {"a+b", "a+2b"},   {"+1", "+21"},    {"x`y", "x`y"},  {"`x y", "``x+1y"},
      {" + ", "+1+2+1"}, {"a\tb", "a\tb"}, {"1 2", "1+12"}, {"/var/log+old", "/var/log+2old"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.plain);
    EXPECT_EQ(encode(c.plain), c.encoded);
    EXPECT_EQ(decode(c.encoded), c.plain);
  }
}

TEST(TokenEscape, PlusAtTheEndIsKeptAndNothingBeyondIsRead) {
  EXPECT_EQ(decode("+"), "+");
  EXPECT_EQ(decode("a+"), "a+");
  EXPECT_EQ(decode("`+"), "+");
  EXPECT_EQ(decode("a+x"), "a+");
}

}  // namespace
