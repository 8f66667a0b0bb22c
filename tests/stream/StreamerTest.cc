// The property and content list codec: the worked examples byte for byte,
// fields that the buffer-level fast path reads and fields it leaves to the
// formatted operators, incoming streams that end early or hold the wrong
// kind of field, and the property writer against the record path (the text
// PropertyTextWriter builds as the properties arrive equals what
// encodePropList writes for the records the listeners' callback builds).
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

// The fast encoder against the formatted operators (chosen by showbase,
// which changes nothing for decimal numbers): escapes, a null name, a type
// beyond 32 bits and texts longer than the encoder's block buffer.
TEST_F(StreamerTest, FastEncodingWritesWhatTheFormattedOperatorsWrite) {
  appendProperty(outgoing_, "a b", 0xFFFFFFFF00000007ul, "`x+");
  appendProperty(outgoing_, std::string(5000, '+'), 3, std::string(9000, ' '));
  appendProperty(outgoing_, "null", 1, "");
  delete[] outgoing_.back()->name;
  outgoing_.back()->name = nullptr;
  appendContent(contents_, 0, std::string(20000, '`'));
  appendContent(contents_, 0, "p q");
  std::ostringstream fast, plain;
  plain.setf(std::ios_base::showbase);
  for (std::ostream* out : {static_cast<std::ostream*>(&fast), static_cast<std::ostream*>(&plain)}) {
    streamer_.encodePropList(outgoing_, *out, error_);
    streamer_.encodeContentList(contents_, *out, error_);
  }
  EXPECT_EQ(fast.str(), plain.str());
  EXPECT_EQ(fast.str().size(), 48040u);
  EXPECT_EQ(error_, "untouched");
}

TEST_F(StreamerTest, DecodesAfterTheCallersFieldsIgnoringEachEntrysLeadingFieldAndAppends) {
  std::istringstream in("sc1 true 3 0 Log+1Level 1 2 7 42 A+2B 2 ``x+1y 0\n0 Empty+1Prop 3 ` -4 ");
  std::string name, flag;
  in >> name >> flag;
  ASSERT_EQ(streamer_.extractPropList(incoming_, in, error_), 0);
  // The last two entries are plain fields that the fast path reads in place:
  // escapes in short and in long (block-scanned) tokens, and the empty value.
  ASSERT_EQ(extract(true,
                    "4 18446744073709551615 c -1 d 0 0 e 2147483647 f 0 "
                    "5 ``g 4 ` 1 6 long+1name+2in+1many+1bytes 8 ``0123456789abcdefgh 2 "),
            0);
  EXPECT_EQ(takeDecoded(incoming_, entries_),
            "Log Level/1/2/7;A+B/2/`x y/0;Empty Prop/3//-4;c/-1/d/0;e/2147483647/f/0;`g/4//1;"
            "long name+in many bytes/8/`0123456789abcdefgh/2;");
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
      {true, "Error trying to extract property", "", {"1 0 a 4294967296 b 0 ", "1 0 a 1 b 2147483648 "}},
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

TEST(PropertyTextWriter, WritesWhatTheRecordPathWrites) {
  std::vector<Property> many(300, {"Property", 8, "v+1"});
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
    AppMgrPropsList records;
    PropertyTextWriter writer;
    for (const Property& p : cases[i]) {
      appendProperty(records, p.name, p.type, p.value);
      writer.getPropertiesCallback(p.name, p.type, p.value, 7);
    }
    std::ostringstream recordPath, writerPath;
    std::string errorText;
    Streamer().encodePropList(records, recordPath, errorText);
    clearPropList(records);
    writer.writeTo(writerPath);
    EXPECT_EQ(writer.count(), cases[i].size());
    EXPECT_EQ(writerPath.str(), recordPath.str());
  }
}

}  // namespace
