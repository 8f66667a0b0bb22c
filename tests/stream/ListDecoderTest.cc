// The in-place list decoder against the stream decoders: every text, as a
// property list and as a content list, gives the same entries, result and
// error text, and leaves the same numbers to read after the list.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AppMgr/Streamer.h"

#include "stream/ListDecoder.h"

namespace {

// The entries, then the result and error text, then the numbers after the list.
using Decoded = std::vector<std::string>;

std::string property(std::string_view name, int type, std::string_view value, int trailing) {
  return std::string(name) + "|" + std::to_string(type) + "|" + std::string(value) + "|" +
         std::to_string(trailing);
}

template <typename Read>
void finish(Decoded& d, int result, const std::string& error, Read read) {
  d.push_back(std::to_string(result) + " " + error);
  int n = 0;
  for (int i = 0; i < 4 && result == 0 && read(n); ++i) d.push_back("rest " + std::to_string(n));
}

Decoded viaStream(const std::string& text, bool props) {
  std::istringstream in(text);
  Streamer streamer;
  Decoded d;
  std::string error;
  int result = 0;
  if (props) {
    Streamer::PropertyList list;
    result = streamer.extractPropList(list, in, error);
    for (const ApplProperty* p : list) {
      d.push_back(property(p->getName(), p->getType(), p->getValue(), p->getTrailing()));
      delete p;
    }
  } else {
    Streamer::EntryList list;
    result = streamer.extractContentList(list, in, error);
    for (std::string* s : list) {
      d.push_back(*s);
      delete s;
    }
  }
  finish(d, result, error, [&](int& n) { return static_cast<bool>(in >> n); });
  return d;
}

Decoded inPlace(const std::string& text, bool props) {
  ListDecoder decoder(text);
  Decoded d;
  std::string error;
  const int result =
      props ? decoder.properties(
                  [&](std::string_view name, int type, std::string_view value, int trailing) {
                    // As the handlers store it: texts up to a NUL byte.
                    const ApplProperty p(std::string(name), type, std::string(value), trailing);
                    d.push_back(property(p.getName(), p.getType(), p.getValue(), p.getTrailing()));
                  },
                  error)
            : decoder.contents([&](std::string_view path) { d.emplace_back(path); }, error);
  finish(d, result, error, [&](int& n) { return decoder.number(n); });
  return d;
}

void expectSame(const std::string& text) {
  EXPECT_EQ(inPlace(text, true), viaStream(text, true)) << "properties of \"" << text << '"';
  EXPECT_EQ(inPlace(text, false), viaStream(text, false)) << "contents of \"" << text << '"';
}

TEST(ListDecoderTest, DecodesAsTheStreamDecoders) {
  using namespace std::string_literals;
  const std::string texts[] = {
      "", " \t\n", "0", "0 7 -8", "x", "-", "+ 1", "3abc d e f", "1", "2 a b",
      // plain and escaped tokens, whitespace of every kind, bytes above 127
      "1 0 name 5 value 0 9", "2 0 a+b 1 ` 2 0 `x c+ -3 +d+ 4 12", "1\t0\na\v1\fb\r0\n",
      "1 0 \xc3\xa9 1 \xff 0", "1 0 a\0b 1 c 0 5"s, "2 p+q `` r+",
      // numbers: signs, limits, digits running into other bytes
      "+1 0 a 1 b 2", "-1 0 a 1 b 2", "1 0 a 2147483647 b -2147483648 3", "1 0 a 2147483648 b 0",
      "1 0 a 1 b -2147483649", "1 18446744073709551615 a 1 b 0", "1 18446744073709551616 a 1 b 0",
      "1 -18446744073709551615 a 1 b 0", "18446744073709551616 a", "1 0 a 12x b 0", "1 0 a 1 b 0x7",
      "1 007 a -0 b +0 00", "1 0 a 1 b", "1 0 a 1 b 1.5", "1 0 a - b 0", "2 0 a 1 b 0 0 c"};
  for (const std::string& text : texts) expectSame(text);
}

// The fuzzer's inputs of the stream decoders, arbitrary bytes.
TEST(ListDecoderTest, DecodesTheFuzzCorpusAsTheStreamDecoders) {
  int files = 0;
  for (const auto& entry :
       std::filesystem::directory_iterator(APPMGR_SOURCE_DIR "/fuzz/corpus/stream_decode")) {
    std::ifstream file(entry.path(), std::ios::binary);
    expectSame(std::string(std::istreambuf_iterator<char>(file), {}));
    ++files;
  }
  EXPECT_GT(files, 100);
}

}  // namespace
