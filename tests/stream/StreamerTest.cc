// The property and content list codec: the worked examples byte for byte,
// incoming streams that end early or hold the wrong kind of field; the
// property writer against the record path (the text PropertyTextWriter
// builds as the properties arrive equals what encodePropList writes for the
// records the listeners' callback builds); and the buffer-level fast paths
// against the formatted-operator paths (selected by showbase, which changes
// nothing for decimal numbers): random incoming streams with odd
// whitespace, signs, long and overflowing numbers, junk in number fields,
// early ends and counts the input cannot back, read from a string and
// through a stream buffer that hands out a few bytes at a time, and random
// outgoing lists. Both paths must give the same result, error text,
// entries, stream state and position, and the same bytes.
#include <algorithm>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AppMgr/Streamer.h"

#include "stream/PropListSupport.h"
#include "stream/PropertyTextWriter.h"

namespace {

// Decoded entries as "name/type/value/trailing;" and "[path]"; frees them.
std::string takeDecoded(Streamer::PropertyList& properties, Streamer::EntryList& entries) {
  std::string out;
  for (const ApplProperty* p : properties) {
    out += std::string(p->getName()) + "/" + std::to_string(p->getType()) + "/" + p->getValue() + "/" +
           std::to_string(p->getTrailing()) + ";";
    delete p;
  }
  for (std::string* s : entries) {
    out += "[" + *s + "]";
    delete s;
  }
  properties.clear();
  entries.clear();
  return out;
}

class StreamerTest : public ::testing::Test {
 protected:
  void TearDown() override {
    clearPropList(outgoing_);
    clearContentList(contents_);
    takeDecoded(incoming_, entries_);
  }

  int extract(bool props, const std::string& text) {
    std::istringstream in(text);
    return props ? streamer_.extractPropList(incoming_, in, error_)
                 : streamer_.extractContentList(entries_, in, error_);
  }

