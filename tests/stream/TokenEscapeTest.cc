// Token escaping: each character class that matters survives a round trip,
// the decoder never reads past the end of a token, and the sixteen-byte
// scanning encoder writes exactly what the byte-at-a-time one writes.
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AppMgr/TokenEscape.h"

#include "util/TokenCodec.h"

namespace {

std::string encode(std::string s) {
  return transform_string_encode(s, TransformStringFromSymbol, TransformStringToSymbol);
}
std::string decode(std::string s) {
  return transform_string_decode(s, TransformStringFromSymbol, TransformStringToSymbol);
}

TEST(TokenEscape, EachCharacterClassRoundTripsAndAPlusAtTheEndIsKept) {
  const std::pair<std::string, std::string> cases[] = {
      {"", "`"},     {"`", "``"},    {"``", "```"},      {"a b", "a+1b"},   {"a+b", "a+2b"},
      {"+1", "+21"}, {"x`y", "x`y"}, {"`x y", "``x+1y"}, {" + ", "+1+2+1"}, {"a\tb", "a\tb"},
  };
  for (const auto& [plain, encoded] : cases) {
    EXPECT_EQ(encode(plain), encoded) << plain;
    EXPECT_EQ(decode(encoded), plain) << plain;
  }
  // A plus at the end is kept, and nothing beyond the token is read.
  for (const auto& [encoded, plain] : {std::pair{"+", "+"}, {"a+", "a+"}, {"`+", "+"}, {"a+x", "a+"}}) {
    EXPECT_EQ(decode(encoded), plain) << encoded;
  }
}

// Both encoders on one input, each into its own buffer of the room that
// maxEncodedLength promises (a write past it is caught by the sanitizer
// build); the text itself never takes more than 2 * length + 1 bytes.
void expectSameEncoding(const std::string& text) {
  const size_t room = maxEncodedLength(text.size());
  std::vector<char> fast(room);
  std::vector<char> plain(room);
  const size_t fastLength =
      static_cast<size_t>(putEncodedToken(fast.data(), text.data(), text.size()) - fast.data());
  const size_t plainLength =
      static_cast<size_t>(putEncodedTokenScalar(plain.data(), text.data(), text.size()) - plain.data());
  ASSERT_EQ(std::string(fast.data(), fastLength), std::string(plain.data(), plainLength))
      << "[" << text << "]";
}

TEST(TokenEscape, ScanningEncoderMatchesTheByteLoop) {
  expectSameEncoding("");
  // Every input of one and two bytes.
  for (int a = 0; a < 256; ++a) {
    expectSameEncoding(std::string(1, static_cast<char>(a)));
    for (int b = 0; b < 256; ++b) expectSameEncoding({static_cast<char>(a), static_cast<char>(b)});
  }
  // Random texts around and across the sixteen-byte blocks, dense and
  // sparse in escapes.
  const std::string alphabet = " +`";
  std::mt19937 rng(1601);
  for (int i = 0; i < 20000; ++i) {
    std::string text(rng() % 70, 'x');
    const unsigned density = 1 + rng() % 16;
    for (char& c : text) c = rng() % density == 0 ? alphabet[rng() % 3] : static_cast<char>(rng());
    expectSameEncoding(text);
  }
  std::string longText(100000, 'p');
  for (size_t i = 0; i < longText.size(); i += 1 + rng() % 300) longText[i] = alphabet[rng() % 3];
  expectSameEncoding(longText);
}

}  // namespace
