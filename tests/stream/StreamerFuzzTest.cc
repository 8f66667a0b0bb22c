// Random and mutated incoming streams (fixed seed): the decoders never
// crash, never read past the input (it sits in an exact-size heap buffer
// read in place), and never build more entries than the input has
// characters for. Random lists round-trip through escaping and decoding.
#include <cctype>
#include <istream>
#include <random>
#include <sstream>
#include <vector>

#include <gtest/gtest.h>

#include "AppMgr/Streamer.h"
#include "AppMgr/TokenEscape.h"

namespace {

// Reads an exact-size buffer in place, so that a read past it is a
// sanitizer error rather than a silent read of a copy's spare bytes.
class ExactBuffer : public std::streambuf {
 public:
  explicit ExactBuffer(std::vector<char>& bytes) {
    setg(bytes.data(), bytes.data(), bytes.data() + bytes.size());
  }
};

// Every field read takes at least one non-blank character (a number may end
// inside a token, leaving the rest for the next field).
size_t fieldCapacity(const std::string& text) {
  size_t count = 0;
  for (char c : text) count += std::isspace(static_cast<unsigned char>(c)) ? 0 : 1;
  return count;
}

class StreamerFuzzTest : public ::testing::Test {
 protected:
  char randomChar() {
    static const char kAlphabet[] = "0123456789 -+`\t\nabx";
    return kAlphabet[rng_() % (sizeof kAlphabet - 1)];
  }
  std::string randomText(size_t maxLength) {
    std::string s(rng_() % (maxLength + 1), ' ');
    for (char& c : s) c = randomChar();
    return s;
  }

  // Decodes text both ways and checks what the decoders may produce.
  void decodeAndCheck(const std::string& text) {
    const size_t fields = fieldCapacity(text);
    std::vector<char> bytes(text.begin(), text.end());
    ExactBuffer propBuffer(bytes);
    std::istream propIn(&propBuffer);
    Streamer::PropertyList props;
    std::string error;
    const int propResult = streamer_.extractPropList(props, propIn, error);
    EXPECT_TRUE(propResult == 0 || propResult == 0xC201) << text;
    EXPECT_LE(props.size() * 5 + (props.empty() ? 0 : 1), fields) << text;
    EXPECT_EQ(propResult == 0, error.empty()) << text;
    for (const ApplProperty* p : props) delete p;

    ExactBuffer contentBuffer(bytes);
    std::istream contentIn(&contentBuffer);
    Streamer::EntryList entries;
    error.clear();
    const int contentResult = streamer_.extractContentList(entries, contentIn, error);
    EXPECT_TRUE(contentResult == 0 || contentResult == 0xC201) << text;
    EXPECT_LE(entries.size() + (entries.empty() ? 0 : 1), fields) << text;
    EXPECT_EQ(contentResult == 0, error.empty()) << text;
    for (std::string* s : entries) delete s;
  }

  std::mt19937 rng_{20240611};
  Streamer streamer_;
};

TEST_F(StreamerFuzzTest, RandomStreamsAreDecodedSafely) {
  for (int i = 0; i < 3000; ++i) decodeAndCheck(randomText(64));
}

TEST_F(StreamerFuzzTest, MutatedValidStreamsAreDecodedSafely) {
  const std::string seed = "3 0 Log+1Level 1 2 0 0 A+2B 2 ``x+1y 0 0 Empty+1Prop 3 ` 0 ";
  for (int i = 0; i < 3000; ++i) {
    std::string text = seed;
    for (int edits = 1 + rng_() % 4; edits > 0 && !text.empty(); --edits) {
      const size_t at = rng_() % text.size();
      switch (rng_() % 3) {
        case 0:
          text.erase(at, 1 + rng_() % 6);
          break;
        case 1:
          text.insert(at, randomText(6));
          break;
        default:
          text[at] = randomChar();
          break;
      }
    }
    decodeAndCheck(text);
  }
}

TEST_F(StreamerFuzzTest, RandomListsRoundTrip) {
  for (int i = 0; i < 500; ++i) {
    std::vector<std::string> names;
    std::ostringstream out;
    const size_t count = rng_() % 5;
    out << count << ' ';
    for (size_t n = 0; n < count; ++n) {
      std::string name = randomText(8);
      for (char& c : name) c = (c == '\t' || c == '\n') ? ' ' : c;  // the escaping keeps only spaces
      names.push_back(name);
      std::string token = name;
      out << n << ' ' << transform_string_encode(token, ' ', '+') << " -7 " << token << " 1 ";
    }
    std::istringstream in(out.str());
    Streamer::PropertyList props;
    std::string error;
    ASSERT_EQ(streamer_.extractPropList(props, in, error), 0) << out.str();
    ASSERT_EQ(props.size(), count);
    auto expected = names.begin();
    for (const ApplProperty* p : props) {
      EXPECT_EQ(p->getName(), *expected);
      EXPECT_EQ(p->getValue(), *expected++);
      delete p;
    }
  }
}

}  // namespace