  Streamer streamer_;
  AppMgrPropsList outgoing_;
  AppMgrContentList contents_;
  Streamer::PropertyList incoming_;
  Streamer::EntryList entries_;
  std::string error_ = "untouched";
};

TEST_F(StreamerTest, WorkedExampleIsEncodedByteForByteAndDecodesBack) {
  std::ostringstream empty;
  streamer_.encodePropList(outgoing_, empty, error_);
  streamer_.encodeContentList(contents_, empty, error_);
  EXPECT_EQ(empty.str(), "0 0 ");
  appendProperty(outgoing_, "Log Level", 1, "2");
  appendProperty(outgoing_, "A+B", 2, "`x y");
  appendProperty(outgoing_, "Empty Prop", 3, "");
  appendContent(contents_, 0, "/data/my files");
  appendContent(contents_, 0, "/var/log+old");
  std::ostringstream props;
  std::ostringstream content;
  EXPECT_EQ(streamer_.encodePropList(outgoing_, props, error_), 0);
  EXPECT_EQ(streamer_.encodeContentList(contents_, content, error_), 0);
  EXPECT_EQ(props.str(), "3 0 Log+1Level 1 2 0 A+2B 2 ``x+1y 0 Empty+1Prop 3 ` ");
  EXPECT_EQ(content.str(), "2 /data/my+1files /var/log+2old ");
  EXPECT_EQ(extract(false, content.str()), 0);
  EXPECT_EQ(extract(false, "1 a\tb "), 0);  // other whitespace is not escaped and splits the token
  EXPECT_EQ(takeDecoded(incoming_, entries_), "[/data/my files][/var/log+old][a]");
  EXPECT_EQ(error_, "untouched");
}

TEST_F(StreamerTest, TypeIsWrittenFromItsLow32BitsAsSigned) {
  appendProperty(outgoing_, "a", 0xFFFFFFFFUL, "v");
  appendProperty(outgoing_, "b", 0x100000005UL, "v");
  appendProperty(outgoing_, "c", 0x80000000UL, "v");
  std::ostringstream out;
  streamer_.encodePropList(outgoing_, out, error_);
  EXPECT_EQ(out.str(), "3 0 a -1 v 0 b 5 v 0 c -2147483648 v ");
}

TEST_F(StreamerTest, DecodesAfterTheCallersFieldsIgnoringEachEntrysLeadingFieldAndAppends) {
  std::istringstream in("sc1 true 3 0 Log+1Level 1 2 7 42 A+2B 2 ``x+1y 0\n0 Empty+1Prop 3 ` -4 ");
  std::string name, flag;
  in >> name >> flag;
  ASSERT_EQ(streamer_.extractPropList(incoming_, in, error_), 0);
  ASSERT_EQ(extract(true, "2 18446744073709551615 c -1 d 0 0 e 2147483647 f 0"), 0);
  EXPECT_EQ(takeDecoded(incoming_, entries_),
            "Log Level/1/2/7;A+B/2/`x y/0;Empty Prop/3//-4;c/-1/d/0;e/2147483647/f/0;");
  EXPECT_EQ(error_, "untouched");
}

// Each decoder stops at the first unreadable field with the stage's message
// and keeps the entries before it; blank text is an empty list.
TEST_F(StreamerTest, MalformedStreamsStopAtTheFirstUnreadableField) {
  const struct {
    bool props;
    const char* error;
    const char* kept;
    std::vector<const char*> texts;
  } cases[] = {
      {true, "untouched", "", {"", "  \n\t "}},
      {false, "untouched", "", {"", "  \n\t "}},
      {true, "Error extracting property Count", "", {"many 0 a 1 b 0"}},
      {false, "Error extracting content Count", "", {"-x a", "99999999999999999999999 a"}},
      {true, "Error trying to extract property", "a/1/b/0;", {"18446744073709551615 0 a 1 b 0 0 c 2"}},
      {false, "Error trying to extract content", "[a][b]", {"-1 a b"}},  // huge count, short text
      {true, "Error trying to extract property", "", {"1 0 a 1 b", "1 0 a x b 0", "1 -x a 1 b 0"}},
      {true, "Error trying to extract property", "", {"1 0 a 4294967296 b 0", "1 0 a 1 b 2147483648"}},
  };
  for (const auto& c : cases) {
    for (const char* text : c.texts) {
      error_ = "untouched";
      const int expected = error_ == c.error ? 0 : 0xC201;
      EXPECT_EQ(extract(c.props, text), expected) << text;
      EXPECT_EQ(error_, c.error) << text;
      EXPECT_EQ(takeDecoded(incoming_, entries_), c.kept) << text;
    }
  }
}

struct Property {
  std::string name;
  unsigned long type;
  std::string value;
};

std::string recordPath(const std::vector<Property>& properties) {
  AppMgrPropsList list;
  for (const Property& p : properties) appendProperty(list, p.name, p.type, p.value);
  std::ostringstream out;
  std::string errorText;
  Streamer().encodePropList(list, out, errorText);
  clearPropList(list);
  return out.str();
}

std::string writerPath(const std::vector<Property>& properties) {
  PropertyTextWriter writer;
  for (const Property& p : properties) writer.getPropertiesCallback(p.name, p.type, p.value, 7);
  std::ostringstream out;
  writer.writeTo(out);
  EXPECT_EQ(writer.count(), properties.size());
  return out.str();
}

TEST(PropertyTextWriter, WritesWhatTheRecordPathWrites) {
  std::vector<Property> many;
  for (int i = 0; i < 300; ++i) {
    many.push_back(
        {"Property " + std::to_string(i), static_cast<unsigned long>(i), std::string(i % 40, '+')});
  }
  const std::vector<std::vector<Property>> cases = {
      {},
      {{"", 0, ""}},
      {{"Log Level", 1, "2"}, {"A+B", 2, "`x y"}, {"Empty Prop", 3, ""}},
      {{"`", 0xFFFFFFFFul, "``"}, {"tab\there", 0x100000005ul, "+1"}, {"x`y", 0x80000000ul, " "}},
      // A record's text ends at its first NUL character.
      {{std::string("cut\0name", 8), 4, std::string("a\0b c", 5)}, {std::string(1, '\0'), 5, "v"}},
      // Longer than the writer's first block, and than any stack buffer.
      {{"long", 6, std::string(10000, ' ')}, {std::string(5000, 'n'), 7, std::string(3000, '+')}},
      many,
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE("case " + std::to_string(i));
    EXPECT_EQ(writerPath(cases[i]), recordPath(cases[i]));
  }
}

// Serves a text through a get area of at most `chunk` bytes, so that fields
// straddle the end of the get area.
class ChunkedBuf : public std::streambuf {
 public:
  ChunkedBuf(std::string text, size_t chunk) : text_(std::move(text)), chunk_(chunk) {}

