// Property and content list codec: the worked examples byte for byte, and
// incoming streams that end early or hold the wrong kind of field.
#include <sstream>
#include <vector>

#include <gtest/gtest.h>

#include "AppMgr/Streamer.h"

#include "stream/PropListSupport.h"

namespace {

class StreamerTest : public ::testing::Test {
 protected:
  void TearDown() override {
    clearPropList(outgoing_);
    clearContentList(contents_);
    clearIncoming();
  }
  void clearIncoming() {
    for (const ApplProperty* p : incoming_) delete p;
    for (std::string* s : entries_) delete s;
    incoming_.clear();
    entries_.clear();
  }

  int extract(bool props, const std::string& text) {
    std::istringstream in(text);
    return props ? streamer_.extractPropList(incoming_, in, error_)
                 : streamer_.extractContentList(entries_, in, error_);
  }
  // The decoded entries as "name/type/value/trailing;" and "[path]".
  std::string decoded() const {
    std::string out;
    for (const ApplProperty* p : incoming_) {
      out += std::string(p->getName()) + "/" + std::to_string(p->getType()) + "/" + p->getValue() + "/" +
             std::to_string(p->getTrailing()) + ";";
    }
    for (const std::string* s : entries_) out += "[" + *s + "]";
    return out;
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
  EXPECT_EQ(decoded(), "[/data/my files][/var/log+old][a]");
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
  EXPECT_EQ(decoded(), "Log Level/1/2/7;A+B/2/`x y/0;Empty Prop/3//-4;c/-1/d/0;e/2147483647/f/0;");
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
      EXPECT_EQ(decoded(), c.kept) << text;
      clearIncoming();
    }
  }
}

}  // namespace
