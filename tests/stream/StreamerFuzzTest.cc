// Random and mutated incoming streams (fixed seed): the decoders never
// crash, never read past the input (it sits in an exact-size heap buffer
// read in place), and never build more entries than the input has
// characters for.
#include <cctype>
#include <istream>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "AppMgr/Streamer.h"

namespace {

// Reads an exact-size buffer in place, so that a read past it is a
// sanitizer error rather than a silent read of a copy's spare bytes.
class ExactBuffer : public std::streambuf {
 public:
  explicit ExactBuffer(std::vector<char>& bytes) {
    setg(bytes.data(), bytes.data(), bytes.data() + bytes.size());
  }
};

// Decodes text with one decoder. Every field read takes at least one
// non-blank character (a number may end inside a token, leaving the rest
// for the next field), so an entry of fieldsPerEntry fields after the count
// needs that many.
template <typename List>
void decodeAndCheck(const std::string& text, int (Streamer::*extract)(List&, std::istream&, std::string&),
                    size_t fieldsPerEntry) {
  size_t fields = 0;
  for (char c : text) fields += std::isspace(static_cast<unsigned char>(c)) ? 0 : 1;
  std::vector<char> bytes(text.begin(), text.end());
  ExactBuffer buffer(bytes);
  std::istream in(&buffer);
  List list;
  std::string error;
  Streamer streamer;
  const int result = (streamer.*extract)(list, in, error);
  EXPECT_TRUE(result == 0 || result == 0xC201) << text;
  EXPECT_EQ(result == 0, error.empty()) << text;
  EXPECT_LE(list.size() * fieldsPerEntry + (list.empty() ? 0 : 1), fields) << text;
  for (auto* entry : list) delete entry;
}

TEST(StreamerFuzzTest, RandomAndMutatedStreamsAreDecodedSafely) {
  std::mt19937 rng(20240611);
  const auto randomChar = [&] { return "0123456789 -+`\t\nabx"[rng() % 19]; };
  const auto randomText = [&](size_t maxLength) {
    std::string s(rng() % (maxLength + 1), ' ');
    for (char& c : s) c = randomChar();
    return s;
  };
  const std::string seed = "3 0 Log+1Level 1 2 0 0 A+2B 2 ``x+1y 0 0 Empty+1Prop 3 ` 0 ";
  for (int i = 0; i < 6000; ++i) {
    std::string text = i % 2 == 0 ? randomText(64) : seed;
    for (int edits = i % 2 == 0 ? 0 : 1 + rng() % 4; edits > 0 && !text.empty(); --edits) {
      const size_t at = rng() % text.size();
      switch (rng() % 3) {
        case 0:
          text.erase(at, 1 + rng() % 6);
          break;
        case 1:
          text.insert(at, randomText(6));
          break;
        default:
          text[at] = randomChar();
          break;
      }
    }
    decodeAndCheck(text, &Streamer::extractPropList, 5);
    decodeAndCheck(text, &Streamer::extractContentList, 1);
  }
}

}  // namespace