 protected:
  int_type underflow() override {
    if (pos_ >= text_.size()) return traits_type::eof();
    const size_t n = std::min(chunk_, text_.size() - pos_);
    char* base = &text_[pos_];
    setg(base, base, base + n);
    pos_ += n;
    return traits_type::to_int_type(*base);
  }

 private:
  std::string text_;
  size_t chunk_;
  size_t pos_ = 0;
};

struct Outcome {
  int result = 0;
  std::string error;
  std::string entries;
  std::ios_base::iostate state = std::ios_base::goodbit;
  std::string rest;  // what the stream still holds

  bool operator==(const Outcome& o) const {
    return result == o.result && error == o.error && entries == o.entries && state == o.state &&
           rest == o.rest;
  }
};

std::ostream& operator<<(std::ostream& os, const Outcome& o) {
  return os << "result " << o.result << " error [" << o.error << "] entries [" << o.entries << "] state "
            << o.state << " rest [" << o.rest << "]";
}

Outcome decode(bool props, const std::string& text, bool plain, size_t chunk) {
  ChunkedBuf chunked(text, chunk);
  std::istringstream whole(text);
  std::istream in(chunk > 0 ? static_cast<std::streambuf*>(&chunked) : whole.rdbuf());
  if (plain) in.setf(std::ios_base::showbase);
  Streamer streamer;
  Outcome o;
  o.error = "untouched";
  Streamer::PropertyList properties;
  Streamer::EntryList entries;
  o.result = props ? streamer.extractPropList(properties, in, o.error)
                   : streamer.extractContentList(entries, in, o.error);
  o.entries = takeDecoded(properties, entries);
  o.state = in.rdstate();
  in.clear();
  o.rest.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return o;
}

// A random field: mostly plain numbers and tokens, sometimes one of the
// forms that the fast path must leave to the formatted operators.
std::string randomField(std::mt19937& rng, bool number) {
  static const char kOdd[] =
      "+7 -3 - + 0000000000012 99999999999 2147483648 -2147483649 18446744073709551616 12abc abc 0x1F ` ``x "
      "a+1b a+2 \xc3\xa9t\xc3\xa9";
  if (rng() % 8 == 0) {
    std::istringstream odd(kOdd);
    std::string field;
    for (unsigned k = rng() % 17; odd >> field && k > 0;) --k;
    return field;
  }
  if (number) return std::to_string(rng() % 100000);
  static const char kChars[] = "abcXYZ09+1`_/.-\xc3\xa9\x08\x0e\x1f!";
  std::string token;
  // Mostly short; some long enough for the sixteen-byte token scan.
  const int length = 1 + static_cast<int>(rng() % 4 == 0 ? rng() % 45 : rng() % 12);
  for (int i = 0; i < length; ++i) token += kChars[rng() % (sizeof kChars - 1)];
  return token;
}

std::string randomSpace(std::mt19937& rng) {
  static const char* kSpaces[] = {" ", " ", " ", "  ", "\t", "\n", " \r\n", "\v\f"};
  return kSpaces[rng() % 8];
}

std::string randomIncoming(std::mt19937& rng, bool props) {
  const int entries = static_cast<int>(rng() % 6);
  std::string text = rng() % 4 == 0 ? randomSpace(rng) : "";
  text += rng() % 10 == 0 ? randomField(rng, true) : std::to_string(entries + (rng() % 5 == 0 ? 1 : 0));
  for (int e = 0; e < entries; ++e) {
    const int fields = props ? 5 : 1;
    for (int f = 0; f < fields; ++f) {
      text += randomSpace(rng);
      text += randomField(rng, props && (f == 0 || f == 2 || f == 4));
    }
  }
  if (rng() % 2 == 0) text += randomSpace(rng);
  if (rng() % 4 == 0) text += "tail";
  if (rng() % 6 == 0 && !text.empty()) text.resize(rng() % text.size());
  return text;
}

TEST(StreamerFastPath, DecodingMatchesTheFormattedOperators) {
  std::mt19937 rng(777);
  for (int i = 0; i < 40000; ++i) {
    const bool props = i % 2 == 0;
    const std::string text = randomIncoming(rng, props);
    const size_t chunk = i % 3 == 0 ? 1 + rng() % 9 : 0;
    const Outcome fast = decode(props, text, false, chunk);
    const Outcome plain = decode(props, text, true, chunk);
    ASSERT_EQ(fast, plain) << "text [" << text << "] chunk " << chunk;
  }
}

// Accepts `limit` bytes, then refuses every write.
class LimitedBuf : public std::streambuf {
 public:
  explicit LimitedBuf(size_t limit) : limit_(limit) {}
  const std::string& text() const { return text_; }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    if (text_.size() >= limit_) return traits_type::eof();
    text_ += traits_type::to_char_type(c);
    return c;
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    const size_t take = std::min(static_cast<size_t>(n), limit_ - text_.size());
    text_.append(s, take);
    return static_cast<std::streamsize>(take);
  }

