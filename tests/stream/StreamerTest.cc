// Property and content list codec: the worked examples byte for byte, and
// incoming streams that end early or hold the wrong kind of field.
#include <sstream>

#include <gtest/gtest.h>

#include "AppMgr/Streamer.h"

#include "stream/PropListSupport.h"

namespace {

constexpr int kStreamError = 0xC201;

class StreamerTest : public ::testing::Test {
 protected:
  void TearDown() override {
    clearPropList(outgoing_);
    clearContentList(contents_);
    for (const ApplProperty* p : incoming_) delete p;
    for (std::string* s : entries_) delete s;
  }

  int extractProps(const std::string& text) {
    std::istringstream in(text);
    return streamer_.extractPropList(incoming_, in, error_);
  }
  int extractContent(const std::string& text) {
    std::istringstream in(text);
    return streamer_.extractContentList(entries_, in, error_);
  }

  Streamer streamer_;
  AppMgrPropsList outgoing_;
  AppMgrContentList contents_;
  Streamer::PropertyList incoming_;
  Streamer::EntryList entries_;
  std::string error_ = "untouched";
};

TEST_F(StreamerTest, EncodesWorkedExampleByteForByte) {
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

TEST_F(StreamerTest, DecodesWorkedExampleAfterTheCallersHeaderFields) {
  std::istringstream in("sc1 true 3 0 Log+1Level 1 2 7 0 A+2B 2 ``x+1y 0\n0 Empty+1Prop 3 ` -4 ");
  std::string name, flag;
  in >> name >> flag;
  ASSERT_EQ(streamer_.extractPropList(incoming_, in, error_), 0);
  ASSERT_EQ(incoming_.size(), 3u);
  auto it = incoming_.begin();
  EXPECT_STREQ((*it)->getName(), "Log Level");
  EXPECT_EQ((*it)->getTrailing(), 7);
  ++it;
  EXPECT_STREQ((*it)->getName(), "A+B");
  EXPECT_STREQ((*it)->getValue(), "`x y");
  ++it;
  EXPECT_EQ((*it)->getType(), 3);
  EXPECT_STREQ((*it)->getValue(), "");
  EXPECT_EQ((*it)->getTrailing(), -4);
  EXPECT_EQ(error_, "untouched");
}

TEST_F(StreamerTest, AppendsToTheListAndIgnoresTheLeadingField) {
  ASSERT_EQ(extractProps("1 42 a -1 b 0"), 0);
  ASSERT_EQ(extractProps("1 18446744073709551615 c 2147483647 d 0"), 0);
  ASSERT_EQ(incoming_.size(), 2u);
  EXPECT_EQ(incoming_.front()->getType(), -1);
  EXPECT_EQ(incoming_.back()->getType(), 2147483647);
}

TEST_F(StreamerTest, ContentRoundTripsThroughTheEncoder) {
  for (const char* path : {"", "`", "/a b+c", "``x", "+1"}) appendContent(contents_, 0, path);
  std::ostringstream out;
  streamer_.encodeContentList(contents_, out, error_);
  ASSERT_EQ(extractContent(out.str()), 0);
  ASSERT_EQ(entries_.size(), 5u);
  auto it = entries_.begin();
  for (const AppMgrContent* record : contents_) EXPECT_EQ(**it++, record->path);
}

TEST_F(StreamerTest, OtherWhitespaceInsideATokenSplitsIt) {
  appendContent(contents_, 0, "a\tb");
  std::ostringstream out;
  streamer_.encodeContentList(contents_, out, error_);
  EXPECT_EQ(out.str(), "1 a\tb ");
  EXPECT_EQ(extractContent(out.str()), 0);
  ASSERT_EQ(entries_.size(), 1u);
  EXPECT_EQ(*entries_.front(), "a");
}

using StreamerMalformedInput = StreamerTest;

TEST_F(StreamerMalformedInput, BlankTextIsAnEmptyListWithoutError) {
  for (const char* text : {"", "  \n\t "}) {
    EXPECT_EQ(extractProps(text), 0);
    EXPECT_EQ(extractContent(text), 0);
  }
  EXPECT_TRUE(incoming_.empty());
  EXPECT_TRUE(entries_.empty());
  EXPECT_EQ(error_, "untouched");
}

TEST_F(StreamerMalformedInput, UnreadableCountIsReported) {
  EXPECT_EQ(extractProps("many 0 a 1 b 0"), kStreamError);
  EXPECT_EQ(error_, "Error extracting property Count");
  EXPECT_EQ(extractContent("-x a"), kStreamError);
  EXPECT_EQ(error_, "Error extracting content Count");
  EXPECT_EQ(extractContent("99999999999999999999999 a"), kStreamError);
  EXPECT_TRUE(incoming_.empty());
  EXPECT_TRUE(entries_.empty());
}

TEST_F(StreamerMalformedInput, HugeCountOverShortTextStopsAtTheFirstMissingField) {
  EXPECT_EQ(extractProps("18446744073709551615 0 a 1 b 0 0 c 2"), kStreamError);
  EXPECT_EQ(error_, "Error trying to extract property");
  ASSERT_EQ(incoming_.size(), 1u);
  EXPECT_EQ(extractContent("-1 a b"), kStreamError);
  EXPECT_EQ(error_, "Error trying to extract content");
  EXPECT_EQ(entries_.size(), 2u);
}

TEST_F(StreamerMalformedInput, EntryWithABadFieldIsNotAppended) {
  for (const char* text :
       {"1 0 a 1 b", "1 0 a x b 0", "1 0 a 4294967296 b 0", "1 0 a 1 b 2147483648", "1 -x a 1 b 0"}) {
    SCOPED_TRACE(text);
    error_.clear();
    EXPECT_EQ(extractProps(text), kStreamError);
    EXPECT_EQ(error_, "Error trying to extract property");
  }
  EXPECT_TRUE(incoming_.empty());
}

}  // namespace
