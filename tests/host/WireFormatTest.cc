// The frame format: header bytes in little-endian order, control records of
// one exact size, text fields flattened into offsets and rebuilt only after
// every offset is checked.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AppMgr/appMgrStructDefines.h"

#include "host/WireFormat.h"

using namespace appmgr::wire;

namespace {

TEST(WireFormat, HeaderIsLittleEndianAndRoundTrips) {
  FrameHeader header;
  header.code = 0x1a001011;
  header.correlationId = 0x0102030405060708;
  header.recordLength = 40;
  header.textLength = 3;
  unsigned char bytes[kHeaderSize];
  encodeHeader(header, bytes);
  const unsigned char expected[kHeaderSize] = {'A',  'M', 'G', 'R', 3, 0, 0, 0, 0x11, 0x10, 0,
                                               0x1a, 0,   0,   0,   0, 8, 7, 6, 5,    4,    3,
                                               2,    1,   40,  0,   0, 0, 3, 0, 0,    0};
  EXPECT_EQ(std::memcmp(bytes, expected, kHeaderSize), 0);
  const FrameHeader back = decodeHeader(bytes);
  EXPECT_EQ(back.magic, kMagic);
  EXPECT_EQ(back.type, FrameType::kRequest);
  EXPECT_EQ(back.code, header.code);
  EXPECT_EQ(back.correlationId, header.correlationId);
  EXPECT_EQ(back.frameSize(), kHeaderSize + 43);
}

// Each control record decodes from exactly its own size, never one byte more or less.
template <typename R>
void expectExactSize(size_t size) {
  SCOPED_TRACE(size);
  EXPECT_EQ(R::kSize, size);
  const std::vector<unsigned char> bytes(size + 1, 1);
  R out;
  EXPECT_TRUE(decodeRecord(bytes.data(), size, out));
  EXPECT_FALSE(decodeRecord(bytes.data(), size - 1, out));
  EXPECT_FALSE(decodeRecord(bytes.data(), size + 1, out));
  EXPECT_EQ(encodeRecord(out).size(), size);
}

TEST(WireFormat, ControlRecordsDecodeOnlyFromTheirExactSize) {
  expectExactSize<HelloRecord>(16);
  HelloRecord hello, back;
  hello.peerProtocolVersion = 0x1003;
  const std::vector<unsigned char> bytes = encodeRecord(hello);
  ASSERT_TRUE(decodeRecord(bytes.data(), bytes.size(), back));
  EXPECT_EQ(back.peerProtocolVersion, 0x1003u);
  expectExactSize<HelloAckRecord>(16);
  expectExactSize<ErrorRecord>(8);
  expectExactSize<HealthRecord>(24);
}

TEST(WireFormat, FlattenedRecordResolvesToTheSameTexts) {
  appmanObjectReq req;
  req.objectId = 9;
  req.appIdText = "2:1046";
  req.firstList = "";  // empty but present: must not become null
  const appmanTextFields fields = appmanRequestTextFields(APPMAN_SUBCLIENT_BY_ID_REQ);
  const FlatRecord flat = flattenRecord(&req, sizeof req, fields, "");
  EXPECT_EQ(flat.textArea, std::string(1, '\0') + "2:1046" + std::string(2, '\0'));
  std::vector<unsigned char> record = flat.record;
  std::string reason;
  ASSERT_TRUE(
      resolveRecord(record.data(), record.size(), fields, flat.textArea.data(), flat.textArea.size(), reason))
      << reason;
  appmanObjectReq back;
  std::memcpy(static_cast<void*>(&back), record.data(), sizeof back);
  EXPECT_EQ(back.objectId, 9u);
  EXPECT_STREQ(back.appIdText, "2:1046");
  EXPECT_STREQ(back.firstList, "");
  EXPECT_EQ(back.secondList, nullptr);
}

// Every offset is checked before any pointer is built.
TEST(WireFormat, ResolveRefusesOffsetsOutsideTheTextArea) {
  const appmanTextFields fields = appmanRequestTextFields(APPMAN_SUBCLIENT_BY_ID_REQ);
  const std::string area("\0abc\0de", 7);  // "abc" at 1, "de" at 5 without NUL
  const struct {
    const char* what;
    uint64_t offset;
    bool ok;
  } cases[] = {{"null", 0, true},
               {"first text", 1, true},
               {"inside the first text", 2, true},
               {"text without NUL", 5, false},
               {"at the end of the area", 7, false},
               {"past the area", 1000, false},
               {"wrapping offset", ~uint64_t{0}, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<unsigned char> record(sizeof(appmanObjectReq), 0);
    for (int i = 0; i < 8; ++i)
      record[offsetof(appmanObjectReq, secondList) + i] = static_cast<unsigned char>(c.offset >> (8 * i));
    std::string reason;
    EXPECT_EQ(resolveRecord(record.data(), record.size(), fields, area.data(), area.size(), reason), c.ok)
        << reason;
    EXPECT_EQ(reason.empty(), c.ok);
  }
  std::vector<unsigned char> tooShort(sizeof(appmanObjectReq) - 8, 0);
  std::string reason;
  EXPECT_FALSE(resolveRecord(tooShort.data(), tooShort.size(), fields, area.data(), area.size(), reason));
}

TEST(WireFormat, LeadingTextNeedsItsNul) {
  std::string text;
  EXPECT_TRUE(leadingText("", 0, text));
  EXPECT_TRUE(leadingText("oops\0x", 6, text));
  EXPECT_EQ(text, "oops");
  EXPECT_FALSE(leadingText("oops", 4, text));
}

}  // namespace