 private:
  size_t limit_;
  std::string text_;
};

// Random lists with every escape case, null names and paths, types beyond 32
// bits, and texts that cross the sixteen-byte scan in every position and
// outgrow the encoder's block buffer, written whole or into a stream that
// stops taking bytes part way: both paths write the same bytes and end in
// the same state, without an error text.
TEST(StreamerFastPath, EncodingMatchesTheFormattedOperators) {
  std::mt19937 rng(4242);
  const auto randomText = [&rng]() -> std::string {
    static const char* kTexts[] = {"", "`", "``", "a b", "a+b", " ", "+", "`x y+", "plain", "tab\there"};
    static const size_t kLengths[] = {15, 16, 17, 31, 33, 100, 2047, 4096, 9000};
    if (rng() % 3 != 0) return kTexts[rng() % 10];
    std::string text(kLengths[rng() % 9] + rng() % 3, 'q');
    const unsigned density = 1 + rng() % 20;
    for (char& c : text) c = rng() % density == 0 ? " +`"[rng() % 3] : static_cast<char>('a' + rng() % 26);
    return text;
  };
  for (int i = 0; i < 3000; ++i) {
    AppMgrPropsList props;
    AppMgrContentList contents;
    const int n = static_cast<int>(rng() % 6);
    for (int k = 0; k < n; ++k) {
      const unsigned long type = rng() % 3 == 0 ? 0xFFFFFFFF00000000ul | rng() : rng() % 100;
      appendProperty(props, randomText(), type, randomText());
      appendContent(contents, type, randomText());
    }
    if (n > 0 && rng() % 4 == 0) {
      delete[] props.front()->name;
      props.front()->name = nullptr;
      delete[] contents.front()->path;
      contents.front()->path = nullptr;
    }
    Streamer streamer;
    std::string error = "untouched";
    std::ostringstream whole;
    whole.setf(std::ios_base::showbase);
    streamer.encodePropList(props, whole, error);
    streamer.encodeContentList(contents, whole, error);
    const size_t limit = i % 2 == 0 ? std::string::npos : rng() % (whole.str().size() + 1);
    LimitedBuf fastBuf(limit);
    LimitedBuf plainBuf(limit);
    std::ostream fast(&fastBuf);
    std::ostream plain(&plainBuf);
    plain.setf(std::ios_base::showbase);
    for (std::ostream* out : {&fast, &plain}) {
      streamer.encodePropList(props, *out, error);
      streamer.encodeContentList(contents, *out, error);
    }
    ASSERT_EQ(fastBuf.text(), plainBuf.text()) << "limit " << limit;
    EXPECT_EQ(fast.rdstate(), plain.rdstate()) << "limit " << limit;
    if (i % 2 == 0) {
      EXPECT_EQ(fastBuf.text(), whole.str());
    }
    EXPECT_EQ(error, "untouched");
    clearPropList(props);
    clearContentList(contents);
  }
}

}  // namespace
